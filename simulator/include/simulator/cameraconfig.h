// What a simulated camera is made of, and the text form in which users describe a set of them.
//
// A set is "<camera>;<camera>;..." where each camera is a comma-separated list of key=value:
//   pid         boot product id, hex (required)
//   vid         vendor id, hex (default AB10; another value puts a foreign device on the bus)
//   type        type word the camera answers to the probe, hex (default 2280)
//   serial      camera serial number, decimal 0-65535
//   serial2     second number of the same serial query (intensifier serial), decimal 0-65535
//   controller  controller serial of fibre-optic cameras, decimal 0-65535
//   module      intensifier module type 0-5 (0: none)
//   channel     channel byte, decimal 0-255 (default 19)
//   version     version register, hex, 24 bits (default 020011: version 2.17)
//   unplug      seconds after the bus starts at which the camera leaves the bus, decimal with at
//               most three decimals (e.g. 2 or 0.5)
//   replug      seconds after the bus starts at which it is back, power cycled (needs unplug and
//               a later time)
// Numbers written "hex" accept an optional 0x prefix. Whitespace around keys and values is ignored.
// The parser never silently defaults a malformed value: every problem is a ConfigError naming
// the camera (by its position, counting from 1) and the key.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace simulator {

inline constexpr std::uint16_t kCameraVendorId = 0xAB10;

struct CameraConfig {
    std::uint16_t vendorId = kCameraVendorId;
    std::uint16_t bootProductId = 0;
    std::uint16_t typeWord = 0x2280;
    std::uint16_t serial = 0;
    std::uint16_t serial2 = 0;
    std::uint16_t controllerSerial = 0;
    int moduleType = 0;
    std::uint8_t channel = 19;
    std::uint32_t version = 0x020011;
    // When the camera leaves the bus and when it comes back with its boot identity, counted from
    // the start of the simulated bus; replugAfter only with a later unplugAfter.
    std::optional<std::chrono::milliseconds> unplugAfter;
    std::optional<std::chrono::milliseconds> replugAfter;
};

class ConfigError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// The cameras described by `text`, in order. The empty text is a bus without cameras; "default"
// is the demonstration set (defaultCameraSet()). Throws ConfigError.
std::vector<CameraConfig> parseCameraSet(std::string_view text);

// The demonstration set behind "default": both device families, fibre-optic cameras, a camera
// that must be probed, a two-slot camera, a rotated camera and one with an intensifier module.
std::string_view defaultCameraSet();

// The shared bus rate in megabytes per second from the text of ZMCORE_SIM_BUS_MBPS: a decimal
// number, 0 for no limit; a null text gives kDefaultBusRateMBps. Throws ConfigError.
inline constexpr unsigned kDefaultBusRateMBps = 42;
unsigned parseBusRate(const char* text);

// The simulated bus that ZMCORE_SIMULATE (`cameraSet`) and ZMCORE_SIM_BUS_MBPS (`busRate`, may be
// null) describe together. An empty bus carries nothing, so its rate is not read. Throws
// ConfigError.
struct BusConfig {
    std::vector<CameraConfig> cameras;
    unsigned rateMBps = 0;
};
BusConfig parseBusConfig(std::string_view cameraSet, const char* busRate);

}  // namespace simulator
