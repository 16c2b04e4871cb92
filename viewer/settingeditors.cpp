#include "settingeditors.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <algorithm>
#include <functional>

#include "settingitem.h"

namespace {

constexpr int kDropListHeight = 120;

// A spin box whose arrows go through the library: a step is applied at once and the box then
// shows the value the library actually applied. Typed numbers outside the range are accepted, so
// that the library can clamp them.
class LibrarySpinBox final : public QSpinBox {
public:
    LibrarySpinBox(SettingItem* item, QWidget* parent) : QSpinBox(parent), item_(item) {}

    void stepBy(int steps) override {
        item_->shift(steps * singleStep());
        const QSignalBlocker quiet(this);
        setValue(item_->value());
        selectAll();
    }

    // Called with the number typed (outside the range as well) when Enter is pressed.
    std::function<void(int)> onEnter;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
            QSpinBox::keyPressEvent(event);
            return;
        }
        bool ok = false;
        const int typed = lineEdit()->text().trimmed().toInt(&ok);
        if (onEnter) onEnter(ok ? typed : value());
    }

    QValidator::State validate(QString& input, int&) const override {
        static const QRegularExpression kInteger("^-?\\d*$");
        return kInteger.match(input.trimmed()).hasMatch() ? QValidator::Acceptable : QValidator::Invalid;
    }
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }

private:
    SettingItem* item_;
};

}  // namespace

SettingEditorDialog::SettingEditorDialog(SettingItem* item, const QRect& dropRect, const QRect& cellRect,
                                         QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      item_(item),
      dropRect_(dropRect),
      cellRect_(cellRect) {
    setModal(true);
}

QRect SettingEditorDialog::cellInDialog() const {
    return cellRect_.translated(-dropRect_.topLeft());
}

void SettingEditorDialog::placeControl(QWidget* control, const QRect& controlRect) {
    setGeometry(dropRect_);
    control->setGeometry(controlRect);
    // Only the control is visible over the list.
    setMask(QRegion(controlRect));
    control->setFocus();
}

CEnumSettingEditorDialog::CEnumSettingEditorDialog(SettingItem* item, const QRect& dropRect,
                                                   const QRect& cellRect, QWidget* parent)
    : SettingEditorDialog(item, dropRect, cellRect, parent), combo_(new QComboBox(this)) {
    for (const auto& choice : item_->choices()) combo_->addItem(QString::fromStdU16String(choice.second));
    combo_->setCurrentIndex(item_->indexOfChoice(item_->value()));
    combo_->setMaxVisibleItems(std::max(1, kDropListHeight / std::max(1, cellRect.height())));
    placeControl(combo_, cellInDialog().translated(-1, -1));
    connect(combo_, &QComboBox::activated, this, [this](int index) {
        item_->selectChoice(index);
        accept();
    });
}

CSettingUnitEditorDialog::CSettingUnitEditorDialog(SettingItem* item, const QRect& dropRect,
                                                   const QRect& cellRect, QWidget* parent)
    : SettingEditorDialog(item, dropRect, cellRect, parent), combo_(new QComboBox(this)) {
    for (const auto& unit : item_->units()) combo_->addItem(QString::fromStdU16String(unit.second));
    combo_->setCurrentIndex(item_->indexOfUnit(item_->unit()));
    combo_->setMaxVisibleItems(std::max(1, kDropListHeight / std::max(1, cellRect.height())));
    placeControl(combo_, cellInDialog().translated(-1, -1));
    connect(combo_, &QComboBox::activated, this, [this](int index) {
        item_->selectUnit(index);
        accept();
    });
}

CScalarSettingEditorDialog::CScalarSettingEditorDialog(SettingItem* item, const QRect& dropRect,
                                                       const QRect& cellRect, QWidget* parent)
    : SettingEditorDialog(item, dropRect, cellRect, parent) {
    auto* spin = new LibrarySpinBox(item, this);
    spin->onEnter = [this](int typed) {
        item_->setValue(typed);
        accept();
    };
    spin_ = spin;
    int min = 0, max = 0;
    item_->range(min, max, item_->unit());
    spin_->setRange(min, max);
    spin_->setValue(item_->value());
    spin_->setAlignment(Qt::AlignRight);
    spin_->setKeyboardTracking(false);
    placeControl(spin_, cellInDialog().adjusted(0, -1, 0, 1));
    spin_->selectAll();
}
