// The settings of a camera object as its family and model build and use them.
//
// CameraSettings names the kind objects the coupling rules, the register writer and the frame
// path work with; a pointer is null where the model has no such setting. The builders below make
// the settings both families begin their lists with, through the camera's SettingFactory.
//
// Threads: built by the camera's constructor; afterwards values change on client threads (and
// through Check), and the camera thread reads them in its steps, as the settings allow.
#pragma once

#include "core/hwsetting.h"
#include "core/setting.h"
#include "core/settingfactory.h"
#include "devices/timewords.h"

namespace ZmCoreLib_v4 {

// What the rules work with. The sensor's readout constants matter to family B; family A uses
// only the sensor size (and a 1 MHz timer).
struct CameraSettings {
    ReadoutTiming sensor;

    ZmCoreLib::SettingString* name = nullptr;
    ZmCoreLib::SettingString* version = nullptr;
    ZmCoreLib::SettingString* interfaceName = nullptr;
    ZmCoreLib::SettingString* serial = nullptr;
    ZmCoreLib::SettingString* intensifierSerial = nullptr;
    ZmCoreLib::SettingString* controllerSerial = nullptr;
    ZmCoreLib::SettingString* transferRate = nullptr;
    ZmCoreLib::SettingString* cameraTemperature = nullptr;
    ZmCoreLib::SettingString* sensorTemperature = nullptr;

    SettingScalar* framePeriod = nullptr;
    SettingScalar* multiExposurePeriod = nullptr;
    SettingScalar* exposure = nullptr;
    SettingEnum* gain = nullptr;
    SettingScalar* x = nullptr;
    SettingScalar* y = nullptr;
    SettingScalar* width = nullptr;
    SettingScalar* height = nullptr;
    SettingScalar* binningX = nullptr;
    SettingScalar* binningY = nullptr;
    SettingScalar* shpDelay = nullptr;
    SettingScalar* shdDelay = nullptr;
    SettingScalar* dataDelay = nullptr;
    SettingScalar* shdSamplingDelay = nullptr;
    SettingScalar* linePeriod = nullptr;
    SettingScalar* chronogramStart = nullptr;
    SettingEnum* inputMode = nullptr;
    SettingEnum* inputSource = nullptr;
    SettingEnum* inputEvent = nullptr;
    SettingEnum* exposureSource = nullptr;
    SettingEnum* exposureEvent = nullptr;
    SettingEnum* syncOutputs = nullptr;
    SettingScalar* exposureStartDelay = nullptr;
    SettingScalar* framesPerStart = nullptr;
    SettingScalar* illuminationPulse = nullptr;
};

// The information texts every camera begins its list with: name, version, interface, the camera
// and intensifier serial numbers and the transfer rate.
void addInformationTexts(SettingFactory& factory, CameraSettings& settings);
// The gain, the same four steps on every camera.
void addGain(SettingFactory& factory, CameraSettings& settings);
// The frame on the sensor (X, Y, width and height), in pixels, for the model to shape.
void addGeometry(SettingFactory& factory, CameraSettings& settings);
// The whole frame of `widthPx` x `heightPx` offered at start: each offset from 0, each size up to
// the whole extent.
void shapeGeometry(CameraSettings& settings, int widthPx, int heightPx);
// Binning X and Y, 1 to `maxFactor`, starting at 1.
void addBinning(SettingFactory& factory, CameraSettings& settings, int maxFactor);

}  // namespace ZmCoreLib_v4
