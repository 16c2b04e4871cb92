#include "deviceview.h"

#include "devicesettingview.h"
#include "devicevideopane.h"
#include "viewercontext.h"
#include "zmcoreimpl/zmcorelib_devicepool.h"

namespace {

constexpr int kMinimumSettingsWidth = 100;

}  // namespace

CDeviceView::CDeviceView(ViewerContext& context, int cameraIndex, QWidget* parent)
    : DevicePage(Qt::Horizontal, parent) {
    DeviceHolder* holder = context.pool.at(cameraIndex);
    Q_ASSERT(holder);
    auto* settings = new CDeviceSettingView(*holder, cameraIndex);
    setPanes(settings, new CDeviceVideoPane(context, cameraIndex));
    // The settings column is as wide as its three columns together.
    splitter()->setSizes(
        {std::max(kMinimumSettingsWidth, settings->totalColumnWidth() + 2 * settings->frameWidth()),
         1 << 20});
}

CDeviceSettingView* CDeviceView::settings() const {
    return static_cast<CDeviceSettingView*>(settingsPane());
}

CDeviceVideoPane* CDeviceView::video() const {
    return static_cast<CDeviceVideoPane*>(videoPane());
}
