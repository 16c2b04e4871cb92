// The live pictures of every camera in a grid, each fitted into its cell without enlarging.
#pragma once

#include <vector>

#include "videopane.h"

class CCommonDevicesVideoPane : public VideoPane {
    Q_OBJECT

public:
    CCommonDevicesVideoPane(ViewerContext& context, int cameraCount, QWidget* parent = nullptr);

    QSize gridSize() const { return grid_; }
    void layoutVideo() override;

protected:
    std::vector<VideoWindowlessControl*> controls() const override;
    void attach(int index, VideoWindowlessControl* control) override;

private:
    const QSize grid_;                                        // columns x rows
    std::vector<QPointer<VideoWindowlessControl>> controls_;  // index = camera index
};
