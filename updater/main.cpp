#include <QApplication>
#include <cstdio>
#include <cstring>

#include "updater/tenlo_update_app.h"

int main(int argc, char** argv) {
    // Before Qt wants a display, so that help works anywhere (and the manual page is made
    // from it at build time).
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(tenlo::updater::UpdaterUsage().c_str(), stdout);
            return 0;
        }
    }
    QApplication application(argc, argv);
    tenlo::updater::CTenloUpdateApp app;
    return app.Run(QCoreApplication::arguments());
}
