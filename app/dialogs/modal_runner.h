#pragma once

#include <functional>

class QDialog;

namespace tenlo::app {

// Every modal dialog of Tenlo runs through here, so a test (or the end-to-end hook) can answer
// it instead of a user; by default it is QDialog::exec. Returns the dialog's result code.
using ModalRunner = std::function<int(QDialog&)>;

// Installs the runner used from now on; an empty one restores exec. GUI thread only.
void SetModalRunner(ModalRunner runner);
int RunModal(QDialog& dialog);

}  // namespace tenlo::app
