// The AVX-512 path of the frame conversion: byte swaps and 12-bit unpacking thirty-two pixels at a
// time; the tails of runs and the quarter turns go to the AVX2 kernels, which turn faster.
#include "devices/repack_kernels.h"

#ifdef ZM_REPACK_X86

#include <array>

#include <immintrin.h>

namespace ZmCoreLib_v4::repack {

namespace {

constexpr std::size_t kWidePixels = 32;
// unpack12x32 loads 64 bytes for the 48 it uses.
constexpr std::size_t kWidePackedLoadBytes = 64;

// Any byte of `x` to any position, as `indices` say. Written as the zero-masking form with every
// byte kept: the plain form trips GCC 12's maybe-uninitialized warning inside its own header.
ZM_AVX512 inline __m512i permuteBytes(__m512i indices, __m512i x) {
    return _mm512_maskz_permutexvar_epi8(~__mmask64{0}, indices, x);
}

// Byte indices that spread 32 packed pixels (48 bytes) into one little-endian word per pixel, in
// reverse order when Reverse; pixel j of a six-byte group takes its word's (low, high) bytes from
// group bytes kGroupWordBytes[j].
template <bool Reverse>
constexpr std::array<std::uint8_t, 64> packedWordIndices() {
    constexpr std::uint8_t kGroupWordBytes[kPackedGroupPixels][2] = {{1, 0}, {1, 2}, {3, 4}, {5, 4}};
    std::array<std::uint8_t, 64> indices{};
    for (std::size_t m = 0; m < kWidePixels; ++m) {
        const std::size_t k = Reverse ? kWidePixels - 1 - m : m;
        const std::size_t group = k / kPackedGroupPixels * kPackedGroupBytes;
        indices[2 * m] = static_cast<std::uint8_t>(group + kGroupWordBytes[k % kPackedGroupPixels][0]);
        indices[2 * m + 1] = static_cast<std::uint8_t>(group + kGroupWordBytes[k % kPackedGroupPixels][1]);
    }
    return indices;
}

// The bits each pixel keeps of its word; the others come from the word shifted left by four.
template <bool Reverse>
constexpr std::array<std::uint16_t, kWidePixels> packedKeepMasks() {
    constexpr std::uint16_t kKeep[kPackedGroupPixels] = {0xFFF0, 0xFF00, 0xF000, 0x0000};
    std::array<std::uint16_t, kWidePixels> masks{};
    for (std::size_t m = 0; m < kWidePixels; ++m)
        masks[m] = kKeep[(Reverse ? kWidePixels - 1 - m : m) % kPackedGroupPixels];
    return masks;
}

// Thirty-two packed pixels from the 48 bytes at p (64 bytes are loaded), in order or reversed:
// one byte permutation, one shift and one bitwise select.
template <bool Reverse>
ZM_AVX512 inline __m512i unpack12x32(const std::uint8_t* p) {
    static constexpr std::array<std::uint8_t, 64> kIndices = packedWordIndices<Reverse>();
    static constexpr std::array<std::uint16_t, kWidePixels> kKeep = packedKeepMasks<Reverse>();
    const __m512i words = permuteBytes(_mm512_loadu_si512(kIndices.data()), _mm512_loadu_si512(p));
    constexpr int kSelect = 0xCA;  // first operand ? second : third, bit by bit
    return _mm512_ternarylogic_epi32(_mm512_loadu_si512(kKeep.data()), words, _mm512_slli_epi16(words, 4),
                                     kSelect);
}

// Swaps the bytes of every word (indices within each 16-byte lane).
constexpr std::array<std::uint8_t, 64> kSwapWordBytes = [] {
    std::array<std::uint8_t, 64> indices{};
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<std::uint8_t>((i ^ 1) % 16);
    return indices;
}();
// Reversing all 64 bytes reverses the 32 words and swaps each word's bytes at once.
constexpr std::array<std::uint8_t, 64> kReverseAllBytes = [] {
    std::array<std::uint8_t, 64> indices{};
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<std::uint8_t>(63 - i);
    return indices;
}();

template <bool Reverse>
ZM_AVX512 inline void storeWidePixels(std::uint16_t* dst, std::size_t i, __m512i v) {
    _mm512_storeu_si512(Reverse ? dst - i - kWidePixels : dst + i, v);
}

// Decodes as much of the run as whole 32-pixel vectors allow, then leaves the rest to the AVX2
// kernel.
template <bool Reverse>
ZM_AVX512 void decodeRunAvx512(RawView raw, PixelPacking packing, std::size_t first, std::size_t count,
                               std::uint16_t* dst) {
    std::size_t i = 0;
    if (packing == PixelPacking::kBigEndian16) {
        const VectorSpan span = swappedVectors(raw, first, count, kWidePixels);
        const __m512i swap = _mm512_loadu_si512(kSwapWordBytes.data());
        const __m512i reverse = _mm512_loadu_si512(kReverseAllBytes.data());
#pragma GCC unroll 4
        for (std::size_t n = 0; n < span.vectors; ++n) {
            const std::size_t at = vectorInOrder<Reverse>(n, span.vectors) * kWidePixels;
            const __m512i x = _mm512_loadu_si512(span.src + 2 * at);
            storeWidePixels<Reverse>(dst, at,
                                     Reverse ? permuteBytes(reverse, x) : _mm512_shuffle_epi8(x, swap));
        }
        i = span.vectors * kWidePixels;
    } else {
        i = packedHead(first, count);
        decodeRunPortable<Reverse>(raw, packing, first, i, dst);
        constexpr std::size_t kVectorBytes = kWidePixels / kPackedGroupPixels * kPackedGroupBytes;
        const VectorSpan span = packedVectors(raw, first + i, count - i, kWidePixels, kWidePackedLoadBytes);
#pragma GCC unroll 4
        for (std::size_t n = 0; n < span.vectors; ++n) {
            const std::size_t v = vectorInOrder<Reverse>(n, span.vectors);
            storeWidePixels<Reverse>(dst, i + v * kWidePixels,
                                     unpack12x32<Reverse>(span.src + v * kVectorBytes));
        }
        i += span.vectors * kWidePixels;
    }
    decodeRunAvx2<Reverse>(raw, packing, first + i, count - i, Reverse ? dst - i : dst + i);
}

}  // namespace

const Kernels kAvx512Kernels{decodeRunAvx512<false>, decodeRunAvx512<true>, turnFrameAvx2};

}  // namespace ZmCoreLib_v4::repack

#endif  // ZM_REPACK_X86
