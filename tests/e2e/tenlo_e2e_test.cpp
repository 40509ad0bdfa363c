// The real Tenlo binary, started as a user starts it, against ravonite-sim on a pseudo-terminal
// in a private port directory. Nobody can click in a test, so the program's end-to-end hook
// answers the port dialog (through the real dialog) and closes the main window once it is up.

#include <fstream>

#include "e2e/chip84a_image.h"
#include "e2e/sim_fixture.h"

namespace tenlo::e2e {
namespace {

class TenloEndToEnd : public SimEndToEnd {
  protected:
    // Tenlo with the port dialog answered by answer ("5", "cancel"), and the lines of script
    // chosen in the main window as a user would.
    Result Tenlo(std::vector<std::string> args, const std::string& answer,
                 const std::string& script = {}) {
        args.insert(args.begin(), TENLO_PATH);
        const std::vector<std::string> saved = env_;
        env_.push_back("QT_QPA_PLATFORM=offscreen");
        env_.push_back("TENLO_TEST_PORT_ANSWER=" + answer);
        if (!script.empty()) {
            std::ofstream(File("script")) << script;
            env_.push_back("TENLO_TEST_SCRIPT=" + File("script"));
        }
        Result r = Run(args, 120000ms);
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

TEST_F(TenloEndToEnd, OpensTheExampleWritesComparesReadsAndSavesItBack) {
    Process sim;
    StartSim(sim);
    const std::string program = File("saved.hex");
    const std::string data = File("saved-data.hex");
    const Result r = Tenlo({}, "5",
                           "open-program " EXAMPLE_HEX
                           "\nwrite\ncompare\nread\n"
                           "save-program " +
                               program + "\nsave-data " + data + "\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "main window: 無題 - Tenlo\n"
              "box: information: 書き込み結果\\nプログラムメモリー : 完了\\n"
              "データメモリー : 完了\\nコンフィグレーションメモリー : 完了\n"
              "box: information: コンペア結果：一致\n")
        << r.err;

    // What was read back and saved is the example, cell by cell; the configuration memory
    // has gained the chip's own device ID word, which no file carries.
    Chip84A example;
    Chip84A saved;
    ASSERT_TRUE(example.Load(EXAMPLE_HEX));
    ASSERT_TRUE(saved.LoadPair(program, data)) << Slurp(program);
    EXPECT_EQ(saved.program, example.program);
    EXPECT_EQ(saved.data, example.data);
    for (std::size_t i = 0; i < 8; ++i) {
        if (i == 6) {
            EXPECT_EQ(saved.Config(i) & 0x3FE0, 0x0560);
        } else {
            EXPECT_EQ(saved.Config(i), example.Config(i)) << i;
        }
    }
    EXPECT_EQ(example.Config(7), 0x3FF1);
    EXPECT_EQ(std::to_integer<char>(example.data[0]), 'T') << "the example has its EEPROM";
}

TEST_F(TenloEndToEnd, AFileThatIsNoHexIsRefusedAndTheChipIsLeftAlone) {
    Process sim;
    StartSim(sim);
    std::ofstream(File("notes.hex")) << "these are notes\n";
    const Result r = Tenlo({}, "5", "open-program " + File("notes.hex") + "\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "main window: 無題 - Tenlo\nbox: error: Hexファイルの読み込みに失敗しました。\n");
    EXPECT_EQ(Slurp(Trace()), "> 00\n< A5\n") << "nothing but the start-up's ping";
}

}  // namespace
}  // namespace tenlo::e2e
