// The filter and its pins over fake cameras: media types, allocator sizing, control interfaces,
// frame arrival and the streaming thread's FillBuffer, size changes, recording and binding.
#include "zmsourcefilter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "fakedevice.h"
#include "imagereader.h"
#include "platform/error.h"
#include "platform/messagebox.h"

namespace ZenmiraVidSource {
namespace {

using ZmCoreLib_v4::testing_support::FakeDevice;
using ZmCoreLib_v4::testing_support::FakeFrameBuffer;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kTestWait = 10s;

class RecordingSink final : public FilterEventSink {
public:
    struct Event {
        unsigned pin;
        std::int32_t code, param1, param2;
    };
    struct Error {
        unsigned pin;
        std::string caption, text;
    };
    void onPinAdded(unsigned pin) override {
        std::lock_guard guard(mutex_);
        added.push_back(pin);
    }
    void onGraphEvent(unsigned pin, std::int32_t code, std::int32_t p1, std::int32_t p2) override {
        std::lock_guard guard(mutex_);
        events.push_back({pin, code, p1, p2});
    }
    void onSaveError(unsigned pin, const std::string& caption, const std::string& text,
                     std::int32_t) override {
        std::lock_guard guard(mutex_);
        errors.push_back({pin, caption, text});
    }
    std::vector<unsigned> added;
    std::vector<Event> events;
    std::vector<Error> errors;

private:
    std::mutex mutex_;
};

// Collects message boxes instead of showing them.
class BoxCollector {
public:
    BoxCollector() {
        previous_ =
            platform::setMessageBoxHandler([this](const std::string& caption, const std::string& text) {
                std::lock_guard guard(mutex_);
                boxes.push_back({caption, text});
            });
    }
    ~BoxCollector() { platform::setMessageBoxHandler(previous_); }
    std::vector<std::pair<std::string, std::string>> boxes;

private:
    std::mutex mutex_;
    platform::MessageBoxHandler previous_;
};

MediaType connectionType(const Guid& subtype) {
    MediaType type;
    type.majorType = MEDIATYPE_Video;
    type.subtype = subtype;
    type.formatType = FORMAT_VideoInfo;
    return type;
}

// A sample buffer of top-down rows, pre-filled with a marker so that untouched bytes show.
struct Sample {
    Sample(int width, int height, int pixelBytes)
        : stride(width * pixelBytes), bytes(static_cast<std::size_t>(stride) * height, 0xEE) {}
    SampleBuffer buffer() { return {bytes.data(), bytes.size(), stride, false}; }
    std::ptrdiff_t stride;
    std::vector<std::uint8_t> bytes;
};

class FilterTest : public testing::Test {
protected:
    FilterTest() { filter.setEventSink(&sink); }

    // Cameras outlive the filter, as the filter's contract asks.
    FakeDevice& makeCamera(int width, int height, std::u16string serial) {
        cameras_.push_back(std::make_unique<FakeDevice>(width, height, std::move(serial)));
        return *cameras_.back();
    }

    ZmSourceFltPin& addCamera(FakeDevice& device) {
        EXPECT_EQ(filter.AddDevice(&device), S_OK);
        return *filter.pin(filter.pinCount() - 1);
    }

    // FillBuffer on a streaming thread of its own; a wait that does not end is a failure, and the
    // thread is woken so that the test ends.
    HResult fill(ZmSourceFltPin& pin, SampleBuffer& sample) {
        auto result = std::async(std::launch::async, [&] { return pin.FillBuffer(sample); });
        if (result.wait_for(kTestWait) != std::future_status::ready) {
            ADD_FAILURE() << "FillBuffer did not return";
            pin.BreakWait();
        }
        return result.get();
    }

