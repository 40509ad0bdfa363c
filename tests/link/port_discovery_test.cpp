#include "link/port_discovery.h"

#include <grp.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/port_advice.h"
#include "link/posix_port_backend.h"
#include "link/pty_test_util.h"

namespace tenlo {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A machine's sysfs and /dev as the kernel and udev lay them out, in a folder of the test's
// own, with the user's two port folders beside it.
class FakeMachine {
  public:
    FakeMachine() {
        static int made = 0;
        base_ = fs::temp_directory_path() /
                ("tenlo-ports-" + std::to_string(::getpid()) + "-" + std::to_string(++made));
        fs::remove_all(base_);
        fs::create_directories(Root() / "sys/class/tty");
        fs::create_directories(Root() / "dev");
    }
    ~FakeMachine() { fs::remove_all(base_); }

    fs::path Root() const { return base_ / "root"; }
    std::string UserDir() const { return (base_ / "config/tenlo/ports").string(); }
    std::string EnvDir() const { return (base_ / "env-ports").string(); }
    PortScanPlaces Places() const { return {Root().string(), {UserDir()}}; }

    void File(const std::string& path, const std::string& text = "") {
        const fs::path real = Root() / path.substr(1);
        fs::create_directories(real.parent_path());
        std::ofstream(real) << text;
    }
    void Link(const std::string& path, const std::string& target) {
        const fs::path real = Root() / path.substr(1);
        fs::create_directories(real.parent_path());
        fs::create_symlink(target, real);
    }

    // A USB-serial adapter on port usbPort of the first hub: the USB device with its strings,
    // the interface, the usb-serial port and the tty, and the by-id link udev makes.
    void UsbSerial(const std::string& tty, const std::string& usbPort, const std::string& vid,
                   const std::string& pid, const std::string& maker, const std::string& product,
                   const std::string& serial) {
        const std::string usb = "/sys/devices/pci0000:00/0000:00:14.0/usb1/" + usbPort;
        File(usb + "/idVendor", vid + "\n");
        File(usb + "/idProduct", pid + "\n");
        File(usb + "/manufacturer", maker + "\n");
        File(usb + "/product", product + "\n");
        if (!serial.empty()) {
            File(usb + "/serial", serial + "\n");
        }
        const std::string port = usb + "/" + usbPort + ":1.0/" + tty;
        File(port + "/tty/" + tty + "/dev", "188:0\n");
        Link(port + "/tty/" + tty + "/device", "../../../" + tty);
        Link("/sys/class/tty/" + tty, "../../devices/pci0000:00/0000:00:14.0/usb1/" + usbPort +
                                          "/" + usbPort + ":1.0/" + tty + "/tty/" + tty);
        File("/dev/" + tty);
        std::string id =
            "usb-" + maker + "_" + product + (serial.empty() ? "" : "_" + serial) + "-if00-port0";
        std::replace(id.begin(), id.end(), ' ', '_');
        Link("/dev/serial/by-id/" + id, "../../" + tty);
    }

    // A CDC ACM device: the tty hangs below the interface, with no by-id link.
    void Acm(const std::string& tty, const std::string& usbPort, const std::string& product) {
        const std::string usb = "/sys/devices/pci0000:00/0000:00:14.0/usb1/" + usbPort;
        File(usb + "/idVendor", "2341\n");
        File(usb + "/idProduct", "0043\n");
        File(usb + "/product", product + "\n");
        const std::string iface = usb + "/" + usbPort + ":1.0";
        File(iface + "/tty/" + tty + "/dev", "166:0\n");
        Link(iface + "/tty/" + tty + "/device", "../../../" + usbPort + ":1.0");
        Link("/sys/class/tty/" + tty, "../.." + iface.substr(4) + "/tty/" + tty);
        File("/dev/" + tty);
    }

    // A ttyS of the 8250 driver: type 0 when no UART answers at its address.
    void Uart(const std::string& tty, const std::string& bus, int type) {
        const std::string dir = "/sys/devices/" + bus + "/tty/" + tty;
        File(dir + "/type", std::to_string(type) + "\n");
        Link(dir + "/device", "../../../" + fs::path(bus).filename().string());
        Link("/sys/class/tty/" + tty, "../.." + dir.substr(4));
        File("/dev/" + tty);
    }

    // A virtual console: a tty with no device behind it.
    void Console(const std::string& tty) {
        File("/sys/devices/virtual/tty/" + tty + "/dev", "4:0\n");
        Link("/sys/class/tty/" + tty, "../../devices/virtual/tty/" + tty);
        File("/dev/" + tty);
    }

