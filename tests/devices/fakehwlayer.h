// A hardware layer for tests: it records every register write and vendor request, answers
// register reads from a table the test fills, and serves bulk reads from a callback.
//
// Threads: every operation takes the fake's own lock, so a test thread may inspect it while a
// camera thread uses it. Register answers and the bulk callback run under that lock.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "hardware/hwlayer.h"

namespace ZmCoreLib_v4::testing {

struct RegisterWrite {
    unsigned address;
    unsigned value;
    bool operator==(const RegisterWrite&) const = default;
};

class FakeHwLayer : public IHwLayer {
public:
    // Answers a register read; the default answers from readValues (0 when absent).
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
        if (onRead_) return onRead_(address) & 0xFFFFFF;
        const auto value = readValues_.find(address);
        return value != readValues_.end() ? value->second : 0;
    }
    void VendorWrite(int, unsigned address, const void* data, int length) override {
        std::lock_guard lock(mutex_);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        vendorWrites_.push_back({address, std::vector<std::uint8_t>(bytes, bytes + (data ? length : 0))});
    }
    void VendorRead(int, unsigned address, void* data, int length) override {
        std::lock_guard lock(mutex_);
        const auto answer = vendorAnswers_.find(address);
        if (data == nullptr) return;
        std::memset(data, 0, static_cast<std::size_t>(length));
        if (answer != vendorAnswers_.end()) {
            std::memcpy(data, answer->second.data(),
                        std::min(answer->second.size(), static_cast<std::size_t>(length)));
        }
    }
    bool ReadData(void* buffer, const int* length, int) override {
        std::lock_guard lock(mutex_);
        ++bulkReads_;
        ++calls_;
        return onBulk_ ? onBulk_(static_cast<std::uint8_t*>(buffer), *length) : false;
    }

    // --- test side
    void setRegister(unsigned address, unsigned value) {
        std::lock_guard lock(mutex_);
        readValues_[address] = value;
    }
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
    void setVendorAnswer(unsigned address, std::vector<std::uint8_t> bytes) {
        std::lock_guard lock(mutex_);
        vendorAnswers_[address] = std::move(bytes);
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
    int bulkReads() const {
        std::lock_guard lock(mutex_);
        return bulkReads_;
    }
    struct VendorRequest {
        unsigned address;
        std::vector<std::uint8_t> data;
    };
    std::vector<VendorRequest> vendorWrites() const {
        std::lock_guard lock(mutex_);
        return vendorWrites_;
    }

private:
    mutable std::mutex mutex_;
    std::map<unsigned, unsigned> readValues_;
    std::map<unsigned, std::vector<std::uint8_t>> vendorAnswers_;
    std::vector<RegisterWrite> writes_;
    std::vector<VendorRequest> vendorWrites_;
    ReadHandler onRead_;
    BulkHandler onBulk_;
    WriteHandler onWrite_;
    int bulkReads_ = 0;
    int calls_ = 0;
};

}  // namespace ZmCoreLib_v4::testing
