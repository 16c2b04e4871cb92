// The zenmirasrc element over fake cameras, driven through GstHarness: negotiation, picture
// orientation, the size-change message and reconnection, BreakWait, save errors on the bus.
#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "fakedevice.h"
#include "imagereader.h"
#include "zenmirasrc.h"
#include "zenmiravidsource/element.h"

namespace ZenmiraVidSource {
namespace {

using ZmCoreLib_v4::testing_support::FakeDevice;
using ZmCoreLib_v4::testing_support::TempFolder;

constexpr GstClockTime kBusWait = 10 * GST_SECOND;

class ElementTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        // As gstcheck does: a critical or a warning from GLib or GStreamer fails the test.
        g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING));
        GST_ELEMENT_REGISTER(zenmirasrc, nullptr);
    }

    ElementTest() {
        element_ = gst_element_factory_make(kElementName, nullptr);
        bus_ = gst_bus_new();
        gst_element_set_bus(element_, bus_);
    }
    ~ElementTest() override {
        if (harness_) gst_harness_teardown(harness_);
        gst_element_set_state(element_, GST_STATE_NULL);
        gst_object_unref(element_);
        gst_object_unref(bus_);
    }

    // Cameras outlive the element, as the filter's contract asks.
    FakeDevice& makeCamera(int width, int height, std::u16string serial) {
        cameras_.push_back(std::make_unique<FakeDevice>(width, height, std::move(serial)));
        return *cameras_.back();
    }

    template <typename Interface>
    Interface* query(const Guid& iid) {
        gpointer object = nullptr;
        g_signal_emit_by_name(element_, kQueryInterfaceSignal, &iid, &object);
        return static_cast<Interface*>(object);
    }

    // Hands the camera to the element and puts a harness on its pad.
    void attach(FakeDevice& camera, const char* sinkCaps = nullptr) {
        ASSERT_EQ(query<IDeviceSource>(IID_IDeviceSource)->AddDevice(&camera), S_OK);
        harness_ = gst_harness_new_with_element(element_, nullptr, "src_0");
        if (sinkCaps) gst_harness_set_sink_caps_str(harness_, sinkCaps);
        gst_harness_play(harness_);
    }

    GstVideoInfo negotiated() {
        GstCaps* caps = gst_pad_get_current_caps(harness_->sinkpad);
        GstVideoInfo info;
        gst_video_info_init(&info);
        if (caps) {
            gst_video_info_from_caps(&info, caps);
            gst_caps_unref(caps);
        }
        return info;
    }

    GstMessage* waitForMessage(GstMessageType types) {
        return gst_bus_timed_pop_filtered(bus_, kBusWait, types);
    }

    std::vector<std::unique_ptr<FakeDevice>> cameras_;
    GstElement* element_;
    GstBus* bus_;
    GstHarness* harness_ = nullptr;
};

