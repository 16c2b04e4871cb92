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

// Settings clients look up by id.
inline constexpr unsigned kSettingFrameWidth = 0x3019;
inline constexpr unsigned kSettingFrameHeight = 0x301A;
inline constexpr unsigned kSettingCameraSerial = 0x3104;
inline constexpr unsigned kSettingFrameCounter = 0x4101;

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
