#include "hardware/libusb/deviceusers.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <vector>

namespace ZmCoreLib_v4 {

namespace {

constexpr const char* kProcesses = "/proc";
constexpr const char* kUsbDevices = "/sys/bus/usb/devices";
// The driver a program's claim shows as: that program is named by its process instead.
constexpr const char* kUserSpaceDriver = "usbfs";

bool sameFile(const struct stat& file, const struct stat& other) {
    if (S_ISCHR(file.st_mode) && S_ISCHR(other.st_mode)) return file.st_rdev == other.st_rdev;
    return file.st_dev == other.st_dev && file.st_ino == other.st_ino;
}

bool isProcessId(const char* name) {
    if (*name == '\0') return false;
    for (; *name != '\0'; ++name)
        if (*name < '0' || *name > '9') return false;
    return true;
}

// The entries of a folder, without "." and ".."; none when it cannot be read.
std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr) return names;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(listing);
    return names;
}

bool holds(const std::string& process, const struct stat& file) {
    const std::string descriptors = process + "/fd/";
    for (const std::string& descriptor : entriesOf(descriptors)) {
        struct stat target {};
        if (stat((descriptors + descriptor).c_str(), &target) == 0 && sameFile(file, target)) return true;
    }
    return false;
}

void addProcessesHolding(const std::string& deviceFile, std::vector<std::string>& users) {
    struct stat file {};
    if (stat(deviceFile.c_str(), &file) != 0) return;
    const std::string self = std::to_string(getpid());
    for (const std::string& id : entriesOf(kProcesses)) {
        if (!isProcessId(id.c_str()) || id == self) continue;
        const std::string process = std::string(kProcesses) + "/" + id;
        if (!holds(process, file)) continue;
        std::ifstream comm(process + "/comm");
        std::string name;
        std::getline(comm, name);
        users.push_back("process " + id + " (" + name + ")");
    }
}

void addKernelDrivers(const std::string& sysfsName, std::vector<std::string>& users) {
    // Interfaces are named "<device>:<configuration>.<interface>".
    const std::string interfacePrefix = sysfsName + ":";
    for (const std::string& name : entriesOf(kUsbDevices)) {
        if (name.compare(0, interfacePrefix.size(), interfacePrefix) != 0) continue;
        char target[PATH_MAX];
        const std::string link = std::string(kUsbDevices) + "/" + name + "/driver";
        const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
        if (length <= 0) continue;
        const std::string path(target, static_cast<std::size_t>(length));
        const std::string driver = path.substr(path.find_last_of('/') + 1);
        const std::string user = "the kernel driver " + driver;
        if (driver != kUserSpaceDriver && std::find(users.begin(), users.end(), user) == users.end())
            users.push_back(user);
    }
}

}  // namespace

std::string deviceUsers(const std::string& deviceFile, const std::string& sysfsName) {
    std::vector<std::string> users;
    addProcessesHolding(deviceFile, users);
    addKernelDrivers(sysfsName, users);
    std::string text;
    for (const std::string& user : users) text += (text.empty() ? "" : ", ") + user;
    return text;
}

}  // namespace ZmCoreLib_v4
