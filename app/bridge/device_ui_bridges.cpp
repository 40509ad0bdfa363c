#include "app/bridge/device_ui_bridges.h"

#include <QMetaObject>
#include <QString>
#include <QWidget>

#include "app/dialogs/progress_dlg.h"

namespace tenlo::app {

namespace {
// Queued to target's thread; dropped if target is gone by then.
template <typename F>
void Post(QObject* target, F&& fn) {
    QMetaObject::invokeMethod(target, std::forward<F>(fn), Qt::QueuedConnection);
}
}  // namespace

void CProgressBridge::SetRange(int upper) {
    Post(dialog_, [d = dialog_, upper] { d->SetRange(upper); });
}

bool CProgressBridge::Open() {
    Post(dialog_, [d = dialog_] { d->Open(); });
    return true;
}

void CProgressBridge::SetPosition(int position) {
    Post(dialog_, [d = dialog_, position] { d->SetPosition(position); });
}

void CProgressBridge::SetText(std::string_view text) {
    // Converted here: the caller's text need not outlive the call.
    Post(dialog_,
         [d = dialog_, t = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))] {
             d->SetText(t);
         });
}

void CProgressBridge::Close() {
    Post(dialog_, [d = dialog_] { d->Close(); });
}

void CMainWindowBridge::Enable() {
    Post(window_, [w = window_, held = held_] {
        if (!*held) {
            w->setEnabled(true);
        }
    });
}

void CMainWindowBridge::Disable() {
    Post(window_, [w = window_] { w->setEnabled(false); });
}

void CMainWindowBridge::Hold() {
    *held_ = true;
    window_->setEnabled(false);
}

void CMainWindowBridge::Release() {
    *held_ = false;
    window_->setEnabled(true);
}

void CMainWindowBridge::BringToFront() {
    Post(window_, [w = window_] {
        w->raise();
        w->activateWindow();
    });
}

}  // namespace tenlo::app
