// The real Tenlo binary, started as a user starts it, against ravonite-sim on a pseudo-terminal
// in a private port directory. Nobody can click in a test, so the program's end-to-end hook
// answers the port dialog (through the real dialog) and closes the main window once it is up.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e/process.h"

namespace tenlo::e2e {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class TenloEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tenlo-e2e-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "ports");
        env_ = {"TENLO_PORT_DIR=" + (dir_ / "ports").string(), "QT_QPA_PLATFORM=offscreen"};
    }
    void TearDown() override { fs::remove_all(dir_); }

    struct Run {
        std::optional<int> code;
        std::string out;
        std::string err;
    };
    Run Tenlo(std::vector<std::string> args, const std::string& answer) {
        args.insert(args.begin(), TENLO_PATH);
        std::vector<std::string> env = env_;
        env.push_back("TENLO_TEST_PORT_ANSWER=" + answer);
        Process tenlo;
        Run r;
        EXPECT_TRUE(tenlo.Start(args, env, (dir_ / "out").string(), (dir_ / "err").string()));
        r.code = tenlo.Wait(60000ms);
        r.out = Slurp(dir_ / "out");
        r.err = Slurp(dir_ / "err");
        return r;
    }

    fs::path dir_;
    std::vector<std::string> env_;
};

TEST_F(TenloEndToEnd, FindsTheProgrammerOnCom5AndReachesTheMainWindow) {
    Process sim;
    const fs::path trace = dir_ / "sim-trace";
    ASSERT_TRUE(sim.Start(
        {RAVONITE_SIM_PATH, "--chip", "PIC16F84A", "--com", "5", "--trace", trace.string()}, env_));
    const std::optional<std::string> ready = sim.ReadLine();
    ASSERT_TRUE(ready.has_value()) << "ravonite-sim did not say ready";

    const Run r = Tenlo({}, "5");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "main window: 無題 - Tenlo\n") << r.err;
    // The programmer saw the start-up's ping, and nothing else: no window talks to it yet.
    EXPECT_EQ(Slurp(trace), "> 00\n< A5\n");

    // The port was given back at the end: a second start finds the programmer again.
    EXPECT_EQ(Tenlo({}, "5").code, 0);
}

TEST_F(TenloEndToEnd, TheBuiltInVirtualProgrammerNeedsNoPort) {
    const Run r = Tenlo({"--simulate=PIC16F877A"}, "5");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "main window: 無題 - Tenlo\n");

    const Run cancelled = Tenlo({"--simulate"}, "cancel");
    EXPECT_EQ(cancelled.code, 0) << cancelled.err;
    EXPECT_EQ(cancelled.out, "") << "no window when the port dialog is cancelled";

    const Run unknown = Tenlo({"--simulate=PIC99X1"}, "5");
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.err.find("no model of \"PIC99X1\""), std::string::npos) << unknown.err;
    EXPECT_EQ(unknown.out, "");
}

}  // namespace
}  // namespace tenlo::e2e
