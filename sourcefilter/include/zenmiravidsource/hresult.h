// Result codes of the filter's operations: 32-bit values, negative for failures.
#pragma once

#include <cstdint>

namespace ZenmiraVidSource {

using HResult = std::int32_t;

inline constexpr HResult S_OK = 0;
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult VFW_S_NO_MORE_ITEMS = 0x00040103;
inline constexpr HResult E_NOTIMPL = static_cast<HResult>(0x80004001u);
inline constexpr HResult E_POINTER = static_cast<HResult>(0x80004003u);
inline constexpr HResult E_FAIL = static_cast<HResult>(0x80004005u);
inline constexpr HResult E_OUTOFMEMORY = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult E_INVALIDARG = static_cast<HResult>(0x80070057u);
inline constexpr HResult E_NOINTERFACE = static_cast<HResult>(0x80004002u);
inline constexpr HResult VFW_E_TYPE_NOT_ACCEPTED = static_cast<HResult>(0x8004022Au);

constexpr bool succeeded(HResult result) {
    return result >= 0;
}

}  // namespace ZenmiraVidSource
