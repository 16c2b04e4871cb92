// The hand-off of frames between threads: a pool of four frames that cycle
// free -> filling (Allocate) -> ready (Commit) -> busy (GetFrame) -> free (Release).
//
// Threads: one producer (a camera's acquisition or repacking thread) allocates and commits;
// consumers (the repacking thread, client threads) get and release; the controlling thread resets
// and adds or removes observers. Each queue has its own lock; the buffer lock guards the observer
// list and Reset. The only nesting: observers run inside Commit with the buffer lock held and may
// call GetFrame and Release, which take only the queue locks. No lock is waited for longer than
// 3000 ms. A frame's data, size and format belong to whichever side holds the frame.
#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <vector>

#include "core/framequeue.h"
#include "core/setting.h"
#include "platform/event.h"
#include "zmcorelib/deviceextensions.h"
#include "zmcorelib/framebuffer.h"

namespace ZmCoreLib {

class FrameBuffer;

// One frame: the producer's IMemBlock view and the consumer's IFrame view are the same object.
class FrameMemBlock final : public IFrame, public IMemBlock {
public:
    FrameMemBlock() = default;
    FrameMemBlock(const FrameMemBlock&) = delete;
    FrameMemBlock& operator=(const FrameMemBlock&) = delete;

    // Called once by the buffer that owns the frame.
    void setOwner(FrameBuffer* owner) { owner_ = owner; }

    // Both views: null while the frame holds no bytes.
    void* GetData() override;

    // IFrame
    void* Reserved0() override { return nullptr; }
    bool Release() override;
    // Null pointers are skipped.
    void GetFormat(int* width, int* height, int* bitsPerPixel) override;
    void SetTag(int tag) override { tag_ = tag; }
    int GetTag() override { return tag_; }

    // IMemBlock. SetSize reallocates only when the frame grows beyond its largest size so far;
    // new bytes are zero, and a negative size counts as 0.
    void SetSize(int size) override;
    int GetSize() override { return size_; }
    bool Commit() override;

    // The producer describes the image before it commits.
    void SetFormat(int width, int height, int bitsPerPixel);
    // The frame's number, times and settings, set by the producer before it commits; they stay
    // with the frame until the next producer sets them.
    void setInfo(const FrameInfo& info) { info_ = info; }
    const FrameInfo& info() const { return info_; }

private:
    std::vector<std::uint8_t> data_;
    int size_ = 0;
    FrameBuffer* owner_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int bitsPerPixel_ = 0;
    int tag_ = 0;
    FrameInfo info_{};
};

class FrameBuffer final : public IFrameBuffer, public IMemAllocator {
public:
    static constexpr int kFrameCount = 4;

    FrameBuffer();
    // Clients must have released their frames and removed their observers before.
    ~FrameBuffer();
    FrameBuffer(const FrameBuffer&) = delete;
    FrameBuffer& operator=(const FrameBuffer&) = delete;

    // IFrameBuffer, consumer side. GetSettings: the frame counter ("Введено кадров").
    ISettingIterator* GetSettings() override;
    IFrame* GetFrame() override;
    // A null observer is ignored.
    void AddObserver(IFrameBufferObserver* observer) override;
    void RemoveObserver(IFrameBufferObserver* observer) override;

    // IMemAllocator, producer side: a free frame resized to `size`, or null when none is free.
    IMemBlock* Allocate(int size) override;

    // Controlling thread, when acquisition starts: drops every ready frame back into the pool.
    // True when all four frames are free afterwards; false when the buffer lock timed out. Throws
    // FrameBufferException("Есть занятый кадр") when a frame is still filling or busy, after the
    // ready frames have been returned.
    bool Reset();

    // One of this buffer's frames, or null for any other pointer. Any thread; reads nothing of
    // the frame.
    const FrameMemBlock* frameOf(const IFrame* frame) const;

private:
    friend class FrameMemBlock;
    // Producer thread: counts the frame, queues it and wakes the observers.
    bool commit(FrameMemBlock* frame);
    bool release(FrameMemBlock* frame) { return free_.push(frame); }

    platform::Mutex lock_;  // guards observers_ and Reset; taken before the queue locks
    std::array<FrameMemBlock, kFrameCount> frames_;
    FrameQueue free_{kFrameCount};
    FrameQueue ready_{kFrameCount};
    std::list<IFrameBufferObserver*> observers_;  // in registration order, each once
    int frameCounter_ = 0;                        // commits since construction; producer thread only
    SettingString counterText_;
    std::vector<Setting> settings_;  // the frame counter's setting over counterText_
};

}  // namespace ZmCoreLib
