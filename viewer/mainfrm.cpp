#include "mainfrm.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMenuBar>
#include <QPainter>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "commondevicesview.h"
#include "deviceview.h"
#include "graph.h"
#include "iniconfig.h"
#include "qtmessagebox.h"
#include "sourcefilter.h"
#include "videopane.h"
#include "videorenderer.h"
#include "viewerevents.h"
#include "zenmirakelvo.h"
#include "zmcoreimpl/zmcorelib_devicepool.h"

using namespace commands;

namespace {

constexpr int kCommandUpdateIntervalMs = 250;
constexpr int kRateReadoutIntervalMs = 1000;
constexpr const char* kFolderChooserTitle = "Выбор папки для сохранения изображения";
constexpr const char* kErrorCaption = "Zenmira Kelvo";

// Commands the visible page carries out; the others belong to the frame or the application.
constexpr int kPageCommands[] = {ID_SOFTWARE_START, ID_RECORD_FRAME, ID_RECORD_SERIES, ID_SHOW_CROSSHAIR,
                                 ID_ZOOM_FIT,       ID_ZOOM_100,     ID_ZOOM_200,      ID_ZOOM_300,
                                 ID_ZOOM_400,       ID_ZOOM_50};

bool isPageCommand(int id) {
    return std::find(std::begin(kPageCommands), std::end(kPageCommands), id) != std::end(kPageCommands);
}

// The toolbar's 17 x 16 button images: start, series, single frame.
QIcon toolbarIcon(int id) {
    QPixmap pixmap(17, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::black);
    if (id == ID_SOFTWARE_START) {
        p.setBrush(QColor(0, 128, 0));
        p.drawPolygon(QPolygon({QPoint(4, 2), QPoint(14, 8), QPoint(4, 14)}));
    } else if (id == ID_RECORD_SERIES) {
        p.setBrush(QColor(192, 0, 0));
        p.drawEllipse(QRect(1, 4, 8, 8));
        p.drawEllipse(QRect(8, 4, 8, 8));
    } else {
        p.setBrush(QColor(192, 0, 0));
        p.drawEllipse(QRect(4, 3, 10, 10));
    }
    return QIcon(pixmap);
}

}  // namespace

CMainFrame::CMainFrame(DevicePool& pool, SettingRegistry& registry) : context_{pool, registry} {
    setWindowTitle("ZenmiraKelvo");
}

CMainFrame::~CMainFrame() {
    // The graph outlives the frame: stop its notifications and let go of the panes.
    if (context_.graph) context_.graph->setNotifyWindow(nullptr);
}

void CMainFrame::create(const std::function<VideoGraph&(QObject*)>& graph) {
    createMenus();
    createBars();
    createPages();

    current_ = 0;
    tabs_->setCurrentIndex(current_);
    VideoGraph& videoGraph = graph(this);
    context_.graph = &videoGraph;
    videoGraph.attachAll(pages_[size_t(current_)]);
    videoGraph.render();
    videoGraph.run();
    videoGraph.addToRot();
    pageStack_->setCurrentIndex(current_);

    auto* updates = new QTimer(this);
    connect(updates, &QTimer::timeout, this, &CMainFrame::updateCommandStates);
    updates->start(kCommandUpdateIntervalMs);
    auto* rates = new QTimer(this);
    connect(rates, &QTimer::timeout, this, &CMainFrame::updateRateReadout);
    rates->start(kRateReadoutIntervalMs);
    updateCommandStates();
}

void CMainFrame::addCommand(QMenu* menu, int id, const QString& text) {
    QAction* action = menu->addAction(text);
    actions_[id] = action;
    if (isPageCommand(id)) connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
}

