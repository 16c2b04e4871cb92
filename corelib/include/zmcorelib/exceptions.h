// Exceptions that leave the library through IDevice operations.
//
// Header-only type information with default visibility, so that a client that loaded the library
// at run time catches them as the same types.
#pragma once

#include <string>
#include <utility>

#define ZMCORELIB_VISIBLE __attribute__((visibility("default")))

namespace ZmCoreLib {

class ZMCORELIB_VISIBLE ExceptionRoot {
public:
    virtual ~ExceptionRoot() = default;
    // Zero-terminated narrow text, valid while the exception lives.
    virtual const char* What() const = 0;
};

// A failed system call: "Error code: <code>\n<system text>\nIn File: <file>\nLine: <line>".
class ZMCORELIB_VISIBLE Win32Exception : public ExceptionRoot {
public:
    // Reads the calling thread's last error code before anything else can change it.
    Win32Exception(const char* file, int line);
    const char* What() const override { return message_.c_str(); }

private:
    std::string message_;
};

// A frame still held by a client when the frame buffer was reset ("Есть занятый кадр").
class ZMCORELIB_VISIBLE FrameBufferException {
public:
    explicit FrameBufferException(std::u16string message) : message_(std::move(message)) {}
    const std::u16string& message() const { return message_; }

private:
    std::u16string message_;
};

}  // namespace ZmCoreLib
