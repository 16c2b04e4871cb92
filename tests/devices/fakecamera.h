// A camera's FPGA frame slots behind a FakeHwLayer: ready flags in the buffer-manager register,
// the slot a transfer selects, acknowledgements that free a slot, and bulk reads that serve a
// deterministic picture per frame number. Its version register shows a version, as an FPGA that
// took its configuration does. It records every frame it served, in order, so a test
// can pair the frames a device delivers with the raw bytes they came from.
//
// Threads: its state changes inside the layer's handlers (under the layer's lock) and under its
// own lock; the test thread reads it through the accessors.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "fakehwlayer.h"

namespace ZmCoreLib_v4::testing_support {

class FakeCamera {
public:
    static constexpr unsigned kBufferManager = 0xE2000C;
    static constexpr unsigned kTransferLength = 0xE2000D;
    static constexpr unsigned kVersion = 0xE2000F;
    static constexpr unsigned kConfiguredVersion = 0x020011;

    struct Served {
        int slot;
        int frameNumber;
        bool delivered;  // false when the read was made to fail
    };

    // The raw bytes of frame `frameNumber`, `length` long: every frame differs, every byte too.
    static std::vector<std::uint8_t> rawContent(int frameNumber, int length) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
        for (std::size_t k = 0; k < bytes.size(); ++k) {
            bytes[k] =
                static_cast<std::uint8_t>(k * 7 + static_cast<std::size_t>(frameNumber) * 31 + (k >> 8));
        }
        return bytes;
    }

    FakeCamera(FakeHwLayer& layer, int slotCount) : slotCount_(slotCount) {
        registers_[kVersion] = kConfiguredVersion;
        layer.onRead([this](unsigned address) { return onRead(address); });
        layer.onWrite([this](unsigned address, unsigned value) { onWrite(address, value); });
        layer.onBulk([this](std::uint8_t* buffer, int length) { return onBulk(buffer, length); });
    }

    // Frames appear slot after slot while the acquisition is enabled: the first in slot 0, each
    // next one as soon as the slot before it was acknowledged.
    void streamContinuously() {
        std::lock_guard lock(mutex_);
        streaming_ = true;
    }
    // Puts new frames into these slots now.
    void makeReady(std::initializer_list<int> slots) {
        std::lock_guard lock(mutex_);
        for (int slot : slots) fill(slot);
    }
    // What a read of another register answers (0 when not set).
    void answer(unsigned address, unsigned value) {
        std::lock_guard lock(mutex_);
        registers_[address] = value;
    }
    // The bulk reads with these ordinals (0 for the first) fail.
    void failReads(std::set<int> ordinals) {
        std::lock_guard lock(mutex_);
        failing_ = std::move(ordinals);
    }
    std::vector<Served> served() const {
        std::lock_guard lock(mutex_);
        return served_;
    }
    std::vector<int> slotsRead() const {
        std::lock_guard lock(mutex_);
        std::vector<int> slots;
        for (const Served& s : served_) slots.push_back(s.slot);
        return slots;
    }
    bool acquisitionEnabled() const {
        std::lock_guard lock(mutex_);
        return enabled_;
    }
    std::vector<int> acknowledged() const {
        std::lock_guard lock(mutex_);
        return acknowledged_;
    }

private:
    static constexpr int kReadyShift = 8;
    static constexpr unsigned kReadyMask = 0xFF00;
    static constexpr int kSlotShift = 21;
    static constexpr unsigned kStartPulseBit = 1u << 0;
    static constexpr unsigned kEnableBit = 1u << 2;

    void fill(int slot) {
        ready_ |= 1u << slot;
        frameInSlot_[slot] = nextFrame_++;
    }

    unsigned onRead(unsigned address) {
        std::lock_guard lock(mutex_);
        if (address == kBufferManager) return ready_ << kReadyShift;
        const auto value = registers_.find(address);
        return value != registers_.end() ? value->second : 0;
    }

    void onWrite(unsigned address, unsigned value) {
        if (address != kBufferManager) return;
        std::lock_guard lock(mutex_);
        selected_ = static_cast<int>(value >> kSlotShift & 3u);
        // A start pulse or a new acquisition enable empties the slots: the acquisition fills them
        // from slot 0 again, as the camera's FPGA does.
        if ((value & kStartPulseBit) != 0) ready_ = 0;
        const bool enabled = (value & kEnableBit) != 0;
        if (enabled && !enabled_) {
            ready_ = 0;
            if (streaming_) fill(0);
        }
        enabled_ = enabled;
        const unsigned acks = (value & kReadyMask) >> kReadyShift;
        for (int slot = 0; slot < slotCount_; ++slot) {
            if ((acks >> slot & 1u) == 0) continue;
            acknowledged_.push_back(slot);
            ready_ &= ~(1u << slot);
            if (streaming_ && enabled_) fill((slot + 1) % slotCount_);
        }
    }

    bool onBulk(std::uint8_t* buffer, int length) {
        std::lock_guard lock(mutex_);
        const bool ok = failing_.count(static_cast<int>(reads_++)) == 0;
        const int frame = frameInSlot_[selected_];
        served_.push_back({selected_, frame, ok});
        // A failed read leaves part of a picture behind, as a short transfer would.
        const std::vector<std::uint8_t> bytes = rawContent(frame, length);
        std::copy(bytes.begin(), bytes.begin() + (ok ? length : length / 2), buffer);
        return ok;
    }

    const int slotCount_;
    mutable std::mutex mutex_;
    bool streaming_ = false;
    bool enabled_ = false;
    unsigned ready_ = 0;
    int selected_ = 0;
    int frameInSlot_[8] = {};
    int nextFrame_ = 1;
    std::size_t reads_ = 0;
    std::set<int> failing_;
    std::map<unsigned, unsigned> registers_;
    std::vector<Served> served_;
    std::vector<int> acknowledged_;
};

}  // namespace ZmCoreLib_v4::testing_support
