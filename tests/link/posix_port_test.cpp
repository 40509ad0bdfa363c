#include "link/port_names.h"
#include "link/posix_port_backend.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include "link/pty_test_util.h"
#include "link/scripted_peer.h"
#include "link/serial_port.h"
#include "support/recording_ui.h"

namespace tenlo {
namespace {

const std::string kDefinition = ProgrammerPortDefinition(5);

// The real calls, except those a test tells to fail with a given errno first.
class FaultySys final : public PosixSys {
  public:
    std::map<std::string, std::deque<int>> faults;
    std::vector<std::string> calls;
    std::vector<std::size_t> readSizes;

    int Open(const char* path, int flags) override {
        return Fail("open") ? -1 : PosixSys::Open(path, flags);
    }
    int Close(int fd) override {
        calls.push_back("close");
        return PosixSys::Close(fd);
    }
    int Flock(int fd, int op) override { return Fail("flock") ? -1 : PosixSys::Flock(fd, op); }
    int Ioctl(int fd, unsigned long request) override {
        return Fail(IoctlName(request, nullptr)) ? -1 : PosixSys::Ioctl(fd, request);
    }
    int Ioctl(int fd, unsigned long request, int* arg) override {
        return Fail(IoctlName(request, arg)) ? -1 : PosixSys::Ioctl(fd, request, arg);
    }
    int TcGetAttr(int fd, termios* t) override {
        return Fail("tcgetattr") ? -1 : PosixSys::TcGetAttr(fd, t);
    }
    int Poll(pollfd* fds, nfds_t n, int ms) override {
        return Fail("poll") ? -1 : PosixSys::Poll(fds, n, ms);
    }
    ssize_t Read(int fd, void* buffer, std::size_t count) override {
        readSizes.push_back(count);
        return Fail("read") ? -1 : PosixSys::Read(fd, buffer, count);
    }
    ssize_t Write(int fd, const void* buffer, std::size_t count) override {
        return Fail("write") ? -1 : PosixSys::Write(fd, buffer, count);
    }

  private:
    static std::string IoctlName(unsigned long request, const int* arg) {
        std::string name;
        switch (request) {
            case TIOCEXCL:
                name = "TIOCEXCL";
                break;
            case TIOCNXCL:
                name = "TIOCNXCL";
                break;
            case TIOCMBIS:
                name = "TIOCMBIS";
                break;
            case TIOCMBIC:
                name = "TIOCMBIC";
                break;
            case TIOCMGET:
                return "TIOCMGET";
            case TIOCSBRK:
                name = "TIOCSBRK";
                break;
            case TIOCCBRK:
                name = "TIOCCBRK";
                break;
            case FIONREAD:
                return "FIONREAD";
            default:
                name = "ioctl " + std::to_string(request);
                break;
        }
        if (arg != nullptr) {
            name += " " + std::to_string(*arg);
        }
        return name;
    }
    bool Fail(const std::string& name) {
        calls.push_back(name);
        auto& queue = faults[name];
        if (queue.empty()) {
            return false;
        }
        errno = queue.front();
        queue.pop_front();
        return true;
    }
};

// Exposes the handle so a test can see what the driver holds.
class InspectablePort : public CSerialPort {
  public:
    using CSerialPort::CSerialPort;
    using CSerialPort::Handle;
};

class PtyPortTest : public ::testing::Test {
  protected:
    void SetUp() override { dir_.Link("com5", pty_.SlavePath()); }

