#include "zenmirakelvo.h"

#include <gst/gst.h>

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyle>
#include <QTranslator>
#include <QVBoxLayout>
#include <cstdio>

#include "graph.h"
#include "mainfrm.h"
#include "platform/messagebox.h"
#include "qx_classes/exception.h"
#include "zmcoreimpl/zmcorelib_devicepool.h"

namespace {

constexpr const char* kStartupErrorCaption = "Zenmira Kelvo";
constexpr QSize kInitialFrameSize(1024, 768);

}  // namespace

CZenmiraKelvoApp::CZenmiraKelvoApp() = default;
CZenmiraKelvoApp::~CZenmiraKelvoApp() = default;

void CZenmiraKelvoApp::addPluginFolders(const QString& programFolder) {
    const QString folder = QDir(programFolder).absoluteFilePath("../lib/gstreamer-1.0");
    if (QDir(folder).exists())
        gst_registry_scan_path(gst_registry_get(), QDir::cleanPath(folder).toUtf8().constData());
}

void CZenmiraKelvoApp::installQtTranslation() {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto translation = std::make_unique<QTranslator>();
    if (!translation->load(QLocale(QLocale::Russian, QLocale::Russia), "qtbase", "_", folder)) {
        std::fprintf(stderr,
                     "Qt's Russian texts (qtbase_ru.qm) are not in %s: the folder chooser shows English "
                     "labels. Install the Debian package qt6-translations-l10n.\n",
                     folder.toUtf8().constData());
        return;
    }
    QCoreApplication::installTranslator(translation.get());
    qtTranslation_ = std::move(translation);
}

bool CZenmiraKelvoApp::InitInstance() {
    installQtTranslation();
    try {
        DevicePool::instance();
    } catch (const qx_classes::Exception& error) {
        platform::showMessageBox(kStartupErrorCaption, error.what());
        return false;
    }
    frame_ = std::make_unique<CMainFrame>(DevicePool::instance(), SettingRegistry::instance());
    try {
        frame_->create([this](QObject* notifyWindow) -> VideoGraph& {
            VideoGraph& graph = VideoGraph::instance(notifyWindow);
            graphBuilt_ = true;
            return graph;
        });
    } catch (const qx_classes::Exception& error) {
        frame_.reset();
        platform::showMessageBox(kStartupErrorCaption, error.what());
        return false;
    }
    frame_->resize(kInitialFrameSize);
    frame_->show();
    return true;
}

int CZenmiraKelvoApp::ExitInstance() {
    frame_.reset();
    if (graphBuilt_) VideoGraph::instance().teardown();
    return 0;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("О программе ZenmiraKelvo");
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
    row->addWidget(icon);
    row->addWidget(new QLabel("ZenmiraKelvo, версия 4.0", this), 1);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}
