// ravonite-sim as a user runs it: a process serving a pseudo-terminal linked as COMn, reached
// through the real termios backend.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "e2e/process.h"
#include "link/programmer_link.h"
#include "support/recording_ui.h"

namespace tenlo::sim {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kDefinition = ProgrammerPortDefinition(5);

// One ravonite-sim process; killed at the end of the test whatever happened.
class SimProcess : public e2e::Process {
  public:
    bool Start(const std::vector<std::string>& args, const std::string& stderrFile = {}) {
        std::vector<std::string> command = {RAVONITE_SIM_PATH};
        command.insert(command.end(), args.begin(), args.end());
        return Process::Start(command, {}, {}, stderrFile);
    }
    void Signal(int signal) { Kill(signal); }
    std::optional<int> Wait(std::chrono::milliseconds within = 5000ms) {
        return Process::Wait(within);
    }
};

class RavoniteSim : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tenlo-sim-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        ::setenv("TENLO_PORT_DIR", (dir_ / "ports").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("TENLO_PORT_DIR");
        fs::remove_all(dir_);
    }

    // Starts the program and waits for its ready line; the link path it announced.
    std::string Serve(SimProcess& sim, std::vector<std::string> args) {
        EXPECT_TRUE(sim.Start(args));
        const std::optional<std::string> line = sim.ReadLine();
        EXPECT_TRUE(line.has_value());
        if (!line) {
            return {};
        }
        EXPECT_EQ(line->rfind("ready /dev/", 0), 0u) << *line;
        return line->substr(line->rfind(' ') + 1);
    }

    std::unique_ptr<CProgrammerLink> Connect() {
        auto link = std::make_unique<CProgrammerLink>(&box_);
        link->Connect(kDefinition);
        EXPECT_TRUE(link->IsConnected());
        return link;
    }

    fs::path dir_;
    tenlo::testing::RecordingErrorBox box_;
};

TEST_F(RavoniteSim, ServesComFiveInThePortDirectoryAndCleansUpOnSigterm) {
    SimProcess sim;
    const std::string link = Serve(sim, {"--chip", "PIC16F84A", "--version", "1.2.3.0"});
    EXPECT_EQ(link, (dir_ / "ports" / "com5").string());
    EXPECT_TRUE(fs::is_symlink(link));
    {
        auto port = Connect();
        EXPECT_TRUE(port->Ping());
        std::uint8_t version[4] = {};
        ASSERT_TRUE(port->GetVersion(version));
        const FirmwareVersion v = DecodeVersion(version);
        EXPECT_EQ(v.major, 258);
        EXPECT_EQ(v.minor, 3);
    }
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(RavoniteSim, StateSurvivesARestart) {
    const std::string state = (dir_ / "chip.hex").string();
    const std::array<std::uint16_t, 3> words = {0x2805, 0x0123, 0x3FFE};
    {
        SimProcess sim;
        Serve(sim, {"--chip", "blank14", "--state", state, "--com", "7", "--trace",
                    (dir_ / "trace").string()});
        auto port = std::make_unique<CProgrammerLink>(&box_);
        port->Connect(ProgrammerPortDefinition(7));
        ASSERT_TRUE(port->IsConnected());
        ASSERT_TRUE(port->PowerOffVddFirst() && port->SetOption(8) && port->PowerOnVddFirst());
        ASSERT_TRUE(port->SetWriteSequence(2, 8, -1, 4, 1, 5, true));
        ASSERT_TRUE(port->ProgramWords(words.data(), 3));
        port.reset();
        sim.Signal(SIGINT);
        ASSERT_EQ(sim.Wait(), 0);
    }
    ASSERT_TRUE(fs::exists(state));
    std::ifstream trace(dir_ / "trace");
    std::string first;
    std::getline(trace, first);
    EXPECT_EQ(first, "> 06");

    SimProcess sim;
    Serve(sim, {"--chip", "BLANK14", "--state", state, "--line-rate"});
    auto port = Connect();
    ASSERT_TRUE(port->PowerOnVddFirst());
    std::array<std::uint16_t, 3> back{};
    ASSERT_TRUE(port->IcspReadWords(4, back.data(), 3));
    EXPECT_EQ(back, words);
}

TEST_F(RavoniteSim, InjectedFaultsFailTheOperationWithinTheTimeOut) {
    struct Case {
        const char* fault;
        bool broken;  // the port itself fails, not just the answer
    };
    for (const Case& c : {Case{"noack@2", false}, Case{"badack@2", false}, Case{"silence@2", false},
                          Case{"disconnect@2", true}}) {
        SimProcess sim;
        Serve(sim, {"--chip", "blank14", "--fault", c.fault, "--link",
                    (dir_ / "ports" / "com5").string()});
        auto port = Connect();
        EXPECT_TRUE(port->Ping()) << c.fault;
        const auto start = Clock::now();
        EXPECT_FALSE(port->Ping()) << c.fault;
        // Bounded by the one-second read time-out (generously, for a loaded machine).
        EXPECT_LT(Clock::now() - start, 5s) << c.fault;
        if (!c.broken) {
            // The line still works: a hung firmware just stays silent, the others answer on.
            EXPECT_EQ(port->Ping(), std::string(c.fault) != "silence@2") << c.fault;
        }
        port.reset();
        sim.Signal(SIGTERM);
        EXPECT_EQ(sim.Wait(), 0) << c.fault;
    }
}

TEST_F(RavoniteSim, RefusesBadArgumentsSayingWhy) {
    struct Case {
        std::vector<std::string> args;
        std::string said;  // the first line on standard error
    };
    const std::vector<Case> cases = {
        {{}, "--chip is required (try --help)"},
        {{"--chip"}, "--chip needs a value"},
        {{"--chip", "blank14", "--fault"}, "--fault needs a value"},
        {{"--chip", "PIC99X1"}, "no model for chip PIC99X1"},
        {{"--chip", "blank14", "--fault", "noack@0"}, ""},
        {{"--chip", "blank14", "--com", "0"}, "--com takes a port number from 1 to 255"},
        {{"--com", "x"}, "--com takes a port number from 1 to 255"},
        {{"--chip", "blank14", "--version", "1.2.3"}, "--version takes four bytes, b0.b1.b2.b3"},
        {{"--chip", "blank14", "--bogus"}, "unknown argument --bogus (try --help)"},
        {{"--bogus"}, "unknown argument --bogus (try --help)"},
        {{"--chip", "blank14", "--link", ""}, "--link needs a value"},
    };
    const fs::path err = dir_ / "stderr";
    for (const Case& c : cases) {
        const std::string name = c.args.empty() ? "(none)" : c.args.back();
        SimProcess sim;
        ASSERT_TRUE(sim.Start(c.args, err.string()));
        EXPECT_EQ(sim.Wait(), 2) << name;
        std::ifstream in(err);
        std::string line;
        std::getline(in, line);
        EXPECT_EQ(line.rfind("ravonite-sim: ", 0), 0u) << name << ": " << line;
        if (!c.said.empty()) {
            EXPECT_EQ(line, "ravonite-sim: " + c.said) << name;
        }
    }
    SimProcess help;
    ASSERT_TRUE(help.Start({"--help"}));
    const std::optional<std::string> line = help.ReadLine();
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->rfind("Usage: ravonite-sim", 0), 0u);
    EXPECT_EQ(help.Wait(), 0);
}

