// Run-time loading of a shared library by file name (normal dynamic-linker search).
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
