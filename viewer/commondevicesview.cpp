#include "commondevicesview.h"

#include "commondevicessettingpane.h"
#include "commondevicesvideopane.h"
#include "viewercontext.h"
#include "zmcoreimpl/zmcorelib_devicepool.h"

namespace {

constexpr int kSettingsRowHeight = 200;

}  // namespace

CCommonDevicesView::CCommonDevicesView(ViewerContext& context, QWidget* parent)
    : DevicePage(Qt::Vertical, parent) {
    setPanes(new CCommonDevicesSettingPane(context.pool, context.registry),
             new CCommonDevicesVideoPane(context, context.pool.size()));
    splitter()->setSizes({kSettingsRowHeight, 1 << 20});
}

CCommonDevicesSettingPane* CCommonDevicesView::settings() const {
    return static_cast<CCommonDevicesSettingPane*>(settingsPane());
}

CCommonDevicesVideoPane* CCommonDevicesView::video() const {
    return static_cast<CCommonDevicesVideoPane*>(videoPane());
}
