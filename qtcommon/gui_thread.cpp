#include "qtcommon/gui_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace tenlo::qt {

bool OnGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

void PostToGui(std::function<void()> fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

void RunOnGui(const std::function<void()>& fn) {
    if (OnGuiThread()) {
        fn();
        return;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(app, fn, Qt::BlockingQueuedConnection);
}

}  // namespace tenlo::qt
