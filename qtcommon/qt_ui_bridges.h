#pragma once

#include <QPointer>
#include <QWidget>

#include "link/ui_interfaces.h"

namespace tenlo::qt {

// The serial port's error boxes, shown through the message presenter. The owner may be none
// (start-up, before any window exists): the box is still shown. Safe from a worker thread.
class CQtErrorBox final : public IErrorBox {
  public:
    explicit CQtErrorBox(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }
    int ShowMessage(const std::string& caption, const std::string& text, unsigned type) override;

  private:
    QPointer<QWidget> owner_;
};

// PumpMessages() for the Qt programs: processes the calling thread's pending events.
class CQtMessagePump final : public IMessagePump {
  public:
    void Pump() override;
};

}  // namespace tenlo::qt
