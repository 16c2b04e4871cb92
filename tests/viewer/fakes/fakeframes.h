// A frame source for fake cameras: a thread that commits a 16-bit grey frame every few
// milliseconds, sized by the camera's width and height settings at that moment, and a frame
// buffer that hands the latest one to its observers as the library's does.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "zmcorelib/zmcorelib.h"

namespace fake {

class FrameBuffer final : public ZmCoreLib::IFrameBuffer, private ZmCoreLib::IFrame {
public:
    // `width` and `height` are read before each frame (on the producer thread).
    FrameBuffer(ZmCoreLib::ISettingScalar* width, ZmCoreLib::ISettingScalar* height)
        : width_(width), height_(height) {}
    ~FrameBuffer() { stop(); }

    void start() {
        running_ = true;
        producer_ = std::thread([this] { produce(); });
    }
    void stop() {
        {
            std::lock_guard lock(mutex_);
            running_ = false;
        }
        wake_.notify_all();
        if (producer_.joinable()) producer_.join();
    }

    ZmCoreLib::ISettingIterator* GetSettings() override { return nullptr; }
    ZmCoreLib::IFrame* GetFrame() override {
        std::lock_guard lock(mutex_);
        if (!ready_ || held_) return nullptr;
        held_ = true;
        ready_ = false;
        return this;
    }
    void AddObserver(ZmCoreLib::IFrameBufferObserver* observer) override {
        std::lock_guard lock(mutex_);
        for (auto* o : observers_)
            if (o == observer) return;
        observers_.push_back(observer);
    }
    void RemoveObserver(ZmCoreLib::IFrameBufferObserver* observer) override {
        // Waits (bounded, as the library does) until no call to the observer runs.
        const bool quiet = observerCallMutex_.try_lock_for(kObserverWait);
        {
            std::lock_guard lock(mutex_);
            std::erase(observers_, observer);
        }
        if (quiet) observerCallMutex_.unlock();
    }

private:
    static constexpr auto kFramePeriod = std::chrono::milliseconds(20);
    static constexpr auto kObserverWait = std::chrono::milliseconds(3000);

    void* Reserved0() override { return nullptr; }
    void* GetData() override { return pixels_.data(); }
    bool Release() override {
        std::lock_guard lock(mutex_);
        held_ = false;
        return true;
    }
    void GetFormat(int* width, int* height, int* bitsPerPixel) override {
        *width = frameWidth_;
        *height = frameHeight_;
        *bitsPerPixel = 16;
    }
    void SetTag(int) override {}
    int GetTag() override { return 0; }

    void produce() {
        std::unique_lock lock(mutex_);
        for (unsigned number = 0; running_; ++number) {
            if (!held_) {
                frameWidth_ = width_->GetValue();
                frameHeight_ = height_->GetValue();
                pixels_.assign(size_t(frameWidth_) * size_t(frameHeight_), std::uint16_t(number * 0x0400u));
                ready_ = true;
                lock.unlock();
                {
                    // The list is read with the call lock held, so that an observer removed
                    // before this point is not called any more.
                    std::lock_guard calls(observerCallMutex_);  // never taken with mutex_ held
                    std::vector<ZmCoreLib::IFrameBufferObserver*> observers;
                    {
                        std::lock_guard guard(mutex_);
                        observers = observers_;
                    }
                    for (auto* observer : observers) observer->OnFrameReady(0);
                }
                lock.lock();
            }
            wake_.wait_for(lock, kFramePeriod, [this] { return !running_; });
        }
    }

    ZmCoreLib::ISettingScalar* width_;
    ZmCoreLib::ISettingScalar* height_;
    std::timed_mutex observerCallMutex_;  // held while observers are called; taken before mutex_
    std::mutex mutex_;                    // guards everything below
    std::condition_variable wake_;
    std::vector<ZmCoreLib::IFrameBufferObserver*> observers_;
    std::vector<std::uint16_t> pixels_;
    int frameWidth_ = 0, frameHeight_ = 0;
    bool ready_ = false, held_ = false, running_ = false;
    std::thread producer_;
};

}  // namespace fake
