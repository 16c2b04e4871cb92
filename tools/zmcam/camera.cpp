#include "camera.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/text.h"

namespace zmcam {

namespace {

std::string hexId(unsigned id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", id);
    return text;
}

std::string utf8(const char16_t* text) {
    return text != nullptr ? platform::toUtf8(text) : std::string();
}

// The pairs of an iterator as (key, name); the iterator is released.
std::vector<std::pair<int, std::string>> pairs(ZmCoreLib::IPairIterator* iterator) {
    std::vector<std::pair<int, std::string>> result;
    if (iterator == nullptr) return result;
    for (iterator->First(); !iterator->IsDone(); iterator->Next()) {
        result.emplace_back(iterator->Current()->GetKey(), utf8(iterator->Current()->GetName()));
    }
    iterator->Release();
    return result;
}

std::string unitText(ZmCoreLib::ISettingScalar& scalar, int unit) {
    for (const auto& [id, text] : pairs(scalar.GetUnits())) {
        if (id == unit) return text;
    }
    return hexId(static_cast<unsigned>(unit));
}

std::vector<ZmCoreLib::ISetting*> allSettings(ZmCoreLib::IDevice& camera) {
    std::vector<ZmCoreLib::ISetting*> settings;
    ZmCoreLib::ISettingIterator* iterator = camera.GetSettings();
    if (iterator == nullptr) return settings;
    for (iterator->First(); !iterator->IsDone(); iterator->Next()) settings.push_back(iterator->Current());
    iterator->Release();
    return settings;
}

}  // namespace

std::optional<long long> parseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = text.c_str() + (hex ? 2 : 0);
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(digits, &end, hex ? 16 : 10);
    if (errno != 0 || end == digits || *end != '\0') return std::nullopt;
    return value;
}

ZmCoreLib::IDevice* openCamera(CommandContext& context, const std::string& deviceIndex) {
    const std::optional<long long> index = parseNumber(deviceIndex);
    if (!index) {
        std::fprintf(context.err, "zmcam: '%s' is not a device index; `zmcam list` shows the cameras\n",
                     deviceIndex.c_str());
        return nullptr;
    }
    ZmCoreLib::IPairIterator* names = context.environment.GetDeviceNames();
    ZmCoreLib::IPair* entry = nullptr;
    for (names->First(); !names->IsDone() && entry == nullptr; names->Next()) {
        if (names->Current()->GetKey() == *index) entry = names->Current();
    }
    ZmCoreLib::IDeviceCreator* creator =
        entry != nullptr ? context.environment.GetDeviceCreator(entry) : nullptr;
    names->Release();
    if (creator == nullptr) {
        std::fprintf(context.err, "zmcam: no camera has device index %lld; `zmcam list` shows the cameras\n",
                     *index);
        return nullptr;
    }
    ZmCoreLib::IDevice* camera = creator->CreateDevice();
    if (camera == nullptr) {
        std::fprintf(context.err, "zmcam: camera %lld is of a model this library cannot drive\n", *index);
    }
    return camera;
}

ZmCoreLib::ISetting* findSetting(CommandContext& context, ZmCoreLib::IDevice& camera,
                                 const std::string& key) {
    if (const std::optional<long long> id = parseNumber(key)) {
        ZmCoreLib::ISetting* setting =
            id >= 0 && id <= UINT_MAX ? camera.FindSetting(static_cast<unsigned>(*id)) : nullptr;
        if (setting == nullptr) {
            std::fprintf(context.err, "zmcam: the camera has no setting %s; `zmcam info` lists them\n",
                         key.c_str());
        }
        return setting;
    }
    std::vector<ZmCoreLib::ISetting*> named;
    for (ZmCoreLib::ISetting* setting : allSettings(camera)) {
        if (utf8(setting->GetName()) == key) named.push_back(setting);
    }
    if (named.size() == 1) return named.front();
    if (named.empty()) {
        std::fprintf(context.err, "zmcam: the camera has no setting named '%s'; `zmcam info` lists them\n",
                     key.c_str());
    } else {
        std::string ids;
        for (ZmCoreLib::ISetting* setting : named) ids += " " + hexId(setting->GetId());
        std::fprintf(context.err, "zmcam: several settings are named '%s' (%s ); give the id instead\n",
                     key.c_str(), ids.c_str());
    }
    return nullptr;
}