    void Unplug(const std::string& tty, const std::string& byId) {
        fs::remove(Root() / ("sys/class/tty/" + tty));
        fs::remove(Root() / ("dev/" + tty));
        fs::remove(Root() / ("dev/serial/by-id/" + byId));
    }

    static void PortLink(const std::string& dir, const std::string& name,
                         const std::string& target) {
        fs::create_directories(dir);
        fs::create_symlink(target, fs::path(dir) / name);
    }
    static std::vector<std::string> Links(const std::string& dir) {
        std::vector<std::string> entries;
        if (fs::exists(dir)) {
            for (const auto& entry : fs::directory_iterator(dir)) {
                entries.push_back(entry.path().filename().string() + " -> " +
                                  fs::read_symlink(entry.path()).string());
            }
        }
        std::sort(entries.begin(), entries.end());
        return entries;
    }

  private:
    fs::path base_;
};

const char* kFtdiId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
const char* kCh340Id = "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0";

// The desk of a typical user: an FTDI adapter with a serial number, a CH340 without one, an
// Arduino, the one real UART, a phantom ttyS and a console, and a by-id link left behind.
void TypicalDesk(FakeMachine& m) {
    m.UsbSerial("ttyUSB0", "1-1", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI");
    m.UsbSerial("ttyUSB1", "1-2", "1a86", "7523", "1a86", "USB Serial", "");
    m.Acm("ttyACM0", "1-3", "Arduino Uno");
    m.Uart("ttyS0", "pnp0/00:05", 4);
    m.Uart("ttyS1", "platform/serial8250", 0);
    m.Console("tty0");
    m.Link("/dev/serial/by-id/usb-Prolific_USB-Serial-if00-port0", "../../ttyUSB7");
}

std::vector<std::string> Devices(const std::vector<SerialPortInfo>& ports) {
    std::vector<std::string> devices;
    for (const SerialPortInfo& port : ports) {
        devices.push_back(port.device);
    }
    return devices;
}

const SerialPortInfo& Find(const std::vector<SerialPortInfo>& ports, const std::string& device) {
    for (const SerialPortInfo& port : ports) {
        if (port.device == device) {
            return port;
        }
    }
    static const SerialPortInfo none;
    ADD_FAILURE() << device << " not found";
    return none;
}

TEST(PortDiscovery, FindsAdaptersModemsAndRealUartsButNoPhantoms) {
    FakeMachine m;
    TypicalDesk(m);
    const std::vector<SerialPortInfo> ports = ScanSerialPorts(m.Places());
    // COM1 first, the others by name.
    EXPECT_THAT(Devices(ports),
                ElementsAre("/dev/ttyS0", "/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyUSB1"));

    const SerialPortInfo& ftdi = Find(ports, "/dev/ttyUSB0");
    EXPECT_EQ(ftdi.kind, PortKind::UsbSerial);
    EXPECT_EQ(ftdi.vendorId + ":" + ftdi.productId, "0403:6001");
    EXPECT_EQ(ftdi.byId, kFtdiId);
    EXPECT_EQ(PortDescription(ftdi), "FT232R USB UART by FTDI, serial A50285BI");
    EXPECT_EQ(PortShortName(ftdi), "FT232R USB UART");

    const SerialPortInfo& ch340 = Find(ports, "/dev/ttyUSB1");
    EXPECT_EQ(ch340.byId, kCh340Id);
    EXPECT_EQ(ch340.serial, "");
    EXPECT_EQ(PortDescription(ch340), "USB Serial by 1a86");

    const SerialPortInfo& acm = Find(ports, "/dev/ttyACM0");
    EXPECT_EQ(acm.kind, PortKind::UsbModem);
    EXPECT_EQ(acm.product, "Arduino Uno");
    EXPECT_EQ(acm.byId, "");

    // The real UART is COM1 by the ttyS rule; nothing was linked, nothing is assigned by a scan.
    const SerialPortInfo& uart = Find(ports, "/dev/ttyS0");
    EXPECT_EQ(uart.kind, PortKind::Onboard);
    EXPECT_THAT(uart.comNumbers, ElementsAre(1u));
    EXPECT_EQ(PortShortName(uart), "on-board serial port ttyS0");
    EXPECT_THAT(ftdi.comNumbers, IsEmpty());
    EXPECT_THAT(FakeMachine::Links(m.UserDir()), IsEmpty());
    // The test owns every node of its tree.
    EXPECT_TRUE(ftdi.mayOpen);
}

TEST(PortDiscovery, ComNamesFollowTheLookupOrder) {
    FakeMachine m;
    TypicalDesk(m);
    // The first folder wins for a number both hold; a link that leads nowhere falls through
    // to the next candidate; by-id links and plain device links both count.
    FakeMachine::PortLink(m.EnvDir(), "com7", "/dev/ttyUSB0");
    FakeMachine::PortLink(m.UserDir(), "com7", "/dev/ttyACM0");
    FakeMachine::PortLink(m.UserDir(), "com9", kFtdiId);
    FakeMachine::PortLink(m.EnvDir(), "com4", "/dev/serial/by-id/usb-gone-if00-port0");
    FakeMachine::PortLink(m.UserDir(), "com4", "/dev/ttyACM0");
    FakeMachine::PortLink(m.UserDir(), "com2", "/dev/ttyUSB9");
    FakeMachine::PortLink(m.UserDir(), "com1", "/dev/ttyUSB1");

    const std::vector<SerialPortInfo> ports =
        ScanSerialPorts({m.Root().string(), {m.EnvDir(), m.UserDir()}});
    EXPECT_THAT(Find(ports, "/dev/ttyUSB0").comNumbers, ElementsAre(7u, 9u));
    EXPECT_THAT(Find(ports, "/dev/ttyACM0").comNumbers, ElementsAre(4u));
    // com1 in a folder shadows the UART's own COM1.
    EXPECT_THAT(Find(ports, "/dev/ttyUSB1").comNumbers, ElementsAre(1u));
    EXPECT_THAT(Find(ports, "/dev/ttyS0").comNumbers, IsEmpty());
    EXPECT_EQ(ports.size(), 4u) << "the dangling com2 adds no port";
}

TEST(PortDiscovery, AdaptersGetTheLowestFreeNumberFromCom3AndKeepIt) {
    FakeMachine m;
    TypicalDesk(m);
    m.Uart("ttyS2", "pnp0/00:06", 4);  // answers to COM3
    // An adapter that is unplugged now keeps COM4.
    FakeMachine::PortLink(m.UserDir(), "com4", "/dev/serial/by-id/usb-Prolific-if00-port0");

    std::vector<SerialPortInfo> ports = DiscoverSerialPorts(m.Places());
    EXPECT_THAT(Find(ports, "/dev/ttyUSB0").comNumbers, ElementsAre(5u));
    EXPECT_THAT(Find(ports, "/dev/ttyUSB1").comNumbers, ElementsAre(6u));
    EXPECT_THAT(Find(ports, "/dev/ttyACM0").comNumbers, IsEmpty()) << "no by-id name";
    EXPECT_THAT(FakeMachine::Links(m.UserDir()),
                ElementsAre("com4 -> /dev/serial/by-id/usb-Prolific-if00-port0",
                            std::string("com5 -> ") + kFtdiId, std::string("com6 -> ") + kCh340Id));

    // Seen again, and after the FTDI is unplugged and plugged into another USB port (a new
    // ttyUSB number, the same by-id name): the same numbers, no new links.
    DiscoverSerialPorts(m.Places());
    m.Unplug("ttyUSB0", fs::path(kFtdiId).filename());
    ports = DiscoverSerialPorts(m.Places());
    EXPECT_EQ(ports.size(), 4u);
    m.UsbSerial("ttyUSB2", "1-4", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI");
    ports = DiscoverSerialPorts(m.Places());
    EXPECT_THAT(Find(ports, "/dev/ttyUSB2").comNumbers, ElementsAre(5u));
    EXPECT_EQ(FakeMachine::Links(m.UserDir()).size(), 3u);
}

TEST(PortDiscovery, HandMadeLinksWinAndOnlyTheFirstFolderIsWritten) {
    FakeMachine m;
    TypicalDesk(m);
    FakeMachine::PortLink(m.UserDir(), "com12", "/dev/ttyUSB0");
    const PortScanPlaces places{m.Root().string(), {m.EnvDir(), m.UserDir()}};
    const std::vector<SerialPortInfo> ports = DiscoverSerialPorts(places);
    EXPECT_THAT(Find(ports, "/dev/ttyUSB0").comNumbers, ElementsAre(12u));
    EXPECT_THAT(Find(ports, "/dev/ttyUSB1").comNumbers, ElementsAre(3u));
    EXPECT_THAT(FakeMachine::Links(m.EnvDir()), ElementsAre(std::string("com3 -> ") + kCh340Id));
    EXPECT_THAT(FakeMachine::Links(m.UserDir()), ElementsAre("com12 -> /dev/ttyUSB0"));

    // No folder to write to: nothing assigned, nothing written anywhere.
    FakeMachine bare;
    TypicalDesk(bare);
    EXPECT_THAT(Find(DiscoverSerialPorts({bare.Root().string(), {}}), "/dev/ttyUSB0").comNumbers,
                IsEmpty());
}

TEST(PortDiscovery, AnotherProgramAssigningAtOnceLeavesOneNumberPerAdapter) {
    FakeMachine m;
    TypicalDesk(m);
    // Another program linked the FTDI as COM3 after this one's scan: this one takes the next
    // free number, sees the other link, and takes its own back.
    std::vector<SerialPortInfo> stale = ScanSerialPorts(m.Places());
    FakeMachine::PortLink(m.UserDir(), "com3", kFtdiId);
    AssignComNumbers(stale, m.Places());
    EXPECT_THAT(Find(stale, "/dev/ttyUSB0").comNumbers, ElementsAre(3u));
    EXPECT_THAT(Find(stale, "/dev/ttyUSB1").comNumbers, ElementsAre(4u));
    EXPECT_EQ(FakeMachine::Links(m.UserDir()).size(), 2u);

    // Several programs at once, for real, many times over.
    m.UsbSerial("ttyUSB2", "1-5", "067b", "2303", "Prolific", "USB-Serial Controller", "X1");
    m.UsbSerial("ttyUSB3", "1-6", "10c4", "ea60", "Silicon Labs", "CP2102", "0001");
    constexpr int kPrograms = 4;
    for (int round = 0; round < 60; ++round) {
        fs::remove_all(m.UserDir());
        std::vector<std::vector<SerialPortInfo>> seen(kPrograms);
        std::vector<std::thread> programs;
        for (auto& ports : seen) {
            programs.emplace_back([&] { ports = DiscoverSerialPorts(m.Places()); });
        }
        for (std::thread& program : programs) {
            program.join();
        }
        ASSERT_EQ(FakeMachine::Links(m.UserDir()).size(), 4u) << "round " << round;
        for (const char* device :
             {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB3"}) {
            ASSERT_EQ(Find(seen[0], device).comNumbers.size(), 1u);
            for (const auto& ports : seen) {
                EXPECT_EQ(Find(ports, device).comNumbers, Find(seen[0], device).comNumbers);
            }
        }
    }
}

TEST(PortDiscovery, TheDialogListPutsPresentPortsFirst) {
    std::vector<SerialPortInfo> ports(3);
    ports[0].product = "FT232R USB UART";
    ports[0].comNumbers = {5, 120};  // COM120 lies beyond the list
    ports[1].device = "/dev/pts/4";
    ports[1].kind = PortKind::PseudoTerminal;
    ports[1].comNumbers = {3};
    ports[2].device = "/dev/ttyS0";
    ports[2].kind = PortKind::Onboard;

    const std::vector<PortMenuEntry> menu = PortMenu(ports, 99);
    ASSERT_EQ(menu.size(), 99u);
    EXPECT_EQ(menu[0].label, "COM3 (pseudo-terminal)");
    EXPECT_EQ(menu[1].label, "COM5 (FT232R USB UART)");
    EXPECT_EQ(menu[2].label, "COM1");
    EXPECT_EQ(menu[4].label, "COM4");
    EXPECT_EQ(menu[98].label, "COM99");
    EXPECT_EQ(PresetPort(menu, 5), 5u);
    EXPECT_EQ(PresetPort(menu, 1), 3u) << "absent: the first present";
    EXPECT_EQ(PresetPort(PortMenu({}, 99), 5), 5u) << "nothing present: as asked";
}

// What tells who holds a port, in the machine's tree.
TEST(PortDiscovery, TheHolderOfABusyPortIsNamedFromLockFilesOrProc) {
    FakeMachine m;
    TypicalDesk(m);
    const std::string root = m.Root().string();
    EXPECT_EQ(PortHolder("/dev/ttyUSB0", root), "");

    m.File("/proc/77/comm", "screen\n");
    m.Link("/proc/77/fd/0", "/dev/pts/0");
    m.Link("/proc/77/fd/5", "/dev/ttyUSB0");
    m.File("/proc/self/comm", "tenlo-cli\n");
    EXPECT_EQ(PortHolder("/dev/ttyUSB0", root), "screen (pid 77)");
    // Through the by-id name too: the device is what counts.
    EXPECT_EQ(PortHolder(kFtdiId, root), "screen (pid 77)");

    // A UUCP lock of a living process says it first; a stale one is passed over.
    m.File("/run/lock/LCK..ttyUSB0", "      4242\n");
    EXPECT_EQ(PortHolder("/dev/ttyUSB0", root), "screen (pid 77)");
    m.File("/proc/4242/comm", "minicom\n");
    EXPECT_EQ(PortHolder("/dev/ttyUSB0", root), "minicom (pid 4242)");

    const PortOpenFailure busy = DiagnoseOpenFailure(kFtdiId, EBUSY, root);
    EXPECT_EQ(busy.reason, PortOpenFailure::Reason::Busy);
    EXPECT_EQ(busy.device, "/dev/ttyUSB0");
    EXPECT_EQ(PortOpenProblem(busy),
              "/dev/ttyUSB0 is held by another program, minicom (pid 4242): close it and try "
              "again");
    EXPECT_EQ(DiagnoseOpenFailure("/dev/ttyUSB5", ENOENT, root).reason,
              PortOpenFailure::Reason::NotFound);
    EXPECT_EQ(PortOpenProblem(DiagnoseOpenFailure("/dev/ttyUSB5", ENOENT, root)), "");
}

TEST(PortOpenFailures, PermissionAndBusyAdviceInBothLanguages) {
    PortOpenFailure denied{PortOpenFailure::Reason::PermissionDenied, "/dev/ttyUSB0", EACCES,
                           "dialout", ""};
    EXPECT_EQ(PortOpenProblem(denied),
              "permission denied on /dev/ttyUSB0: add yourself to the group that owns it "
              "(dialout): sudo usermod -aG dialout $USER, then log in again");
    EXPECT_EQ(PortOpenProblemJapanese(denied),
              "/dev/ttyUSB0 を開く権限がありません。このポートのグループ (dialout) に自分を加えて"
              "ください: sudo usermod -aG dialout $USER を実行し、ログインし直してください。");
    // Nobody should be told to join root.
    denied.group = "root";
    EXPECT_EQ(PortOpenProblem(denied),
              "permission denied on /dev/ttyUSB0 (group root): ask the administrator for access "
              "to it (a udev rule can give it to the dialout group)");
    EXPECT_EQ(PortOpenProblemJapanese(denied).find("usermod"), std::string::npos);

    const PortOpenFailure busy{PortOpenFailure::Reason::Busy, "/dev/ttyACM0", EBUSY, "", ""};
    EXPECT_EQ(PortOpenProblem(busy),
              "/dev/ttyACM0 is held by another program: close it and try again");
    EXPECT_EQ(PortOpenProblemJapanese(busy),
              "/dev/ttyACM0 は他のプログラムが使用中です。そのプログラムを終了してから、もう一度"
              "試してください。");
}

TEST(PortOpenFailures, TheTermiosBackendSaysWhyAPortDidNotOpen) {
    test::Pty pty;
    PosixPortBackend backend;
    PortOpenFailure failure;
    auto held = backend.OpenPath(pty.SlavePath(), &failure);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(failure.reason, PortOpenFailure::Reason::None);

    // Held by this very process: the /proc scan names it.
    EXPECT_EQ(backend.OpenPath(pty.SlavePath(), &failure), nullptr);
    EXPECT_EQ(failure.reason, PortOpenFailure::Reason::Busy);
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    EXPECT_EQ(failure.holder, name + " (pid " + std::to_string(::getpid()) + ")");

    EXPECT_EQ(backend.OpenPath("/dev/ttyTENLO-none", &failure), nullptr);
    EXPECT_EQ(failure.reason, PortOpenFailure::Reason::NotFound);
    EXPECT_EQ(backend.OpenExplained("COM9876", failure), nullptr);
    EXPECT_EQ(failure.reason, PortOpenFailure::Reason::NotFound);

    // The group is the node's own.
    char path[] = "/tmp/tenlo-node-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const PortOpenFailure denied = DiagnoseOpenFailure(path, EACCES);
    EXPECT_EQ(denied.reason, PortOpenFailure::Reason::PermissionDenied);
    const group* own = ::getgrgid(::getegid());
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(denied.group, own->gr_name);
    ::unlink(path);
}

}  // namespace
}  // namespace tenlo
