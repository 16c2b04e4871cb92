#include "simulator/cameraconfig.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace simulator {

namespace {

// Both families, fibre-optic and plain USB, packed and unpacked pixels, a probed camera, an
// intensifier module and a turned picture. The viewer keys cameras by serial number and shows only
// the first camera of a serial, so of the models that read no serial number (MT9M032, FT50, plain
// ICX285) the set holds one, the FT50; every other camera reads a serial number of its own.
constexpr std::string_view kDefaultCameraSet =
    "pid=0x2131,serial=1001,serial2=3001;"                              // ICX415 packed, 780 x 582
    "pid=0x2011,type=0x2280,serial=1002,serial2=3002,controller=2002;"  // probed: ICX285, fibre
    "pid=0x2125,serial=1003,serial2=3003;"                              // ICX285 packed, temperature
    "pid=0x2031,type=0x6214,channel=20,serial=1004,serial2=3004,controller=2004;"  // Kodak, 2 slots
    "pid=0x212F,module=1,serial=1005,serial2=3005;"  // ICX285 packed with intensifier module
    "pid=0x2311,serial=1006";                        // Dalsa FT50, rotated 90 degrees

std::string_view trim(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

class CameraParser {
public:
    CameraParser(int position, std::string_view text) : position_(position), text_(text) {}

    CameraConfig parse() {
        CameraConfig config;
        bool hasProductId = false;
        std::vector<std::string_view> seen;
        for (std::string_view item : split(text_, ',')) {
            item = trim(item);
            if (item.empty()) fail("has an empty item; write key=value pairs separated by commas");
            const auto equals = item.find('=');
            if (equals == std::string_view::npos) {
                fail("item '" + std::string(item) + "' is not key=value");
            }
            const std::string_view key = trim(item.substr(0, equals));
            const std::string_view value = trim(item.substr(equals + 1));
            for (std::string_view earlier : seen) {
                if (earlier == key) failKey(key, "is given twice");
            }
            seen.push_back(key);
            if (key == "pid") {
                config.bootProductId = hex16(key, value);
                hasProductId = true;
            } else if (key == "vid") {
                config.vendorId = hex16(key, value);
            } else if (key == "type") {
                config.typeWord = hex16(key, value);
            } else if (key == "serial") {
                config.serial = static_cast<std::uint16_t>(decimal(key, value, 0xFFFF));
            } else if (key == "serial2") {
                config.serial2 = static_cast<std::uint16_t>(decimal(key, value, 0xFFFF));
            } else if (key == "controller") {
                config.controllerSerial = static_cast<std::uint16_t>(decimal(key, value, 0xFFFF));
            } else if (key == "module") {
                config.moduleType = static_cast<int>(decimal(key, value, 5));
            } else if (key == "channel") {
                config.channel = static_cast<std::uint8_t>(decimal(key, value, 0xFF));
            } else if (key == "version") {
                config.version = number(key, value, 16, 0xFFFFFF, "a hex number of at most 24 bits");
            } else if (key == "unplug") {
                config.unplugAfter = seconds(key, value);
            } else if (key == "replug") {
                config.replugAfter = seconds(key, value);
            } else {
                failKey(key,
                        "is unknown (known keys: pid, vid, type, serial, serial2, controller, module, "
                        "channel, version, unplug, replug)");
            }
        }
        if (!hasProductId) fail("has no pid (the boot product id, e.g. pid=0x2115)");
        if (config.replugAfter && !config.unplugAfter) {
            failKey("replug", "needs an unplug time: the camera must leave the bus before it can come back");
        }
        if (config.replugAfter && *config.replugAfter <= *config.unplugAfter) {
            failKey("replug", "must come later than unplug");
        }
        return config;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw ConfigError("ZMCORE_SIMULATE: camera " + std::to_string(position_) + " (\"" +
                          std::string(text_) + "\") " + what);
    }

    [[noreturn]] void failKey(std::string_view key, const std::string& what) const {
        fail("key '" + std::string(key) + "' " + what);
    }

    std::uint32_t number(std::string_view key, std::string_view value, int base, std::uint32_t maximum,
                         const char* expected) const {
        std::string_view digits = value;
        if (base == 16 && (digits.starts_with("0x") || digits.starts_with("0X"))) digits.remove_prefix(2);
        std::uint64_t parsed = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed, base);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
            parsed > maximum) {
            failKey(key, "has the value '" + std::string(value) + "'; expected " + expected);
        }
        return static_cast<std::uint32_t>(parsed);
    }

