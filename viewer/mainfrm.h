// The viewer's only top-level window: menu, toolbar, file-format bar, status bar and one tab page
// per camera after the common page. It routes commands to the visible page, keeps the file-format
// combo in step with it, runs the folder chooser and reacts to the graph's events. GUI thread.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolBar>
#include <map>
#include <memory>

#include "commands.h"
#include "serieserrorboxes.h"
#include "viewercontext.h"

class QAction;
class QFileDialog;
class DevicePage;
class VideoGraph;

// One folder-chooser run: the folder shown first, and the folder chosen.
struct FolderRequest {
    QString path;
    bool ok = false;
};

class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    CMainFrame(DevicePool& pool, SettingRegistry& registry);
    ~CMainFrame() override;

    // Builds the bars, the tabs and the pages, then the graph (obtained from `graph`), hands the
    // renderers to the visible page and runs it. Throws what building the graph throws.
    void create(const std::function<VideoGraph&(QObject* notifyWindow)>& graph);

    // Carries out command `id` as the menu, toolbar or accelerators do.
    void runCommand(int id);
    commands::CommandState commandState(int id);
    // Shows tab `index` as a click on it does.
    void selectTab(int index);

    QTabBar* tabBar() const { return tabs_; }
    QComboBox* fileFormatCombo() const { return fileFormat_; }
    DevicePage* page(int index) const;
    int pageCount() const;
    int current() const { return current_; }
    QAction* action(int id) const;
    QFileDialog* folderDialog() const;

protected:
    bool event(QEvent* event) override;

private:
    void createMenus();
    void createBars();
    void createPages();
    void addCommand(QMenu* menu, int id, const QString& text);
    void updateCommandStates();
    void onTabChanged(int index);
    void SyncActiveView();
    void chooseFolder();
    void onFolderChosen();
    void onGraphEvent();
    void updateRateReadout();
    void showAbout();

    ViewerContext context_;
    QToolBar* toolBar_ = nullptr;
    QToolBar* dialogBar_ = nullptr;
    QComboBox* fileFormat_ = nullptr;
    QTabBar* tabs_ = nullptr;
    QStackedWidget* pageStack_ = nullptr;
    QLabel* rateReadout_ = nullptr;
    std::vector<DevicePage*> pages_;  // owned through pageStack_; index = tab index
    int current_ = 0;
    std::map<int, QAction*> actions_;
    SeriesErrorBoxes seriesErrors_;
    std::unique_ptr<FolderRequest> folderRequest_;
    QPointer<QFileDialog> folderDialog_;
};
