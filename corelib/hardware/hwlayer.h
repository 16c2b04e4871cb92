// The camera's only path to its registers, its vendor requests and its bulk image stream.
//
// Registers are addressed as (vendor request code << 16) | request value and hold 24-bit values
// sent most significant byte first. Control requests report no errors (a failed register read
// gives 0); callers serialise register access per camera. ReadData is serialised process-wide.
#pragma once

#include <functional>
#include <string>

namespace ZmCoreLib_v4 {

// How a bulk read of a frame ended: whole, failed (time-out, stall, refused request, device
// gone), or ended early by the camera (a request came back with fewer bytes than it asked for).
enum class BulkRead { kComplete, kFailed, kShort };

class IHwLayer {
public:
    virtual bool Reserved0(int) { return true; }
    virtual void Reserved1() {}
    // Writes the low 24 bits of `value`.
    virtual void WriteRegister(unsigned address, unsigned value) = 0;
    virtual unsigned ReadRegister(unsigned address) = 0;
    // Vendor OUT request(s) on the control endpoint, in pieces of at most 128 bytes.
    virtual void VendorWrite(int index, unsigned address, const void* data, int length) = 0;
    // Vendor IN request(s); with a null `data` the bytes read are discarded.
    virtual void VendorRead(int index, unsigned address, void* data, int length) = 0;
    virtual void Reserved6(int, int, int) {}
    // Reads exactly *length bytes of the bulk image stream into `buffer`. Blocks the calling
    // thread for at most about timeoutMs per request plus the recovery pauses after a failure.
    virtual bool ReadData(void* buffer, const int* length, int timeoutMs) = 0;
    virtual ~IHwLayer() = default;
    // ReadData that calls `whileLastRequestRuns` once on the calling thread as soon as the read's
    // last request is on its way and the others have arrived, so that control requests for the
    // next frame overlap the tail of this one; it must not touch the image stream. A read that
    // fails before calls it no more. Where a layer cannot overlap, it calls it after the read;
    // a layer that cannot tell a short read from a failed one reports kFailed.
    virtual BulkRead readDataOverlapping(void* buffer, const int* length, int timeoutMs,
                                         const std::function<void()>& whileLastRequestRuns) {
        if (!ReadData(buffer, length, timeoutMs)) return BulkRead::kFailed;
        whileLastRequestRuns();
        return BulkRead::kComplete;
    }
};

// Streams an FPGA configuration file unchanged to the configuration registers: three resets,
// then the file in 128-byte pieces. 0 on success; 1 when the file cannot be used, with the resets
// sent and nothing else: it cannot be opened, is empty or is not a regular file (a FIFO is opened
// without waiting for a writer, then refused). 1 too when a read fails part way, after what came
// before. `problem`, when given, then receives what was wrong with the file, for a message ("is
// empty"). Blocks the calling thread for the control requests.
int loadFpgaConfiguration(IHwLayer& layer, const std::string& path, int index = 0,
                          std::string* problem = nullptr);

}  // namespace ZmCoreLib_v4
