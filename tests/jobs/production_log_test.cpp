// The production log as a spreadsheet or a script reads it back: one row per chip, the header
// once, every row whole however many ports append at once.

#include "jobs/production_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace tenlo::jobs {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

LogRow Row(const std::string& port, std::uint64_t serial) {
    LogRow row;
    row.time = std::chrono::system_clock::now();
    row.port = port;
    row.chip = "PIC16F877A";
    row.deviceId = 0x0E20;
    row.revision = 3;
    row.file = "blink.hex";
    row.checksum = 0x1A2B;
    row.serial = serial;
    row.seconds = 12.345;
    return row;
}

TEST(ProductionLog, ARowReadsBackFieldByFieldWhateverItsTextsHold) {
    LogRow row = Row("/dev/serial/by-id/usb-FTDI,port0", 1001);
    row.file = "say \"hi\".hex";
    row.result = ChipResult::Failed;
    row.cause = "writing program memory failed at 0x0010: no answer\non COM5";
    const std::string line = FormatLogRow(row);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "a row is one line";

    const auto fields = SplitCsvLine(line.substr(0, line.size() - 1));
    ASSERT_TRUE(fields);
    ASSERT_EQ(fields->size(), 11u);
    EXPECT_TRUE(std::regex_match((*fields)[0],
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
        << (*fields)[0];
    EXPECT_EQ((*fields)[1], "/dev/serial/by-id/usb-FTDI,port0");
    EXPECT_EQ((*fields)[2], "PIC16F877A");
    EXPECT_EQ((*fields)[3], "0x0E20");
    EXPECT_EQ((*fields)[4], "3");
    EXPECT_EQ((*fields)[5], "say \"hi\".hex");
    EXPECT_EQ((*fields)[6], "0x1A2B");
    EXPECT_EQ((*fields)[7], "1001");
    EXPECT_EQ((*fields)[8], "failed");
    EXPECT_EQ((*fields)[9], "writing program memory failed at 0x0010: no answer on COM5");
    EXPECT_EQ((*fields)[10], "12.35");

    // What a chip that was never reached does not have stays empty.
    LogRow bare;
    bare.port = "COM6";
    bare.result = ChipResult::Interrupted;
    const auto empty = SplitCsvLine(FormatLogRow(bare).substr(0, FormatLogRow(bare).size() - 1));
    ASSERT_TRUE(empty);
    EXPECT_EQ((*empty)[3], "");
    EXPECT_EQ((*empty)[7], "");
    EXPECT_EQ((*empty)[8], "interrupted");
}

TEST(ProductionLog, PortsAppendingAtOnceLeaveTheHeaderOnceAndEveryRowWhole) {
    const std::string path =
        (fs::temp_directory_path() / ("tenlo-log-" + std::to_string(::getpid()) + ".csv")).string();
    fs::remove(path);
    std::vector<std::thread> ports;
    for (int port = 0; port < 8; ++port) {
        ports.emplace_back([&, port] {
            for (int chip = 0; chip < 20; ++chip) {
                int error = 0;
                LogRow row = Row("COM" + std::to_string(port + 1), port * 100 + chip);
                row.cause = std::string(3000, 'x');  // rows longer than a pipe's atomic write
                ASSERT_TRUE(AppendLogRow(path, row, error)) << error;
            }
        });
    }
    for (std::thread& t : ports) {
        t.join();
    }
    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 161u);
    EXPECT_EQ(lines[0] + "\n", LogHeader());
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto fields = SplitCsvLine(lines[i]);
        ASSERT_TRUE(fields && fields->size() == 11) << lines[i].substr(0, 80);
        EXPECT_EQ((*fields)[9].size(), 3000u);
    }
    EXPECT_TRUE(LogShowsSerialOk(path, 719));
    EXPECT_FALSE(LogShowsSerialOk(path, 720));
    fs::remove(path);
}

}  // namespace
}  // namespace tenlo::jobs
