#include "crosshairpage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace ZenmiraVidSource {

namespace {

constexpr int kPositionDigits = 10;  // an unsigned 32-bit number

QLineEdit* makePositionBox(QWidget* parent, const char* name) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
    box->setMaxLength(kPositionDigits);
    return box;
}

// The box's text as an unsigned number; anything else reads as 0.
std::int32_t readPosition(const QLineEdit* box) {
    bool ok = false;
    const uint value = box->text().toUInt(&ok);
    return ok ? static_cast<std::int32_t>(value) : 0;
}

QString showPosition(std::int32_t value) {
    return QString::number(static_cast<std::uint32_t>(value));
}

}  // namespace

CrosshairPage::CrosshairPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CroosDrawing"));
    setWindowTitle(title());
    show_ = new QCheckBox(QStringLiteral("Отобразить"), this);
    show_->setObjectName(QStringLiteral("show"));
    x_ = makePositionBox(this, "positionX");
    y_ = makePositionBox(this, "positionY");

    auto* layout = new QGridLayout(this);
    layout->addWidget(show_, 0, 0, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("Позиция X"), this), 1, 0);
    layout->addWidget(x_, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("Позиция Y"), this), 2, 0);
    layout->addWidget(y_, 2, 1);
    layout->setRowStretch(3, 1);

    // Only the user's own edits make the page dirty, not the values OnActivate fills in.
    connect(show_, &QCheckBox::clicked, this, [this] { setDirty(true); });
    connect(x_, &QLineEdit::textEdited, this, [this] { setDirty(true); });
    connect(y_, &QLineEdit::textEdited, this, [this] { setDirty(true); });
}

QString CrosshairPage::title() {
    return QStringLiteral("Перекрестье");
}

HResult CrosshairPage::OnConnect(IFilterUnknown* object) {
    if (!object) return E_POINTER;
    crosshair_ = nullptr;
    void* found = nullptr;
    const HResult result = object->QueryInterface(IID_ICrosshair, &found);
    if (succeeded(result)) crosshair_ = static_cast<ICrosshair*>(found);
    return result;
}

HResult CrosshairPage::OnActivate() {
    if (!crosshair_) return E_FAIL;
    bool shown = false;
    std::int32_t x = 0, y = 0;
    crosshair_->GetShow(&shown);
    crosshair_->GetPosition(&x, &y);
    crosshair_->GetFrameSize(&frameWidth_, &frameHeight_);
    x_->setText(showPosition(x));
    y_->setText(showPosition(y));
    show_->setChecked(shown);
    return S_OK;
}

HResult CrosshairPage::OnApplyChanges() {
    if (!crosshair_) return E_FAIL;
    const std::int32_t x = readPosition(x_);
    const std::int32_t y = readPosition(y_);
    const bool shown = show_->isChecked();
    if (shown) {
        crosshair_->SetPosition(x, y);
        crosshair_->SetShow(true);
    } else {
        crosshair_->SetShow(false);
        crosshair_->SetPosition(x, y);
    }
    setDirty(false);
    return S_OK;
}

void CrosshairPage::setDirty(bool dirty) {
    if (dirty_ == dirty) return;
    dirty_ = dirty;
    Q_EMIT dirtyChanged(dirty);
}

}  // namespace ZenmiraVidSource