    std::vector<std::unique_ptr<FakeDevice>> cameras_;
    ZmSourceFilter filter;
    RecordingSink sink;
};

// Offered types: RGB24, RGB32, ARGB32 at the announced size, then nothing more.
TEST_F(FilterTest, OffersThreeRgbTypesAtTheAnnouncedSize) {
    FakeDevice& camera = makeCamera(643, 480, u"1");
    ZmSourceFltPin& pin = addCamera(camera);
    struct Expected {
        const Guid* subtype;
        std::uint16_t bits;
        std::uint32_t sizeImage;
    };
    // 643 * 3 = 1929 bytes per row, padded to 1932.
    const Expected expected[] = {{&MEDIASUBTYPE_RGB24, 24, 1932u * 480},
                                 {&MEDIASUBTYPE_RGB32, 32, 643u * 4 * 480},
                                 {&MEDIASUBTYPE_ARGB32, 32, 643u * 4 * 480}};
    for (int position = 0; position < 3; ++position) {
        SCOPED_TRACE(position);
        MediaType type;
        ASSERT_EQ(pin.GetMediaType(position, &type), S_OK);
        EXPECT_EQ(type.majorType, MEDIATYPE_Video);
        EXPECT_EQ(type.subtype, *expected[position].subtype);
        EXPECT_EQ(type.formatType, FORMAT_VideoInfo);
        EXPECT_FALSE(type.temporalCompression);
        EXPECT_EQ(type.header.biSize, 40u);
        EXPECT_EQ(type.header.biWidth, 643);
        EXPECT_EQ(type.header.biHeight, 480);
        EXPECT_EQ(type.header.biPlanes, 1);
        EXPECT_EQ(type.header.biCompression, BI_RGB);
        EXPECT_EQ(type.header.biBitCount, expected[position].bits);
        EXPECT_EQ(type.header.biSizeImage, expected[position].sizeImage);
        EXPECT_EQ(type.sampleSize, expected[position].sizeImage);
    }
    MediaType type;
    EXPECT_EQ(pin.GetMediaType(3, &type), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(pin.GetMediaType(0, nullptr), E_POINTER);
}

TEST_F(FilterTest, AcceptsOnlyRgb24AndRgb32VideoInfo) {
    FakeDevice& camera = makeCamera(64, 48, u"1");
    ZmSourceFltPin& pin = addCamera(camera);
    MediaType foreignFormat = connectionType(MEDIASUBTYPE_RGB24);
    foreignFormat.formatType = MEDIATYPE_Video;
    const struct {
        const char* name;
        MediaType type;
        HResult result;
    } cases[] = {{"RGB24", connectionType(MEDIASUBTYPE_RGB24), S_OK},
                 {"RGB32", connectionType(MEDIASUBTYPE_RGB32), S_OK},
                 {"ARGB32", connectionType(MEDIASUBTYPE_ARGB32), VFW_E_TYPE_NOT_ACCEPTED},
                 {"foreign subtype", connectionType(FORMAT_VideoInfo), VFW_E_TYPE_NOT_ACCEPTED},
                 {"foreign format", foreignFormat, VFW_E_TYPE_NOT_ACCEPTED}};
    for (const auto& c : cases) {
        EXPECT_EQ(pin.CheckMediaType(&c.type), c.result) << c.name;
        EXPECT_EQ(pin.setConnectionType(c.type), c.result) << c.name;
    }
    EXPECT_EQ(pin.CheckMediaType(nullptr), E_POINTER);
}

class FakeAllocator final : public SampleAllocator {
public:
    bool SetProperties(const AllocatorProperties& request, AllocatorProperties* actual) override {
        requested = request;
        *actual = request;
        actual->bufferSize -= shortBy;
        return accept;
    }
    AllocatorProperties requested;
    bool accept = true;
    std::int32_t shortBy = 0;
};

TEST_F(FilterTest, SizesTheAllocatorToTheConnectedPicture) {
    FakeDevice& camera = makeCamera(64, 48, u"1");
    ZmSourceFltPin& pin = addCamera(camera);
    FakeAllocator allocator;
    AllocatorProperties properties;
    EXPECT_EQ(pin.DecideBufferSize(&allocator, &properties), E_FAIL) << "no connection yet";

    ASSERT_EQ(pin.setConnectionType([&] {
        MediaType type;
        pin.GetMediaType(1, &type);
        return type;
    }()),
              S_OK);
    EXPECT_EQ(pin.DecideBufferSize(&allocator, &properties), S_OK);
    EXPECT_EQ(allocator.requested.buffers, 1);
    EXPECT_EQ(allocator.requested.bufferSize, 64 * 48 * 4);

    properties.buffers = 3;
    EXPECT_EQ(pin.DecideBufferSize(&allocator, &properties), S_OK);
    EXPECT_EQ(allocator.requested.buffers, 3);

    allocator.shortBy = 1;
    EXPECT_EQ(pin.DecideBufferSize(&allocator, &properties), E_FAIL);
    allocator.shortBy = 0;
    allocator.accept = false;
    EXPECT_EQ(pin.DecideBufferSize(&allocator, &properties), E_FAIL);
    EXPECT_EQ(pin.DecideBufferSize(nullptr, &properties), E_POINTER);
}

TEST_F(FilterTest, ControlInterfacesAreReachableFromEachOther) {
    IFilterUnknown& root = static_cast<IDeviceSource&>(filter);
    const Guid iids[] = {IID_IDeviceSource, IID_ISnapshotControl, IID_IRecordingSettings, IID_ICrosshair,
                         IID_ISpecifyPropertyPages};
    for (const Guid& iid : iids) {
        void* object = nullptr;
        EXPECT_EQ(root.QueryInterface(iid, &object), S_OK);
        EXPECT_NE(object, nullptr);
    }
    void* crosshair = nullptr;
    root.QueryInterface(IID_ICrosshair, &crosshair);
    EXPECT_EQ(crosshair, static_cast<ICrosshair*>(&filter));
    void* object = &filter;
    EXPECT_EQ(root.QueryInterface(CLSID_ZmSourceFilter, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    PageIds pages;
    ASSERT_EQ(filter.GetPages(&pages), S_OK);
    ASSERT_EQ(pages.count, 1u);
    EXPECT_EQ(pages.elements[0], CLSID_CrosshairPage);
    std::free(pages.elements);
    EXPECT_EQ(filter.GetPages(nullptr), E_POINTER);
}

TEST_F(FilterTest, EveryIndexedOperationRefusesAPinIndexEqualToTheCount) {
    FakeDevice& a = makeCamera(8, 8, u"1");
    FakeDevice& b = makeCamera(8, 8, u"2");
    addCamera(a);
    addCamera(b);
    EXPECT_EQ(sink.added, (std::vector<unsigned>{0, 1}));
    bool on = false;
    std::u16string text;
    const unsigned bad = filter.pinCount();
    const struct {
        const char* name;
        std::function<HResult(unsigned)> call;
    } operations[] = {
        {"Snapshot", [&](unsigned p) { return filter.Snapshot(p); }},
        {"SetSeries", [&](unsigned p) { return filter.SetSeries(true, p); }},
        {"GetSeries", [&](unsigned p) { return filter.GetSeries(&on, p); }},
        {"SetFolder", [&](unsigned p) { return filter.SetFolder(u"/tmp", p); }},
        {"GetFolder", [&](unsigned p) { return filter.GetFolder(&text, p); }},
        {"Reserved7", [&](unsigned p) { return filter.Reserved7(0, p); }},
        {"Reserved8", [&](unsigned p) { return filter.Reserved8(0, p); }},
        {"SetFileFormat", [&](unsigned p) { return filter.SetFileFormat(u"bmp", p); }},
        {"GetFileFormat", [&](unsigned p) { return filter.GetFileFormat(&text, p); }},
    };
    for (const auto& operation : operations) {
        EXPECT_EQ(operation.call(bad), E_INVALIDARG) << operation.name;
        EXPECT_EQ(operation.call(0xFFFFFFFFu), E_INVALIDARG) << operation.name;
    }
    EXPECT_EQ(filter.Reserved7(0, 1), E_NOTIMPL);
    EXPECT_EQ(filter.Reserved8(0, 1), E_NOTIMPL);
    EXPECT_EQ(filter.Reserved4(), E_NOTIMPL);
}

TEST_F(FilterTest, RecordingSettingsArePerPin) {
    FakeDevice& a = makeCamera(8, 8, u"1");
    FakeDevice& b = makeCamera(8, 8, u"2");
    addCamera(a);
    addCamera(b);
    std::u16string text;
    ASSERT_EQ(filter.GetFileFormat(&text, 1), S_OK);
    EXPECT_EQ(text, u"tiff");
    ASSERT_EQ(filter.SetFolder(u"/data/Камеры", 1), S_OK);
    ASSERT_EQ(filter.GetFolder(&text, 1), S_OK);
    EXPECT_EQ(text, u"/data/Камеры");
    ASSERT_EQ(filter.GetFolder(&text, 0), S_OK);
    EXPECT_EQ(text, u"");
    bool on = false;
    ASSERT_EQ(filter.SetSeries(true, 0), S_OK);
    filter.GetSeries(&on, 0);
    EXPECT_TRUE(on);
    filter.GetSeries(&on, 1);
    EXPECT_FALSE(on);
}

TEST_F(FilterTest, FileFormatMustBeAPartOfTheFormatList) {
    FakeDevice& camera = makeCamera(8, 8, u"1");
    addCamera(camera);
    const struct {
        const char16_t* format;
        HResult result;
    } cases[] = {{u"bmp", S_OK}, {u"tiff", S_OK},        {u"bmp;tiff", S_OK},    {u"mp", S_OK},
                 {u"", S_OK},    {u"png", E_INVALIDARG}, {u"jpg", E_INVALIDARG}, {u"tiff;bmp", E_INVALIDARG}};
    for (const auto& c : cases) {
        ASSERT_EQ(filter.SetFileFormat(u"tiff", 0), S_OK);
        EXPECT_EQ(filter.SetFileFormat(c.format, 0), c.result);
        std::u16string now;
        filter.GetFileFormat(&now, 0);
        EXPECT_EQ(now, c.result == S_OK ? std::u16string(c.format) : u"tiff")
            << "the old format stays on refusal";
    }
}

TEST_F(FilterTest, CrosshairLivesOnPinZero) {
    std::int32_t x = 1, y = 1;
    EXPECT_EQ(filter.GetPosition(&x, &y), E_FAIL) << "no pin yet";
    FakeDevice& a = makeCamera(640, 480, u"1");
    FakeDevice& b = makeCamera(320, 240, u"2");
    addCamera(a);
    addCamera(b);
    bool shown = true;
    ASSERT_EQ(filter.GetShow(&shown), S_OK);
    EXPECT_FALSE(shown);
    ASSERT_EQ(filter.GetPosition(&x, &y), S_OK);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(0, 0));
    ASSERT_EQ(filter.SetPosition(200, -7), S_OK);
    ASSERT_EQ(filter.SetShow(true), S_OK);
    filter.GetPosition(&x, &y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(200, -7));
    EXPECT_TRUE(filter.pin(0)->crosshair().shown);
    EXPECT_FALSE(filter.pin(1)->crosshair().shown);
    std::int32_t w = 0, h = 0;
    ASSERT_EQ(filter.GetFrameSize(&w, &h), S_OK);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(640, 480));
}

TEST_F(FilterTest, BreakWaitWithoutAWaiterMakesTheNextFillReturnAtOnce) {
    FakeDevice& camera = makeCamera(8, 4, u"1");
    ZmSourceFltPin& pin = addCamera(camera);
    ASSERT_EQ(filter.BreakWait(), S_OK);
    Sample sample(8, 4, 4);
    SampleBuffer buffer = sample.buffer();
    EXPECT_EQ(fill(pin, buffer), S_OK);
    EXPECT_FALSE(buffer.filled);
    EXPECT_EQ(sample.bytes, std::vector<std::uint8_t>(sample.bytes.size(), 0xEE))
        << "the sample is untouched";
}

TEST_F(FilterTest, BreakWaitWakesAWaitingStreamingThread) {
    FakeDevice& camera = makeCamera(8, 4, u"1");
    ZmSourceFltPin& pin = addCamera(camera);
    Sample sample(8, 4, 4);
    SampleBuffer buffer = sample.buffer();
    auto result = std::async(std::launch::async, [&] { return pin.FillBuffer(buffer); });
    EXPECT_EQ(result.wait_for(50ms), std::future_status::timeout) << "FillBuffer waits for a frame";
    filter.BreakWait();
    ASSERT_EQ(result.wait_for(kTestWait), std::future_status::ready);
    EXPECT_EQ(result.get(), S_OK);
    EXPECT_FALSE(buffer.filled);
}

TEST_F(FilterTest, AFrameBecomesAMirroredPictureWithRedBorder) {
    const int w = 6, h = 2;
    FakeDevice& camera = makeCamera(w, h, u"1");
    ZmSourceFltPin& pin = addCamera(camera);
    ASSERT_EQ(pin.setConnectionType(connectionType(MEDIASUBTYPE_RGB24)), S_OK);
    std::vector<std::uint16_t> frame(w * h);
    for (int i = 0; i < w * h; ++i) frame[i] = static_cast<std::uint16_t>((10 + i) << 8 | 0xFF);
    ASSERT_TRUE(camera.buffer().commit16(w, h, frame));
    EXPECT_EQ(camera.buffer().freeFrames(), FakeFrameBuffer::kFrames)
        << "the frame was copied and given back";

    Sample sample(w, h, 3);
    SampleBuffer buffer = sample.buffer();
    ASSERT_EQ(fill(pin, buffer), S_OK);
    ASSERT_TRUE(buffer.filled);
    const std::uint8_t R[3] = {0, 0, 255};
    std::vector<std::uint8_t> expected;
    for (int row = 0; row < h; ++row) {
        for (int c = 0; c < w; ++c) {
            if (c == 0 || c == w - 1) {
                expected.insert(expected.end(), R, R + 3);
            } else {
                const auto g = static_cast<std::uint8_t>(10 + row * w + (w - 1 - c));
                expected.insert(expected.end(), {g, g, g});
            }
        }
    }
    EXPECT_EQ(sample.bytes, expected);
}

TEST_F(FilterTest, OnlySixteenBitFramesAreTaken) {
    FakeDevice& camera = makeCamera(4, 4, u"1");
    ZmSourceFltPin& pin = addCamera(camera);
    const std::vector<std::uint8_t> eightBit(16, 0x40);
    ASSERT_TRUE(camera.buffer().commit(4, 4, 8, eightBit.data(), eightBit.size()));
    EXPECT_EQ(camera.buffer().freeFrames(), FakeFrameBuffer::kFrames);
    filter.BreakWait();
    Sample sample(4, 4, 4);
    SampleBuffer buffer = sample.buffer();
    EXPECT_EQ(fill(pin, buffer), S_OK);
    EXPECT_FALSE(buffer.filled) << "no frame was signalled";
}

TEST_F(FilterTest, ANewFrameSizeEndsTheStreamAndIsOfferedNext) {
    FakeDevice& camera = makeCamera(640, 480, u"1");
    ZmSourceFltPin& pin = addCamera(camera);
    ASSERT_EQ(pin.setConnectionType(connectionType(MEDIASUBTYPE_RGB32)), S_OK);
    const std::vector<std::uint16_t> frame(1024 * 768, 0x4000);
    ASSERT_TRUE(camera.buffer().commit16(1024, 768, frame));

    Sample small(640, 480, 4);
    SampleBuffer buffer = small.buffer();
    EXPECT_EQ(fill(pin, buffer), S_FALSE);
    EXPECT_FALSE(buffer.filled);
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].code, EC_VIDEO_SIZE_CHANGED);
    EXPECT_EQ(sink.events[0].param1, 0x03000400);
    EXPECT_EQ(sink.events[0].param2, 0);

