#pragma once

#include <QComboBox>
#include <functional>
#include <vector>

#include "link/port_discovery.h"

namespace tenlo::qt {

// The port lists of both programs: COM1 to COMcount, the ports present first and saying what
// they are ("COM3 (FT232R USB UART)"), each entry carrying its number. The list is asked for
// again whenever it drops down, so an adapter plugged in meanwhile shows up. A box too narrow
// for an entry shows its start and an ellipsis, an edit field the port's name alone.
class CPortComboBox final : public QComboBox {
  public:
    // The ports present; none set: the plain list COM1 to COMcount.
    using Lister = std::function<std::vector<SerialPortInfo>()>;

    CPortComboBox(int count, QWidget* parent = nullptr);

    void SetLister(Lister lister) { lister_ = std::move(lister); }
    // The machine's own ports (DiscoverSerialPorts) when every port of the run is the
    // operating system's: backend none and no other one installed for the process.
    void ListSystemPortsFor(const std::shared_ptr<IPortBackend>& backend);

    // Fills the list afresh, keeping the selected port selected.
    void Fill();
    // The number of the selected entry; 0 when none is selected.
    int SelectedPort() const;
    // Selects COMn (none when n is not in the list).
    void SelectPort(int n);
    // preferred when that port is present or none is, else the first port present.
    int PresetPort(int preferred) const;

    void showPopup() override;

  protected:
    void initStyleOption(QStyleOptionComboBox* option) const override;

  private:
    std::vector<PortMenuEntry> Menu() const;

    int count_;
    Lister lister_;
};

}  // namespace tenlo::qt
