// The real Tenlo binary, started as a user starts it, against ravonite-sim on a pseudo-terminal
// in a private port directory. Nobody can click in a test, so the program's end-to-end hook
// answers the port dialog (through the real dialog) and closes the main window once it is up.

#include "e2e/sim_fixture.h"

namespace tenlo::e2e {
namespace {

class TenloEndToEnd : public SimEndToEnd {
  protected:
    // Tenlo with the port dialog answered by answer ("5", "cancel").
    Result Tenlo(std::vector<std::string> args, const std::string& answer) {
        args.insert(args.begin(), TENLO_PATH);
        const std::vector<std::string> saved = env_;
        env_.push_back("QT_QPA_PLATFORM=offscreen");
        env_.push_back("TENLO_TEST_PORT_ANSWER=" + answer);
        Result r = Run(args, 60000ms);
        env_ = saved;
        return r;
    }
};

TEST_F(TenloEndToEnd, FindsTheProgrammerOnCom5AndReachesTheMainWindow) {
    Process sim;
    StartSim(sim);
    const Result r = Tenlo({}, "5");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "main window: 無題 - Tenlo\n") << r.err;
    // The programmer saw the start-up's ping, and nothing else: no window talks to it yet.
    EXPECT_EQ(Slurp(Trace()), "> 00\n< A5\n");

    // The port was given back at the end: a second start finds the programmer again.
    EXPECT_EQ(Tenlo({}, "5").code, 0);
}

TEST_F(TenloEndToEnd, TheBuiltInVirtualProgrammerNeedsNoPort) {
    const Result r = Tenlo({"--simulate=PIC16F877A"}, "5");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "main window: 無題 - Tenlo\n");

    const Result cancelled = Tenlo({"--simulate"}, "cancel");
    EXPECT_EQ(cancelled.code, 0) << cancelled.err;
    EXPECT_EQ(cancelled.out, "") << "no window when the port dialog is cancelled";

    const Result unknown = Tenlo({"--simulate=PIC99X1"}, "5");
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.err.find("no model of \"PIC99X1\""), std::string::npos) << unknown.err;
    EXPECT_EQ(unknown.out, "");
}

}  // namespace
}  // namespace tenlo::e2e
