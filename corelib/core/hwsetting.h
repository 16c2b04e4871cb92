// Settings that reach the camera: enumerations mapped to register codes and scalars kept in
// signed 64-bit counts of a base unit (ns, µV, pixels, frames, Hz, pulses, %, arbitrary units).
//
// A setting never writes a register. Every accepted change calls the camera's
// IChecker::Check with the setting's id (the camera adjusts coupled settings and queues the id
// for its register writer), then notifies the observers, so they see the adjusted state. While
// the kind object is not yet wrapped in a Setting, changes are stored but nobody is told.
//
// Threads: no locks; a change runs on the caller's thread (client or camera thread). The camera
// thread reads values while clients change them, so the values (and an enumeration's register
// code) are atomic: a read sees the value before or after a change, never a torn one. The rest
// (units, limits, step, reference, items) is set while the camera is built, or changed by
// clients where the camera thread does not read it.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <vector>

#include "core/checker.h"
#include "core/setting.h"

namespace ZmCoreLib_v4 {

// The register sub-address of a setting (the intensifier module addresses its registers by it).
class HwAddress {
public:
    void setHwAddress(int address) { address_ = address; }
    int hwAddress() const { return address_; }

private:
    int address_ = 0;
};

class SettingEnum final : public ZmCoreLib::SettingEnum, public HwAddress {
public:
    // checker: the owning camera, or null for a setting no camera checks.
    explicit SettingEnum(IChecker* checker) : checker_(checker) {}

    // New iterator over the items (key = value id, name = display text); caller releases it.
    ZmCoreLib::IPairIterator* GetItems() override;
    int GetValue() override { return value_; }
    // False and nothing changed when the id is not an item; otherwise selects it and applies the
    // change, even when it was already selected.
    bool SetValue(int valueId) override;

    // Replaces the items by copies of what the iterator yields (null: no items); the register
    // codes are kept. The caller keeps and releases the iterator.
    void SetItems(ZmCoreLib::IPairIterator* items) override;
    // Appends the value with its catalogue text and maps it to `registerCode`; the current value
    // is not changed. Throws std::invalid_argument for a value id missing from the catalogue.
    void AddItem(int valueId, int registerCode) override;

    // The register code of the current value (0 before the first accepted SetValue).
    int GetRegisterCode() const { return registerCode_; }

private:
    IChecker* checker_;
    std::atomic<int> registerCode_{0};
    std::map<int, int> codes_;  // value id -> register code
    std::atomic<int> value_{0};
    std::vector<ZmCoreLib::Pair> items_;
};

// Unit ids given to the conversions below may be any unit of the unit catalogue, offered or not
// (multipliers are fixed per unit); an id outside the catalogue counts base units.
// Values reported through the 32-bit client interface saturate at the int range.
class SettingScalar final : public ZmCoreLib::SettingScalar, public HwAddress {
public:
    // checker: the owning camera, or null for a setting no camera checks.
    explicit SettingScalar(IChecker* checker) : checker_(checker) {}

    // --- client interface, values in the current display unit
    ZmCoreLib::IPairIterator* GetUnits() override;
    int GetValue() override;
    // Low 32 bits of (last requested value − the value before it), in base units.
    int GetLastChange() override { return static_cast<int>(lastChange_); }
    int GetUnit() override { return unit_; }
    // Clamps to [min, max] and moves onto the step grid; see hwsetting.cpp.
    void SetValue(int value) override { setValueInUnits(value); }
    void Shift(int delta) override { setValueInUnits(delta + value_ / multiplier_); }
    // Switches the display unit. An offered coarser unit re-quantises a value that is not a whole
    // number of it (which applies the change); a unit not offered only notifies, so displays
    // revert.
    void SetUnit(int unitId) override;
    // The minimum in `unitId`, rounded toward zero but never to 0 when the minimum is not 0.
    int GetMin(int unitId) override;
    int GetMax(int unitId) override;

    // --- tuner interface, for the code that builds the setting
    void Reserved0(int) override {}
    // The first unit added becomes the display unit. Throws std::invalid_argument for a unit id
    // missing from the catalogue.
    void AddUnit(int unitId) override;
    // Raising the minimum raises the maximum and the value to it where they are lower (a value
    // moved applies the change); lowering it changes nothing else.
    void SetMin(int value, int unitId) override;
    // Only stores the maximum: the value is not re-clamped and nobody is told.
    void SetMax(int value, int unitId) override;

    // --- camera side
    // Step in the current display unit; a step below one base unit counts as one.
    void SetStep(std::int64_t step);
    std::int64_t GetValueIn(int unitId) const { return value_ / multiplierOf(unitId); }
    std::int64_t GetStepIn(int unitId) const { return step_ / multiplierOf(unitId); }
    // Camera thread: takes the present value as the one the camera gets. A client may change
    // the value at any time, so the writer marks first and encodes GetWrittenIn: what it records
    // is then what it wrote.
    void MarkWritten() { written_ = value_.load(); }
    // The value last marked written; 0 before the first mark.
    std::int64_t GetWrittenIn(int unitId) const { return written_ / multiplierOf(unitId); }
    // Lowers the value to `amount` (rounded down to the display unit) if it is higher.
    void LowerTo(std::int64_t amount, int unitId);
    // Raises the value to `amount` (rounded up to the display unit) if it is lower.
    void RaiseTo(std::int64_t amount, int unitId);
    // The base value register encoders subtract.
    void SetReference(std::int64_t amount, int unitId) { reference_ = amount * multiplierOf(unitId); }
    // The reference in the current display unit.
    std::int64_t GetReference() const { return reference_ / multiplier_; }

private:
    static std::int64_t multiplierOf(int unitId);
    void setValueInUnits(std::int64_t value);
    void apply();

    IChecker* checker_;
    std::atomic<std::int64_t> value_{kNeverSet};
    std::atomic<std::int64_t> written_{0};  // camera thread
    std::int64_t lastChange_ = 0;
    std::int64_t step_ = 1;
    std::int64_t multiplier_ = 1;  // base units per display unit
    std::int64_t min_ = 0;
    std::int64_t max_ = 0;
    std::int64_t reference_ = 0;
    int unit_ = 0;
    std::vector<ZmCoreLib::Pair> units_;

    static constexpr std::int64_t kNeverSet = -1;
};

}  // namespace ZmCoreLib_v4