std::vector<std::uint16_t> rampFrame(int w, int h) {
    std::vector<std::uint16_t> frame(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint16_t>((i % 200 + 20) << 8);
    return frame;
}

struct NegotiationCase {
    const char* name;
    const char* sinkCaps;
    GstVideoFormat format;
    int pixelBytes;
    friend void PrintTo(const NegotiationCase& c, std::ostream* out) { *out << c.name; }
};

class ElementNegotiation : public ElementTest, public testing::WithParamInterface<NegotiationCase> {};

// GStreamer rows are top-down: the top row shows the frame's first row, mirrored, with red ends.
TEST_P(ElementNegotiation, PushesTheMirroredPictureTopRowFirst) {
    const int w = 37, h = 5;  // an odd width: BGR rows are padded to four bytes
    FakeDevice& camera = makeCamera(w, h, u"1");
    attach(camera, GetParam().sinkCaps);
    const auto frame = rampFrame(w, h);
    ASSERT_TRUE(camera.buffer().commit16(w, h, frame));

    GstBuffer* buffer = gst_harness_pull(harness_);
    ASSERT_NE(buffer, nullptr);
    GstVideoInfo info = negotiated();
    EXPECT_EQ(GST_VIDEO_INFO_FORMAT(&info), GetParam().format);
    EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), w);
    EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&info), h);
    GstVideoFrame mapped;
    ASSERT_TRUE(gst_video_frame_map(&mapped, &info, buffer, GST_MAP_READ));
    const auto* data = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0));
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0);
    int wrong = 0;
    for (int t = 0; t < h; ++t) {
        for (int c = 0; c < w; ++c) {
            const std::uint8_t* p = data + t * stride + c * GetParam().pixelBytes;
            const bool border = c == 0 || c == w - 1;
            const auto g = static_cast<std::uint8_t>(frame[t * w + (w - 1 - c)] >> 8);
            const bool right =
                border ? (p[0] == 0 && p[1] == 0 && p[2] == 255) : (p[0] == g && p[1] == g && p[2] == g);
            if (!right) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
    gst_video_frame_unmap(&mapped);
    gst_buffer_unref(buffer);
}

std::string negotiationCaseName(const testing::TestParamInfo<NegotiationCase>& param) {
    return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Formats, ElementNegotiation,
                         testing::Values(NegotiationCase{"AnyFormat", nullptr, GST_VIDEO_FORMAT_BGR, 3},
                                         NegotiationCase{"Bgrx", "video/x-raw,format=BGRx",
                                                         GST_VIDEO_FORMAT_BGRx, 4},
                                         NegotiationCase{"BgraOrBgrx", "video/x-raw,format={BGRA,BGRx}",
                                                         GST_VIDEO_FORMAT_BGRx, 4}),
                         negotiationCaseName);

TEST_F(ElementTest, RefusesToStreamBgraOnly) {
    FakeDevice& camera = makeCamera(16, 8, u"1");
    attach(camera, "video/x-raw,format=BGRA");
    camera.buffer().commit16(16, 8, rampFrame(16, 8));
    GstMessage* error = waitForMessage(GST_MESSAGE_ERROR);
    ASSERT_NE(error, nullptr) << "no error for a format the element refuses";
    gst_message_unref(error);
    GstEvent* event = nullptr;
    bool sawCaps = false;
    while ((event = gst_harness_try_pull_event(harness_))) {
        sawCaps = sawCaps || GST_EVENT_TYPE(event) == GST_EVENT_CAPS;
        gst_event_unref(event);
    }
    EXPECT_FALSE(sawCaps);
}

TEST_F(ElementTest, ANewFrameSizeEndsTheStreamAndReconnectionStreamsAtIt) {
    FakeDevice& camera = makeCamera(640, 480, u"1");
    attach(camera, "video/x-raw,format=BGRx");
    const std::vector<std::uint16_t> large(1024 * 768, 0x4000);
    ASSERT_TRUE(camera.buffer().commit16(1024, 768, large));

    GstMessage* message = waitForMessage(GST_MESSAGE_ELEMENT);
    ASSERT_NE(message, nullptr);
    const GstStructure* s = gst_message_get_structure(message);
    EXPECT_TRUE(gst_structure_has_name(s, kGraphEventMessage));
    gint code = 0, param1 = 0;
    gst_structure_get_int(s, "code", &code);
    gst_structure_get_int(s, "param1", &param1);
    EXPECT_EQ(code, 10);
    EXPECT_EQ(param1, 0x03000400);
    EXPECT_STREQ(gst_structure_get_string(s, "pad"), "src_0");
    gst_message_unref(message);

    bool eos = false;
    for (GstEvent* event; !eos && (event = gst_harness_pull_event(harness_));) {
        eos = GST_EVENT_TYPE(event) == GST_EVENT_EOS;
        gst_event_unref(event);
    }
    EXPECT_TRUE(eos);
    EXPECT_EQ(gst_harness_buffers_received(harness_), 0u);

    // What the viewer does on the message: stop, reconnect, run.
    ASSERT_NE(gst_element_set_state(element_, GST_STATE_READY), GST_STATE_CHANGE_FAILURE);
    gst_harness_play(harness_);
    ASSERT_TRUE(camera.buffer().commit16(1024, 768, large));
    GstBuffer* buffer = gst_harness_pull(harness_);
    ASSERT_NE(buffer, nullptr);
    GstVideoInfo info = negotiated();
    EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), 1024);
    EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&info), 768);
    EXPECT_GE(gst_buffer_get_size(buffer), 1024u * 768 * 4);
    gst_buffer_unref(buffer);
}

