// Camera settings as clients see them: a catalogue entry plus one kind object that holds the value.
//
// Settings take no locks. Values change on client threads and on the device's own threads;
// observers are called synchronously on the changing thread. Register and remove observers while
// no other thread changes the setting (when attaching to and detaching from a device).
#pragma once

#include "zmcorelib/pair.h"

namespace ZmCoreLib {

class ISetting;
class IPairIterator;

class ISettingEnum {
public:
    // New iterator over the allowed values (key = value id, name = display text); caller releases it.
    virtual IPairIterator* GetItems() = 0;
    virtual int GetValue() = 0;
    // False and nothing changed when the id is not among the items.
    virtual bool SetValue(int valueId) = 0;

protected:
    ~ISettingEnum() = default;
};

class ISettingEnumTuner {
public:
    virtual void SetItems(IPairIterator* items) = 0;
    virtual void AddItem(int valueId, int registerCode) = 0;

protected:
    ~ISettingEnumTuner() = default;
};

// Values cross this interface as 32-bit integers in a named unit (see units in ids.h).
class ISettingScalar {
public:
    // New iterator over the offered units (key = unit id, name = unit text); caller releases it.
    virtual IPairIterator* GetUnits() = 0;
    virtual int GetValue() = 0;
    virtual int GetLastChange() = 0;
    virtual int GetUnit() = 0;
    virtual void SetValue(int value) = 0;
    virtual void Shift(int delta) = 0;
    virtual void SetUnit(int unitId) = 0;
    virtual int GetMin(int unitId) = 0;
    virtual int GetMax(int unitId) = 0;

protected:
    ~ISettingScalar() = default;
};

class ISettingScalarTuner {
public:
    virtual void Reserved0(int) = 0;  // no effect; keeps the operation order
    virtual void AddUnit(int unitId) = 0;
    virtual void SetMin(int value, int unitId) = 0;
    virtual void SetMax(int value, int unitId) = 0;

protected:
    ~ISettingScalarTuner() = default;
};

// No setting of this system uses the rectangle kind; the interface keeps its place.
class ISettingRect {
public:
    virtual void GetRect(int* x, int* y, int* width, int* height) = 0;
    virtual void SetRectRaw(int x, int y, int width, int height) = 0;
    virtual void GetFullSize(int* width, int* height) = 0;
    virtual void GetFreeSize(int* width, int* height) = 0;
    virtual bool IsLocked() = 0;
    virtual bool IsHorizontalFixed() = 0;
    virtual bool IsVerticalFixed() = 0;
    virtual void SetLocked(bool locked) = 0;
    virtual void SetHorizontalFixed(bool fixed) = 0;
    virtual void SetVerticalFixed(bool fixed) = 0;
    virtual int GetX() = 0;
    virtual int GetY() = 0;
    virtual int GetWidth() = 0;
    virtual int GetHeight() = 0;
    virtual void SetX(int x) = 0;
    virtual void SetY(int y) = 0;
    virtual void SetWidth(int width) = 0;
    virtual void SetHeight(int height) = 0;

protected:
    ~ISettingRect() = default;
};

class ISettingRectTuner {
public:
    virtual void SetMinimum(int x, int y, int width, int height) = 0;
    virtual void SetMaximum(int x, int y, int width, int height) = 0;

protected:
    ~ISettingRectTuner() = default;
};

// Read-only for clients; the owner changes the text.
class ISettingString {
public:
    // Valid until the value changes.
    virtual const char16_t* GetValue() = 0;

protected:
    ~ISettingString() = default;
};

// Implemented by clients. Called on whatever thread changed the setting.
class ISettingObserver {
public:
    virtual void OnSettingChanged(ISetting* setting) = 0;

protected:
    ~ISettingObserver() = default;
};

class ISetting {
public:
    virtual unsigned GetId() = 0;
    virtual unsigned GetType() = 0;
    virtual unsigned GetGroup() = 0;
    virtual const char16_t* GetName() = 0;
    virtual const char16_t* GetHint() = 0;
    virtual const char16_t* GetDescription() = 0;
    virtual bool IsEnabled() = 0;
    virtual ISettingEnum* GetEnum() = 0;
    virtual ISettingRect* GetRect() = 0;
    virtual ISettingScalar* GetScalar() = 0;
    virtual ISettingString* GetString() = 0;
    // An observer added twice is called twice.
    virtual void AddObserver(ISettingObserver* observer) = 0;
    // Removes the first equal registration, if any.
    virtual void RemoveObserver(ISettingObserver* observer) = 0;

protected:
    ~ISetting() = default;
};

// Tells every observer, in registration order; whatever an observer throws is swallowed.
class ISettingNotify {
public:
    virtual void Notify() = 0;

protected:
    ~ISettingNotify() = default;
};

// Same shape as IPairIterator.
class ISettingIterator {
public:
    virtual void First() = 0;
    virtual bool IsDone() = 0;
    virtual void Next() = 0;
    virtual void Release() = 0;
    virtual ISetting* Current() = 0;

protected:
    ~ISettingIterator() = default;
};

}  // namespace ZmCoreLib
