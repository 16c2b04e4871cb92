// The property frame of the source filter: its pages (the crosshair page) in tabs, with OK,
// Cancel and Apply, shown modally over the owner. GUI thread.
#pragma once

#include <QDialog>
#include <vector>

#include "zenmiravidsource/interfaces.h"

class QPushButton;

namespace ZenmiraVidSource {
class CrosshairPage;
}

class CPropertyFrame : public QDialog {
    Q_OBJECT

public:
    // A frame captioned `caption` over the pages `filter` names; pageCount() is 0 when it names
    // none this viewer knows.
    CPropertyFrame(ZenmiraVidSource::IFilterUnknown* filter, const QString& caption, QWidget* owner);

    int pageCount() const { return int(pages_.size()); }
    QPushButton* applyButton() const { return apply_; }

    // Opens the frame over `owner` and returns when it is closed; nothing when there is no page.
    static void show(ZenmiraVidSource::IFilterUnknown* filter, const QString& caption, QWidget* owner);

private:
    void applyChanges();
    void updateApply();

    std::vector<ZenmiraVidSource::CrosshairPage*> pages_;
    QPushButton* apply_ = nullptr;
};
