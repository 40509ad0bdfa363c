#include "app/command_line.h"

#include "link/clock.h"
#include "sim/in_process_backend.h"
#include "sim/virtual_programmer.h"

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
    std::unique_ptr<sim::IChipModel> model = sim::CreateChip(chip);
    if (!model) {
        error = "--simulate: the virtual programmer has no model of \"" + chip + "\"";
        return nullptr;
    }
    return sim::MakeInProcessBackend(std::make_shared<sim::CVirtualProgrammer>(std::move(model)),
                                     SystemClock());
}

}  // namespace tenlo::app