void CMainFrame::createMenus() {
    QMenu* camera = menuBar()->addMenu("&Камера / Файл");
    addCommand(camera, ID_SOFTWARE_START, "Программный &старт");
    camera->addSeparator();
    addCommand(camera, ID_RECORD_FRAME, "Запись одного &кадра");
    addCommand(camera, ID_RECORD_SERIES, "&Запись серии кадров");
    camera->addSeparator();
    addCommand(camera, ID_APP_EXIT, "Вы&ход");
    connect(actions_[ID_APP_EXIT], &QAction::triggered, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu("&Редактировать");
    for (auto [id, text] :
         {std::pair{ID_EDIT_UNDO, "&Undo\tCtrl+Z"}, std::pair{ID_EDIT_CUT, "Cu&t\tCtrl+X"},
          std::pair{ID_EDIT_COPY, "&Copy\tCtrl+C"}, std::pair{ID_EDIT_PASTE, "&Paste\tCtrl+V"}}) {
        addCommand(edit, id, text);
        actions_[id]->setEnabled(false);  // the viewer edits nothing
    }
    addCommand(edit, ID_SAVE_FOLDER, "&Папка для сохранения кадров...");
    connect(actions_[ID_SAVE_FOLDER], &QAction::triggered, this, &CMainFrame::chooseFolder);

    QMenu* view = menuBar()->addMenu("&Вид");
    addCommand(view, ID_VIEW_TOOLBAR, "&Панель инструментов");
    addCommand(view, ID_VIEW_STATUS_BAR, "&Строка состоянияr");
    addCommand(view, ID_SHOW_CROSSHAIR, "&Вывести перекрестье");
    QMenu* zoom = view->addMenu("Масштаб изображения");
    addCommand(zoom, ID_ZOOM_FIT, "&Полностью");
    zoom->addSeparator();
    addCommand(zoom, ID_ZOOM_100, "100 %");
    addCommand(zoom, ID_ZOOM_200, "200 %");
    addCommand(zoom, ID_ZOOM_300, "300 %");
    addCommand(zoom, ID_ZOOM_400, "400 %");
    zoom->addSeparator();
    addCommand(zoom, ID_ZOOM_50, "50 %");
    // One zoom at a time: the menu marks the active one with a radio mark.
    auto* zooms = new QActionGroup(this);
    for (int id : {ID_ZOOM_FIT, ID_ZOOM_100, ID_ZOOM_200, ID_ZOOM_300, ID_ZOOM_400, ID_ZOOM_50})
        zooms->addAction(actions_[id]);

    QMenu* help = menuBar()->addMenu("&Help");
    addCommand(help, ID_APP_ABOUT, "&About ZenmiraKelvo...");
    connect(actions_[ID_APP_ABOUT], &QAction::triggered, this, &CMainFrame::showAbout);

    for (QMenu* menu : {camera, edit, view, zoom, help})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::updateCommandStates);

    // F6 and Shift+F6 move the focus between the two panes of the visible page.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_F6), QKeySequence(Qt::SHIFT | Qt::Key_F6)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, [this] {
            if (!pages_.empty()) pages_[size_t(current_)]->focusOtherPane();
        });
}

void CMainFrame::createBars() {
    toolBar_ = addToolBar("Панель инструментов");
    toolBar_->setObjectName("toolbar");
    toolBar_->setIconSize(QSize(17, 16));
    const std::pair<int, const char*> buttons[] = {{ID_SOFTWARE_START, "Программный старт"},
                                                   {ID_RECORD_SERIES, "Запись серии кадров"},
                                                   {ID_RECORD_FRAME, "Запись одного кадра"}};
    for (const auto& [id, prompt] : buttons) {
        QAction* action = actions_[id];
        action->setIcon(toolbarIcon(id));
        action->setToolTip(prompt);
        action->setStatusTip(prompt);
        toolBar_->addAction(action);
    }

    dialogBar_ = addToolBar("Формат файла");
    dialogBar_->setObjectName("dialogbar");
    dialogBar_->addWidget(new QLabel("Формат файла", dialogBar_));
    fileFormat_ = new QComboBox(dialogBar_);
    fileFormat_->addItems({"tiff", "bmp"});
    fileFormat_->setCurrentIndex(-1);
    fileFormat_->setMinimumContentsLength(6);
    dialogBar_->addWidget(fileFormat_);
    connect(fileFormat_, &QComboBox::activated, this, [this] {
        if (pages_.empty()) return;
        viewer_events::FileFormatChangedEvent changed(fileFormat_->currentText());
        QCoreApplication::sendEvent(pages_[size_t(current_)], &changed);
    });

    if (!context_.pool.leftOut().empty()) {
        // Cameras the pool left out because their serial number repeats: named until the end.
        QStringList texts;
        for (const std::string& text : context_.pool.leftOut()) texts << QString::fromStdString(text);
        statusBar()->addWidget(new QLabel(texts.join("; "), statusBar()), 1);
    }
    rateReadout_ = new QLabel(statusBar());
    statusBar()->addPermanentWidget(rateReadout_);
    // The keyboard-lock indicators; Qt cannot read the lock states, so they stay greyed.
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        auto* label = new QLabel(indicator, statusBar());
        label->setEnabled(false);
        statusBar()->addPermanentWidget(label);
    }

    QAction* toolbarToggle = actions_[ID_VIEW_TOOLBAR];
    toolbarToggle->setCheckable(true);
    toolbarToggle->setChecked(true);
    connect(toolbarToggle, &QAction::toggled, toolBar_, &QToolBar::setVisible);
    QAction* statusToggle = actions_[ID_VIEW_STATUS_BAR];
    statusToggle->setCheckable(true);
    statusToggle->setChecked(true);
    connect(statusToggle, &QAction::toggled, statusBar(), &QStatusBar::setVisible);
}

