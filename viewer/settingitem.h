// The viewer's view of one camera setting, and the registry of one representative per setting id.
//
// A SettingItem wraps a library-owned ZmCoreLib::ISetting (never owned, never observed) and caches
// what the lists and editors need: an enumeration's choices, a scalar's units and the text last
// shown for the value. Every write goes straight to the library, which clamps, stores, programs
// the camera and notifies; nothing is buffered here. GUI thread only.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ZmCoreLib {
class ISetting;
}

class SettingItem {
public:
    using Entry = std::pair<int, std::u16string>;  // (value or unit id, display name)

    explicit SettingItem(ZmCoreLib::ISetting* setting);

    unsigned type() const;
    unsigned id() const;
    std::u16string name() const;
    ZmCoreLib::ISetting* setting() const { return setting_; }

    // Refreshes the shown text from the library and returns it. An enumeration value that is not
    // among the choices keeps the previous text; a kind without a text keeps it too.
    const std::u16string& valueText();

    // Enumeration: value id; scalar: value in the current unit; other kinds: -1.
    int value() const;
    void setValue(int value);
    // Scalar: current unit id; other kinds: -1.
    int unit() const;
    void setUnit(int unitId);
    // Scalar only: the limits in `unitId`; other kinds leave both untouched.
    void range(int& min, int& max, int unitId) const;
    // Scalar only: the library adds `delta` to the value in the current unit and applies it.
    void shift(int delta);

    const std::vector<Entry>& choices() const { return choices_; }
    const std::vector<Entry>& units() const { return units_; }
    // Position of the first entry with that id, or the number of entries when none has it.
    int indexOfChoice(int valueId) const;
    int indexOfUnit(int unitId) const;
    // Out-of-range positions change nothing.
    void selectChoice(int index);
    void selectUnit(int index);

    // The widest text the value column may have to show, in characters.
    int maxTextLength() const;
    bool sameSetting(const SettingItem& other) const;

private:
    ZmCoreLib::ISetting* setting_;
    std::vector<Entry> units_;    // scalar only, in the library's order
    std::vector<Entry> choices_;  // enumeration only, in the library's order
    std::u16string text_;
};

// One representative item per setting id, over all cameras, in ascending id order; the first item
// registered for an id stays. Filled while the cameras are opened; lives until process exit.
class SettingRegistry {
public:
    using Entries = std::map<unsigned, SettingItem>;

    static SettingRegistry& instance();

    void add(const SettingItem& item);

    Entries::iterator begin() { return entries_.begin(); }
    Entries::iterator end() { return entries_.end(); }
    size_t size() const { return entries_.size(); }
    // The entry of row `row` (ascending id order); the registry must have that many entries.
    SettingItem& at(int row);

private:
    Entries entries_;
};
