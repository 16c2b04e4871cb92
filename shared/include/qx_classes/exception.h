// Exceptions of the viewer and the GStreamer element.
//
// A class builds its text on demand in describe(); what() returns that text. Both classes are
// copyable, thrown by value and caught by reference. They are unrelated to the camera library's
// own exceptions, which cross the library boundary.
#pragma once

#include <cstdint>
#include <string>

namespace qx_classes {

class Exception {
public:
    Exception() = default;
    Exception(const Exception&) = default;
    Exception& operator=(const Exception&) = default;
    virtual ~Exception() = default;

    // Writes this exception's text into `out`; the base writes nothing. Derived classes assign
    // rather than append, so that what() gives the same text every time.
    virtual void describe(std::string& out) const;

    // The text describe() builds. Valid while the exception lives and what() is not called again.
    const char* what() const;

private:
    mutable std::string message_;  // filled by what()
};

// A failed system call, identified by its errno-valued code.
class Win32_exception : public Exception {
public:
    // Records the calling thread's last error (platform::lastError()) at construction.
    Win32_exception();
    explicit Win32_exception(std::uint32_t code);

    // The system's text for the code, ending with a line break; `out` is left unchanged when the
    // system has no text for it.
    void describe(std::string& out) const override;

    std::uint32_t error() const { return error_; }

private:
    std::uint32_t error_;
};

}  // namespace qx_classes
