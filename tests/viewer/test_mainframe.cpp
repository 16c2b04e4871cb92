// The main frame, its pages and their commands over fake cameras and the real zenmirasrc element:
// menus and bars, tabs, the file-format combo, recording into time-stamped folders, series, the
// folder chooser, and the in-place editors of both settings lists.
#include <gst/gst.h>

#include <QActionGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <functional>
#include <memory>

#include "commondevicessettingpane.h"
#include "commondevicesvideopane.h"
#include "commondevicesview.h"
#include "devicesettingview.h"
#include "devicevideopane.h"
#include "deviceview.h"
#include "graph.h"
#include "iniconfig.h"
#include "mainfrm.h"
#include "propertyframe.h"
#include "qtmessagebox.h"
#include "settingeditors.h"
#include "sourcefilter.h"
#include "videolayout.h"
#include "videorenderer.h"
#include "zmcoreimpl/zmcorelib_devicepool.h"
#include "zmcorelib/zmcorelib.h"

using namespace commands;

namespace {

constexpr int kWaitMs = 15000;

// A running viewer over the fake cameras `cameras` (the fake library's description).
struct Viewer {
    explicit Viewer(const QByteArray& cameras) {
        qputenv("ZM_FAKE_CAMERAS", cameras);
        pool = std::make_unique<DevicePool>(ZM_FAKE_LIBRARY, registry);
        frame = std::make_unique<CMainFrame>(*pool, registry);
        frame->create([this](QObject* notifyWindow) -> VideoGraph& {
            graph = std::make_unique<VideoGraph>(*pool, notifyWindow);
            return *graph;
        });
        frame->resize(1000, 800);
        frame->show();
    }
    ~Viewer() {
        frame.reset();
        graph->teardown();
        graph.reset();
    }
    ZenmiraVidSource::IRecordingSettings* recording() const {
        return queryFilter<ZenmiraVidSource::IRecordingSettings>(graph->sourceFilter(),
                                                                 ZenmiraVidSource::IID_IRecordingSettings);
    }
    QString fileFormat(unsigned pin) const {
        std::u16string format;
        recording()->GetFileFormat(&format, pin);
        return QString::fromStdU16String(format);
    }
    bool series(unsigned pin) const {
        bool on = false;
        recording()->GetSeries(&on, pin);
        return on;
    }
    bool allPicturesShown() const {
        for (int i = 0; i < graph->rendererCount(); ++i)
            if (graph->renderer(i)->statistics().shown == 0) return false;
        return true;
    }
    void chooseFormat(int index) {
        frame->fileFormatCombo()->setCurrentIndex(index);
        Q_EMIT frame->fileFormatCombo()->activated(index);
    }
    CCommonDevicesView* common() const { return static_cast<CCommonDevicesView*>(frame->page(0)); }
    CDeviceView* camera(int index) const { return static_cast<CDeviceView*>(frame->page(index + 1)); }

    SettingRegistry registry;
    std::unique_ptr<DevicePool> pool;
    std::unique_ptr<VideoGraph> graph;
    std::unique_ptr<CMainFrame> frame;
};

QStringList menuTexts(QMenu* menu) {
    QStringList texts;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            texts << "-";
        else if (action->menu())
            texts << action->text() + " {" + menuTexts(action->menu()).join(", ") + "}";
        else
            texts << action->text();
    }
    return texts;
}

