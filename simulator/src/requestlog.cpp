#include "simulator/requestlog.h"

#include "fx2controller.h"

namespace simulator {

namespace {

bool isRegisterWindow(std::uint8_t request) {
    return request == 0xE2 || request == 0xE3;
}

}  // namespace

void RequestLog::append(LoggedRequest entry) {
    std::lock_guard lock(mutex_);
    if (entries_.size() == kCapacity) {
        entries_.pop_front();
        ++dropped_;
    }
    entries_.push_back(std::move(entry));
}

std::vector<LoggedRequest> RequestLog::snapshot() const {
    std::lock_guard lock(mutex_);
    return {entries_.begin(), entries_.end()};
}

void RequestLog::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    dropped_ = 0;
}

std::size_t RequestLog::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

std::vector<RegisterWrite> RequestLog::registerWrites() const {
    std::vector<RegisterWrite> writes;
    std::lock_guard lock(mutex_);
    for (const LoggedRequest& entry : entries_) {
        if (entry.kind != LoggedRequest::Kind::Control || entry.setup.isIn() ||
            !isRegisterWindow(entry.setup.request) || entry.data.size() != 3) {
            continue;
        }
        writes.push_back({static_cast<unsigned>(entry.setup.request) << 16 | (entry.setup.value & 0xFF),
                          static_cast<unsigned>(entry.data[0]) << 16 | entry.data[1] << 8 | entry.data[2]});
    }
    return writes;
}

int RequestLog::firmwareDownloads() const {
    int downloads = 0;
    std::lock_guard lock(mutex_);
    for (const LoggedRequest& entry : entries_) {
        if (entry.kind == LoggedRequest::Kind::Control && !entry.setup.isIn() &&
            entry.setup.request == kFirmwareLoadRequest && entry.setup.value == kCpuControlAddress &&
            entry.data.size() == 1 && entry.data[0] == kCpuRun && entry.status == TransferStatus::Ok) {
            ++downloads;
        }
    }
    return downloads;
}

std::vector<std::string> RequestLog::events() const {
    std::vector<std::string> notes;
    std::lock_guard lock(mutex_);
    for (const LoggedRequest& entry : entries_) {
        if (entry.kind == LoggedRequest::Kind::Event) notes.push_back(entry.note);
    }
    return notes;
}

}  // namespace simulator