    MediaType type;
    ASSERT_EQ(pin.GetMediaType(1, &type), S_OK);
    EXPECT_EQ(type.header.biWidth, 1024);
    EXPECT_EQ(type.header.biHeight, 768);
    std::int32_t w = 0, h = 0;
    filter.GetFrameSize(&w, &h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(1024, 768));

    ASSERT_TRUE(camera.buffer().commit16(1024, 768, frame));
    Sample large(1024, 768, 4);
    buffer = large.buffer();
    EXPECT_EQ(fill(pin, buffer), S_OK);
    EXPECT_TRUE(buffer.filled);
    EXPECT_EQ(large.bytes[4 * 512], 0x40);
    EXPECT_EQ(sink.events.size(), 1u);
}

TEST_F(FilterTest, ASampleTooSmallForThePictureIsRefused) {
    FakeDevice& camera = makeCamera(16, 8, u"1");
    ZmSourceFltPin& pin = addCamera(camera);
    ASSERT_EQ(pin.setConnectionType(connectionType(MEDIASUBTYPE_RGB32)), S_OK);
    ASSERT_TRUE(camera.buffer().commit16(16, 8, std::vector<std::uint16_t>(16 * 8, 0x1000)));
    Sample sample(16, 7, 4);
    SampleBuffer buffer = sample.buffer();
    EXPECT_EQ(fill(pin, buffer), E_FAIL);
    EXPECT_FALSE(buffer.filled);
}

TEST_F(FilterTest, StartOfPlayDropsTheOldestQueuedFrame) {
    FakeDevice& camera = makeCamera(4, 4, u"1");
    ZmSourceFltPin& pin = addCamera(camera);
    filter.pin(0)->unbind();  // frames now stay queued
    ASSERT_TRUE(camera.buffer().commit16(4, 4, std::vector<std::uint16_t>(16, 1)));
    ASSERT_TRUE(camera.buffer().commit16(4, 4, std::vector<std::uint16_t>(16, 2)));
    EXPECT_EQ(pin.OnThreadStartPlay(), S_OK);  // unbound: nothing to drop
    pin.bind(&camera);
    EXPECT_EQ(pin.OnThreadStartPlay(), S_OK);
    EXPECT_EQ(camera.buffer().freeFrames(), 3);
    ZmCoreLib::IFrame* left = camera.buffer().GetFrame();
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(static_cast<std::uint16_t*>(left->GetData())[0], 2) << "the oldest one was dropped";
    left->Release();
}

// Binding must never wait for a frame buffer's lock while holding the filter lock: frame arrival
// holds the buffer's lock while it waits for the filter lock.
TEST_F(FilterTest, ObserverRegistrationHappensOutsideTheFilterLock) {
    FakeDevice& first = makeCamera(8, 8, u"1");
    FakeDevice& second = makeCamera(8, 8, u"2");
    int checks = 0;
    const auto filterLockIsFree = [&] {
        ++checks;
        auto free = std::async(std::launch::async, [&] {
            std::unique_lock lock(filter.lock(), std::try_to_lock);
            return lock.owns_lock();
        });
        EXPECT_TRUE(free.get()) << "the filter lock is held while the observer list changes";
    };
    first.buffer().onObserverChange = filterLockIsFree;
    second.buffer().onObserverChange = filterLockIsFree;
    ZmSourceFltPin& pin = addCamera(first);
    pin.bind(&second);
    EXPECT_EQ(first.buffer().observerCount(), 0u);
    EXPECT_EQ(second.buffer().observerCount(), 1u);
    pin.unbind();
    EXPECT_EQ(second.buffer().observerCount(), 0u);
    EXPECT_EQ(checks, 4);
}

TEST_F(FilterTest, DestroyedFilterLeavesEveryFrameBuffer) {
    FakeDevice& a = makeCamera(8, 8, u"1");
    FakeDevice& b = makeCamera(8, 8, u"2");
    {
        ZmSourceFilter local;
        local.AddDevice(&a);
        local.AddDevice(&b);
        EXPECT_EQ(a.buffer().observerCount(), 1u);
        EXPECT_EQ(b.buffer().observerCount(), 1u);
    }
    EXPECT_EQ(a.buffer().observerCount(), 0u);
    EXPECT_EQ(b.buffer().observerCount(), 0u);
    EXPECT_TRUE(a.buffer().commit16(8, 8, std::vector<std::uint16_t>(64, 1)));
}

// Frames arrive on a producer thread while the streaming thread converts them and the control
// thread changes recording and crosshair settings.
TEST_F(FilterTest, FramesFlowWhileSettingsChange) {
    const int w = 64, h = 32;
    FakeDevice& camera = makeCamera(w, h, u"1");
    ZmSourceFltPin& pin = addCamera(camera);
    ASSERT_EQ(pin.setConnectionType(connectionType(MEDIASUBTYPE_RGB24)), S_OK);
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        std::vector<std::uint16_t> frame(w * h);
        for (std::uint16_t n = 0; !stop; ++n) {
            std::fill(frame.begin(), frame.end(), static_cast<std::uint16_t>(n << 8));
            camera.buffer().commit16(w, h, frame);
            std::this_thread::yield();
        }
    });
    std::thread control([&] {
        for (int i = 0; !stop; ++i) {
            filter.SetPosition(i % w, i % h);
            filter.SetShow(i % 2 == 0);
            std::this_thread::yield();
        }
    });
    Sample sample(w, h, 3);
    int filled = 0;
    for (int i = 0; i < 50; ++i) {
        SampleBuffer buffer = sample.buffer();
        if (fill(pin, buffer) == S_OK && buffer.filled) ++filled;
    }
    stop = true;
    producer.join();
    control.join();
    EXPECT_EQ(filled, 50);
}

}  // namespace
}  // namespace ZenmiraVidSource