// Runs `interact` on the modal editor once it shows, then lets `open` return.
void whileModal(const std::function<void(QWidget*)>& interact, const std::function<void()>& open) {
    bool interacted = false;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget(), kWaitMs);
        interact(QApplication::activeModalWidget());
        interacted = true;
    });
    open();
    QVERIFY(interacted);
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// The recording folders made under `workFolder`: year-month-day-hour-minute-second.
QStringList recordingFolders(const QString& workFolder) {
    QStringList folders;
    const QRegularExpression shape("^\\d{4}-\\d{2}-\\d{2}-\\d{2}-\\d{2}-\\d{2}$");
    for (const QString& name : QDir(workFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (shape.match(name).hasMatch()) folders << QDir(workFolder).filePath(name);
    return folders;
}

// The error boxes on screen captioned `caption`, oldest first.
QList<QMessageBox*> errorBoxes(const QString& caption) {
    QList<QMessageBox*> boxes;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(window);
            box && box->isVisible() && box->windowTitle() == caption)
            boxes << box;
    return boxes;
}

constexpr const char* kSaveErrorCaption = "Zenmira Kelvo: Ошибка сохранения изображения";

// How many frames of its series a save-error box says were not saved (0 when it says nothing).
int framesNotSaved(const QMessageBox* box) {
    static const QRegularExpression count("Не сохранено кадров серии: (\\d+)");
    const QRegularExpressionMatch match = count.match(box->informativeText());
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// The status bar's label whose text contains `part`, or null.
QLabel* statusLabel(CMainFrame& frame, const QString& part) {
    for (QLabel* label : frame.statusBar()->findChildren<QLabel*>())
        if (label->isVisible() && label->text().contains(part)) return label;
    return nullptr;
}

int rowOf(QTableWidget* list, const QString& name) {
    for (int row = 0; row < list->rowCount(); ++row)
        if (list->item(row, 0) && list->item(row, 0)->text() == name) return row;
    return -1;
}

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        gst_init(nullptr, nullptr);
        qtmessagebox::install();  // as the program does
    }

    void init() {
        // A folder of its own for each test: recording folders are named to the second.
        workFolder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(workFolder_->isValid());
        IniConfig::instance().set(IniConfig::kWorkFolder, workFolder_->path().toStdU16String().c_str());
    }

    void cleanup() {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(window)) window->close();
    }

    void menusBarsAndCommandStates() {
        Viewer viewer("A;B");
        CMainFrame& frame = *viewer.frame;
        QStringList menus;
        for (QAction* top : frame.menuBar()->actions())
            menus << top->text() + " {" + menuTexts(top->menu()).join(", ") + "}";
        QCOMPARE(menus,
                 QStringList(
                     {"&Камера / Файл {Программный &старт, -, Запись одного &кадра, &Запись серии кадров, -, "
                      "Вы&ход}",
                      "&Редактировать {&Undo\tCtrl+Z, Cu&t\tCtrl+X, &Copy\tCtrl+C, &Paste\tCtrl+V, "
                      "&Папка для сохранения кадров...}",
                      "&Вид {&Панель инструментов, &Строка состоянияr, &Вывести перекрестье, Масштаб "
                      "изображения {&Полностью, -, 100 %, 200 %, 300 %, 400 %, -, 50 %}}",
                      "&Help {&About ZenmiraKelvo...}"}));
        for (int id : {ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE})
            QVERIFY(!frame.action(id)->isEnabled());

        QStringList tips;
        for (QAction* button : frame.findChild<QToolBar*>("toolbar")->actions()) tips << button->toolTip();
        QCOMPARE(tips, QStringList({"Программный старт", "Запись серии кадров", "Запись одного кадра"}));
        QComboBox* combo = frame.fileFormatCombo();
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->itemText(0), "tiff");
        QCOMPARE(combo->itemText(1), "bmp");
        QCOMPARE(combo->currentIndex(), -1);

        // The common page has no crosshair and no zoom; a camera page has both.
        const int pageOnly[] = {ID_SHOW_CROSSHAIR, ID_ZOOM_FIT, ID_ZOOM_200};
        for (int id : pageOnly) QVERIFY(!frame.commandState(id).enabled);
        QVERIFY(frame.commandState(ID_SOFTWARE_START).enabled);
        frame.selectTab(1);
        for (int id : pageOnly) QVERIFY(frame.commandState(id).enabled);
        QVERIFY(frame.commandState(ID_ZOOM_FIT).checked);
        frame.runCommand(ID_ZOOM_200);
        QVERIFY(frame.commandState(ID_ZOOM_200).checked);
        QVERIFY(!frame.commandState(ID_ZOOM_FIT).checked);
        QCOMPARE(viewer.camera(0)->video()->zoom(), 200);
    }

    void tabTitles_data() {
        QTest::addColumn<QByteArray>("cameras");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("one camera") << QByteArray("7") << QStringList({"Общий вид", "Камера №7"});
        QTest::newRow("three cameras in serial order")
            << QByteArray("C;A;B") << QStringList({"Общий вид", "Камера №A", "Камера №B", "Камера №C"});
    }
    void tabTitles() {
        QFETCH(QByteArray, cameras);
        QFETCH(QStringList, titles);
        Viewer viewer(cameras);
        QStringList shown;
        for (int i = 0; i < viewer.frame->tabBar()->count(); ++i) shown << viewer.frame->tabBar()->tabText(i);
        QCOMPARE(shown, titles);
        QCOMPARE(viewer.common()->video()->gridSize(), titles.size() == 2 ? QSize(1, 1) : QSize(2, 2));
    }

    void fileFormatFollowsThePageAndAppliesToItsCameras() {
        Viewer viewer("A;B");
        viewer.frame->selectTab(1);
        QCOMPARE(viewer.frame->fileFormatCombo()->currentText(), "tiff");
        viewer.chooseFormat(1);  // "bmp" on camera A's page: camera A only
        QCOMPARE(viewer.fileFormat(0), "bmp");
        QCOMPARE(viewer.fileFormat(1), "tiff");
        viewer.frame->selectTab(2);
        QCOMPARE(viewer.frame->fileFormatCombo()->currentText(), "tiff");
        viewer.frame->selectTab(1);
        QCOMPARE(viewer.frame->fileFormatCombo()->currentText(), "bmp");
        viewer.frame->selectTab(0);
        QCOMPARE(viewer.frame->fileFormatCombo()->currentIndex(), -1);
        viewer.chooseFormat(1);  // on the common page: every camera
        QCOMPARE(viewer.fileFormat(0), "bmp");
        QCOMPARE(viewer.fileFormat(1), "bmp");
        viewer.chooseFormat(0);
        QCOMPARE(viewer.fileFormat(0), "tiff");
        QCOMPARE(viewer.fileFormat(1), "tiff");
    }

    void recordFrameWritesOneFilePerCameraIntoANewFolder() {
        Viewer viewer("B;A");
        QTRY_VERIFY_WITH_TIMEOUT(viewer.allPicturesShown(), kWaitMs);
        viewer.frame->runCommand(ID_RECORD_FRAME);
        const QStringList folders = recordingFolders(workFolder_->path());
        QCOMPARE(folders.size(), 1);
        QCOMPARE(filesIn(folders[0]), QStringList({"Камера_A.tiff", "Камера_B.tiff"}));
        QVERIFY(QFileInfo(QDir(folders[0]).filePath("Камера_A.tiff")).size() > 320 * 240 * 2);
    }

    void aSnapshotThatCannotBeWrittenShowsItsErrorBox() {
        // The plugin writes the file and reports the failure; the viewer's box must show it.
        const QString missing = workFolder_->filePath("missing/work");
        IniConfig::instance().set(IniConfig::kWorkFolder, missing.toStdU16String().c_str());
        Viewer viewer("A");
        QTRY_VERIFY_WITH_TIMEOUT(viewer.allPicturesShown(), kWaitMs);
        viewer.frame->runCommand(ID_RECORD_FRAME);
        QTRY_COMPARE_WITH_TIMEOUT(errorBoxes(kSaveErrorCaption).size(), 1, kWaitMs);
        const QMessageBox* box = errorBoxes(kSaveErrorCaption).front();
        QCOMPARE(box->icon(), QMessageBox::Critical);
        const QRegularExpression text("\\nИмя файла: \\n" + QRegularExpression::escape(missing) +
                                      "/\\d{4}(-\\d{2}){5}/Камера_A$");
        QVERIFY2(text.match(box->text()).hasMatch(), qPrintable(box->text()));
    }

    void recordSeriesTogglesAndWritesNumberedFiles() {
        Viewer viewer("A");
        CMainFrame& frame = *viewer.frame;
        QVERIFY(frame.commandState(ID_RECORD_FRAME).enabled);
        frame.runCommand(ID_RECORD_SERIES);
        QVERIFY(frame.commandState(ID_RECORD_SERIES).checked);
        QVERIFY(!frame.commandState(ID_RECORD_FRAME).enabled);  // no single frames during a series
        QVERIFY(viewer.series(0));
        const QStringList folders = recordingFolders(workFolder_->path());
        QCOMPARE(folders.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(filesIn(folders[0]).contains("Камера_A#2.tiff"), kWaitMs);
        QVERIFY(filesIn(folders[0]).contains("Камера_A#0.tiff"));
        frame.runCommand(ID_RECORD_SERIES);
        QVERIFY(!frame.commandState(ID_RECORD_SERIES).checked);
        QVERIFY(!viewer.series(0));
        const int written = int(filesIn(folders[0]).size());
        QTest::qWait(200);  // frames keep arriving every 20 ms; none may be written now
        QCOMPARE(int(filesIn(folders[0]).size()), written);
    }

    void aFailingSeriesShowsOneBoxThatCountsTheFramesNotSaved() {
        const QString missing = workFolder_->filePath("missing/work");
        IniConfig::instance().set(IniConfig::kWorkFolder, missing.toStdU16String().c_str());
        Viewer viewer("A");
        viewer.frame->runCommand(ID_RECORD_SERIES);  // a frame every 20 ms, none can be written
        const auto lastBoxCount = [] {
            const QList<QMessageBox*> boxes = errorBoxes(kSaveErrorCaption);
            return boxes.isEmpty() ? 0 : framesNotSaved(boxes.last());
        };
        // The series warns of its first lost frame, counts the others and tells the count when it
        // ends; the one box shows it.
        QTRY_VERIFY_WITH_TIMEOUT(lastBoxCount() >= 1, kWaitMs);
        QVERIFY(errorBoxes(kSaveErrorCaption).front()->text().endsWith("/Камера_A#0"));
        QTest::qWait(300);  // frames keep arriving every 20 ms, each lost
        viewer.frame->runCommand(ID_RECORD_SERIES);
        QTRY_VERIFY_WITH_TIMEOUT(lastBoxCount() >= 5, kWaitMs);
        QCOMPARE(errorBoxes(kSaveErrorCaption).size(), 1);

        // Once it is closed, the next failure of a series opens a new box that counts afresh.
        errorBoxes(kSaveErrorCaption).front()->close();
        QTRY_COMPARE_WITH_TIMEOUT(errorBoxes(kSaveErrorCaption).size(), 0, kWaitMs);
        viewer.frame->runCommand(ID_RECORD_SERIES);
        QTRY_COMPARE_WITH_TIMEOUT(errorBoxes(kSaveErrorCaption).size(), 1, kWaitMs);
        QCOMPARE(framesNotSaved(errorBoxes(kSaveErrorCaption).front()), 1);
        viewer.frame->runCommand(ID_RECORD_SERIES);
    }

    void leavingACameraPageStopsItsSeriesButNotTheCommonOne() {
        Viewer viewer("A;B");
        CMainFrame& frame = *viewer.frame;
        frame.selectTab(2);
        frame.runCommand(ID_RECORD_SERIES);
        QVERIFY(viewer.series(1));
        QVERIFY(!viewer.series(0));
        frame.selectTab(0);
        QVERIFY(!viewer.series(1));
        QVERIFY(!viewer.camera(1)->video()->series());

        frame.runCommand(ID_RECORD_SERIES);  // on the common page: every camera
        QVERIFY(viewer.series(0) && viewer.series(1));
        frame.selectTab(1);
        QVERIFY(viewer.series(0) && viewer.series(1));
        frame.selectTab(0);
        frame.runCommand(ID_RECORD_SERIES);
        QVERIFY(!viewer.series(0) && !viewer.series(1));
    }

    void folderChooserIsNonBlockingAndCancelChangesNothing() {
        Viewer viewer("A");
        CMainFrame& frame = *viewer.frame;
        const QString before = QString::fromStdU16String(IniConfig::instance().get(IniConfig::kWorkFolder));
        frame.action(ID_SAVE_FOLDER)->trigger();
        QFileDialog* dialog = frame.folderDialog();
        QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
        QCOMPARE(dialog->windowTitle(), "Выбор папки для сохранения изображения");
        frame.action(ID_SAVE_FOLDER)->trigger();  // a second command brings the same chooser up
        QCOMPARE(frame.folderDialog(), dialog);
        dialog->reject();
        QTRY_VERIFY_WITH_TIMEOUT(!frame.folderDialog(), kWaitMs);
        QCoreApplication::processEvents();
        QCOMPARE(QString::fromStdU16String(IniConfig::instance().get(IniConfig::kWorkFolder)), before);

        QTemporaryDir chosen;
        frame.action(ID_SAVE_FOLDER)->trigger();
        frame.folderDialog()->setDirectory(chosen.path());
        frame.folderDialog()->selectFile(chosen.path());
        static_cast<QDialog*>(frame.folderDialog())->accept();
        QTRY_COMPARE_WITH_TIMEOUT(
            QString::fromStdU16String(IniConfig::instance().get(IniConfig::kWorkFolder)), chosen.path(),
            kWaitMs);
    }

    void cameraListEditorsWriteAtOnceAndRefresh() {
        Viewer viewer("A");
        viewer.frame->selectTab(1);
        CDeviceSettingView* list = viewer.camera(0)->settings();
        const int exposure = rowOf(list, "Длительность экспозиции");
        const int gain = rowOf(list, "Усиление");
        const int serial = rowOf(list, "Серийный номер камеры");
        QVERIFY(exposure >= 0 && gain >= 0 && serial >= 0);
        QCOMPARE(list->item(exposure, 1)->text(), "20");
        QCOMPARE(list->item(exposure, 2)->text(), "мкс");

        // Two arrow steps, then Escape: both steps stay applied.
        whileModal(
            [](QWidget* editor) {
                auto* spin = static_cast<CScalarSettingEditorDialog*>(editor)->spin();
                QTest::keyClick(spin, Qt::Key_Up);
                QTest::keyClick(spin, Qt::Key_Up);
                QTest::keyClick(spin, Qt::Key_Escape);
            },
            [&] { QVERIFY(list->openEditorAt(exposure, 1)); });
        QCOMPARE(list->item(exposure, 1)->text(), "22");

        // A typed value beyond the maximum stores the library's clamped value.
        whileModal(
            [](QWidget* editor) {
                auto* spin = static_cast<CScalarSettingEditorDialog*>(editor)->spin();
                spin->selectAll();
                QTest::keyClicks(spin, "9999999");
                QTest::keyClick(spin, Qt::Key_Return);
            },
            [&] { QVERIFY(list->openEditorAt(exposure, 1)); });
        QCOMPARE(list->item(exposure, 1)->text(), "5000");

        // A choice closes the list editor at once.
        whileModal(
            [](QWidget* editor) {
                auto* combo = static_cast<CEnumSettingEditorDialog*>(editor)->combo();
                combo->setCurrentIndex(1);
                Q_EMIT combo->activated(1);
            },
            [&] { QVERIFY(list->openEditorAt(gain, 1)); });
        QCOMPARE(list->item(gain, 1)->text(), "6 dB");

        whileModal(
            [](QWidget* editor) {
                auto* combo = static_cast<CSettingUnitEditorDialog*>(editor)->combo();
                combo->setCurrentIndex(1);
                Q_EMIT combo->activated(1);
            },
            [&] { QVERIFY(list->openEditorAt(exposure, 2)); });
        QCOMPARE(list->item(exposure, 2)->text(), "мс");
        QCOMPARE(list->item(exposure, 1)->text(), "5");

        // Names, string values and the unit cell of a non-scalar open nothing.
        QVERIFY(!list->openEditorAt(exposure, 0));
        QVERIFY(!list->openEditorAt(serial, 1));
        QVERIFY(!list->openEditorAt(gain, 2));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void aUnitChosenInTheMatrixSwitchesEveryCamera() {
        Viewer viewer("A;B;C");
        CCommonDevicesSettingPane* matrix = viewer.common()->settings();
        const int exposure = rowOf(matrix, "Длительность экспозиции");
        const int unitColumn = matrix->columnCount() - 1;
        QCOMPARE(matrix->columnCount(), 5);
        QCOMPARE(matrix->horizontalHeaderItem(2)->text(), "B");
        whileModal(
            [](QWidget* editor) {
                auto* combo = static_cast<CSettingUnitEditorDialog*>(editor)->combo();
                combo->setCurrentIndex(1);
                Q_EMIT combo->activated(1);
            },
            [&] { QVERIFY(matrix->openEditorAt(exposure, unitColumn)); });
        for (int camera = 0; camera < 3; ++camera) {
            ZmCoreLib::ISetting* setting = viewer.pool->at(camera)->device()->FindSetting(0x3004);
            QCOMPARE(setting->GetScalar()->GetUnit(), ZmCoreLib::kUnitMillisecond);
            QCOMPARE(matrix->item(exposure, camera + 1)->text(), "0");  // 20 мкс in whole мс
        }
        QCOMPARE(matrix->item(exposure, unitColumn)->text(), "мс");

        // A value edited in camera C's column reaches camera C only.
        const int gain = rowOf(matrix, "Усиление");
        whileModal(
            [](QWidget* editor) {
                auto* combo = static_cast<CEnumSettingEditorDialog*>(editor)->combo();
                combo->setCurrentIndex(1);
                Q_EMIT combo->activated(1);
            },
            [&] { QVERIFY(matrix->openEditorAt(gain, 3)); });
        QCOMPARE(matrix->item(gain, 1)->text(), "0 dB");
        QCOMPARE(matrix->item(gain, 3)->text(), "6 dB");
    }

    void crosshairPropertyFrameAppliesToTheFirstCamera() {
        Viewer viewer("A;B");
        CMainFrame& frame = *viewer.frame;
        frame.selectTab(2);  // any camera page reaches the first camera's crosshair
        whileModal(
            [](QWidget* dialog) {
                auto* propertyFrame = static_cast<CPropertyFrame*>(dialog);
                QCOMPARE(propertyFrame->windowTitle(), "Zenmira source");
                QCOMPARE(propertyFrame->pageCount(), 1);
                QVERIFY(!propertyFrame->applyButton()->isEnabled());
                propertyFrame->findChild<QCheckBox*>()->click();
                const auto edits = propertyFrame->findChildren<QLineEdit*>();
                QCOMPARE(edits.size(), 2);
                edits[0]->setText("200");
                edits[1]->setText("100");
                QVERIFY(propertyFrame->applyButton()->isEnabled());
                propertyFrame->applyButton()->click();
                QVERIFY(!propertyFrame->applyButton()->isEnabled());
                propertyFrame->reject();
            },
            [&] { frame.runCommand(ID_SHOW_CROSSHAIR); });
        auto* crosshair = queryFilter<ZenmiraVidSource::ICrosshair>(viewer.graph->sourceFilter(),
                                                                    ZenmiraVidSource::IID_ICrosshair);
        bool shown = false;
        std::int32_t x = 0, y = 0;
        crosshair->GetShow(&shown);
        crosshair->GetPosition(&x, &y);
        QVERIFY(shown);
        QCOMPARE(x, 200);
        QCOMPARE(y, 100);
    }

    void zoomedPictureScrolls() {
        Viewer viewer("A");
        viewer.frame->selectTab(1);
        CDeviceVideoPane* pane = viewer.camera(0)->video();
        QTRY_VERIFY_WITH_TIMEOUT(viewer.allPicturesShown(), kWaitMs);
        viewer.frame->runCommand(ID_ZOOM_400);  // 1280 x 960 in a smaller pane
        VideoRenderer* renderer = viewer.graph->renderer(0);
        QRect source, destination;
        renderer->GetVideoPosition(&source, &destination);
        QCOMPARE(source.topLeft(), QPoint(0, 0));
        QCOMPARE(destination.size(), pane->viewport()->size());
        pane->horizontalScrollBar()->setValue(100);
        pane->verticalScrollBar()->setValue(40);
        QRect scrolled, scrolledDestination;
        renderer->GetVideoPosition(&scrolled, &scrolledDestination);
        QCOMPARE(scrolled, source.translated(100 * 100 / 400, 40 * 100 / 400));
        QCOMPARE(scrolledDestination, destination);
    }

    void aSizeChangeAfterACameraPageKeepsEveryPictureInItsCell() {
        Viewer viewer("A;B");
        QTRY_VERIFY_WITH_TIMEOUT(viewer.allPicturesShown(), kWaitMs);
        viewer.frame->selectTab(2);  // camera B's page has shown B's picture
        viewer.frame->selectTab(0);
        DeviceHolder& second = *viewer.pool->at(1);
        second.find(SettingItem(second.device()->FindSetting(ZmCoreLib::ids::kFrameHeight)))->setValue(500);
        VideoRenderer* renderer = viewer.graph->renderer(1);
        int width = 0, height = 0;
        QTRY_VERIFY_WITH_TIMEOUT((renderer->GetNativeVideoSize(&width, &height), height == 500), kWaitMs);

        // Each picture fitted into its own cell of the grid.
        CCommonDevicesVideoPane* grid = viewer.common()->video();
        const auto misplaced = [&] {
            QStringList wrong;
            for (int camera : {0, 1}) {
                QRect source, destination;
                viewer.graph->renderer(camera)->GetVideoPosition(&source, &destination);
                viewer.graph->renderer(camera)->GetNativeVideoSize(&width, &height);
                const QRect cell = videolayout::gridCell(grid->viewport()->rect(), grid->gridSize(), camera);
                const QRect expected = videolayout::fitCentred(cell, QSize(width, height));
                if (destination != expected)
                    wrong << QString("camera %1 at %2,%3 %4 x %5 instead of %6,%7 %8 x %9")
                                 .arg(camera)
                                 .arg(destination.x())
                                 .arg(destination.y())
                                 .arg(destination.width())
                                 .arg(destination.height())
                                 .arg(expected.x())
                                 .arg(expected.y())
                                 .arg(expected.width())
                                 .arg(expected.height());
            }
            return wrong.join("; ");
        };
        QTRY_VERIFY2_WITH_TIMEOUT(misplaced().isEmpty(), qPrintable(misplaced()), kWaitMs);
    }

    void zoomShowsScrollBarsOnlyWhileThePictureOverflows_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("bars");
        // A 320 x 240 picture in a pane of about 800 x 700.
        QTest::newRow("400 % overflows") << int(ID_ZOOM_400) << true;
        QTest::newRow("200 % fits") << int(ID_ZOOM_200) << false;
        QTest::newRow("fit") << int(ID_ZOOM_FIT) << false;
    }
    void zoomShowsScrollBarsOnlyWhileThePictureOverflows() {
        QFETCH(int, command);
        QFETCH(bool, bars);
        Viewer viewer("A");
        viewer.frame->selectTab(1);
        CDeviceVideoPane* pane = viewer.camera(0)->video();
        QTRY_VERIFY_WITH_TIMEOUT(viewer.allPicturesShown(), kWaitMs);
        // From an overflowing zoom, so that each case has bars to show or to hide.
        viewer.frame->runCommand(ID_ZOOM_300);
        viewer.frame->runCommand(command);
        const QSize zoomed = command == ID_ZOOM_400 ? QSize(1280, 960) : QSize();
        QTRY_VERIFY2_WITH_TIMEOUT(pane->horizontalScrollBar()->isVisible() == bars &&
                                      pane->verticalScrollBar()->isVisible() == bars,
                                  qPrintable(QString("bars %1, %2 in a %3 x %4 pane")
                                                 .arg(pane->horizontalScrollBar()->isVisible())
                                                 .arg(pane->verticalScrollBar()->isVisible())
                                                 .arg(pane->viewport()->width())
                                                 .arg(pane->viewport()->height())),
                                  kWaitMs);
        if (bars) {  // the bars' ranges are those of the pane as the bars left it
            QCOMPARE(pane->horizontalScrollBar()->maximum(), zoomed.width() - pane->viewport()->width());
            QCOMPARE(pane->verticalScrollBar()->maximum(), zoomed.height() - pane->viewport()->height());
        }
        // The zoom items are one exclusive choice, marked with a radio mark.
        QActionGroup* group = viewer.frame->action(ID_ZOOM_FIT)->actionGroup();
        QVERIFY(group && group->isExclusive());
        for (int id : {ID_ZOOM_100, ID_ZOOM_200, ID_ZOOM_300, ID_ZOOM_400, ID_ZOOM_50})
            QCOMPARE(viewer.frame->action(id)->actionGroup(), group);
    }

    void thePictureRateFallsToZeroWhenPicturesStop() {
        Viewer viewer("A");
        QTRY_VERIFY_WITH_TIMEOUT(viewer.graph->renderer(0)->statistics().framesPerSecond > 10, kWaitMs);
        viewer.graph->stop();  // no more pictures, as in software trigger mode
        QTRY_COMPARE_WITH_TIMEOUT(viewer.graph->renderer(0)->statistics().framesPerSecond, 0.0, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(statusLabel(*viewer.frame, "№A: 0.0 кадр/с"), kWaitMs);
    }

    void aCameraLeftOutForItsSerialIsNamedInTheStatusBar() {
        Viewer viewer("A;B;A");
        QCOMPARE(viewer.frame->tabBar()->count(), 3);
        QLabel* notice = statusLabel(*viewer.frame, "не показана");
        QVERIFY(notice);
        QCOMPARE(notice->text(),
                 "Камера \"Fake camera 2\" не показана: её серийный номер A уже у другой камеры");
    }

private:
    std::unique_ptr<QTemporaryDir> workFolder_;
};

QTEST_MAIN(MainFrameTest)
#include "test_mainframe.moc"
