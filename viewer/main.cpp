// ZenmiraKelvo: shows every camera live, edits their settings and records frames.
#include <gst/gst.h>

#include <QApplication>

#include "mainfrm.h"
#include "qtmessagebox.h"
#include "terminationsignals.h"
#include "zenmirakelvo.h"

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    QApplication application(argc, argv);
    QApplication::setApplicationName("ZenmiraKelvo");
    qtmessagebox::install();
    CZenmiraKelvoApp::addPluginFolders(QApplication::applicationDirPath());

    CZenmiraKelvoApp app;
    terminationsignals::closeOnTermination([&app] {
        if (app.mainFrame()) app.mainFrame()->close();
    });
    if (!app.InitInstance()) {
        app.ExitInstance();
        return 1;
    }
    QApplication::exec();
    return app.ExitInstance();
}