std::string describeSetting(ZmCoreLib::ISetting& setting) {
    std::string line = hexId(setting.GetId()) + "\t";
    if (ZmCoreLib::ISettingString* string = setting.GetString()) {
        line += "text\t" + utf8(setting.GetName()) + "\t" + utf8(string->GetValue()) + "\t-";
    } else if (ZmCoreLib::ISettingEnum* choice = setting.GetEnum()) {
        std::string value = hexId(static_cast<unsigned>(choice->GetValue()));
        std::string choices;
        for (const auto& [id, text] : pairs(choice->GetItems())) {
            const std::string item = hexId(static_cast<unsigned>(id)) + " " + text;
            if (id == choice->GetValue()) value = item;
            choices += (choices.empty() ? "choices: " : ", ") + item;
        }
        line += "choice\t" + utf8(setting.GetName()) + "\t" + value + "\t" + choices;
    } else if (ZmCoreLib::ISettingScalar* scalar = setting.GetScalar()) {
        const int unit = scalar->GetUnit();
        const std::string shown = unitText(*scalar, unit);
        std::string units;
        for (const auto& [id, text] : pairs(scalar->GetUnits())) units += (units.empty() ? "" : ", ") + text;
        line += "number\t" + utf8(setting.GetName()) + "\t" + std::to_string(scalar->GetValue()) + " " +
                shown + "\trange " + std::to_string(scalar->GetMin(unit)) + ".." +
                std::to_string(scalar->GetMax(unit)) + " " + shown + "; units: " + units;
    }
    return line + (setting.IsEnabled() ? "\tenabled" : "\tdisabled");
}

bool applySetting(CommandContext& context, ZmCoreLib::ISetting& setting, const std::string& value,
                  const std::string& unit) {
    if (setting.GetString() != nullptr) {
        std::fprintf(context.err, "zmcam: %s is a read-only text\n", hexId(setting.GetId()).c_str());
        return false;
    }
    if (ZmCoreLib::ISettingEnum* choice = setting.GetEnum()) {
        if (!unit.empty()) {
            std::fprintf(context.err, "zmcam: %s is a choice and takes no unit\n",
                         hexId(setting.GetId()).c_str());
            return false;
        }
        std::string choices;
        for (const auto& [id, text] : pairs(choice->GetItems())) {
            if (text == value || parseNumber(value) == id) return choice->SetValue(id);
            choices += (choices.empty() ? "" : ", ") + hexId(static_cast<unsigned>(id)) + " (" + text + ")";
        }
        std::fprintf(context.err, "zmcam: '%s' is not a choice of %s; choose one of %s\n", value.c_str(),
                     hexId(setting.GetId()).c_str(), choices.c_str());
        return false;
    }
    ZmCoreLib::ISettingScalar& scalar = *setting.GetScalar();
    const std::optional<long long> number = parseNumber(value);
    if (!number || *number < INT_MIN || *number > INT_MAX) {
        std::fprintf(context.err, "zmcam: '%s' is not a whole number\n", value.c_str());
        return false;
    }
    if (!unit.empty()) {
        std::optional<int> unitId;
        std::string offered;
        for (const auto& [id, text] : pairs(scalar.GetUnits())) {
            if (text == unit || parseNumber(unit) == id) unitId = id;
            offered += (offered.empty() ? "" : ", ") + text;
        }
        if (!unitId) {
            std::fprintf(context.err, "zmcam: %s is not counted in '%s'; it offers %s\n",
                         hexId(setting.GetId()).c_str(), unit.c_str(), offered.c_str());
            return false;
        }
        scalar.SetUnit(*unitId);
    }
    scalar.SetValue(static_cast<int>(*number));
    return true;
}

}  // namespace zmcam
