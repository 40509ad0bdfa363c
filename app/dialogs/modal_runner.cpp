#include "app/dialogs/modal_runner.h"

#include <QDialog>

namespace tenlo::app {

namespace {
ModalRunner& Runner() {
    static ModalRunner runner;
    return runner;
}
}  // namespace

void SetModalRunner(ModalRunner runner) {
    Runner() = std::move(runner);
}

int RunModal(QDialog& dialog) {
    if (Runner()) {
        return Runner()(dialog);
    }
    return dialog.exec();
}

}  // namespace tenlo::app