TEST_F(ElementTest, BreakWaitPushesNothingAndStoppingNeverWaitsForAFrame) {
    FakeDevice& camera = makeCamera(16, 8, u"1");
    attach(camera);
    ASSERT_EQ(query<ISnapshotControl>(IID_ISnapshotControl)->BreakWait(), S_OK);
    g_signal_emit_by_name(element_, "break-wait");
    EXPECT_EQ(gst_harness_try_pull(harness_), nullptr);
    // No frame ever arrives: stopping must still end the streaming task.
    EXPECT_EQ(gst_element_set_state(element_, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
}

TEST_F(ElementTest, CrosshairPropertiesReachPinZeroAndRowsCountFromTheBottom) {
    const int w = 64, h = 48;
    FakeDevice& camera = makeCamera(w, h, u"1");
    attach(camera, "video/x-raw,format=BGRx");
    g_object_set(element_, "crosshair-x", 30, "crosshair-y", 0, "crosshair", TRUE, nullptr);
    auto* crosshair = query<ICrosshair>(IID_ICrosshair);
    ASSERT_NE(crosshair, nullptr);
    bool shown = false;
    std::int32_t x = 0, y = 0;
    crosshair->GetShow(&shown);
    crosshair->GetPosition(&x, &y);
    EXPECT_TRUE(shown);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(30, 0));

    ASSERT_TRUE(camera.buffer().commit16(w, h, std::vector<std::uint16_t>(w * h, 0x8000)));
    GstBuffer* buffer = gst_harness_pull(harness_);
    ASSERT_NE(buffer, nullptr);
    GstMapInfo map;
    ASSERT_TRUE(gst_buffer_map(buffer, &map, GST_MAP_READ));
    const auto isRed = [&](int rowFromTop, int column) {
        const std::uint8_t* p = map.data + (rowFromTop * w + column) * 4;
        return p[0] == 0 && p[1] == 0 && p[2] == 255;
    };
    EXPECT_TRUE(isRed(h - 1, 10)) << "the horizontal arm is on the bottom row";
    EXPECT_FALSE(isRed(0, 10));
    EXPECT_TRUE(isRed(0, 30)) << "the vertical arm reaches 99 rows up";
    gst_buffer_unmap(buffer, &map);
    gst_buffer_unref(buffer);
}

TEST_F(ElementTest, SeriesSaveErrorsArriveAsWarningsWithCaption) {
    TempFolder folder;
    FakeDevice& camera = makeCamera(16, 8, u"S1");
    attach(camera);
    g_object_set(element_, "folder", (folder.path() / "missing").c_str(), "series", TRUE, nullptr);
    ASSERT_TRUE(camera.buffer().commit16(16, 8, rampFrame(16, 8)));

    GstMessage* warning = waitForMessage(GST_MESSAGE_WARNING);
    ASSERT_NE(warning, nullptr);
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_warning(warning, &error, &debug);
    EXPECT_NE(std::string(error->message)
                  .find("Имя файла: \n" + (folder.path() / "missing" / "Камера_S1#0").string()),
              std::string::npos)
        << error->message;
    const GstStructure* details = nullptr;
    gst_message_parse_warning_details(warning, &details);
    ASSERT_NE(details, nullptr);
    EXPECT_STREQ(gst_structure_get_string(details, kSaveErrorCaptionField),
                 "Zenmira Kelvo: Ошибка сохранения изображения");
    g_error_free(error);
    g_free(debug);
    gst_message_unref(warning);
    // The frame still reached the picture.
    GstBuffer* buffer = gst_harness_pull(harness_);
    EXPECT_NE(buffer, nullptr);
    if (buffer) gst_buffer_unref(buffer);
}

// EOS sent to the element (what gst-launch -e does on Ctrl+C) ends the pad's stream after the
// picture in flight and stops the series; frames that come later are neither pushed nor saved.
TEST_F(ElementTest, EndOfStreamEndsThePadAndStopsTheSeries) {
    TempFolder folder;
    FakeDevice& camera = makeCamera(16, 8, u"S1");
    attach(camera);
    g_object_set(element_, "folder", folder.path().c_str(), "series", TRUE, nullptr);
    ASSERT_TRUE(camera.buffer().commit16(16, 8, rampFrame(16, 8)));
    GstBuffer* buffer = gst_harness_pull(harness_);
    ASSERT_NE(buffer, nullptr);
    gst_buffer_unref(buffer);

    EXPECT_TRUE(gst_element_send_event(element_, gst_event_new_eos()));
    bool eos = false;
    for (GstEvent* event; !eos && (event = gst_harness_pull_event(harness_));) {
        eos = GST_EVENT_TYPE(event) == GST_EVENT_EOS;
        gst_event_unref(event);
    }
    EXPECT_TRUE(eos) << "no EOS came out of the pad";
    gboolean series = TRUE;
    g_object_get(element_, "series", &series, nullptr);
    EXPECT_FALSE(series);

    ASSERT_TRUE(camera.buffer().commit16(16, 8, rampFrame(16, 8)));
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "Камера_S1#0.tiff"));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "Камера_S1#1.tiff"));
    EXPECT_EQ(gst_harness_buffers_received(harness_), 1u);
}

