// Identifiers shared by the library and its clients: setting kinds, groups, catalogue ids,
// enumeration values and units.
#pragma once

namespace ZmCoreLib {

// Setting kinds (ISetting::GetType).
inline constexpr unsigned kKindEnum = 0x1001;
inline constexpr unsigned kKindScalar = 0x1003;
inline constexpr unsigned kKindString = 0x1004;

// Setting groups (ISetting::GetGroup).
inline constexpr unsigned kGroupTestPicture = 0x2001;
inline constexpr unsigned kGroupCameraOperation = 0x2002;
inline constexpr unsigned kGroupIntensifier = 0x2003;
inline constexpr unsigned kGroupSynchronisation = 0x2004;
inline constexpr unsigned kGroupInformation = 0x2005;

// The catalogue ids of the settings (ISetting::GetId) and of the enumeration values
// (ISettingEnum::GetValue). Clients look settings up by these: the viewer and the filter by the
// frame width and height and by the camera serial number.
namespace ids {

// Information texts.
inline constexpr unsigned kCameraName = 0x3101;
inline constexpr unsigned kCameraVersion = 0x3102;
inline constexpr unsigned kCameraInterface = 0x3103;
inline constexpr unsigned kCameraSerial = 0x3104;
inline constexpr unsigned kControllerSerial = 0x3105;
inline constexpr unsigned kIntensifierSerial = 0x3106;
inline constexpr unsigned kRegister5 = 0x3107;
inline constexpr unsigned kRegister4 = 0x3108;
inline constexpr unsigned kRegister3 = 0x3109;
inline constexpr unsigned kRegister2 = 0x310A;
inline constexpr unsigned kTransferRate = 0x310B;
inline constexpr unsigned kCameraTemperature = 0x310C;
inline constexpr unsigned kSensorTemperature = 0x310D;
// Frames a frame buffer has taken in.
inline constexpr unsigned kFrameCounter = 0x4101;

// Camera operation.
inline constexpr unsigned kCameraMode = 0x3001;
inline constexpr unsigned kFramePeriod = 0x3002;
inline constexpr unsigned kGain = 0x3003;
inline constexpr unsigned kExposure = 0x3004;
inline constexpr unsigned kMultiExposurePeriod = 0x3005;
inline constexpr unsigned kBinningX = 0x3007;
inline constexpr unsigned kBinningY = 0x3008;
inline constexpr unsigned kFrameX = 0x3017;
inline constexpr unsigned kFrameY = 0x3018;
inline constexpr unsigned kFrameWidth = 0x3019;
inline constexpr unsigned kFrameHeight = 0x301A;
inline constexpr unsigned kShiftFrequency = 0x3022;
inline constexpr unsigned kChronogramStart = 0x3023;
inline constexpr unsigned kLinePeriod = 0x3024;
inline constexpr unsigned kInputMode = 0x3030;
inline constexpr unsigned kShpDelay = 0x3040;
inline constexpr unsigned kShdDelay = 0x3041;
inline constexpr unsigned kDataDelay = 0x3042;
inline constexpr unsigned kShdSamplingDelay = 0x3043;

// Synchronisation.
inline constexpr unsigned kSyncOutputs = 0x3010;
inline constexpr unsigned kInputSource = 0x3031;
inline constexpr unsigned kInputEvent = 0x3032;
inline constexpr unsigned kExposureSource = 0x3033;
inline constexpr unsigned kExposureEvent = 0x3034;
inline constexpr unsigned kInputPulsesAllowed = 0x3035;
inline constexpr unsigned kFramesPerStart = 0x3036;
inline constexpr unsigned kExposureStartDelay = 0x3037;
inline constexpr unsigned kIlluminationPulse = 0x3039;

// Test picture.
inline constexpr unsigned kTestPicture = 0x3038;

// Image intensifier.
inline constexpr unsigned kIccdStartMode = 0x3201;
inline constexpr unsigned kIccdMode = 0x3202;
inline constexpr unsigned kIccdMcpVoltage = 0x3203;
inline constexpr unsigned kIccdDelay = 0x3204;
inline constexpr unsigned kIccdDuration = 0x3205;
inline constexpr unsigned kIccdPauseBetweenExposures = 0x3206;
inline constexpr unsigned kIccdPulseCount = 0x3207;
inline constexpr unsigned kIccdFirstDelay = 0x3208;
inline constexpr unsigned kIccdFirstDuration = 0x3209;
inline constexpr unsigned kIccdFirstPauseBetweenPulses = 0x320A;
inline constexpr unsigned kIccdFirstPulseCount = 0x320B;
inline constexpr unsigned kIccdPauseBetweenShutterPulses = 0x320C;
inline constexpr unsigned kIccdSecondDuration = 0x320D;
inline constexpr unsigned kIccdSecondPauseBetweenPulses = 0x320E;
inline constexpr unsigned kIccdSecondPulseCount = 0x320F;
inline constexpr unsigned kIccdDiaphragm = 0x3210;

// Enumeration values: camera modes.
inline constexpr int kCameraModeSceneSetup = 0x5001;
inline constexpr int kCameraModeCameraSetup = 0x5002;
inline constexpr int kCameraModeCapture = 0x5003;
inline constexpr int kCameraModeReview = 0x5004;
// Gains.
inline constexpr int kGain0dB = 0x5005;
inline constexpr int kGain6dB = 0x5006;
inline constexpr int kGain12dB = 0x5007;
inline constexpr int kGain18dB = 0x5008;
// Input modes.
inline constexpr int kModeSingle = 0x5009;
inline constexpr int kModeFrame = 0x5018;
inline constexpr int kModeLine = 0x5019;
inline constexpr int kModeSingleFrame = 0x501B;
inline constexpr int kModeSingleFrameSequential = 0x501C;
inline constexpr int kModeTwoFrames = 0x501D;
inline constexpr int kModeMultiFrame = 0x501E;
// Sources and events of the synchronisation.
inline constexpr int kSourceExternalRs = 0x500B;
inline constexpr int kSourceExternalTtl = 0x500C;
inline constexpr int kSourceInternalGenerator = 0x500D;
inline constexpr int kSourceSoftware = 0x500E;
inline constexpr int kEventHighLevel = 0x500F;
inline constexpr int kEventLowLevel = 0x5010;
inline constexpr int kEventPositiveLevel = 0x5011;
inline constexpr int kEventNegativeLevel = 0x5012;
inline constexpr int kAllowed = 0x5020;
inline constexpr int kForbidden = 0x5021;
// Image intensifier modes and start modes.
inline constexpr int kIccdModeOff = 0x5013;
inline constexpr int kIccdModeAlignment = 0x5014;
inline constexpr int kIccdModeSingleFrame = 0x5015;
inline constexpr int kIccdModeTwoFrames = 0x501A;
inline constexpr int kIccdStartWithSyncPulse = 0x5016;
inline constexpr int kIccdStartWithoutSyncPulse = 0x5017;

}  // namespace ids

// Units (ISettingScalar::GetUnit, SetUnit, GetMin, GetMax).
inline constexpr int kUnitNanosecond = 0x4001;
inline constexpr int kUnitMicrosecond = 0x4002;
inline constexpr int kUnitMillisecond = 0x4003;
inline constexpr int kUnitSecond = 0x4004;
inline constexpr int kUnitMicrovolt = 0x4005;
inline constexpr int kUnitMillivolt = 0x4006;
inline constexpr int kUnitVolt = 0x4007;
inline constexpr int kUnitPixel = 0x4008;
inline constexpr int kUnitFrame = 0x4009;
inline constexpr int kUnitLine = 0x400A;
inline constexpr int kUnitHertz = 0x400B;
inline constexpr int kUnitKilohertz = 0x400C;
inline constexpr int kUnitMegahertz = 0x400D;
inline constexpr int kUnitPulse = 0x400E;
inline constexpr int kUnitPercent = 0x400F;
inline constexpr int kUnitConventional = 0x40FF;

}  // namespace ZmCoreLib