    std::uint16_t hex16(std::string_view key, std::string_view value) const {
        return static_cast<std::uint16_t>(number(key, value, 16, 0xFFFF, "a hex number of at most 16 bits"));
    }

    std::uint32_t decimal(std::string_view key, std::string_view value, std::uint32_t maximum) const {
        const std::string expected = "a decimal number from 0 to " + std::to_string(maximum);
        return number(key, value, 10, maximum, expected.c_str());
    }

    // Decimal seconds with at most three decimals ("2", "0.5"), in milliseconds.
    std::chrono::milliseconds seconds(std::string_view key, std::string_view value) const {
        if (value.starts_with('-')) {
            failKey(key, "has the value '" + std::string(value) + "'; a time must not be negative");
        }
        const auto point = value.find('.');
        const std::string_view whole = value.substr(0, point);
        const std::string_view fraction =
            point == std::string_view::npos ? std::string_view() : value.substr(point + 1);
        const auto digitsOnly = [](std::string_view digits) {
            return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
        };
        std::uint64_t wholeSeconds = 0;
        const auto [end, error] = std::from_chars(whole.data(), whole.data() + whole.size(), wholeSeconds);
        const bool wellFormed = !whole.empty() && digitsOnly(whole) && error == std::errc() &&
                                end == whole.data() + whole.size() && digitsOnly(fraction) &&
                                (point == std::string_view::npos || !fraction.empty()) &&
                                fraction.size() <= 3;
        std::int64_t milliseconds = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            milliseconds = milliseconds * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
        }
        const bool inRange = wholeSeconds < kMaxSeconds || (wholeSeconds == kMaxSeconds && milliseconds == 0);
        if (!wellFormed || !inRange) {
            failKey(key, "has the value '" + std::string(value) +
                             "'; expected seconds after the bus starts, a decimal number from 0 to " +
                             std::to_string(kMaxSeconds) + " with at most three decimals, such as 2 or 0.5");
        }
        return std::chrono::seconds(static_cast<std::int64_t>(wholeSeconds)) +
               std::chrono::milliseconds(milliseconds);
    }

    // A day: longer than any run that waits for a camera to come or go.
    static constexpr std::uint32_t kMaxSeconds = 86400;

    int position_;
    std::string_view text_;
};

}  // namespace

std::string_view defaultCameraSet() {
    return kDefaultCameraSet;
}

std::vector<CameraConfig> parseCameraSet(std::string_view text) {
    if (trim(text) == "default") text = kDefaultCameraSet;
    std::vector<CameraConfig> cameras;
    if (trim(text).empty()) return cameras;
    int position = 1;
    for (std::string_view cameraText : split(text, ';')) {
        // A trailing ';' is tolerated; an empty camera between two is not.
        if (trim(cameraText).empty() && position > 1 && cameraText.data() + cameraText.size() == text.end()) {
            break;
        }
        cameras.push_back(CameraParser(position, trim(cameraText)).parse());
        ++position;
    }
    return cameras;
}

unsigned parseBusRate(const char* text) {
    if (text == nullptr) return kDefaultBusRateMBps;
    const std::string_view value = trim(text);
    unsigned parsed = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), parsed, 10);
    if (value.empty() || error != std::errc() || end != value.data() + value.size()) {
        throw ConfigError("ZMCORE_SIM_BUS_MBPS: '" + std::string(text) +
                          "' is not a rate; give megabytes per second as a decimal number (0: no limit)");
    }
    return parsed;
}

BusConfig parseBusConfig(std::string_view cameraSet, const char* busRate) {
    BusConfig bus;
    bus.cameras = parseCameraSet(cameraSet);
    bus.rateMBps = bus.cameras.empty() ? 0 : parseBusRate(busRate);
    return bus;
}

}  // namespace simulator
