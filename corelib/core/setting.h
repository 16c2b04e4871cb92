// The library's settings: a catalogue entry plus one kind object that holds the value, and the
// observers told about every change.
//
// Ownership: the code that builds a setting (a device, a frame buffer, the intensifier module)
// owns both the Setting objects (usually in a std::vector<Setting>) and their kind objects; a
// Setting never deletes its kind object.
//
// Copies are shallow: every copy shares the kind object and one observer list, so observers
// registered through the copy in an owner's list hear changes made through the kind object.
// The kind object reports changes through the oldest copy that is still alive, so a temporary
// that was copied into a list, or a list that reallocated, never leaves it pointing at a
// destroyed object, whatever order owners destroy settings and kind objects in.
//
// Threads: settings take no locks. Changes and notifications run on the changing thread; copy
// settings and add or remove observers only while no other thread changes the setting.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/catalogue.h"
#include "core/pair.h"
#include "zmcorelib/setting.h"

namespace ZmCoreLib {

class Setting;

namespace detail {
// What every copy of one setting shares.
struct SettingShared {
    std::vector<ISettingObserver*> observers;
    std::vector<Setting*> copies;  // live copies, oldest first
};
}  // namespace detail

// Owner link and enabled flag common to every kind object.
class SettingKind {
public:
    virtual ~SettingKind() = default;
    SettingKind(const SettingKind&) = delete;
    SettingKind& operator=(const SettingKind&) = delete;

    // Called by the Setting constructor.
    void setOwner(Setting* owner);
    // The setting changes are reported through, or null before the kind object is wrapped in a
    // setting or after every copy of it is gone.
    Setting* owner() const;

    bool isEnabled() const { return enabled_; }
    // Notifies the owner when the flag changes; setting it to its present value does nothing.
    void setEnabled(bool enabled);

protected:
    SettingKind() = default;
    // Tells the owner's observers, if there is an owner.
    void notifyOwner() const;

private:
    std::shared_ptr<detail::SettingShared> shared_;
    bool enabled_ = true;
};

// Abstract kind bases; the value rules live in the hardware-backed implementations.
class SettingEnum : public ISettingEnum, public ISettingEnumTuner, public SettingKind {};
class SettingScalar : public ISettingScalar, public ISettingScalarTuner, public SettingKind {};
// No setting of this system has the rectangle kind; the base keeps the interface complete.
class SettingRect : public ISettingRect, public ISettingRectTuner, public SettingKind {};

// A read-only text for clients (information texts, the frame counter); its owner writes it.
class SettingString final : public ISettingString, public SettingKind {
public:
    // Valid until the value changes.
    const char16_t* GetValue() override { return value_.c_str(); }
    // Stores the text, then notifies.
    void SetText(std::u16string text);
    // Stores the decimal text of n ("-12", "0"), then notifies.
    void SetNumber(int n);

private:
    std::u16string value_;
};

class Setting final : public ISetting, public ISettingNotify {
public:
    // Takes its descriptive data from the catalogue entry of `id` and becomes the kind object's
    // owner. Throws std::invalid_argument when the id is not in the catalogue or the catalogue
    // gives it another kind than the kind object's.
    Setting(unsigned id, SettingEnum* kind);
    Setting(unsigned id, SettingScalar* kind);
    Setting(unsigned id, SettingString* kind);

    Setting(const Setting& other);
    Setting& operator=(const Setting& other);
    ~Setting();

    unsigned GetId() override { return id_; }
    unsigned GetType() override { return kind_; }
    unsigned GetGroup() override { return group_; }
    const char16_t* GetName() override { return name_; }
    const char16_t* GetHint() override { return hint_; }
    const char16_t* GetDescription() override { return description_; }
    bool IsEnabled() override;
    ISettingEnum* GetEnum() override { return enum_; }
    // Always null: no setting has the rectangle kind.
    ISettingRect* GetRect() override { return nullptr; }
    ISettingScalar* GetScalar() override { return scalar_; }
    ISettingString* GetString() override { return string_; }
    void AddObserver(ISettingObserver* observer) override;
    void RemoveObserver(ISettingObserver* observer) override;

    // Calls every observer in registration order with this setting; whatever an observer throws
    // is swallowed. An observer may remove itself (or another) from inside the call.
    void Notify() override;

private:
    Setting(unsigned id, unsigned kindCode, SettingKind* kindObject);
    SettingKind* kindObject() const;
    void join();
    void leave();

    unsigned id_;
    unsigned group_;
    unsigned kind_;
    const char16_t* name_;
    const char16_t* hint_;
    const char16_t* description_;
    SettingEnum* enum_ = nullptr;
    SettingScalar* scalar_ = nullptr;
    SettingString* string_ = nullptr;
    std::shared_ptr<detail::SettingShared> shared_;

    friend class SettingKind;
};

// Walks an owner's settings list; see ListIterator for its checks.
using SettingIterator = ListIterator<ISettingIterator, Setting, ISetting>;

}  // namespace ZmCoreLib
