// What both tab pages share: a splitter with a settings pane and a video pane. The page forwards
// renderer, file-format and tab-hidden messages to its video pane and tab-shown to its settings
// pane, and offers commands to the settings pane first, then to the video pane. GUI thread.
#pragma once

#include <QSplitter>
#include <QWidget>

#include "commands.h"

class SettingListPane;
class VideoPane;

class DevicePage : public QWidget, public commands::CommandTarget {
    Q_OBJECT

public:
    explicit DevicePage(Qt::Orientation orientation, QWidget* parent = nullptr);

    SettingListPane* settingsPane() const { return settingsPane_; }
    VideoPane* videoPane() const { return videoPane_; }
    QSplitter* splitter() const { return splitter_; }

    bool onCommand(int id) override;
    bool onUpdateCommand(int id, commands::CommandState& state) override;
    // Moves the focus to the other pane (F6 and Shift+F6).
    void focusOtherPane();

protected:
    // Puts the two panes into the splitter (settings first).
    void setPanes(SettingListPane* settings, VideoPane* video);
    bool event(QEvent* event) override;

private:
    QSplitter* splitter_;
    SettingListPane* settingsPane_ = nullptr;
    VideoPane* videoPane_ = nullptr;
};
