// The program as a whole: the start-up error boxes of a missing library and of a bus without
// cameras, a run over the simulator's demonstration cameras that ends cleanly on SIGTERM, and, in
// this process, the application object with live pictures, a frame-size change and shut-down.
#include <gst/gst.h>

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "graph.h"
#include "mainfrm.h"
#include "platform/messagebox.h"
#include "simulator/cameraconfig.h"
#include "videorenderer.h"
#include "zenmirakelvo.h"
#include "zmcoreimpl/zmcorelib_devicepool.h"
#include "zmcorelib/zmcorelib.h"

namespace {

constexpr int kProcessTimeoutMs = 60000;
constexpr int kPictureWaitMs = 30000;
// A demonstration camera takes two pictures a second; the graph restarts in between.
constexpr int kSizeChangeWaitMs = 60000;

struct Run {
    int exitCode = -1;
    bool finished = false;
    QString errors;
};

// Runs the program `program` offscreen with `environment` added; `whileRunning` gets the process
// once it has started.
Run runProgram(const QString& program, const QMap<QString, QString>& environment,
               const std::function<void(QProcess&)>& whileRunning = {}, const QString& workingFolder = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (auto it = environment.begin(); it != environment.end(); ++it) env.insert(it.key(), it.value());
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workingFolder.isEmpty() ? QFileInfo(program).absolutePath() : workingFolder);
    process.start(program, {});
    Run run;
    if (!process.waitForStarted(kProcessTimeoutMs)) return run;
    if (whileRunning) whileRunning(process);
    run.finished = process.waitForFinished(kProcessTimeoutMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitCode();
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QString program() {
    return QDir(QCoreApplication::applicationDirPath()).filePath("ZenmiraKelvo");
}

// Copies the program into `root`/bin and the build's libraries `libraries` into `root`/lib, as an
// installed tree has them; false when a copy failed.
bool copyProgram(const QDir& root, const QStringList& libraries) {
    const QDir built(QDir(QCoreApplication::applicationDirPath()).filePath("../lib"));
    if (!root.mkpath("bin") || !root.mkpath("lib") ||
        !QFile::copy(program(), root.filePath("bin/ZenmiraKelvo")))
        return false;
    for (const QString& library : libraries)
        if (!QFile::copy(built.filePath(library), root.filePath("lib/" + library))) return false;
    return true;
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void missingLibraryEndsStartupWithItsBox() {
        // A copy of the program with its platform library finds no camera library beside them.
        QTemporaryDir folder;
        QVERIFY(copyProgram(QDir(folder.path()), {"libzmplatform.so"}));
        const QString copy = QDir(folder.path()).filePath("bin/ZenmiraKelvo");
        const Run run = runProgram(copy, {{"LD_LIBRARY_PATH", ""}, {"XDG_CONFIG_HOME", folder.path()}});
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.errors.contains("Zenmira Kelvo: File name: zmcoreimpl/zmcorelib_devicepool\nLine: 23\n"
                                     "Failed to load zmcorelib_v4 library"),
                 qPrintable(run.errors));
    }

#ifdef ZM_WITH_CAMERA_LIBRARY
    void applicationShowsEveryCameraAndFollowsASizeChange() {
        qputenv("ZMCORE_SIMULATE", "default");
        gst_init(nullptr, nullptr);
        CZenmiraKelvoApp::addPluginFolders(QCoreApplication::applicationDirPath());
        QStringList boxes;
        platform::setMessageBoxHandler([&boxes](const std::string& caption, const std::string& text) {
            boxes << QString::fromStdString(caption + ": " + text);
        });

        CZenmiraKelvoApp app;
        QVERIFY2(app.InitInstance(), qPrintable(boxes.join("\n")));
        CMainFrame* frame = app.mainFrame();
        QVERIFY(frame->isVisible());
        QCOMPARE(frame->windowTitle(), "ZenmiraKelvo");
        VideoGraph& graph = VideoGraph::instance();
        // The whole demonstration set, at most one camera of it without a serial number.
        const int cameras = DevicePool::instance().size();
        QCOMPARE(cameras, int(simulator::parseCameraSet("default").size()));
        QCOMPARE(frame->tabBar()->count(), cameras + 1);
        QStringList titles;
        for (int i = 1; i <= cameras; ++i) titles << frame->tabBar()->tabText(i);
        QVERIFY2(titles.count("Камера №") <= 1, qPrintable(titles.join(", ")));
        for (int i = 0; i < cameras; ++i)
            QTRY_VERIFY_WITH_TIMEOUT(graph.renderer(i)->statistics().shown > 0, kPictureWaitMs);

        // A new width on the page of the first camera whose picture is not turned (it is as wide
        // as its frame, and not square): the graph is rebuilt and the picture comes back that wide.
        int camera = 0;
        SettingItem* width = nullptr;
        int nativeWidth = 0, nativeHeight = 0;
        for (; camera < cameras; ++camera) {
            DeviceHolder& holder = *DevicePool::instance().at(camera);
            ZmCoreLib::ISetting* widthSetting = holder.device()->FindSetting(ZmCoreLib::ids::kFrameWidth);
            width = widthSetting ? holder.find(SettingItem(widthSetting)) : nullptr;
            graph.renderer(camera)->GetNativeVideoSize(&nativeWidth, &nativeHeight);
            if (width && width->value() == nativeWidth && nativeWidth != nativeHeight) break;
        }
        QVERIFY(camera < cameras);
        frame->selectTab(camera + 1);
        VideoRenderer* renderer = graph.renderer(camera);
        int min = 0, max = 0;
        width->range(min, max, width->unit());
        const int newWidth = width->value() > min + 64 ? width->value() - 64 : width->value() + 64;
        width->setValue(newWidth);
        const int applied = width->value();
        QVERIFY(applied != nativeWidth);
        QTRY_VERIFY2_WITH_TIMEOUT(
            (renderer->GetNativeVideoSize(&nativeWidth, &nativeHeight), nativeWidth == applied),
            qPrintable(QString("picture %1 x %2, %3 shown, width setting %4")
                           .arg(nativeWidth)
                           .arg(nativeHeight)
                           .arg(renderer->statistics().shown)
                           .arg(width->value())),
            kSizeChangeWaitMs);
        const quint64 shown = renderer->statistics().shown;
        QTRY_VERIFY_WITH_TIMEOUT(renderer->statistics().shown > shown + 2, kPictureWaitMs);

        // The folder chooser speaks Russian like the rest of the viewer, Qt's own texts included.
        frame->action(commands::ID_SAVE_FOLDER)->trigger();
        QFileDialog* chooser = frame->folderDialog();
        QVERIFY(chooser);
        const QRegularExpression latin("[A-Za-z]");
        QStringList english;
        for (QWidget* widget : chooser->findChildren<QWidget*>()) {
            if (!widget->isVisible()) continue;
            QStringList texts{widget->toolTip()};
            if (auto* label = qobject_cast<QLabel*>(widget)) texts << label->text();
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) texts << button->text();
            for (const QString& text : texts)
                if (text.contains(latin)) english << text;
        }
        chooser->reject();
        QVERIFY2(english.isEmpty(), qPrintable(english.join(", ")));

        frame->close();
        QCOMPARE(app.ExitInstance(), 0);
        QCOMPARE(graph.rendererCount(), 0);
        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join("\n")));
    }

    void noCameraEndsStartupWithItsBox() {
        QTemporaryDir config;
        const Run run = runProgram(program(), {{"ZMCORE_SIMULATE", ""}, {"XDG_CONFIG_HOME", config.path()}});
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.errors.contains("Zenmira Kelvo: File name: zmcoreimpl/zmcorelib_devicepool\nLine: 40\n"
                                     "No device found"),
                 qPrintable(run.errors));
    }

    void missingPluginEndsStartupWithABoxThatSaysWhatToDo() {
        // The program and the camera library, without the plugin folder beside them.
        QTemporaryDir folder;
        const QDir root(folder.path());
        QVERIFY(root.mkpath("no-plugins"));
        QVERIFY(copyProgram(root, {"libzmplatform.so", "libzmcorelib_v4.so"}));
        const Run run = runProgram(root.filePath("bin/ZenmiraKelvo"),
                                   {{"ZMCORE_SIMULATE", "default"},
                                    {"XDG_CONFIG_HOME", folder.path()},
                                    {"GST_PLUGIN_PATH", ""},
                                    {"GST_PLUGIN_SYSTEM_PATH", root.filePath("no-plugins")},
                                    {"GST_REGISTRY", root.filePath("registry.bin")}},
                                   {}, QCoreApplication::applicationDirPath());
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.errors.contains(
                     "Zenmira Kelvo: The GStreamer element \"zenmirasrc\" (plugin zenmiravidsource) "
                     "cannot be created.\nInstall the plugin libgstzenmiravidsource.so"),
                 qPrintable(run.errors));
    }

    void terminationClosesTheViewerCleanly() {
        QTemporaryDir config;
        const Run run =
            runProgram(program(), {{"ZMCORE_SIMULATE", "default"}, {"XDG_CONFIG_HOME", config.path()}},
                       [](QProcess& process) {
                           QTest::qWait(3000);  // start-up, some pictures
                           process.terminate();
                       });
        QVERIFY2(run.finished, "the viewer did not end after SIGTERM");
        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
        QVERIFY2(!run.errors.contains("CRITICAL"), qPrintable(run.errors));
        // The working folder was never needed: the configuration was neither read nor written.
        QVERIFY(!QFile::exists(QDir(config.path()).filePath("ZenmiraKelvo.ini")));
    }

#endif
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
