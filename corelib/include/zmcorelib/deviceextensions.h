// What the library tells about a camera beyond IDevice: each finished frame's number, time and
// settings, the ledger of frames lost on the way, and the camera's state.
//
// A client reaches it through the export GetEnvironmentEx, resolved at run time like
// GetEnvironment; a library without that export has none of it, and a client goes on without.
// The fixed interfaces (zmcorelib.h and the headers it includes) know nothing of this header.
//
// Everything here is plain data of fixed-width fields and interfaces whose operation order is
// ABI, as in the fixed interfaces. The library owns every object; clients delete nothing.
//
// Frame numbers. The camera has no frame counter the host can read, so the library counts the
// camera's frames itself: the first frame the camera makes after the device object was created
// is 1, and every frame the camera makes after it takes the next number, whether it reaches
// the client or is lost on the way. Numbers go on across Stop/Start and Close/Open of one device
// object; frames the camera makes while the device is closed are not counted. How exact:
//  - frames the camera thread sees and leaves (family A skips older ready FPGA slots for the
//    newest) are counted exactly, in every mode;
//  - while the camera runs on its own timer (internal generator, single-frame modes), frames the
//    camera made but could not keep because every FPGA slot was full are inferred from time: a
//    frame whose arrival is known to within half a frame period is numbered by the periods since
//    the last such frame. The number then follows the camera as long as its own frames keep to
//    the period within half a period; the gap shows on the first frame that reveals it, which
//    may come after frames that waited in the FPGA slots behind the gap;
//  - while the camera follows a trigger (external, software, or several frames per start), only
//    frames the camera thread sees are counted: triggered frames lost with every slot full are
//    not.
#pragma once

#include <cstdint>

namespace ZmCoreLib {

class IDevice;
class IFrame;

// One finished frame, as the library saw it.
struct FrameInfo {
    std::uint64_t frameNumber;  // the camera's frame number (see above), from 1
    // When the bulk transfer of the frame completed on the host, CLOCK_MONOTONIC and
    // CLOCK_REALTIME read together, in nanoseconds.
    std::int64_t monotonicNs;
    std::int64_t realtimeNs;
    // The exposure and the frame period written to the camera for this frame, in nanoseconds.
    std::int64_t exposureNs;
    std::int64_t framePeriodNs;
    // Frames the camera made between the frame delivered before this one and this one, all
    // lost (0: none); for the device object's first frame, the frames lost before it.
    std::uint32_t framesMissedBefore;
    std::uint32_t reserved;  // 0
};

// The stages where a frame can be lost, in the order of the frame's road.
enum class DropStage : std::uint32_t {
    // The camera made the frame but the camera thread did not read it before the FPGA slot was
    // needed again: skipped for a newer one (family A), or never kept because every slot was
    // full while the camera thread was busy elsewhere (after a failed read, say).
    kNotReadInTime = 0,
    // The frame's bulk transfer failed (time-out, stall, refused request).
    kBulkFailed = 1,
    // The frame's bulk transfer ended before the whole frame had come.
    kBulkShort = 2,
    // As kNotReadInTime, while the camera thread waited for a free raw frame: the repack step
    // fell behind.
    kRawRingFull = 3,
    // As kNotReadInTime, while the camera thread waited for a free raw frame and the repack
    // step in turn for a free output frame: the clients held their frames too long.
    kOutputRingFull = 4,
    // Read or made, but dropped because the acquisition stopped or restarted (Stop, Start, new
    // settings) before the frame reached the output buffer.
    kDiscardedAtRestart = 5,
    // Downstream of the library, reported by clients through IDeviceEx::CountDrop; these count
    // frames among the delivered ones. A newer frame replaced this one before the client's
    // streaming thread took it.
    kReplacedInFilter = 6,
    // The client could not write the frame to its file.
    kFileNotWritten = 7,
};
inline constexpr std::uint32_t kDropStageCount = 8;

// The stage's short English text, "unknown stage" for a value outside the enumeration.
constexpr const char* DropStageText(DropStage stage) {
    switch (stage) {
        case DropStage::kNotReadInTime:
            return "not read out of the camera in time";
        case DropStage::kBulkFailed:
            return "bulk transfer failed";
        case DropStage::kBulkShort:
            return "bulk transfer came back short";
        case DropStage::kRawRingFull:
            return "raw frame ring full";
        case DropStage::kOutputRingFull:
            return "output frame ring full";
        case DropStage::kDiscardedAtRestart:
            return "discarded when the acquisition stopped or restarted";
        case DropStage::kReplacedInFilter:
            return "replaced in the filter by a newer frame";
        case DropStage::kFileNotWritten:
            return "file not written";
    }
    return "unknown stage";
}

// Frames of one device object since it was created. delivered counts the frames committed to
// the output buffer. Once the camera is stopped and its acquisition switched off, delivered plus
// lost[] of the library's stages (kNotReadInTime to kDiscardedAtRestart) is the number of the
// camera's last frame; the client stages count frames among the delivered ones.
struct DropLedger {
    std::uint64_t delivered;
    std::uint64_t lost[kDropStageCount];
};

enum class DeviceState : std::uint32_t {
    kClosed = 0,   // no frame buffers, no threads
    kOpen = 1,     // open and stopped
    kStarted = 2,  // frames flow
    kLost = 3,     // the camera left the bus
};

// One camera's extension, valid as long as its IDevice. Every operation may be called from any
// thread, takes no lock of the camera and never blocks.
class IDeviceEx {
public:
    // The info of `frame`, a frame of this device's output buffer that the caller holds (between
    // GetFrame and Release). False, and *info untouched, for a null pointer or a frame that is
    // not one of this device's output frames.
    virtual bool GetFrameInfo(IFrame* frame, FrameInfo* info) = 0;
    // A snapshot of the ledger. The counters are read one by one while frames may flow, so a
    // snapshot of a started camera may be a frame apart between stages.
    virtual void GetDropLedger(DropLedger* ledger) = 0;
    // Adds `frames` to a client stage (kReplacedInFilter, kFileNotWritten); false, and nothing
    // counted, for a stage the library counts itself.
    virtual bool CountDrop(DropStage stage, std::uint32_t frames) = 0;
    virtual DeviceState GetState() = 0;

protected:
    ~IDeviceEx() = default;
};

// The process's extension of the environment.
class IEnvironmentEx {
public:
    // The extension of a camera object the library made; null for any other pointer (or null).
    // Any thread; takes a short lock of the library's list of camera objects.
    virtual IDeviceEx* GetDeviceEx(IDevice* device) = 0;

protected:
    ~IEnvironmentEx() = default;
};

}  // namespace ZmCoreLib

extern "C" {
// The process's one environment extension. Never runs discovery and never fails; any thread.
__attribute__((visibility("default"))) ZmCoreLib::IEnvironmentEx* GetEnvironmentEx();
}
typedef ZmCoreLib::IEnvironmentEx* (*GetEnvironmentExFunction)();
