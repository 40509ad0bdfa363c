#pragma once

#include <QObject>
#include <QPointer>
#include <mutex>
#include <string>
#include <string_view>

#include "link/ui_interfaces.h"

class QPlainTextEdit;

namespace tenlo::app {

// The serial trace into a text field. Append is called for every byte on the line, mostly from
// a device's worker thread: it only adds the text to a buffer and, when none is on its way,
// queues one flush to the GUI thread, so the worker never waits for the field. Everything
// appended between two flushes reaches the field in one insertion.
class CTraceBridge final : public QObject, public ITraceSink {
    Q_OBJECT

  public:
    explicit CTraceBridge(QPlainTextEdit& field);

    void Append(std::string_view text) override;

    // GUI thread: what is still pending goes into the field now.
    void Flush();
    // GUI thread: pending text is dropped and the field emptied.
    void Clear();

  private:
    QPointer<QPlainTextEdit> field_;
    std::mutex mutex_;
    std::string pending_;
    bool posted_ = false;
};

}  // namespace tenlo::app