// gst-launch sets properties before the element has a bus: the refusal of an unknown format
// still reaches the bus, once the element is in a pipeline, and the format stays TIFF.
TEST_F(ElementTest, AnUnknownFileFormatIsRefusedWithAWarningNamingIt) {
    GstElement* element = gst_element_factory_make(kElementName, nullptr);
    g_object_set(element, "file-format", "png", nullptr);
    GstBus* bus = gst_bus_new();
    gst_element_set_bus(element, bus);
    gst_element_set_state(element, GST_STATE_READY);
    GstMessage* warning = gst_bus_timed_pop_filtered(bus, kBusWait, GST_MESSAGE_WARNING);
    ASSERT_NE(warning, nullptr) << "the refusal never reached the bus";
    GError* error = nullptr;
    gst_message_parse_warning(warning, &error, nullptr);
    EXPECT_NE(std::string(error->message).find("\"png\""), std::string::npos) << error->message;
    g_error_free(error);
    gst_message_unref(warning);
    gchar* format = nullptr;
    g_object_get(element, "file-format", &format, nullptr);
    EXPECT_STREQ(format, "tiff");
    g_free(format);

    // Set while the element has its bus, the refusal comes at once.
    g_object_set(element, "file-format", "jpg", nullptr);
    warning = gst_bus_pop_filtered(bus, GST_MESSAGE_WARNING);
    EXPECT_NE(warning, nullptr);
    if (warning) gst_message_unref(warning);
    gst_element_set_state(element, GST_STATE_NULL);
    gst_object_unref(element);
    gst_object_unref(bus);
}

TEST_F(ElementTest, UnknownInterfaceIsNull) {
    EXPECT_EQ(query<void>(CLSID_ZmSourceFilter), nullptr);
    EXPECT_NE(query<ISpecifyPropertyPages>(IID_ISpecifyPropertyPages), nullptr);
}

}  // namespace
}  // namespace ZenmiraVidSource
