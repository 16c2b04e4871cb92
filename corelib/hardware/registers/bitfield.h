// A field of a 24-bit camera register: `width` bits from bit `shift` up. The register tables of
// this folder name their fields with it; register images change fields by it and reads take
// fields out of register values with it.
#pragma once

#include <cstdint>

namespace ZmCoreLib_v4::registers {

struct BitField {
    int shift;
    int width = 1;

    constexpr unsigned mask() const { return ((1u << width) - 1u) << shift; }
    // `value` in the field's place; bits beyond the field's width are dropped.
    constexpr unsigned place(std::int64_t value) const {
        return (static_cast<unsigned>(value) << shift) & mask();
    }
    constexpr unsigned extract(unsigned registerValue) const { return (registerValue & mask()) >> shift; }
};

}  // namespace ZmCoreLib_v4::registers
