#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/command_line.h"
#include "app/dialogs/dialog_template.h"
#include "app/dialogs/modal_runner.h"
#include "app/main_frame.h"
#include "app/tenlo_app.h"
#include "app/view/tenlo_view.h"

namespace {

using namespace tenlo;

// For the end-to-end tests, which cannot click: TENLO_TEST_PORT_ANSWER=N answers the port
// dialog with COMN (through the real dialog), and once the main window is up the program says
// so on standard output and closes it; "cancel" cancels the dialog instead.
bool InstallTestHook() {
    const char* answer = std::getenv("TENLO_TEST_PORT_ANSWER");
    if (answer == nullptr) {
        return false;
    }
    const QString text = QString::fromUtf8(answer);
    app::SetModalRunner([text](QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&dialog, text] {
            auto* ports = dialog.findChild<QComboBox*>(QStringLiteral("1059"));
            if (text == QStringLiteral("cancel") || ports == nullptr) {
                dialog.reject();
                return;
            }
            ports->setCurrentIndex(text.toInt() - 1);
            dialog.accept();
        });
        return dialog.exec();
    });
    return true;
}

void ReportAndClose(app::CMainFrame& frame) {
    QTimer::singleShot(0, &frame, [&frame] {
        std::printf("main window: %s\n", frame.windowTitle().toUtf8().constData());
        std::fflush(stdout);
        frame.close();
    });
}

}  // namespace

int main(int argc, char** argv) {
    // Before Qt wants a display, so that help works anywhere.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(app::kUsage, stdout);
            return 0;
        }
    }
    QApplication qapp(argc, argv);
    QApplication::setFont(app::TemplateFont(app::kUiGothic));

    app::TenloArguments args;
    QString error;
    if (!app::ParseArguments(QCoreApplication::arguments().mid(1), args, error)) {
        std::fprintf(stderr, "Tenlo: %s\n%s", error.toUtf8().constData(), app::kUsage);
        return 2;
    }
    if (args.simulate) {
        std::string message;
        std::shared_ptr<IPortBackend> backend = app::SimulatedBackend(args.chip, message);
        if (!backend) {
            std::fprintf(stderr, "Tenlo: %s\n", message.c_str());
            return 2;
        }
        SetDefaultPortBackend(std::move(backend));
    }

    int code = 0;
    {
        const bool testHook = InstallTestHook();
        app::CTenloApp tenlo;
        if (tenlo.InitInstance()) {
            if (args.develop) {
                tenlo.View()->OnDevelDlg();
            }
            if (testHook) {
                ReportAndClose(*tenlo.MainFrame());
            }
            code = QApplication::exec();
        }
        tenlo.ExitInstance();
    }
    return code;
}
