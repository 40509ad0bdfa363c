#pragma once

#include <QString>

class QWidget;

namespace tenlo::qt {

// The one place every message box of the Qt programs goes through. Types and results are the
// kMb*/kId* values of link/ui_interfaces.h. Tests install a scripted presenter, so no test
// ever blocks in a modal box.
class IMessagePresenter {
  public:
    virtual ~IMessagePresenter() = default;
    // Shows a modal box owned by owner (none: an application-modal box of its own) and returns
    // the button pressed. Called on the GUI thread only.
    virtual int Show(QWidget* owner, const QString& caption, const QString& text,
                     unsigned type) = 0;
};

// Installs the presenter used from now on; nullptr restores the QMessageBox one.
void SetMessagePresenter(IMessagePresenter* presenter);
IMessagePresenter& MessagePresenter();

// Shows a box through the installed presenter. Safe from any thread: a call from a worker
// waits while the GUI thread shows the box.
int ShowMessage(QWidget* owner, const QString& caption, const QString& text, unsigned type);

// As ShowMessage, under the application's title (QCoreApplication::applicationName()).
int ShowAppMessage(QWidget* owner, const QString& text, unsigned type);

}  // namespace tenlo::qt
