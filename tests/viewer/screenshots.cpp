// Drives the viewer under an X display and photographs the whole screen with ImageMagick's
// `import -window root`: the common page, then the first camera's page at 200 % with the
// crosshair on. Run by scripts/screenshot; the output folder is the only argument.
#include <gst/gst.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <cstdio>

#include "graph.h"
#include "mainfrm.h"
#include "qtmessagebox.h"
#include "sourcefilter.h"
#include "videorenderer.h"
#include "zenmirakelvo.h"

namespace {

constexpr int kPictureWaitMs = 30000;
constexpr int kSettleMs = 1500;
constexpr QSize kFrameSize(1280, 860);
constexpr int kCrosshairFromLeft = 200;
constexpr int kCrosshairFromTop = 150;

bool waitForPictures(VideoGraph& graph, quint64 atLeast) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        bool all = true;
        for (int i = 0; i < graph.rendererCount(); ++i)
            all = all && graph.renderer(i)->statistics().shown >= atLeast;
        if (all) return true;
        if (waited.elapsed() > kPictureWaitMs) return false;
        QTest::qWait(50);
    }
}

bool photograph(const QString& file) {
    QTest::qWait(kSettleMs);
    const int result = QProcess::execute("import", {"-window", "root", file});
    std::fprintf(stderr, "%s: %s\n", qPrintable(file), result == 0 ? "written" : "import failed");
    return result == 0;
}

}  // namespace

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir output(QString::fromLocal8Bit(argv[1]));
    qtmessagebox::install();
    CZenmiraKelvoApp::addPluginFolders(QApplication::applicationDirPath());

    CZenmiraKelvoApp app;
    if (!app.InitInstance()) return 1;
    CMainFrame* frame = app.mainFrame();
    frame->resize(kFrameSize);
    VideoGraph& graph = VideoGraph::instance();
    bool ok = waitForPictures(graph, 5) && photograph(output.filePath("viewer-common.png"));

    frame->selectTab(1);
    frame->runCommand(commands::ID_ZOOM_200);
    if (auto* crosshair = queryFilter<ZenmiraVidSource::ICrosshair>(graph.sourceFilter(),
                                                                    ZenmiraVidSource::IID_ICrosshair)) {
        std::int32_t width = 0, height = 0;
        crosshair->GetFrameSize(&width, &height);
        // Rows count from the bottom of the picture: put it where the zoomed view (the top-left
        // part of the picture) shows it.
        crosshair->SetPosition(kCrosshairFromLeft, height - kCrosshairFromTop);
        crosshair->SetShow(true);
    }
    const quint64 shown = graph.renderer(0)->statistics().shown;
    ok = ok && waitForPictures(graph, shown + 5) && photograph(output.filePath("viewer-camera-200.png"));

    frame->close();
    app.ExitInstance();
    return ok ? 0 : 1;
}
