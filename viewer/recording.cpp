#include "recording.h"

#include <QDir>

#include "graph.h"
#include "iniconfig.h"
#include "sourcefilter.h"
#include "viewercontext.h"
#include "zmcoreimpl/zmcorelib_devicepool.h"
#include "zmcorelib/device.h"

using ZenmiraVidSource::IID_IRecordingSettings;
using ZenmiraVidSource::IID_ISnapshotControl;
using ZenmiraVidSource::IRecordingSettings;
using ZenmiraVidSource::ISnapshotControl;

namespace {

IRecordingSettings* recordingSettings(ViewerContext& context) {
    return context.graph
               ? queryFilter<IRecordingSettings>(context.graph->sourceFilter(), IID_IRecordingSettings)
               : nullptr;
}

std::u16string toU16(const QString& text) {
    return text.toStdU16String();
}

}  // namespace

QString Recording::makeRecordingFolder(const QDateTime& localTime) {
    const QString folder =
        QString::fromStdU16String(IniConfig::instance().get(IniConfig::kWorkFolder)) + "/" +
        QString::asprintf("%d-%02d-%02d-%02d-%02d-%02d", localTime.date().year(), localTime.date().month(),
                          localTime.date().day(), localTime.time().hour(), localTime.time().minute(),
                          localTime.time().second());
    QDir().mkdir(folder);
    return folder;
}

void Recording::softwareStart() {
    for (int camera : cameras_)
        if (DeviceHolder* holder = context_.pool.at(camera)) holder->device()->SoftwareStart();
}

void Recording::setFolder(const QString& folder) {
    IRecordingSettings* settings = recordingSettings(context_);
    if (!settings) return;
    const std::u16string path = toU16(folder);
    for (int camera : cameras_) settings->SetFolder(path.c_str(), unsigned(camera));
}

void Recording::recordFrame() {
    auto* control = context_.graph
                        ? queryFilter<ISnapshotControl>(context_.graph->sourceFilter(), IID_ISnapshotControl)
                        : nullptr;
    if (!control) return;
    setFolder(makeRecordingFolder());
    for (int camera : cameras_) control->Snapshot(unsigned(camera));
}

void Recording::setSeries(bool on) {
    IRecordingSettings* settings = recordingSettings(context_);
    if (!settings) return;
    if (on) setFolder(makeRecordingFolder());
    for (int camera : cameras_) settings->SetSeries(on, unsigned(camera));
}

void Recording::setFileFormat(const QString& format) {
    IRecordingSettings* settings = recordingSettings(context_);
    if (!settings) return;
    const std::u16string text = toU16(format);
    for (int camera : cameras_) settings->SetFileFormat(text.c_str(), unsigned(camera));
}
