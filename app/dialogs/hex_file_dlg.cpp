#include "app/dialogs/hex_file_dlg.h"

#include <QFileDialog>
#include <QFileInfo>

#include "app/dialogs/modal_runner.h"
#include "link/ui_interfaces.h"
#include "qtcommon/message_presenter.h"

namespace tenlo::app {

namespace {

QString RunFileDialog(QWidget* owner, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(owner);
    dialog.setObjectName(mode == QFileDialog::AcceptOpen ? QStringLiteral("open")
                                                         : QStringLiteral("save"));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setNameFilters({QStringLiteral("Hex Files (*.hex)"), QStringLiteral("All Files (*.*)")});
    dialog.setDefaultSuffix(QStringLiteral("hex"));
    // Every box of the program goes through the presenter; the save command asks itself.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (RunModal(dialog) != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles().value(0);
}

}  // namespace

QString OverwriteQuestion(const QString& path) {
    return QStringLiteral("%1 は既に存在します。\n上書きしますか?").arg(path);
}

QString ChooseHexFileToOpen(QWidget* owner) {
    return RunFileDialog(owner, QFileDialog::AcceptOpen);
}

QString ChooseHexFileToSave(QWidget* owner) {
    const QString path = RunFileDialog(owner, QFileDialog::AcceptSave);
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        return path;
    }
    const int answer = qt::ShowAppMessage(owner, OverwriteQuestion(QFileInfo(path).fileName()),
                                          kMbYesNo | kMbIconExclamation);
    return answer == kIdYes ? path : QString();
}

}  // namespace tenlo::app
