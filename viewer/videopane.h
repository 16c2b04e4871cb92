// What both video panes share: a grey scroll area whose viewport the renderers paint into, the
// recording commands for their cameras, and the series flag. GUI thread.
#pragma once

#include <QAbstractScrollArea>
#include <QPointer>

#include "commands.h"
#include "recording.h"
#include "videocontrol.h"

struct ViewerContext;

class VideoPane : public QAbstractScrollArea, public commands::CommandTarget {
    Q_OBJECT

public:
    VideoPane(ViewerContext& context, std::vector<int> cameras, QWidget* parent = nullptr);

    bool onCommand(int id) override;
    bool onUpdateCommand(int id, commands::CommandState& state) override;

    bool series() const { return series_; }

    // Places every picture again for the current client size.
    virtual void layoutVideo() = 0;

protected:
    // The renderers whose pictures this pane shows.
    virtual std::vector<VideoWindowlessControl*> controls() const = 0;
    // Takes renderer `index` over.
    virtual void attach(int index, VideoWindowlessControl* control) = 0;
    void watch(VideoWindowlessControl* control);
    // Whether `control` draws into this pane. A renderer that another pane took over since (a
    // camera page's renderer, back on the common page) is neither placed nor painted here.
    bool shows(const VideoWindowlessControl* control) const;

    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    ViewerContext& context_;
    Recording recording_;
    bool series_ = false;
};
