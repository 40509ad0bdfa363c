#pragma once

#include <QString>

class QWidget;

namespace tenlo::app {

// The file dialogs of the HEX commands: "Hex Files (*.hex)" and "All Files (*.*)", default
// extension .hex, run through the modal runner (objectName "open" or "save"). Each returns the
// chosen path, or an empty text when the user cancelled.
QString ChooseHexFileToOpen(QWidget* owner);
// Asks before replacing an existing file, through the message presenter.
QString ChooseHexFileToSave(QWidget* owner);

// "%1 は既に存在します。\n上書きしますか?"
QString OverwriteQuestion(const QString& path);

}  // namespace tenlo::app
