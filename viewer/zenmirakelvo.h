// The application: brings the viewer up in order and takes it down in the reverse order.
//
// Start-up: the device pool (the camera library loaded, every camera created, opened and
// started), then the main frame with its pages, which builds the graph and runs it. A failure in
// either ends start-up with an error box captioned "Zenmira Kelvo" before any window is shown.
// Shut-down: the frame goes, then the graph is torn down; the configuration file, the graph's
// last references and the device pool (cameras closed, library unloaded last) follow at process
// exit, as static objects in the reverse order of their creation. GUI thread.
#pragma once

#include <QDialog>
#include <memory>

class CMainFrame;
class QTranslator;

class CZenmiraKelvoApp {
public:
    CZenmiraKelvoApp();
    ~CZenmiraKelvoApp();

    // False when start-up ended (the reason has been shown); the frame is shown otherwise. Needs
    // the QApplication.
    bool InitInstance();
    // Destroys the frame and tears the graph down; returns the process's exit code.
    int ExitInstance();

    CMainFrame* mainFrame() const { return frame_.get(); }

    // Lets GStreamer find the plugin installed beside the program (<program>/../lib/gstreamer-1.0).
    static void addPluginFolders(const QString& programFolder);

private:
    // Qt's own texts (the folder chooser's, standard buttons) in Russian like every other text.
    void installQtTranslation();

    std::unique_ptr<QTranslator> qtTranslation_;  // installed while it exists
    std::unique_ptr<CMainFrame> frame_;
    bool graphBuilt_ = false;
};

// The About box: the program's icon, name and version, and an OK button.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