TEST_F(RavoniteSim, LeavesSomeoneElsesFileAlone) {
    fs::create_directories(dir_ / "ports");
    std::ofstream(dir_ / "ports" / "com5") << "not a link";
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--chip", "blank14"}));
    EXPECT_EQ(sim.Wait(), 1);
    std::ifstream kept(dir_ / "ports" / "com5");
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "not a link");
}

TEST_F(RavoniteSim, AtTheLineRateAHostThatSkipsThePauseLosesBytes) {
    const fs::path trace = dir_ / "trace";
    const fs::path err = dir_ / "stderr";
    SimProcess sim;
    ASSERT_TRUE(
        sim.Start({"--chip", "PIC16F84A", "--line-rate", "--trace", trace.string()}, err.string()));
    const std::optional<std::string> line = sim.ReadLine();
    ASSERT_TRUE(line.has_value());
    {
        // A whole program's frames in one write: no pause anywhere. The terminal's own delays
        // are allowed for, so not the first byte too soon, but within a few frames.
        std::vector<std::uint8_t> burst = {0x06, 0x0A, 0x08, 0x03, 0x17, 2,    8,
                                           5,    0xFF, 4,    1,    1,    0x18, 64};
        for (int i = 0; i < 64; ++i) {
            burst.insert(burst.end(), {0x05, 0x28});
        }
        const int fd = ::open(line->substr(line->rfind(' ') + 1).c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios t{};
        ASSERT_EQ(tcgetattr(fd, &t), 0);
        cfmakeraw(&t);
        ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
        ASSERT_EQ(::write(fd, burst.data(), burst.size()), static_cast<ssize_t>(burst.size()));
        // A pausing host would get 72 answers: every frame of it, the 64 words included.
        std::size_t answers = 0;
        const auto until = Clock::now() + 1500ms;
        while (Clock::now() < until) {
            pollfd p{fd, POLLIN, 0};
            std::uint8_t in[256];
            if (::poll(&p, 1, 100) > 0) {
                const ssize_t n = ::read(fd, in, sizeof in);
                answers += n > 0 ? static_cast<std::size_t>(n) : 0;
            }
        }
        ::close(fd);
        EXPECT_LT(answers, 72u);
    }
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    std::ifstream in(trace);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(" lost]"), std::string::npos) << text;
    std::ifstream errIn(err);
    std::string errText((std::istreambuf_iterator<char>(errIn)), std::istreambuf_iterator<char>());
    EXPECT_NE(errText.find("byte(s) from the host that arrived less than 0.9 ms after a framed"),
              std::string::npos)
        << errText;
}

}  // namespace
}  // namespace tenlo::sim
