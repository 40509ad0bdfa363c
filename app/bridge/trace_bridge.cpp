#include "app/bridge/trace_bridge.h"

#include <QMetaObject>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

namespace tenlo::app {

CTraceBridge::CTraceBridge(QPlainTextEdit& field) : QObject(&field), field_(&field) {}

void CTraceBridge::Append(std::string_view text) {
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        pending_.append(text);
        post = !posted_;
        posted_ = true;
    }
    if (post) {
        // Dropped with this object if the field goes first.
        QMetaObject::invokeMethod(
            this, [this] { Flush(); }, Qt::QueuedConnection);
    }
}

void CTraceBridge::Flush() {
    std::string text;
    {
        std::lock_guard lock(mutex_);
        text.swap(pending_);
        posted_ = false;
    }
    if (text.empty() || field_ == nullptr) {
        return;
    }
    QScrollBar* bar = field_->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor end(field_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    // Follow the traffic unless the user has scrolled back to read.
    if (atEnd) {
        bar->setValue(bar->maximum());
    }
}

void CTraceBridge::Clear() {
    {
        std::lock_guard lock(mutex_);
        pending_.clear();
    }
    if (field_ != nullptr) {
        field_->clear();
    }
}

}  // namespace tenlo::app
