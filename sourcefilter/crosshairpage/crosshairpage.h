// The crosshair property page: a check box and two position boxes over the filter's ICrosshair.
//
// The host (the viewer's property frame) drives it: OnConnect, OnActivate, user edits (the page
// reports them through dirtyChanged), OnApplyChanges any number of times. GUI thread only.
#pragma once

#include <QWidget>
#include <cstdint>

#include "zenmiravidsource/interfaces.h"

class QCheckBox;
class QLineEdit;

namespace ZenmiraVidSource {

class CrosshairPage : public QWidget {
    Q_OBJECT

public:
    explicit CrosshairPage(QWidget* parent = nullptr);

    // The page's tab title, "Перекрестье".
    static QString title();

    // Takes the ICrosshair of `object` (E_POINTER for null; the query's result otherwise, and
    // the page stays unconnected when it failed).
    HResult OnConnect(IFilterUnknown* object);
    // Shows the filter's crosshair: the check box and the position as unsigned decimal numbers.
    HResult OnActivate();
    // Writes the controls to the filter: a shown crosshair is moved before it is shown, a hidden
    // one is hidden before it is moved, so no picture shows it half-changed. Text that is not a
    // number counts as 0. E_FAIL while unconnected.
    HResult OnApplyChanges();

    bool isDirty() const { return dirty_; }

Q_SIGNALS:
    // The user changed a control (true) or the changes were applied (false).
    void dirtyChanged(bool dirty);

private:
    void setDirty(bool dirty);

    QCheckBox* show_;
    QLineEdit* x_;
    QLineEdit* y_;
    ICrosshair* crosshair_ = nullptr;  // owned by the filter, which outlives the page
    bool dirty_ = false;
    std::int32_t frameWidth_ = 0;  // pin 0's picture size when the page was activated
    std::int32_t frameHeight_ = 0;
};

}  // namespace ZenmiraVidSource
