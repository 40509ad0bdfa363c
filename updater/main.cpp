#include <QApplication>

#include "updater/tenlo_update_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tenlo::updater::CTenloUpdateApp app;
    return app.Run(QCoreApplication::arguments());
}
