// The real Tenlo binary, started as a user starts it, against ravonite-sim on a pseudo-terminal
// in a private port directory. Nobody can click in a test, so the program's end-to-end hook
// answers the port dialog (through the real dialog) and closes the main window once it is up.

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "e2e/chip84a_image.h"
#include "e2e/sim_fixture.h"
#include "hexfile/hex_test_util.h"

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

    // The simulator's own test chip is there too, as ravonite-sim --chip blank14 has it.
    EXPECT_EQ(Tenlo({"--simulate=blank14"}, "5").code, 0);

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
              "main window: 無題 - Tenlo\nbox: error: Hexファイルの読み込みに失敗しました。\\n"
              "notes.hex の 1 行目：レコードではありません（行が「:」で始まっていません）。\n");
    EXPECT_EQ(Slurp(Trace()), "> 00\n< A5\n") << "nothing but the start-up's ping";
}

// The boxes a script's commands showed, in order, without the main window's line.
std::vector<std::string> Boxes(const std::string& out) {
    std::vector<std::string> boxes;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("box: ", 0) == 0) {
            boxes.push_back(line.substr(5));
        }
    }
    return boxes;
}

TEST_F(TenloEndToEnd, AnEmptySocketEndsEveryCommandAtOnceNamingItAndTheGridsStay) {
    Process sim;
    StartSim(sim, "PIC16F877A", {"--fault", "nochip"});
    const std::string before = File("before.hex");
    const std::string after = File("after.hex");
    const Result r = Tenlo({}, "5",
                           "select PIC16F877A\nsave-program " + before +
                               "\nread\nerase\nwrite\ncompare\nsave-program " + after + "\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string empty =
        "\\nソケットにチップが見つかりません（デバイスID 0000H）。チップの向きと差し込みを確認"
        "してください。";
    EXPECT_EQ(Boxes(r.out), (std::vector<std::string>{
                                "exclamation: 読み出し失敗" + empty,
                                "exclamation: イレース失敗" + empty,
                                // A blank 16F877A configuration has LVP on: asked first.
                                "question: 書き込むコンフィグレーションに次の設定があります。"
                                "\\n\\n警告：低電圧プログラミングが有効です（LVP = ON）。PGM "
                                "ピンを Low にしておかないと、プログラムが動かずにプログラミング"
                                "モードに入ることがあります。\\n注意：ウォッチドッグタイマーが"
                                "有効です（WDTE = ON）。プログラムが時間内にクリアしないと、チップ"
                                "がリセットされます。\\n\\nこのまま書き込みますか？",
                                "exclamation: 書き込み結果\\nプログラムメモリー : 失敗" + empty,
                                "error: プログラムメモリーをコンペアできませんでした。" + empty,
                            }))
        << r.out;
    EXPECT_EQ(Slurp(after), Slurp(before)) << "no command changed the grids";
    // Four ID reads and nothing else: no program words went over (the write alone took 4 s).
    EXPECT_EQ(Slurp(Trace()).find("> 18"), std::string::npos);
    EXPECT_LT(r.took, 10000ms) << "the start-up and four commands; 0.85 s here";
}

TEST_F(TenloEndToEnd, APic12F629WrittenWithItsCalibrationKeptComparesEqual) {
    Process sim;
    StartSim(sim, "PIC12F629");
    std::ofstream(File("p629.hex")) << ":020000000528D1\n:00000001FF\n";
    const Result r =
        Tenlo({}, "5", "select PIC12F629\nopen-program " + File("p629.hex") + "\nwrite\ncompare\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> boxes = Boxes(r.out);
    ASSERT_EQ(boxes.size(), 2u) << r.out;
    EXPECT_EQ(boxes[0].rfind("information: 書き込み結果", 0), 0u) << boxes[0];
    EXPECT_EQ(boxes[1], "information: コンペア結果：一致");
}

TEST_F(TenloEndToEnd, SettingsChosenInTheConfigurationDialogAreWhatTheChipHoldsAfterWrite) {
    Process sim;
    StartSim(sim, "PIC16F877A");
    // HS, power-up timer and brown-out reset on, LVP off.
    std::ofstream(File("p877a.hex")) << ":020000000528D1\n:02400E00723FFF\n:00000001FF\n";
    const std::string saved = File("back.hex");
    const Result r =
        Tenlo({}, "5",
              "select PIC16F877A\nopen-program " + File("p877a.hex") +
                  "\nconfig FOSC=XT,PWRTE=OFF,LVP=ON\nwrite\nread\nsave-program " + saved + "\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> boxes = Boxes(r.out);
    ASSERT_EQ(boxes.size(), 2u) << r.out;
    // LVP on is a trap: asked about first (the hook answers はい).
    EXPECT_EQ(boxes[0].rfind("question: 書き込むコンフィグレーションに次の設定があります。\\n\\n"
                             "警告：低電圧プログラミングが有効です（LVP = ON）",
                             0),
              0u)
        << boxes[0];
    EXPECT_EQ(boxes[1].rfind("information: 書き込み結果", 0), 0u) << boxes[1];
    // The device ID at 0x2006, then 0x3FF9 at 0x2007: XT, power-up timer off, LVP on.
    const std::string back = Slurp(saved);
    const std::size_t line = back.find(":04400C00");
    ASSERT_NE(line, std::string::npos) << back;
    EXPECT_EQ(back.substr(line + 13, 4), "F93F") << back;
}

// What a write of a PIC18 file that leaves CONFIG2H and CONFIG4L blank asks first.
const std::string kBlankPic18ConfigQuestion =
    "question: 書き込むコンフィグレーションに次の設定があります。\\n\\n"
    "警告：低電圧プログラミングが有効です（LVP = ON）。PGM ピンを Low にしておかないと、"
    "プログラムが動かずにプログラミングモードに入ることがあります。\\n"
    "注意：ウォッチドッグタイマーが有効です（WDT = ON）。プログラムが時間内にクリアしないと、"
    "チップがリセットされます。\\n\\nこのまま書き込みますか？";

TEST_F(TenloEndToEnd, APic18CellThatWillNotProgramFailsTheWriteNamedByItsByteAddress) {
    Process sim;
    StartSim(sim, "PIC18F452", {"--fault", "stuck:program:8"});
    // Word 8 is bytes 0x10 and 0x11 of the file.
    std::ofstream(File("p452.hex")) << ":020010003412A8\n:00000001FF\n";
    const Result r =
        Tenlo({}, "5", "select PIC18F452\nopen-program " + File("p452.hex") + "\nwrite\n");
    ASSERT_EQ(r.code, 0) << r.err;
    // A blank PIC18 configuration has LVP on: asked about first (the hook answers はい).
    EXPECT_EQ(Boxes(r.out), (std::vector<std::string>{
                                kBlankPic18ConfigQuestion,
                                "exclamation: 書き込み結果\\nプログラムメモリー : 失敗\\n"
                                "プログラムメモリーのアドレス 0010H のセルに書き込めませんでした"
                                "（読み出し FFFFH、書き込みデータ 1234H）。",
                            }))
        << r.out;
}

TEST_F(TenloEndToEnd, AProgrammerThatVanishesDuringAWriteIsNamedByItsPort) {
    Process sim;
    StartSim(sim, "PIC16F84A", {"--fault", "disconnect@200"});
    const Result r = Tenlo({}, "5", "open-program " EXAMPLE_HEX "\nwrite\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> boxes = Boxes(r.out);
    ASSERT_EQ(boxes.size(), 1u) << r.out;
    EXPECT_EQ(boxes[0].rfind("exclamation: 書き込み結果\\nプログラムメモリー : 失敗\\nCOM5 の", 0),
              0u)
        << boxes[0];
    EXPECT_TRUE(Has(boxes[0], "ほかのプログラムが COM5 を使っていないか")) << boxes[0];
}

TEST_F(TenloEndToEnd, AnotherChipInTheSocketIsAskedAboutByBothNames) {
    Process sim;
    StartSim(sim, "PIC16F877A");
    const Result r = Tenlo({}, "5", "erase\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> boxes = Boxes(r.out);
    ASSERT_FALSE(boxes.empty()) << r.out;
    EXPECT_EQ(boxes[0].rfind("question: ソケットのチップは PIC16F877A（デバイスID 0E2", 0), 0u)
        << boxes[0];
    EXPECT_TRUE(Has(boxes[0], "H）です。選択中の PIC16F84A として続けますか？")) << boxes[0];
}

// A program as XC8 writes it for a PIC18: the ID locations blank, configuration at 0x300000,
// EEPROM at 0xF00000. And as XC16 writes one for a dsPIC30F: every address doubled, each
// configuration register in the low half of a 4-byte slot from 0x1F00000.
using hextest::Lines;
using hextest::Rec;
const std::string kPic18File =
    Lines({Rec(4, 0, {0x00, 0x00}), Rec(0, 0x0000, {0x10, 0xEF, 0x00, 0xF0}),
           Rec(0, 0x0020, {0x5A, 0x0E, 0x81, 0x6E}), Rec(4, 0, {0x00, 0x20}),
           Rec(0, 0x0000, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
           Rec(4, 0, {0x00, 0x30}), Rec(0, 0x0001, {0x22, 0x0E}), Rec(4, 0, {0x00, 0xF0}),
           Rec(0, 0x0000, {0x01, 0x02, 0x03}), hextest::kEnd});
const std::string kDsPic30File = Lines(
    {Rec(4, 0, {0x00, 0x00}), Rec(0, 0x0000, {0x00, 0x01, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}),
     Rec(0, 0x0200, {0x00, 0x40, 0xDA, 0x00, 0x00, 0x00, 0xFE, 0x00}), Rec(4, 0, {0x01, 0xF0}),
     Rec(0, 0x0000, {0x01, 0xC3, 0x00, 0x00, 0x3F, 0x80, 0x00, 0x00}), hextest::kEnd});

TEST_F(TenloEndToEnd, Pic18AndDsPic30FilesAreWrittenComparedSavedAndTheSavedFileVerifies) {
    for (const auto& [chip, text] :
         {std::pair{"PIC18F1220", kPic18File}, std::pair{"dsPIC30F2011", kDsPic30File}}) {
        SCOPED_TRACE(chip);
        Process sim;
        StartSim(sim, chip);
        const std::string file = File(std::string(chip) + ".hex");
        std::ofstream(file) << text;
        const std::string saved = File(std::string(chip) + "-saved.hex");
        const Result r = Tenlo({}, "5",
                               "select " + std::string(chip) + "\nopen-program " + file +
                                   "\nwrite\ncompare\nsave-program " + saved + "\ntitle\n");
        ASSERT_EQ(r.code, 0) << r.err;
        std::vector<std::string> boxes = Boxes(r.out);
        // The PIC18 file leaves LVP at its blank "on": asked about before the write.
        if (std::string_view(chip) == "PIC18F1220") {
            ASSERT_FALSE(boxes.empty()) << r.out;
            EXPECT_EQ(boxes.front(), kBlankPic18ConfigQuestion);
            boxes.erase(boxes.begin());
        }
        ASSERT_EQ(boxes.size(), 2u) << r.out;
        EXPECT_EQ(boxes[0].rfind("information: 書き込み結果\\nプログラムメモリー : 完了", 0), 0u)
            << boxes[0];
        EXPECT_EQ(boxes[1], "information: コンペア結果：一致");
        EXPECT_TRUE(Has(r.out, "title: " + std::string(chip) + "-saved.hex - Tenlo")) << r.out;

        // The file Tenlo saved is one the command line reads the same way.
        const Result verify = Cli({"--port", "COM5", "--device", chip, "verify", saved});
        EXPECT_EQ(verify.code, 0) << verify.out << verify.err;
        EXPECT_TRUE(Has(verify.out, "configuration memory matches")) << verify.out;
    }
}

// Files real toolchains made cannot ship with the project: TENLO_REAL_HEX names a folder of
// them, one folder per chip (PIC18F452/x.hex), and each is taken through Tenlo as a user would.
TEST_F(TenloEndToEnd, ToolchainFilesOfEveryFamilyAreWrittenComparedAndSavedForTheCli) {
    const char* corpus = std::getenv("TENLO_REAL_HEX");
    if (corpus == nullptr) {
        GTEST_SKIP() << "TENLO_REAL_HEX names no folder of toolchain files";
    }
    int files = 0;
    for (const char* chip : {"PIC18F452", "PIC18F4550", "dsPIC30F4013"}) {
        const std::filesystem::path folder = std::filesystem::path(corpus) / chip;
        if (!std::filesystem::is_directory(folder)) {
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().extension() != ".hex") {
                continue;
            }
            SCOPED_TRACE(entry.path().string());
            ++files;
            Process sim;
            StartSim(sim, chip);
            const std::string saved = File(entry.path().stem().string() + "-saved.hex");
            const Result r =
                Tenlo({}, "5",
                      "select " + std::string(chip) + "\nopen-program " + entry.path().string() +
                          "\nwrite\ncompare\nsave-program " + saved + "\ntitle\n");
            ASSERT_EQ(r.code, 0) << r.err;
            const std::vector<std::string> boxes = Boxes(r.out);
            ASSERT_EQ(boxes.size(), 2u) << r.out;
            EXPECT_EQ(boxes[0].rfind("information: 書き込み結果", 0), 0u) << boxes[0];
            EXPECT_FALSE(Has(boxes[0], "失敗")) << boxes[0];
            EXPECT_EQ(boxes[1], "information: コンペア結果：一致");
            EXPECT_TRUE(Has(r.out, "title: " + entry.path().stem().string() + "-saved.hex - Tenlo"))
                << r.out;
            // The file saved is what the chip now holds, read the command line's way.
            const Result verify = Cli({"--port", "COM5", "--device", chip, "verify", saved});
            EXPECT_EQ(verify.code, 0) << verify.out << verify.err;
        }
    }
    EXPECT_GT(files, 0) << "no toolchain file of these chips under " << corpus;
}

TEST_F(TenloEndToEnd, StopInTheProgressDialogEndsTheWriteWithThePowerDown) {
    Process sim;
    StartSim(sim, "PIC16F84A", {"--line-rate"});
    const Result r = Tenlo({}, "5", "open-program " EXAMPLE_HEX "\nwrite-stop 20\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "pressed 中止 at ")) << r.out;
    EXPECT_EQ(Boxes(r.out),
              std::vector<std::string>{
                  "exclamation: 書き込み結果\\nプログラムメモリー : 失敗\\n中止しました。"
                  "プログラムメモリーは一部だけ書き込まれている可能性があります。"})
        << r.out;
    // The last commands the programmer heard switched the socket off.
    std::vector<std::string> sent;
    std::istringstream trace(Slurp(Trace()));
    for (std::string line; std::getline(trace, line);) {
        if (line.rfind("> ", 0) == 0) {
            sent.push_back(line.substr(2));
        }
    }
    ASSERT_GE(sent.size(), 2u);
    EXPECT_TRUE(sent.back() == "04" || sent.back() == "06") << sent.back();
    EXPECT_LT(r.took, 60000ms) << "stopped, not written to the end";
}

TEST_F(TenloEndToEnd, AFileWithoutItsEndRecordIsAskedAbout) {
    Process sim;
    StartSim(sim);
    std::ofstream(File("cut.hex")) << ":020000000528D1\n";
    const Result r = Tenlo({}, "5", "open-program " + File("cut.hex") + "\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Boxes(r.out),
              std::vector<std::string>{"question: cut.hex には終了レコードがありません。ファイルが"
                                       "途中で切れている可能性があります。読み込みますか？"});
}

// A PIC12F629 erase cut short between its bulk erase and the calibration's put-back: Tenlo
// names the values lost and where to put them back, and puts them back from the journal.
TEST_F(TenloEndToEnd, ACalibrationLostToAnEraseCutShortIsPutBackFromTheJournal) {
    env_.push_back("XDG_STATE_HOME=" + File("state"));
    const std::string state = File("629.hex");
    const auto stop = [](Process& sim) {
        sim.Kill(SIGINT);  // the simulator keeps the chip's state only when asked to stop
        ASSERT_TRUE(sim.Wait(5000ms).has_value());
    };
    {
        // A chip with a calibration of its own (not the simulator's 3480H, band-gap 3).
        Process sim;
        StartSim(sim, "PIC12F629", {"--state", state});
        ASSERT_EQ(Cli({"--device", "PIC12F629", "--no-keep-calibration", "erase"}).code, 0);
        ASSERT_EQ(
            Cli({"--device", "PIC12F629", "calibration", "--set", "0x3454", "--bandgap", "1"}).code,
            0);
        stop(sim);
    }
    std::size_t frames = 0;
    {
        std::filesystem::remove(Trace());  // the frames of this erase alone are counted
        Process sim;
        StartSim(sim, "PIC12F629", {"--state", state});
        const Result r = Tenlo({}, "5", "select PIC12F629\nerase\n");
        ASSERT_EQ(Boxes(r.out), std::vector<std::string>{"information: イレース完了"}) << r.out;
        std::istringstream trace(Slurp(Trace()));
        for (std::string line; std::getline(trace, line);) {
            frames += line.rfind("< A5", 0) == 0 || line.rfind("< 5A", 0) == 0 ? 1 : 0;
        }
        stop(sim);
    }
    {
        // Half way through an erase, the chip is blank and its calibration not yet back.
        Process sim;
        StartSim(sim, "PIC12F629",
                 {"--state", state, "--fault", "badack@" + std::to_string(frames / 2)});
        const Result r = Tenlo({}, "5", "select PIC12F629\nerase\n");
        const std::vector<std::string> boxes = Boxes(r.out);
        ASSERT_EQ(boxes.size(), 1u) << r.out;
        EXPECT_EQ(boxes[0].rfind("exclamation: イレース失敗", 0), 0u) << boxes[0];
        EXPECT_TRUE(Has(boxes[0],
                        "キャリブレーション値（キャリブレーションワード 3454H、バンドギャ"
                        "ップ 1）が失われた可能性があります。「デバイス」メニューの「キャ"
                        "リブレーション値の書き戻し」"))
            << "frame " << frames / 2 << " of " << frames << ": " << boxes[0];
        stop(sim);
    }
    Process sim;
    StartSim(sim, "PIC12F629", {"--state", state});
    ASSERT_EQ(Cli({"--device", "PIC12F629", "calibration"}).code, 1) << "the word was lost";
    const Result r = Tenlo({}, "5",
                           "select PIC12F629\nrestore-calibration\nrestore-calibration 3455\n"
                           "restore-calibration\n");
    const std::vector<std::string> boxes = Boxes(r.out);
    ASSERT_EQ(boxes.size(), 3u) << r.out;
    // Both erases recorded the chip's values; the dialog lists them, the newest first.
    std::istringstream out(r.out);
    std::vector<std::string> entries;
    for (std::string line; std::getline(out, line);) {
        if (line.rfind("calibration entry: ", 0) == 0) {
            entries.push_back(line);
        }
    }
    ASSERT_EQ(entries.size(), 6u) << r.out;
    EXPECT_TRUE(Has(entries[0], "COM5  ワード 3454H  バンドギャップ 1  (デバイスID 0F81H)"))
        << entries[0];
    EXPECT_EQ(boxes[0],
              "information: キャリブレーション値を書き戻しました（キャリブレーションワード 3454H、"
              "バンドギャップ 1）。");
    // A chip holding its calibration keeps it: programming cannot set the bits another needs.
    EXPECT_EQ(boxes[1].rfind("exclamation: キャリブレーション値の書き戻し失敗", 0), 0u) << boxes[1];
    EXPECT_TRUE(Has(boxes[1], "は 3454H で、書き戻す値 3455H ではありません")) << boxes[1];
    // Its own values again: nothing to write, and not said to be written.
    EXPECT_EQ(boxes[2],
              "information: チップはすでにこのキャリブレーション値（キャリブレーションワード "
              "3454H、バンドギャップ 1）を持っています。何も書き込みませんでした。");

    const Result cli = Cli({"--device", "PIC12F629", "calibration"});
    EXPECT_EQ(cli.code, 0) << cli.err;
    EXPECT_EQ(cli.out, "calibration word 0x3454 at 0x03FF, band-gap 1\n");
}

}  // namespace
}  // namespace tenlo::e2e
