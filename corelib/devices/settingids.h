// Catalogue ids of the camera settings and of the enumeration values the camera objects use.
#pragma once

#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4::ids {

// Information texts.
inline constexpr unsigned kCameraName = 0x3101;
inline constexpr unsigned kCameraVersion = 0x3102;
inline constexpr unsigned kCameraInterface = 0x3103;
inline constexpr unsigned kCameraSerial = ZmCoreLib::kSettingCameraSerial;
inline constexpr unsigned kControllerSerial = 0x3105;
inline constexpr unsigned kIntensifierSerial = 0x3106;
inline constexpr unsigned kTransferRate = 0x310B;
inline constexpr unsigned kCameraTemperature = 0x310C;
inline constexpr unsigned kSensorTemperature = 0x310D;

// Camera operation.
inline constexpr unsigned kFramePeriod = 0x3002;
inline constexpr unsigned kGain = 0x3003;
inline constexpr unsigned kExposure = 0x3004;
inline constexpr unsigned kMultiExposurePeriod = 0x3005;
inline constexpr unsigned kBinningX = 0x3007;
inline constexpr unsigned kBinningY = 0x3008;
inline constexpr unsigned kFrameX = 0x3017;
inline constexpr unsigned kFrameY = 0x3018;
inline constexpr unsigned kFrameWidth = ZmCoreLib::kSettingFrameWidth;
inline constexpr unsigned kFrameHeight = ZmCoreLib::kSettingFrameHeight;
inline constexpr unsigned kChronogramStart = 0x3023;
inline constexpr unsigned kLinePeriod = 0x3024;
inline constexpr unsigned kShpDelay = 0x3040;
inline constexpr unsigned kShdDelay = 0x3041;
inline constexpr unsigned kDataDelay = 0x3042;
inline constexpr unsigned kShdSamplingDelay = 0x3043;
inline constexpr unsigned kInputMode = 0x3030;

// Synchronisation.
inline constexpr unsigned kInputSource = 0x3031;
inline constexpr unsigned kInputEvent = 0x3032;
inline constexpr unsigned kExposureSource = 0x3033;
inline constexpr unsigned kExposureEvent = 0x3034;
inline constexpr unsigned kFramesPerStart = 0x3036;
inline constexpr unsigned kExposureStartDelay = 0x3037;
inline constexpr unsigned kSyncOutputs = 0x3010;
inline constexpr unsigned kIlluminationPulse = 0x3039;

// Enumeration values.
inline constexpr int kGain0dB = 0x5005;
inline constexpr int kGain6dB = 0x5006;
inline constexpr int kGain12dB = 0x5007;
inline constexpr int kGain18dB = 0x5008;
inline constexpr int kSourceExternalRs = 0x500B;
inline constexpr int kSourceExternalTtl = 0x500C;
inline constexpr int kSourceInternalGenerator = 0x500D;
inline constexpr int kSourceSoftware = 0x500E;
inline constexpr int kEventHighLevel = 0x500F;
inline constexpr int kEventLowLevel = 0x5010;
inline constexpr int kModeFrame = 0x5018;
inline constexpr int kModeLine = 0x5019;
inline constexpr int kModeSingleFrame = 0x501B;
inline constexpr int kModeSingleFrameSequential = 0x501C;
inline constexpr int kModeTwoFrames = 0x501D;
inline constexpr int kModeMultiFrame = 0x501E;
inline constexpr int kAllowed = 0x5020;
inline constexpr int kForbidden = 0x5021;

}  // namespace ZmCoreLib_v4::ids
