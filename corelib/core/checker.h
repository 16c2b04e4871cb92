// How a camera's hardware-backed settings report a change to the camera.
#pragma once

namespace ZmCoreLib_v4 {

class IChecker {
public:
    // Called with the changed setting's id on the thread that changed it, before the setting's
    // observers are told. The camera adjusts dependent settings and queues the id for its
    // register writer; it must not block for long. Callers ignore the result.
    virtual int Check(unsigned settingId) = 0;

protected:
    ~IChecker() = default;
};

}  // namespace ZmCoreLib_v4
