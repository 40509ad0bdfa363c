// tenlo-cli finding ports as a user would see them: the simulator's pseudo-terminal linked as
// COM7, and a port another user owns.

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "e2e/sim_fixture.h"
#include "link/pty_test_util.h"

namespace tenlo::e2e {
namespace {

class PortsEndToEnd : public SimEndToEnd {
  protected:
    void SetUp() override {
        SimEndToEnd::SetUp();
        // The user's own port folder is the test's too: nothing of the machine's leaks in.
        env_.push_back("XDG_CONFIG_HOME=" + File("config"));
        env_.push_back("HOME=" + dir_.string());
    }
};

TEST_F(PortsEndToEnd, TheSimulatorLinkedAsCom7IsListedAndAnswers) {
    Process sim;
    ASSERT_TRUE(sim.Start({RAVONITE_SIM_PATH, "--chip", "PIC16F84A", "--com", "7"}, env_));
    const std::optional<std::string> ready = sim.ReadLine();
    ASSERT_TRUE(ready.has_value() && ready->rfind("ready /dev/", 0) == 0);
    const std::string pty = ready->substr(6, ready->find(' ', 6) - 6);

    Result r = Cli({"ports"});
    ASSERT_EQ(r.code, 0) << r.err;
    // The line of COM7: its name, the pty, no by-id name, what it is, and that we may open it.
    const std::size_t line = r.out.find("COM7 ");
    ASSERT_NE(line, std::string::npos) << r.out;
    const std::string com7 = r.out.substr(line, r.out.find('\n', line) - line);
    EXPECT_TRUE(Has(com7, " " + pty + " ")) << com7;
    EXPECT_TRUE(Has(com7, " - ")) << com7;
    EXPECT_TRUE(Has(com7, "pseudo-terminal")) << com7;
    EXPECT_TRUE(Has(com7, "may open")) << com7;

    r = Cli({"ports", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, R"({"com":["COM7"],"device":")" + pty + R"(","byId":null,"kind":"pty")"))
        << r.out;

    r = Cli({"--port", "COM7", "ping"});
    EXPECT_EQ(r.code, 0) << r.err;
}

TEST_F(PortsEndToEnd, AUserOutsideTheDevicesGroupIsToldHowToGetIn) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root: it makes a device another user may not open, then runs "
                        "tenlo-cli as nobody";
    }
    const group* dialout = ::getgrnam("dialout");
    if (dialout == nullptr || ::access("/usr/bin/setpriv", X_OK) != 0) {
        GTEST_SKIP() << "needs the dialout group and setpriv";
    }
    // A pseudo-terminal owned by root and the dialout group, as udev makes a USB adapter.
    test::Pty device;
    const std::string node = device.SlavePath();
    ASSERT_EQ(::chown(node.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(node.c_str(), 0660), 0);
    std::filesystem::create_symlink(node, dir_ / "ports" / "com7");

    const std::vector<std::string> asNobody{"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup",
                                            "--clear-groups", TENLO_CLI_PATH};
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), asNobody.begin(), asNobody.end());
        return Run(args, 30000ms);
    };
    const std::string advice = "permission denied on " + node +
                               ": add yourself to the group that owns it (dialout): sudo "
                               "usermod -aG dialout $USER, then log in again";

    Result r = run({"--port", "COM7", "ping"});
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_EQ(r.err.rfind("tenlo-cli: " + advice, 0), 0u) << r.err;
    r = run({"--port", node, "version"});
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_TRUE(Has(r.err, advice)) << r.err;

    r = run({"ports"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "permission denied (group dialout)")) << r.out;
    EXPECT_TRUE(Has(r.out, "note: " + advice)) << r.out;
}

}  // namespace
}  // namespace tenlo::e2e