void CMainFrame::createPages() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tabs_ = new QTabBar(central);
    tabs_->setExpanding(false);
    pageStack_ = new QStackedWidget(central);
    layout->addWidget(tabs_);
    layout->addWidget(pageStack_, 1);
    setCentralWidget(central);

    DevicePool& pool = context_.pool;
    if (pool.size() > 0) {
        pages_.push_back(new CCommonDevicesView(context_));
        tabs_->addTab("Общий вид");
    }
    for (int i = 0; i < pool.size(); ++i) {
        pages_.push_back(new CDeviceView(context_, i));
        tabs_->addTab("Камера №" + QString::fromStdU16String(pool.at(i)->serial()));
    }
    for (DevicePage* page : pages_) pageStack_->addWidget(page);
    connect(tabs_, &QTabBar::currentChanged, this, &CMainFrame::onTabChanged);
}

DevicePage* CMainFrame::page(int index) const {
    return index >= 0 && index < pageCount() ? pages_[size_t(index)] : nullptr;
}

int CMainFrame::pageCount() const {
    return int(pages_.size());
}

QAction* CMainFrame::action(int id) const {
    const auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

QFileDialog* CMainFrame::folderDialog() const {
    return folderDialog_;
}

void CMainFrame::selectTab(int index) {
    tabs_->setCurrentIndex(index);
}

void CMainFrame::onTabChanged(int index) {
    if (index < 0 || index >= pageCount() || index == current_) return;
    QEvent deactivated(viewer_events::WM_TAB_DEACTIVATED);
    QCoreApplication::sendEvent(pages_[size_t(current_)], &deactivated);
    current_ = index;
    pageStack_->setCurrentIndex(current_);
    QEvent activated(viewer_events::WM_TAB_ACTIVATED);
    QCoreApplication::sendEvent(pages_[size_t(current_)], &activated);
    SyncActiveView();
    updateCommandStates();
}

void CMainFrame::SyncActiveView() {
    VideoGraph* graph = context_.graph;
    if (!graph) return;
    if (current_ == 0) {
        fileFormat_->setCurrentIndex(-1);
        graph->attachAll(pages_[0]);
    } else {
        const int camera = current_ - 1;
        auto* settings = queryFilter<ZenmiraVidSource::IRecordingSettings>(
            graph->sourceFilter(), ZenmiraVidSource::IID_IRecordingSettings);
        Q_ASSERT(settings);
        std::u16string format;
        if (settings && ZenmiraVidSource::succeeded(settings->GetFileFormat(&format, unsigned(camera))))
            fileFormat_->setCurrentIndex(
                fileFormat_->findText(QString::fromStdU16String(format), Qt::MatchStartsWith));
        graph->attachOne(pages_[size_t(current_)], camera);
    }
    pages_[size_t(current_)]->videoPane()->layoutVideo();
}

void CMainFrame::runCommand(int id) {
    if (!pages_.empty() && pages_[size_t(current_)]->onCommand(id)) updateCommandStates();
}

CommandState CMainFrame::commandState(int id) {
    CommandState state;
    if (isPageCommand(id)) {
        // A command no page handles is disabled, as in the framework's routing.
        if (pages_.empty() || !pages_[size_t(current_)]->onUpdateCommand(id, state)) state.enabled = false;
    } else if (QAction* a = action(id)) {
        state.enabled = a->isEnabled();
        state.checkable = a->isCheckable();
        state.checked = a->isChecked();
    }
    return state;
}

void CMainFrame::updateCommandStates() {
    for (int id : kPageCommands) {
        const CommandState state = commandState(id);
        QAction* a = actions_[id];
        a->setEnabled(state.enabled);
        a->setCheckable(state.checkable);
        if (state.checkable) a->setChecked(state.checked);
    }
}

void CMainFrame::chooseFolder() {
    // One chooser at a time: a second command brings the open one to the front.
    if (folderDialog_) {
        folderDialog_->raise();
        folderDialog_->activateWindow();
        return;
    }
    folderRequest_ = std::make_unique<FolderRequest>();
    folderRequest_->path = QString::fromStdU16String(IniConfig::instance().get(IniConfig::kWorkFolder));
    auto* dialog = new QFileDialog(this, kFolderChooserTitle, folderRequest_->path);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(false);
    FolderRequest* request = folderRequest_.get();
    connect(dialog, &QFileDialog::fileSelected, this, [request](const QString& folder) {
        request->ok = !folder.isEmpty() && QFileInfo(folder).isDir();
        if (request->ok) request->path = folder;
    });
    connect(dialog, &QDialog::finished, this,
            [this] { QCoreApplication::postEvent(this, new QEvent(viewer_events::WM_FOLDER_CHOSEN)); });
    folderDialog_ = dialog;
    dialog->show();
}

void CMainFrame::onFolderChosen() {
    if (!folderRequest_) return;
    if (folderRequest_->ok)
        IniConfig::instance().set(IniConfig::kWorkFolder, folderRequest_->path.toStdU16String().c_str());
    folderRequest_.reset();
}

void CMainFrame::onGraphEvent() {
    VideoGraph* graph = context_.graph;
    GraphEvent graphEvent;
    if (!graph || !graph->getEvent(graphEvent)) return;
    switch (graphEvent.code) {
        case GraphEvent::EC_VIDEO_SIZE_CHANGED:
            graph->stop();
            graph->rebuild();
            graph->run();
            SyncActiveView();
            pages_[size_t(current_)]->update();
            break;
        case GraphEvent::EC_ELEMENT_WARNING: {
            const QString caption =
                graphEvent.caption.isEmpty() ? QString(kErrorCaption) : graphEvent.caption;
            // A warning that names a camera is a frame of its series that could not be saved.
            if (graphEvent.camera >= 0)
                seriesErrors_.report(graphEvent.camera, caption, graphEvent.text, graphEvent.framesNotSaved);
            else
                qtmessagebox::showNonBlocking(caption, graphEvent.text);
            break;
        }
        case GraphEvent::EC_ERRORABORT:
            qtmessagebox::showNonBlocking(kErrorCaption, graphEvent.text);
            break;
        default:
            break;
    }
}

void CMainFrame::updateRateReadout() {
    if (!context_.graph) return;
    QStringList parts;
    for (int i = 0; i < context_.graph->rendererCount(); ++i) {
        const auto statistics = context_.graph->renderer(i)->statistics();
        parts << QString("№%1: %2 кадр/с, пропущено %3")
                     .arg(QString::fromStdU16String(context_.pool.at(i)->serial()))
                     .arg(statistics.framesPerSecond, 0, 'f', 1)
                     .arg(statistics.dropped);
    }
    rateReadout_->setText(parts.join("   "));
}

void CMainFrame::showAbout() {
    CAboutDlg(this).exec();
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == viewer_events::WM_GRAPH_EVENT) {
        onGraphEvent();
        return true;
    }
    if (event->type() == viewer_events::WM_FOLDER_CHOSEN) {
        onFolderChosen();
        return true;
    }
    return QMainWindow::event(event);
}
