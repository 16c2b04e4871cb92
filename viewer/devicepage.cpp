#include "devicepage.h"

#include <QCoreApplication>
#include <QVBoxLayout>

#include "settinglistpane.h"
#include "videopane.h"
#include "viewerevents.h"

DevicePage::DevicePage(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), splitter_(new QSplitter(orientation, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter_);
    splitter_->setChildrenCollapsible(false);
}

void DevicePage::setPanes(SettingListPane* settings, VideoPane* video) {
    settingsPane_ = settings;
    videoPane_ = video;
    splitter_->addWidget(settings);
    splitter_->addWidget(video);
    splitter_->setStretchFactor(1, 1);
}

bool DevicePage::event(QEvent* event) {
    using namespace viewer_events;
    switch (int(event->type())) {
        case WM_ATTACH_RENDERER:
        case WM_FILE_FORMAT_CHANGED:
        case WM_TAB_DEACTIVATED:
            return QCoreApplication::sendEvent(videoPane_, event);
        case WM_TAB_ACTIVATED:
            return QCoreApplication::sendEvent(settingsPane_, event);
        default:
            return QWidget::event(event);
    }
}

bool DevicePage::onCommand(int id) {
    return settingsPane_->onCommand(id) || videoPane_->onCommand(id);
}

bool DevicePage::onUpdateCommand(int id, commands::CommandState& state) {
    return settingsPane_->onUpdateCommand(id, state) || videoPane_->onUpdateCommand(id, state);
}

void DevicePage::focusOtherPane() {
    if (settingsPane_->hasFocus())
        videoPane_->setFocus();
    else
        settingsPane_->setFocus();
}