    test::Pty pty_;
    test::PortDir dir_;
    std::shared_ptr<FaultySys> sys_ = std::make_shared<FaultySys>();
    std::shared_ptr<PosixPortBackend> backend_ = std::make_shared<PosixPortBackend>(sys_);
    testing::RecordingErrorBox box_;
    InspectablePort port_{&box_, backend_};
};

TEST_F(PtyPortTest, BytesCrossThePortBothWays) {
    test::RecordingTrace trace;
    port_.SetTraceWindow(&trace);
    port_.Connect(kDefinition);
    ASSERT_TRUE(port_.IsConnected()) << (box_.Shown().empty() ? "" : box_.Shown()[0].text);
    ASSERT_TRUE(port_.WriteByte(0xA5));
    EXPECT_EQ(pty_.Receive(1), std::vector<std::uint8_t>{0xA5});
    pty_.Send({0x00, 0x01, 0x0D, 0x0A, 0x03});  // raw: no translation, no signals
    std::uint8_t b[5] = {};
    for (auto& byte : b) {
        ASSERT_TRUE(port_.ReadByte(&byte));
    }
    EXPECT_EQ(std::vector<std::uint8_t>(b, b + 5),
              (std::vector<std::uint8_t>{0x00, 0x01, 0x0D, 0x0A, 0x03}));
    EXPECT_EQ(trace.text, "\nTx: A5 \nRx: 00 01 0D 0A 03 ");
    EXPECT_TRUE(pty_.Receive(1, std::chrono::milliseconds(50)).empty()) << "no echo";
    EXPECT_TRUE(port_.Disconnect());
    EXPECT_TRUE(box_.Shown().empty());
}

TEST_F(PtyPortTest, PortNamesAndRefusals) {
    dir_.Link("com12", pty_.SlavePath());
    for (const char* definition :
         {"com5: baud=38400 parity=N data=8 stop=1", "COM12: baud=38400 parity=N data=8 stop=1",
          "COM5: 9600,n,8,1"}) {
        SCOPED_TRACE(definition);
        EXPECT_TRUE(port_.Open(definition));
        EXPECT_TRUE(port_.Close());
    }
    for (const std::string definition : {"COM12345: baud=38400", "COM5", "LPT1:"}) {
        EXPECT_FALSE(port_.Open(definition));
    }
    EXPECT_FALSE(port_.Open("COM6: baud=38400"));
    EXPECT_EQ(
        box_.Texts(),
        (std::vector<std::string>{
            "Device definition string must start with \"COMn:\".\n"
            "COM12345: baud=38400",
            "Device definition string must start with \"COMn:\".\nCOM5",
            "Device definition string must start with \"COMn:\".\nLPT1:", "Cannot open COM6."}));
}

TEST_F(PtyPortTest, OnlyOneOpenerAtATime) {
    ASSERT_TRUE(port_.Open(kDefinition));
    EXPECT_TRUE(port_.Open(kDefinition)) << "a reopen gives up our own earlier handle first";
    testing::RecordingErrorBox otherBox;
    CSerialPort other(&otherBox, std::make_shared<PosixPortBackend>());
    EXPECT_FALSE(other.Open(kDefinition));
    EXPECT_EQ(otherBox.Texts(), std::vector<std::string>{"Cannot open COM5."});
    // A rejected definition closes the port it opened, so the next opener gets it.
    EXPECT_FALSE(port_.Open("COM5: baud=38400 parity=X"));
    EXPECT_EQ(box_.Texts(), std::vector<std::string>{"Cannot analyze device definition string.\n"
                                                     "COM5: baud=38400 parity=X"});
    EXPECT_TRUE(other.Open(kDefinition));
    EXPECT_TRUE(other.Close());
}

TEST_F(PtyPortTest, ReadGivesUpAfterOneSecond) {
    port_.Connect(kDefinition);
    ASSERT_TRUE(port_.IsConnected());
    std::uint8_t b = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port_.ReadByte(&b));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took.count(), 0.9);
    EXPECT_LT(took.count(), 3.0);
}

