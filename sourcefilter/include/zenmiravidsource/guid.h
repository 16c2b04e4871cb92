// 128-bit class and interface identifiers, written as in registry notation:
// {60EB129E-0AE7-42A8-8F6D-44DA44A6AD85} is Guid{0x60EB129E, 0x0AE7, 0x42A8, {0x8F, 0x6D, ...}}.
#pragma once

#include <cstdint>

namespace ZenmiraVidSource {

struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];

    friend constexpr bool operator==(const Guid& a, const Guid& b) {
        if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
        for (int i = 0; i < 8; ++i)
            if (a.data4[i] != b.data4[i]) return false;
        return true;
    }
};

}  // namespace ZenmiraVidSource
