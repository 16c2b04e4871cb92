// Run-time loading of a shared library by file name.
#pragma once

#include <string>

namespace platform {

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the library; false with error() describing why when it cannot be loaded.
    bool load(const std::string& fileName);
    // As load(), and when the dynamic linker's search does not find a bare file name, from the
    // folders where the build and installed trees keep libraries, seen from the module
    // (executable or shared object) whose code calls this: its own folder, its parent folder and
    // that parent's lib/ (bin/ and lib/gstreamer-1.0/ beside lib/). The search may miss them: a
    // sanitizer runtime that intercepts dlopen searches with its own run path, not the caller's.
    // error() keeps the search's reason when nothing loads.
    [[gnu::noinline]] bool loadBesideCaller(const std::string& fileName);
    // Takes a reference on the module already loaded that holds `address` (code or data, such as
    // an object's virtual table), so that its symbols can be looked up; loads nothing new. False
    // with error() when no loaded module holds the address.
    bool loadContaining(const void* address);
    bool loaded() const { return handle_ != nullptr; }
    // The address of an exported symbol, or null (error() then says why).
    void* symbol(const char* name);
    // Unloads now (the destructor does the same); safe when nothing is loaded.
    void unload();
    const std::string& error() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace platform
