#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/command_line.h"
#include "app/dialogs/dialog_template.h"
#include "app/main_frame.h"
#include "app/tenlo_app.h"
#include "app/test_hook.h"
#include "app/translations.h"
#include "app/view/tenlo_view.h"

using namespace tenlo;

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
    app::InstallQtJapanese(qapp);

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
        const bool testHook = app::CTestHook::Install();
        app::CTenloApp tenlo;
        if (tenlo.InitInstance()) {
            if (args.develop) {
                tenlo.View()->OnDevelDlg();
            }
            if (testHook) {
                app::CTestHook::Run(*tenlo.MainFrame());
            }
            code = QApplication::exec();
        }
        tenlo.ExitInstance();
    }
    return code;
}
