#include "app/command_line.h"

#include "link/clock.h"
#include "sim/in_process_backend.h"

namespace tenlo::app {

bool ParseArguments(const QStringList& args, TenloArguments& out, QString& error) {
    const QString simulate = QStringLiteral("--simulate");
    for (const QString& arg : args) {
        if (arg == simulate) {
            out.simulate = true;
        } else if (arg == QStringLiteral("--develop")) {
            out.develop = true;
        } else if (arg.startsWith(simulate + u'=')) {
            const QString chip = arg.mid(simulate.size() + 1);
            if (chip.isEmpty()) {
                error = QStringLiteral("--simulate= needs a chip name");
                return false;
            }
            out.simulate = true;
            out.chip = chip.toStdString();
        } else {
            error = QStringLiteral("unknown argument \"%1\"").arg(arg);
            return false;
        }
    }
    return true;
}

std::shared_ptr<IPortBackend> SimulatedBackend(const std::string& chip, std::string& error) {
    const std::optional<sim::SimulatedProgrammer> simulated =
        sim::SimulateChip(chip, SystemClock());
    if (!simulated) {
        error = sim::NoModelText(chip);
        return nullptr;
    }
    return simulated->backend;
}

}  // namespace tenlo::app
