// The analog front end (requests 0xE3). Every write to it carries the front end's own register
// number as its first byte, then the value.
#pragma once

#include <cstdint>

namespace ZmCoreLib_v4::registers::frontend {

struct Register {
    unsigned address;
    std::uint8_t number;
};

// Family B writes its data delay here; family A cameras take kFamilyAValue.
inline constexpr Register kDataDelay{0xE30002, 2};
inline constexpr std::uint8_t kFamilyAValue = 2;
inline constexpr Register kSamplingDelay{0xE30003, 3};
inline constexpr Register kGain{0xE30008, 8};
// The delays count in steps of their setting, in the low byte.
inline constexpr unsigned kDelayMask = 0xFF;

}  // namespace ZmCoreLib_v4::registers::frontend
