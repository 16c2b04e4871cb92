// Frames handed between threads through a pool of four frames.
//
// A producer Allocate()s a free frame, fills it and Commit()s it; a consumer GetFrame()s the
// oldest committed frame and Release()s it. No operation waits longer than 3000 ms.
#pragma once

namespace ZmCoreLib {

class ISettingIterator;

// The consumer's view of a frame.
class IFrame {
public:
    virtual void* Reserved0() = 0;  // always null; keeps the operation order
    // Null when the frame holds no bytes.
    virtual void* GetData() = 0;
    // Gives the frame back to the pool; false when the pool refused it.
    virtual bool Release() = 0;
    virtual void GetFormat(int* width, int* height, int* bitsPerPixel) = 0;
    virtual void SetTag(int tag) = 0;
    virtual int GetTag() = 0;

protected:
    ~IFrame() = default;
};

// Implemented by clients: a wake-up call per committed frame, made on the producer's thread
// with the buffer lock held. Fetch the frame with GetFrame(); do not block here.
class IFrameBufferObserver {
public:
    virtual void OnFrameReady(int reserved) = 0;

protected:
    ~IFrameBufferObserver() = default;
};

class IFrameBuffer {
public:
    // New iterator over the buffer's settings (the frame counter); caller releases it.
    virtual ISettingIterator* GetSettings() = 0;
    // The oldest ready frame, or null when none is ready. Never waits for a frame.
    virtual IFrame* GetFrame() = 0;
    // Registers the observer once, however often it is added.
    virtual void AddObserver(IFrameBufferObserver* observer) = 0;
    virtual void RemoveObserver(IFrameBufferObserver* observer) = 0;

protected:
    ~IFrameBuffer() = default;
};

// The producer's view of a frame.
class IMemBlock {
public:
    // Resizes the data when the size differs; new bytes are zero.
    virtual void SetSize(int size) = 0;
    virtual int GetSize() = 0;
    virtual void* GetData() = 0;
    // Hands the frame to the consumers; false when the ready queue refused it.
    virtual bool Commit() = 0;

protected:
    ~IMemBlock() = default;
};

class IMemAllocator {
public:
    // A free frame resized to `size` bytes, or null when none is free.
    virtual IMemBlock* Allocate(int size) = 0;

protected:
    ~IMemAllocator() = default;
};

}  // namespace ZmCoreLib
