#include "platform/library.h"

#include <dlfcn.h>
#include <link.h>

#include <filesystem>
#include <system_error>
#include <utility>

namespace platform {

namespace {

// The file of the loaded module that holds `address`, with links resolved; empty when unknown.
std::filesystem::path moduleFile(const void* address) {
    Dl_info info{};
    link_map* module = nullptr;
    if (!dladdr1(address, &info, reinterpret_cast<void**>(&module), RTLD_DL_LINKMAP) || !module) return {};
    // The program itself has no name in the loader's list.
    const char* name = module->l_name && *module->l_name ? module->l_name : "/proc/self/exe";
    std::error_code error;
    std::filesystem::path file = std::filesystem::canonical(name, error);
    return error ? std::filesystem::path() : file;
}

}  // namespace

DynamicLibrary::~DynamicLibrary() {
    unload();
}

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

bool DynamicLibrary::loadBesideCaller(const std::string& fileName) {
    // Read first: the return address names the calling module only in this frame.
    const void* caller = __builtin_return_address(0);
    if (load(fileName)) return true;
    if (fileName.find('/') != std::string::npos) return false;
    std::string reason = error_;
    const std::filesystem::path module = moduleFile(caller);
    if (!module.empty()) {
        const std::filesystem::path folder = module.parent_path();
        for (const auto& candidate : {folder, folder.parent_path(), folder.parent_path() / "lib"}) {
            const std::filesystem::path file = candidate / fileName;
            std::error_code ignored;
            if (!std::filesystem::exists(file, ignored)) continue;
            if (load(file.string())) return true;
            reason = error_;  // found but unusable: that says more than the search
        }
    }
    error_ = reason;
    return false;
}

bool DynamicLibrary::loadContaining(const void* address) {
    unload();
    const std::filesystem::path module = moduleFile(address);
    if (!module.empty()) handle_ = dlopen(module.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle_) {
        error_ = "no loaded library holds this object";
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
