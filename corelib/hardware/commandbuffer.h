// Pending setting changes between the threads that change settings and the camera thread that
// writes them to the registers.
//
// The lock has two classes of holders that exclude each other, while any number of holders of one
// class may hold it together: class 1 is the setting side (client threads), class 0 the writing
// side (the camera's acquisition thread). Waiting for it is spinning with a processor yield per
// try, never blocking: the setting side tries up to 1000 times, the writing side twice.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

namespace ZmCoreLib_v4 {

class ICommandBuffer {
public:
    // Takes the lock for `holderClass` (0 writing side, 1 setting side), trying at most `tries`
    // times with a yield after each failed try; a count below 1 means a single try.
    virtual bool Lock(int holderClass, int tries) = 0;
    // Releases one holding of whichever class holds the lock; nothing when it is free.
    virtual void Unlock() = 0;
    // Records a setting id as pending unless it already is; 0 is never recorded.
    virtual void Push(int id) = 0;
    // Removes and returns the most recently recorded id; 0 when none is pending.
    virtual int Pop() = 0;

protected:
    ~ICommandBuffer() = default;
};

class CommandBuffer : public ICommandBuffer {
public:
    static constexpr int kWriterClass = 0;
    static constexpr int kSetterClass = 1;

    bool Lock(int holderClass, int tries) override;
    void Unlock() override;
    void Push(int id) override;
    int Pop() override;
    // Whether ids are pending; the camera thread asks before it tries the lock.
    bool IsEmpty() const;

private:
    mutable std::mutex pendingMutex_;  // guards pending_: setting-side holders push concurrently
    std::vector<int> pending_;         // each id at most once; the last one is popped first
    // n > 0: n writers hold the lock; n < 0: -n setters hold it; 0: free.
    std::atomic<int> holders_{0};
};

}  // namespace ZmCoreLib_v4
