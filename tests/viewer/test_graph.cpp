// The streaming graph over the real zenmirasrc element and fake cameras: pad i feeds renderer i,
// before and after a rebuild; a camera's new frame size reaches its renderer through the size
// event and the main frame's reaction; the pipeline's name and graph dump.
#include <gst/gst.h>
#include <unistd.h>

#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <memory>

#include "commondevicesvideopane.h"
#include "commondevicesview.h"
#include "graph.h"
#include "mainfrm.h"
#include "videorenderer.h"
#include "viewerevents.h"
#include "zmcoreimpl/zmcorelib_devicepool.h"
#include "zmcorelib/zmcorelib.h"

namespace {

constexpr int kPictureWaitMs = 15000;

// The name of the source pad linked to renderer `index`, or an empty text.
QString linkedPadName(VideoGraph& graph, int index) {
    GstPad* sinkPad = gst_element_get_static_pad(graph.renderer(index)->element(), "sink");
    GstPad* peer = gst_pad_get_peer(sinkPad);
    gst_object_unref(sinkPad);
    if (!peer) return {};
    gchar* name = gst_pad_get_name(peer);
    QString text = QString::fromUtf8(name);
    g_free(name);
    gst_object_unref(peer);
    return text;
}

QSize nativeSize(VideoGraph& graph, int index) {
    int w = 0, h = 0;
    graph.renderer(index)->GetNativeVideoSize(&w, &h);
    return {w, h};
}

// A notify window that fetches one graph event per notification, as the main frame does, and
// counts the notifications and the events they fetched.
class FetchingWindow : public QObject {
public:
    explicit FetchingWindow(VideoGraph& graph) : graph_(graph) {}
    int notifications() const { return notifications_; }
    int fetched() const { return fetched_; }

protected:
    bool event(QEvent* event) override {
        if (event->type() != viewer_events::WM_GRAPH_EVENT) return QObject::event(event);
        GraphEvent graphEvent;
        if (graph_.getEvent(graphEvent)) ++fetched_;
        ++notifications_;
        return true;
    }

private:
    VideoGraph& graph_;
    std::atomic<int> notifications_{0};
    std::atomic<int> fetched_{0};
};

}  // namespace

class GraphTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dotFolder_.isValid());
        qputenv("GST_DEBUG_DUMP_DOT_DIR", dotFolder_.path().toUtf8());
        gst_init(nullptr, nullptr);
    }

    void eachPadFeedsItsRendererBeforeAndAfterARebuild() {
        qputenv("ZM_FAKE_CAMERAS", "C;A;B");
        SettingRegistry registry;
        DevicePool pool(ZM_FAKE_LIBRARY, registry);
        VideoGraph graph(pool, nullptr);
        QCOMPARE(graph.rendererCount(), 3);
        graph.render();
        graph.run();
        const QStringList expected = {"src_0", "src_1", "src_2"};
        QStringList linked;
        for (int i = 0; i < 3; ++i) linked << linkedPadName(graph, i);
        QCOMPARE(linked, expected);
        for (int i = 0; i < 3; ++i)
            QTRY_COMPARE_WITH_TIMEOUT(nativeSize(graph, i), QSize(320, 240), kPictureWaitMs);

        graph.stop();
        graph.disconnectAll();
        for (int i = 0; i < 3; ++i) QCOMPARE(linkedPadName(graph, i), QString());
        graph.render();
        graph.run();
        linked.clear();
        for (int i = 0; i < 3; ++i) linked << linkedPadName(graph, i);
        QCOMPARE(linked, expected);
        const quint64 shownBefore = graph.renderer(2)->statistics().shown;
        QTRY_VERIFY_WITH_TIMEOUT(graph.renderer(2)->statistics().shown > shownBefore, kPictureWaitMs);
        graph.teardown();
        QCOMPARE(graph.rendererCount(), 0);
    }

    void pipelineIsNamedAndDumpedUnderItsDisplayName() {
        qputenv("ZM_FAKE_CAMERAS", "A");
        SettingRegistry registry;
        DevicePool pool(ZM_FAKE_LIBRARY, registry);
        VideoGraph graph(pool, nullptr);
        const QRegularExpression shape("^FilterGraph [0-9a-f]{8} pid ([0-9a-f]{8})$");
        const auto match = shape.match(graph.displayName());
        QVERIFY2(match.hasMatch(), qPrintable(graph.displayName()));
        QCOMPARE(match.captured(1).toUInt(nullptr, 16), unsigned(getpid()));
        QCOMPARE(QString::fromUtf8(GST_OBJECT_NAME(graph.pipeline())), graph.displayName());
        graph.addToRot();
        QVERIFY(QFile::exists(QDir(dotFolder_.path()).filePath(graph.displayName() + ".dot")));
    }

    void elementProblemsAreFetchedWithTheirTexts() {
        qputenv("ZM_FAKE_CAMERAS", "A");
        SettingRegistry registry;
        DevicePool pool(ZM_FAKE_LIBRARY, registry);
        VideoGraph graph(pool, nullptr);
        GstElement* source = gst_bin_get_by_name(GST_BIN(graph.pipeline()), "Zenmira source");
        QVERIFY(source);
        GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_OPEN_WRITE, "File exists");
        GstStructure* details = gst_structure_new("details", "caption", G_TYPE_STRING,
                                                  "Zenmira Kelvo: Ошибка сохранения изображения", nullptr);
        gst_element_post_message(
            source, gst_message_new_warning_with_details(GST_OBJECT(source), error, "debug", details));
        error->message[0] = 'f';
        gst_element_post_message(source, gst_message_new_error(GST_OBJECT(source), error, nullptr));
        g_error_free(error);
        gst_object_unref(source);

        GraphEvent event;
        QVERIFY(graph.getEvent(event));
        QCOMPARE(event.code, GraphEvent::EC_ELEMENT_WARNING);
        QCOMPARE(event.text, "File exists");
        QCOMPARE(event.caption, "Zenmira Kelvo: Ошибка сохранения изображения");
        QVERIFY(graph.getEvent(event));
        QCOMPARE(event.code, GraphEvent::EC_ERRORABORT);
        QCOMPARE(event.text, "file exists");
        QCOMPARE(event.caption, QString());
        QVERIFY(!graph.getEvent(event));  // one event per call, then none
    }

    // Streaming threads post while the window's thread fetches. A notification that arrives before
    // its message can be fetched finds nothing, and the message then waits for the next one: after
    // a size change, whose stream is silent until the graph is rebuilt, there is none.
    void everyNotificationFindsItsMessage() {
        qputenv("ZM_FAKE_CAMERAS", "A");
        SettingRegistry registry;
        DevicePool pool(ZM_FAKE_LIBRARY, registry);
        VideoGraph graph(pool, nullptr);
        GstElement* source = gst_bin_get_by_name(GST_BIN(graph.pipeline()), "Zenmira source");
        QVERIFY(source);
        QThread windowThread;
        FetchingWindow window(graph);
        window.moveToThread(&windowThread);
        windowThread.start();
        graph.setNotifyWindow(&window);
        // Also when a check below gives up early: no notification after this, and the thread ends
        // before the window and the graph go.
        const auto stopWindow = qScopeGuard([&] {
            graph.setNotifyWindow(nullptr);
            windowThread.quit();
            windowThread.wait();
        });

        constexpr int kMessages = 20000;
        for (int i = 0; i < kMessages; ++i) {
            gst_element_post_message(
                source, gst_message_new_element(GST_OBJECT(source), gst_structure_new_empty("tick")));
        }
        gst_object_unref(source);
        QTRY_COMPARE_WITH_TIMEOUT(window.notifications(), kMessages, kPictureWaitMs);
        QCOMPARE(window.fetched(), kMessages);
    }

    void aNewFrameSizeReachesItsRendererThroughTheFrame() {
        qputenv("ZM_FAKE_CAMERAS", "A;B;C");
        SettingRegistry registry;
        DevicePool pool(ZM_FAKE_LIBRARY, registry);
        std::unique_ptr<VideoGraph> graph;
        auto frame = std::make_unique<CMainFrame>(pool, registry);
        frame->create([&](QObject* notifyWindow) -> VideoGraph& {
            graph = std::make_unique<VideoGraph>(pool, notifyWindow);
            return *graph;
        });
        frame->resize(1000, 800);
        frame->show();
        for (int i = 0; i < 3; ++i)
            QTRY_COMPARE_WITH_TIMEOUT(nativeSize(*graph, i), QSize(320, 240), kPictureWaitMs);

        SettingItem probe(pool.at(1)->device()->FindSetting(ZmCoreLib::ids::kFrameWidth));
        pool.at(1)->find(probe)->setValue(400);
        QTRY_COMPARE_WITH_TIMEOUT(nativeSize(*graph, 1), QSize(400, 240), kPictureWaitMs);
        QCOMPARE(nativeSize(*graph, 0), QSize(320, 240));
        // The others keep streaming after the rebuild.
        const quint64 shownBefore = graph->renderer(2)->statistics().shown;
        QTRY_VERIFY_WITH_TIMEOUT(graph->renderer(2)->statistics().shown > shownBefore, kPictureWaitMs);
        // The common grid placed the new picture in its cell: 2 x 2 cells, fitted without enlarging.
        auto* grid = static_cast<CCommonDevicesView*>(frame->page(0))->video();
        QRect source, destination;
        QTRY_VERIFY_WITH_TIMEOUT(
            (graph->renderer(1)->GetVideoPosition(&source, &destination), source.width() == 400),
            kPictureWaitMs);
        QCOMPARE(destination.size(), QSize(400, 240));
        QVERIFY(QRect(grid->viewport()->width() / 2, 0, grid->viewport()->width() / 2,
                      grid->viewport()->height() / 2)
                    .contains(destination));

        frame.reset();
        graph->teardown();
        graph.reset();
    }

private:
    QTemporaryDir dotFolder_;
};

QTEST_MAIN(GraphTest)
#include "test_graph.moc"