TEST_F(PtyPortTest, FlushInputDrainsWhatWaits) {
    port_.Connect(kDefinition);
    ASSERT_TRUE(port_.IsConnected());
    pty_.Send(std::vector<std::uint8_t>(250, 0x42));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (port_.Handle()->BytesWaiting() < 250 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(port_.Handle()->BytesWaiting(), 250);
    sys_->readSizes.clear();
    port_.FlushInput();
    EXPECT_EQ(sys_->readSizes, (std::vector<std::size_t>{100, 100, 50}));
    EXPECT_EQ(port_.Handle()->BytesWaiting(), 0);
}

TEST_F(PtyPortTest, DisconnectAndCloseMessages) {
    port_.Connect(kDefinition);
    ASSERT_TRUE(port_.IsConnected());
    EXPECT_TRUE(port_.Disconnect());
    EXPECT_FALSE(port_.Disconnect());
    EXPECT_FALSE(port_.Close());
    port_.Connect(kDefinition);
    EXPECT_TRUE(port_.Close());
    EXPECT_FALSE(port_.Disconnect());
    EXPECT_EQ(box_.Texts(),
              (std::vector<std::string>{
                  "COM port has already been disconnected.", "COM port has already been closed.",
                  "COM port has already been closed.", "Can not close COM port."}));
    box_.Clear();
    port_.Release();
    port_.Release();
    EXPECT_FALSE(port_.Close());
    EXPECT_TRUE(box_.Shown().empty());
}

TEST_F(PtyPortTest, PseudoTerminalsHaveNoModemLines) {
    ASSERT_TRUE(port_.Open(kDefinition));
    bool cts = true;
    EXPECT_FALSE(port_.SetDTR(true));
    EXPECT_FALSE(port_.SetRTS(false));
    EXPECT_FALSE(port_.GetCTS(&cts));
    EXPECT_TRUE(cts) << "left untouched";
    // The requests are the ones a real UART answers.
    sys_->calls.clear();
    port_.SetDTR(true);
    port_.SetRTS(false);
    port_.SetBreak(true);
    port_.SetBreak(false);
    EXPECT_EQ(sys_->calls, (std::vector<std::string>{"TIOCMBIS " + std::to_string(TIOCM_DTR),
                                                     "TIOCMBIC " + std::to_string(TIOCM_RTS),
                                                     "TIOCSBRK", "TIOCCBRK"}));
}

TEST_F(PtyPortTest, AVanishedPeerFailsAtOnce) {
    port_.Connect(kDefinition);
    ASSERT_TRUE(port_.IsConnected());
    pty_.CloseMaster();
    std::uint8_t b = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port_.ReadByte(&b));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST_F(PtyPortTest, InterruptedCallsAreRepeated) {
    sys_->faults["open"] = {EINTR};
    sys_->faults["TIOCEXCL"] = {EINTR};
    port_.Connect(kDefinition);
    ASSERT_TRUE(port_.IsConnected());
    sys_->faults["write"] = {EINTR, EAGAIN};
    sys_->faults["read"] = {EINTR, EAGAIN};
    sys_->faults["poll"] = {EINTR};
    ASSERT_TRUE(port_.WriteByte(0x12));
    EXPECT_EQ(pty_.Receive(1), std::vector<std::uint8_t>{0x12});
    pty_.Send({0x34});
    std::uint8_t b = 0;
    ASSERT_TRUE(port_.ReadByte(&b));
    EXPECT_EQ(b, 0x34);
    EXPECT_TRUE(sys_->faults["read"].empty());
}

TEST_F(PtyPortTest, FailedSystemCallsRefuseTheOpenAndCloseTheDevice) {
    for (const char* call : {"open", "flock", "TIOCEXCL", "tcgetattr"}) {
        SCOPED_TRACE(call);
        for (int error : {EBUSY, ENOTTY, EWOULDBLOCK}) {
            sys_->faults[call] = {error};
            sys_->calls.clear();
            EXPECT_EQ(backend_->Open("COM5"), nullptr);
            const bool opened = std::string(call) != "open";
            EXPECT_EQ(std::count(sys_->calls.begin(), sys_->calls.end(), "close"), opened ? 1 : 0);
        }
    }
    // Nothing was left locked or exclusive behind.
    EXPECT_NE(backend_->Open("COM5"), nullptr);

    auto handle = backend_->Open("COM5");
    ASSERT_NE(handle, nullptr);
    sys_->faults["read"] = {EIO};
    std::uint8_t b = 0;
    EXPECT_EQ(handle->Read(&b, 1), -1);
    sys_->faults["FIONREAD"] = {EIO};
    EXPECT_EQ(handle->BytesWaiting(), -1);
    sys_->faults["TIOCMGET"] = {ENOTTY};
    bool cts = false;
    EXPECT_FALSE(handle->GetCts(cts));
}

TEST(PosixPortNames, ResolveInOrderOfPreference) {
    class PathSys final : public PosixSys {
      public:
        bool Exists(const char* path) override { return existing.count(path) != 0; }
        std::set<std::string> existing;
    } sys;
    test::PortDir dir;  // restores TENLO_PORT_DIR
    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string xdg = savedXdg ? savedXdg : "";
    const char* savedHome = std::getenv("HOME");
    const std::string home = savedHome ? savedHome : "";

    setenv("TENLO_PORT_DIR", "/run/p", 1);
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    setenv("HOME", "/home/u", 1);
    sys.existing = {"/run/p/com5", "/cfg/tenlo/ports/com5", "/home/u/.config/tenlo/ports/com5",
                    "/dev/ttyS4", "/dev/ttyS0"};
    EXPECT_EQ(ResolvePortPath("COM5", sys), "/run/p/com5");
    EXPECT_EQ(ResolvePortPath("com5", sys), "/run/p/com5");
    sys.existing.erase("/run/p/com5");
    EXPECT_EQ(ResolvePortPath("COM5", sys), "/cfg/tenlo/ports/com5");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ResolvePortPath("COM5", sys), "/home/u/.config/tenlo/ports/com5");
    sys.existing.erase("/home/u/.config/tenlo/ports/com5");
    EXPECT_EQ(ResolvePortPath("COM5", sys), "/dev/ttyS4");
    EXPECT_EQ(ResolvePortPath("COM1", sys), "/dev/ttyS0");
    EXPECT_EQ(ResolvePortPath("COM2", sys), std::nullopt);
    for (const char* bad : {"COM0", "COM", "COM05", "LPT1", "COMx", "COM5:", "COM-1"}) {
        EXPECT_EQ(ResolvePortPath(bad, sys), std::nullopt) << bad;
    }
    EXPECT_EQ(ResolvePortPath("/dev/ttyUSB0", sys), "/dev/ttyUSB0");

    // A program serving a port links it where the lookup looks first.
    using ::testing::ElementsAre;
    EXPECT_THAT(PortLinkDirectories(), ElementsAre("/run/p", "/home/u/.config/tenlo/ports"));
    EXPECT_THAT(ComPortCandidates(12),
                ElementsAre("/run/p/com12", "/home/u/.config/tenlo/ports/com12", "/dev/ttyS11"));

    if (savedXdg) {
        setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    }
    if (savedHome) {
        setenv("HOME", home.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
}

TEST(PosixPortBackend, RefusesAFileThatIsNoTerminal) {
    char path[] = "/tmp/tenlo-notatty-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    PosixPortBackend backend;
    EXPECT_EQ(backend.OpenPath(path), nullptr);
    unlink(path);
}

}  // namespace
}  // namespace tenlo
