#include "updater/tenlo_update_app.h"

#include <QCoreApplication>
#include <cstdio>

#include "link/clock.h"
#include "link/ui_interfaces.h"
#include "qtcommon/message_presenter.h"
#include "qtcommon/qt_ui_bridges.h"
#include "sim/jdm/jdm_port_backend.h"

namespace tenlo::updater {

std::string UpdaterUsage() {
    return "Usage: TenloUpdate [--file PATH] [--simulate] [--develop]\n"
           "  --file PATH  the firmware file (default: Mossvane.HEX in the current directory)\n"
           "  --simulate   serve every port with a simulated programmer microcontroller\n"
           "  --develop    open the JDM Prog Debug dialog after each connect\n";
}

std::optional<UpdaterArguments> ParseUpdaterArguments(const QStringList& arguments,
                                                      std::string* error) {
    UpdaterArguments parsed;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--simulate")) {
            parsed.options.backend = sim::MakeJdmSimulatorBackend(SystemClock());
        } else if (arg == QLatin1String("--develop")) {
            parsed.options.develop = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            parsed.help = true;
        } else if (arg == QLatin1String("--file") || arg.startsWith(QLatin1String("--file="))) {
            QString path;
            if (arg == QLatin1String("--file")) {
                if (i + 1 >= arguments.size()) {
                    *error = "--file needs a path";
                    return std::nullopt;
                }
                path = arguments[++i];
            } else {
                path = arg.mid(7);
            }
            if (path.isEmpty()) {
                *error = "--file needs a path";
                return std::nullopt;
            }
            parsed.options.firmwarePath = path.toStdString();
        } else {
            *error = "unknown argument \"" + arg.toStdString() + "\"";
            return std::nullopt;
        }
    }
    return parsed;
}

int CTenloUpdateApp::Run(const QStringList& arguments) {
    // The framework's profile key; the updater keeps no settings under it.
    QCoreApplication::setOrganizationName(QStringLiteral("Tenlo Update"));

    std::string error;
    std::optional<UpdaterArguments> parsed = ParseUpdaterArguments(arguments, &error);
    if (!parsed) {
        const std::string text = error + "\n\n" + UpdaterUsage();
        std::fputs(text.c_str(), stderr);
        qt::ShowAppMessage(nullptr, QString::fromStdString(text), kMbOk | kMbIconError);
        return 2;
    }
    if (parsed->help) {
        std::fputs(UpdaterUsage().c_str(), stdout);
        return 0;
    }

    // The line loops keep the dialog alive by dispatching pending events.
    qt::CQtMessagePump pump;
    SetMessagePump(&pump);
    {
        CTenloUpdateDlg dialog(parsed->options);
        dialog.exec();
    }
    SetMessagePump(nullptr);
    return 0;
}

}  // namespace tenlo::updater
