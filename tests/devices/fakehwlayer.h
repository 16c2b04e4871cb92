// A hardware layer for tests: it records every register write, and answers register reads and
// bulk reads through callbacks the test installs (reads answer 0 and bulk reads fail without).
//
// Threads: every operation takes the fake's own lock, so a test thread may inspect it while a
// camera thread uses it. Register answers and the bulk callback run under that lock.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

#include "hardware/hwlayer.h"

namespace ZmCoreLib_v4::testing_support {

struct RegisterWrite {
    unsigned address;
    unsigned value;
    bool operator==(const RegisterWrite&) const = default;
};

class FakeHwLayer : public IHwLayer {
public:
    // Answers a register read.
    using ReadHandler = std::function<unsigned(unsigned address)>;
    // Fills a bulk read; false makes the read fail. Called after the fake recorded the write
    // history the read follows.
    using BulkHandler = std::function<bool(std::uint8_t* buffer, int length)>;
    // Sees every register write as it happens (after it was recorded).
    using WriteHandler = std::function<void(unsigned address, unsigned value)>;

    void WriteRegister(unsigned address, unsigned value) override {
        std::lock_guard lock(mutex_);
        ++calls_;
        writes_.push_back({address, value & 0xFFFFFF});
        if (onWrite_) onWrite_(address, value & 0xFFFFFF);
    }
    unsigned ReadRegister(unsigned address) override {
        std::lock_guard lock(mutex_);
        ++calls_;
        return onRead_ ? onRead_(address) & 0xFFFFFF : 0;
    }
    // Vendor requests (the FPGA configuration of bring-up) are taken and forgotten.
    void VendorWrite(int, unsigned, const void*, int) override {}
    void VendorRead(int, unsigned, void* data, int length) override {
        if (data != nullptr) std::memset(data, 0, static_cast<std::size_t>(length));
    }
    bool ReadData(void* buffer, const int* length, int) override {
        std::lock_guard lock(mutex_);
        ++calls_;
        return onBulk_ ? onBulk_(static_cast<std::uint8_t*>(buffer), *length) : false;
    }

    // --- test side
    void onRead(ReadHandler handler) {
        std::lock_guard lock(mutex_);
        onRead_ = std::move(handler);
    }
    void onBulk(BulkHandler handler) {
        std::lock_guard lock(mutex_);
        onBulk_ = std::move(handler);
    }
    void onWrite(WriteHandler handler) {
        std::lock_guard lock(mutex_);
        onWrite_ = std::move(handler);
    }
    std::vector<RegisterWrite> writes() const {
        std::lock_guard lock(mutex_);
        return writes_;
    }
    // The values written to one register, in order.
    std::vector<unsigned> writesTo(unsigned address) const {
        std::lock_guard lock(mutex_);
        std::vector<unsigned> values;
        for (const RegisterWrite& w : writes_) {
            if (w.address == address) values.push_back(w.value);
        }
        return values;
    }
    void clearWrites() {
        std::lock_guard lock(mutex_);
        writes_.clear();
    }
    // Register reads and writes and bulk reads so far: whether anybody still uses the camera.
    int calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<RegisterWrite> writes_;
    ReadHandler onRead_;
    BulkHandler onBulk_;
    WriteHandler onWrite_;
    int calls_ = 0;
};

}  // namespace ZmCoreLib_v4::testing_support
