#include "platform/library.h"

#include <dlfcn.h>

#include <utility>

namespace platform {

DynamicLibrary::~DynamicLibrary() { unload(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        unload();
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool DynamicLibrary::load(const std::string& fileName) {
    unload();
    handle_ = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error_ = why ? why : "cannot load " + fileName;
        return false;
    }
    error_.clear();
    return true;
}

void* DynamicLibrary::symbol(const char* name) {
    if (!handle_) {
        error_ = "no library is loaded";
        return nullptr;
    }
    dlerror();
    void* address = dlsym(handle_, name);
    if (!address) {
        const char* why = dlerror();
        error_ = why ? why : std::string("symbol not found: ") + name;
    }
    return address;
}

void DynamicLibrary::unload() {
    if (handle_) dlclose(std::exchange(handle_, nullptr));
}

}  // namespace platform
