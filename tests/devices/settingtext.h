// A setting as one line of text, so that a camera's whole settings list compares as a table:
//   string       "3101 Zenmira-K2-285"
//   enumeration  "3003 5005,5006,5007,5008 = 5005"
//   scalar       "3002 нс,мкс,мс [мс] 10..1000 = 250"   (units, display unit, range and value in it)
// A disabled setting ends with " (off)".
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/text.h"
#include "zmcorelib/device.h"
#include "zmcorelib/setting.h"

namespace ZmCoreLib_v4::testing_support {

inline std::string hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

inline std::string settingText(ZmCoreLib::ISetting& setting) {
    std::string text = hex(setting.GetId());
    if (ZmCoreLib::ISettingString* string = setting.GetString()) {
        text += " " + platform::toUtf8(string->GetValue());
    } else if (ZmCoreLib::ISettingEnum* choice = setting.GetEnum()) {
        ZmCoreLib::IPairIterator* items = choice->GetItems();
        std::string separator = " ";
        for (items->First(); !items->IsDone(); items->Next()) {
            text += separator + hex(static_cast<unsigned>(items->Current()->GetKey()));
            separator = ",";
        }
        items->Release();
        text += " = " + hex(static_cast<unsigned>(choice->GetValue()));
    } else if (ZmCoreLib::ISettingScalar* scalar = setting.GetScalar()) {
        ZmCoreLib::IPairIterator* units = scalar->GetUnits();
        std::string separator = " ";
        std::string displayUnit;
        for (units->First(); !units->IsDone(); units->Next()) {
            const std::string unitText = platform::toUtf8(units->Current()->GetName());
            if (units->Current()->GetKey() == scalar->GetUnit()) displayUnit = unitText;
            text += separator + unitText;
            separator = ",";
        }
        units->Release();
        const int unit = scalar->GetUnit();
        text += " [" + displayUnit + "] " + std::to_string(scalar->GetMin(unit)) + ".." +
                std::to_string(scalar->GetMax(unit)) + " = " + std::to_string(scalar->GetValue());
    }
    if (!setting.IsEnabled()) text += " (off)";
    return text;
}

// Every setting of `device`, in the order clients see them.
inline std::vector<std::string> settingsText(ZmCoreLib::IDevice& device) {
    std::vector<std::string> lines;
    ZmCoreLib::ISettingIterator* settings = device.GetSettings();
    for (settings->First(); !settings->IsDone(); settings->Next())
        lines.push_back(settingText(*settings->Current()));
    settings->Release();
    return lines;
}

}  // namespace ZmCoreLib_v4::testing_support
