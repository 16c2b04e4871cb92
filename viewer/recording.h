// The recording, software-start and file-format commands of the video panes, for a set of cameras
// (every camera on the common page, one on a camera page). GUI thread.
#pragma once

#include <QDateTime>
#include <QString>
#include <vector>

struct ViewerContext;

class Recording {
public:
    Recording(ViewerContext& context, std::vector<int> cameras)
        : context_(context), cameras_(std::move(cameras)) {}

    void setCameras(std::vector<int> cameras) { cameras_ = std::move(cameras); }

    void softwareStart();
    // A new recording folder, then one snapshot per camera into it.
    void recordFrame();
    // Switches series mode; switching on starts a new recording folder first.
    void setSeries(bool on);
    void setFileFormat(const QString& format);

    // Work_folder + "/" + the local time as year-month-day-hour-minute-second; created when it
    // does not exist (a failure is not reported: the snapshots report their own).
    static QString makeRecordingFolder(const QDateTime& localTime = QDateTime::currentDateTime());

private:
    void setFolder(const QString& folder);

    ViewerContext& context_;
    std::vector<int> cameras_;
};
