#include "propertyframe.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdlib>

#include "crosshairpage.h"
#include "sourcefilter.h"

using ZenmiraVidSource::CrosshairPage;

CPropertyFrame::CPropertyFrame(ZenmiraVidSource::IFilterUnknown* filter, const QString& caption,
                               QWidget* owner)
    : QDialog(owner) {
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    auto* tabs = new QTabWidget(this);
    layout->addWidget(tabs);

    auto* specify = queryFilter<ZenmiraVidSource::ISpecifyPropertyPages>(
        filter, ZenmiraVidSource::IID_ISpecifyPropertyPages);
    ZenmiraVidSource::PageIds ids;
    if (specify && ZenmiraVidSource::succeeded(specify->GetPages(&ids))) {
        for (std::uint32_t i = 0; i < ids.count; ++i) {
            if (!(ids.elements[i] == ZenmiraVidSource::CLSID_CrosshairPage)) continue;
            auto* page = new CrosshairPage(tabs);
            if (!ZenmiraVidSource::succeeded(page->OnConnect(filter))) {
                delete page;
                continue;
            }
            page->OnActivate();
            tabs->addTab(page, CrosshairPage::title());
            connect(page, &CrosshairPage::dirtyChanged, this, &CPropertyFrame::updateApply);
            pages_.push_back(page);
        }
        std::free(ids.elements);
    }

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    apply_ = buttons->button(QDialogButtonBox::Apply);
    buttons->button(QDialogButtonBox::Ok)->setText("OK");
    buttons->button(QDialogButtonBox::Cancel)->setText("Отмена");
    apply_->setText("Применить");
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        applyChanges();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(apply_, &QPushButton::clicked, this, &CPropertyFrame::applyChanges);
    layout->addWidget(buttons);
    updateApply();
}

void CPropertyFrame::applyChanges() {
    for (CrosshairPage* page : pages_)
        if (page->isDirty()) page->OnApplyChanges();
    updateApply();
}

void CPropertyFrame::updateApply() {
    bool dirty = false;
    for (CrosshairPage* page : pages_) dirty = dirty || page->isDirty();
    apply_->setEnabled(dirty);
}

void CPropertyFrame::show(ZenmiraVidSource::IFilterUnknown* filter, const QString& caption, QWidget* owner) {
    CPropertyFrame frame(filter, caption, owner);
    if (frame.pageCount() == 0) return;
    frame.move(owner ? owner->mapToGlobal(QPoint(0, 0)) : QPoint(0, 0));
    frame.exec();
}
