#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/port_backend.h"
#include "link/port_names.h"

namespace tenlo {

// The serial ports present on this machine, what they are, and which COMn names lead to them.
// On Linux from sysfs; elsewhere the list is empty.

enum class PortKind : std::uint8_t {
    UsbSerial,       // a USB-serial adapter (ttyUSB: FTDI, CP210x, CH340, PL2303)
    UsbModem,        // a USB CDC ACM device (ttyACM)
    Onboard,         // a UART of the machine itself (ttyS that really exists)
    PseudoTerminal,  // a pseudo-terminal a comN link leads to (ravonite-sim)
    Other,           // any other device a comN link leads to
};

struct SerialPortInfo {
    std::string device;  // "/dev/ttyUSB0": the node the port is opened through
    std::string byId;    // "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
    PortKind kind = PortKind::Other;
    std::string vendorId;      // USB only: "0403"
    std::string productId;     // USB only: "6001"
    std::string manufacturer;  // USB only, as the device names itself
    std::string product;
    std::string serial;
    std::vector<unsigned long> comNumbers;  // the COMn names that lead here, ascending
    bool mayOpen = false;                   // this user may open it for reading and writing
    std::string group;                      // the group owning the node
};

// Where a scan looks. sysfs and the device nodes are read under root, so tests can build a
// tree of their own; link targets that are absolute paths are read under root too. The link
// folders are real paths; the first one is where new COM numbers are linked.
struct PortScanPlaces {
    std::string root = "/";
    std::vector<std::string> linkDirectories = PortLinkDirectories();
};

// The ports present: sysfs ttys that have a real device behind them (USB adapters, ACM
// devices, UARTs whose type is known) and whatever else a comN link leads to that exists.
// Those with a COM name come first, by number; the others follow by device name.
std::vector<SerialPortInfo> ScanSerialPorts(const PortScanPlaces& places);

// Gives every port with a by-id name and no COMn yet the lowest free number from COM3 up: a
// link comN -> its by-id path in the first link folder, so the adapter keeps its number when
// plugged in again. A number is free when no link folder holds any entry of that name (a link
// to an unplugged adapter keeps its number) and no UART answers to it. Links are never
// replaced. Programs assigning at once take turns (a lock on the folder), and one that finds
// the adapter linked meanwhile takes that link's number. The ports' comNumbers are brought up
// to date.
void AssignComNumbers(std::vector<SerialPortInfo>& ports, const PortScanPlaces& places);

// Scan, then assign: what the programs run when they list ports.
std::vector<SerialPortInfo> DiscoverSerialPorts(const PortScanPlaces& places = {});

// "FT232R USB UART" (the product name, else what kind of port it is): for a list entry.
std::string PortShortName(const SerialPortInfo& port);
// "FT232R USB UART, serial A50285BI": for a line of its own.
std::string PortDescription(const SerialPortInfo& port);

// The port dialogs' list: COM1 to COMcount, those that lead to a present port first (in
// numeric order, labelled "COM3 (FT232R USB UART)"), then the others in numeric order.
struct PortMenuEntry {
    unsigned long number = 0;
    std::string label;
    bool present = false;
};
std::vector<PortMenuEntry> PortMenu(const std::vector<SerialPortInfo>& ports, unsigned long count);
// preferred when it is present or nothing is; else the first present port.
unsigned long PresetPort(const std::vector<PortMenuEntry>& menu, unsigned long preferred);

// Why a device did not open, from the errno of its open (or lock), the node's group and, for a
// busy port, the program holding it. root as for the scan (lock files and /proc under it).
PortOpenFailure DiagnoseOpenFailure(const std::string& device, int error,
                                    const std::string& root = "/");
// "minicom (pid 1234)" for the process holding device open, from a UUCP lock file
// (/run/lock, /var/lock: LCK..ttyUSB0) or from /proc/*/fd; empty when neither tells.
std::string PortHolder(const std::string& device, const std::string& root = "/");

}  // namespace tenlo
