// Cameras as clients see them, and how clients obtain them.
//
// The library owns every camera object; clients never delete one. A device lives until the
// environment is destroyed (when the library is unloaded) or its creator makes another one.
#pragma once

namespace ZmCoreLib {

class IFrameBuffer;
class IPair;
class IPairIterator;
class ISetting;
class ISettingIterator;

class IDevice {
public:
    // Makes the frame buffers and starts the camera's two threads; returns the output buffer.
    // Null when the camera cannot deliver frames (for instance because its FPGA configuration was
    // missing or refused when it was created; the user was told then).
    virtual IFrameBuffer* Open() { return nullptr; }
    // Stops the threads and destroys the frame buffers. Blocks until no thread is inside a step.
    virtual void Close() = 0;
    // New iterator over the settings in the model's order; caller releases it.
    virtual ISettingIterator* GetSettings() { return nullptr; }
    // The first setting with this id, or null.
    virtual ISetting* FindSetting(unsigned /*id*/) { return nullptr; }
    // The output buffer, or null while the device is not open.
    virtual IFrameBuffer* GetFrameBuffer() { return nullptr; }
    // Empties both buffers and lets frames flow. Throws ZmCoreLib::FrameBufferException
    // ("Есть занятый кадр") while a client still holds a frame; the device then stays stopped.
    virtual void Start() = 0;
    virtual void Stop() = 0;
    // Triggers one acquisition by software where the camera supports it.
    virtual void SoftwareStart() = 0;

protected:
    ~IDevice() = default;
};

class IDeviceCreator {
public:
    // Creation parameters: none; an iterator that is always at its end and is never released.
    virtual ISettingIterator* GetSettings() = 0;
    // The camera object for this entry's USB identity, or null; the creator owns it, and a new
    // object replaces (destroys) the one made before.
    virtual IDevice* CreateDevice() = 0;

protected:
    ~IDeviceCreator() = default;
};

class IEnvironment {
public:
    // New iterator over the cameras found (key = device index, name = friendly name).
    virtual IPairIterator* GetDeviceNames() = 0;
    // A new creator for one item of GetDeviceNames(); the environment owns it.
    virtual IDeviceCreator* GetDeviceCreator(IPair* entry) = 0;

protected:
    ~IEnvironment() = default;
};

}  // namespace ZmCoreLib
