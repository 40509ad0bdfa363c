#include "hexfile/hex_file_reader.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "hexfile/hex_test_util.h"

namespace tenlo {
namespace {

using hextest::kEnd;
using hextest::Lines;
using hextest::Rec;
using Stored = std::vector<std::pair<uint32_t, uint8_t>>;

// Records what the grammar hands over, and whether the load was committed.
class RecordingReader : public CHexFileReader {
  public:
    Stored stored;
    bool committed = false;
    uint32_t limit = 0xFFFFFFFFu;

  protected:
    bool BeginLoad() override {
        stored.clear();
        committed = false;
        return true;
    }
    bool StoreByte(uint8_t byte, uint32_t address) override {
        if (address > limit) {
            return false;
        }
        stored.emplace_back(address, byte);
        return true;
    }
    void CommitLoad() override { committed = true; }
};

Stored LoadOk(const std::string& text) {
    RecordingReader r;
    EXPECT_TRUE(r.LoadText(text)) << text;
    EXPECT_TRUE(r.committed);
    return r.stored;
}

bool Loads(const std::string& text) {
    RecordingReader r;
    const bool ok = r.LoadText(text);
    EXPECT_EQ(ok, r.committed);
    return ok;
}

TEST(HexGrammar, EmptyInputAndMissingEndRecordSucceedButAreReported) {
    RecordingReader r;
    EXPECT_TRUE(r.LoadText(""));
    EXPECT_TRUE(r.stored.empty());
    EXPECT_FALSE(r.EndRecordSeen());
    EXPECT_TRUE(r.LoadText(Lines({Rec(0, 0x10, {0xAB})})));
    EXPECT_EQ(r.stored, (Stored{{0x10, 0xAB}}));
    EXPECT_FALSE(r.EndRecordSeen());
    // The last line needs no line feed.
    EXPECT_TRUE(r.LoadText(Rec(0, 0x10, {0xAB}) + "\n" + kEnd));
    EXPECT_EQ(r.stored, (Stored{{0x10, 0xAB}}));
    EXPECT_TRUE(r.EndRecordSeen());
    // A later load without one says so again.
    EXPECT_TRUE(r.LoadText(Rec(0, 0x10, {0xAB})));
    EXPECT_FALSE(r.EndRecordSeen());
}

TEST(HexGrammar, LinesAfterTheEndRecordAreNeverRead) {
    const auto stored = LoadOk(Lines({Rec(0, 0, {1}), kEnd, "", "garbage", Rec(0, 1, {2}), ":zz"}));
    EXPECT_EQ(stored, (Stored{{0, 1}}));
}

TEST(HexGrammar, MalformedLinesFail) {
    const std::string end = kEnd + "\n";
    EXPECT_FALSE(Loads("\n" + end)) << "empty line before the end record";
    EXPECT_FALSE(Loads("00000001FF\n")) << "no colon";
    EXPECT_FALSE(Loads(" :00000001FF\n")) << "leading blank";
    EXPECT_FALSE(Loads(":00000001FE\n")) << "end record checksum";
    EXPECT_FALSE(Loads(":0100000100FE\n")) << "end record with a data byte";
    EXPECT_FALSE(Loads(":0200000401\n" + end)) << "ends before the checksum";
    EXPECT_FALSE(Loads(":02000000AB\n" + end)) << "data shorter than its count";
    EXPECT_FALSE(Loads(":0100000G01FE\n" + end)) << "not a hex digit";
    EXPECT_FALSE(Loads(":01000000 1FE\n" + end)) << "blank inside a pair";
    EXPECT_FALSE(Loads(":\n" + end));
    EXPECT_FALSE(Loads(":0\n" + end));
    EXPECT_FALSE(Loads(std::string(":0000000\0FF\n", 12) + end)) << "embedded NUL";
}

TEST(HexGrammar, WhatFollowsTheChecksumIsNotLookedAt) {
    EXPECT_EQ(LoadOk(":0100000012ED;x\n:00000001FF\n"), (Stored{{0, 0x12}}));
    EXPECT_EQ(LoadOk(Lines({Rec(0, 0, {1, 2}) + "00", kEnd})), (Stored{{0, 1}, {1, 2}}));
    EXPECT_EQ(LoadOk(Lines({Rec(0, 0, {1}) + " ; start", ":00000001FF junk"})), (Stored{{0, 1}}));
    // The checksum itself still counts: a record whose count is too small for its text is
    // checked at the wrong place and fails.
    EXPECT_FALSE(Loads(Lines({":0100000012345678", kEnd})));
}

TEST(HexGrammar, RecordTypesAndCounts) {
    EXPECT_FALSE(Loads(Lines({Rec(6, 0, {})}))) << "type 6";
    EXPECT_FALSE(Loads(Lines({Rec(0xFF, 0, {})})));
    EXPECT_FALSE(Loads(Lines({Rec(1, 0, {0})})));
    EXPECT_FALSE(Loads(Lines({Rec(2, 0, {0x10})})));
    EXPECT_FALSE(Loads(Lines({Rec(2, 0, {0x10, 0, 0})})));
    EXPECT_FALSE(Loads(Lines({Rec(4, 0, {0x00, 0x30, 0})})));
    EXPECT_FALSE(Loads(Lines({Rec(3, 0, {1, 2})})));
    EXPECT_FALSE(Loads(Lines({Rec(5, 0, {1, 2, 3, 4, 5})})));
    // The end record's address field is not looked at.
    EXPECT_TRUE(Loads(Lines({Rec(1, 0x1234, {})})));
}

TEST(HexGrammar, ChecksumIsTestedOnEveryRecord) {
    EXPECT_TRUE(LoadOk(Lines({":0000000000", kEnd})).empty()) << "count 0 stores nothing";
    EXPECT_FALSE(Loads(Lines({":0000000001", kEnd})));
    EXPECT_FALSE(Loads(Lines({":0100000012EE", kEnd})));
    EXPECT_TRUE(Loads(Lines({":0100000012ED", kEnd})));
    EXPECT_FALSE(Loads(Lines({":020000040030CB", kEnd})));
}

TEST(HexGrammar, BadRecordStoresNothing) {
    // A record is checked whole before any of its bytes reach the target.
    RecordingReader r;
    EXPECT_FALSE(r.LoadText(Lines({":0200000012340000", kEnd})));
    EXPECT_TRUE(r.stored.empty());
    EXPECT_FALSE(r.committed);
}

TEST(HexGrammar, RejectedAddressFailsWithoutCommit) {
    RecordingReader r;
    r.limit = 0x0F;
    EXPECT_FALSE(r.LoadText(Lines({Rec(0, 0x0E, {1, 2, 3}), kEnd})));
    EXPECT_FALSE(r.committed);
    EXPECT_TRUE(r.LoadText(Lines({Rec(0, 0x0E, {1, 2}), kEnd})));
    EXPECT_TRUE(r.committed);
}

TEST(HexGrammar, AddressRecordsSetTheBase) {
    EXPECT_EQ(LoadOk(Lines({":020000021000EC", Rec(0, 0x0002, {7}), kEnd})),
              (Stored{{0x10002, 7}}));
    EXPECT_EQ(LoadOk(Lines({":020000040030CA", Rec(0, 0x0001, {7}), kEnd})),
              (Stored{{0x300001, 7}}));
    // The address field of an address record adds to the base.
    EXPECT_EQ(LoadOk(Lines({Rec(4, 0x0010, {0x00, 0x01}), Rec(0, 0, {7})})),
              (Stored{{0x10010, 7}}));
    EXPECT_EQ(LoadOk(Lines({Rec(2, 0x0003, {0x00, 0x10}), Rec(0, 0, {7})})), (Stored{{0x103, 7}}));
    // The base holds until the next address record, which replaces it.
    EXPECT_EQ(LoadOk(Lines({Rec(4, 0, {0x00, 0x30}), Rec(0, 0, {1}), Rec(0, 8, {2}),
                            Rec(2, 0, {0x10, 0x00}), Rec(0, 0, {3})})),
              (Stored{{0x300000, 1}, {0x300008, 2}, {0x10000, 3}}));
}

TEST(HexGrammar, StartAddressRecordsLeaveTheBaseAlone) {
    const auto stored = LoadOk(Lines({Rec(4, 0, {0x00, 0x30}), Rec(5, 0, {0x12, 0x34, 0x56, 0x78}),
                                      Rec(3, 0, {0xAB, 0xCD, 0x00, 0x10}), Rec(0, 4, {9}), kEnd}));
    EXPECT_EQ(stored, (Stored{{0x300004, 9}}));
}

TEST(HexGrammar, AddressesDoNotWrapAt64K) {
    EXPECT_EQ(LoadOk(Lines({Rec(0, 0xFFFF, {1, 2})})), (Stored{{0xFFFF, 1}, {0x10000, 2}}));
    EXPECT_EQ(LoadOk(Lines({Rec(2, 0, {0xF0, 0x00}), Rec(0, 0xFFFF, {1, 2})})),
              (Stored{{0xFFFFF, 1}, {0x100000, 2}}));
    // Nor at 4 GiB: the load fails instead of starting again from 0.
    RecordingReader r;
    EXPECT_FALSE(r.LoadText(Lines({Rec(4, 0, {0xFF, 0xFF}), Rec(0, 0xFFFF, {1, 2})})));
    EXPECT_TRUE(r.LoadText(Lines({Rec(4, 0, {0xFF, 0xFF}), Rec(0, 0xFFFF, {1})})));
    EXPECT_EQ(r.stored, (Stored{{0xFFFFFFFFu, 1}}));
}

TEST(HexGrammar, LineEndsCaseAndTrailingBlanks) {
    const std::string upper = Lines({":0400100001A2FE4CFF", kEnd});
    const Stored expected{{0x10, 0x01}, {0x11, 0xA2}, {0x12, 0xFE}, {0x13, 0x4C}};
    EXPECT_EQ(LoadOk(upper), expected);
    EXPECT_EQ(LoadOk(":0400100001a2fe4cff\n:00000001ff\n"), expected);
    EXPECT_EQ(LoadOk(":0400100001A2FE4CFF\r\n:00000001FF\r\n"), expected);
    EXPECT_EQ(LoadOk(":0400100001A2FE4CFF  \t\r\r\n:00000001FF"), expected);
}

// Each refusal says what was wrong and on which line, so a user can find it in the file.
TEST(HexGrammar, AFailedLoadSaysWhyAndWhere) {
    struct Case {
        std::string text;
        HexFault fault;
        std::size_t line;
    };
    const std::string end = kEnd + "\n";
    const Case cases[] = {
        {Lines({Rec(0, 0, {1}), "", kEnd}), HexFault::NotARecord, 2},
        {Lines({Rec(0, 0, {1}), ":0100000G01FE"}), HexFault::Malformed, 2},
        {":02000000AB\n" + end, HexFault::Malformed, 1},
        {":0200000401\n" + end, HexFault::Malformed, 1},
        {Lines({Rec(7, 0, {})}), HexFault::UnknownType, 1},
        {Lines({Rec(0, 0, {1}), Rec(0, 1, {2}), Rec(4, 0, {0x00, 0x30, 0})}), HexFault::WrongCount,
         3},
        {Lines({Rec(0, 0, {1}), ":0100000012EE"}), HexFault::BadChecksum, 2},
        {Lines({Rec(0, 0, {1}) + std::string(CHexFileReader::kMaxLineLength, ' ')}),
         HexFault::LineTooLong, 1},
    };
    for (const Case& c : cases) {
        RecordingReader r;
        EXPECT_FALSE(r.LoadText(c.text)) << c.text;
        EXPECT_EQ(r.LastFailure().fault, c.fault) << c.text;
        EXPECT_EQ(r.LastFailure().line, c.line) << c.text;
        EXPECT_FALSE(r.committed);
    }
    RecordingReader r;
    r.limit = 0x0F;
    EXPECT_FALSE(r.LoadText(Lines({Rec(0, 0x00, {1}), Rec(0, 0x0E, {1, 2, 3}), kEnd})));
    EXPECT_EQ(r.LastFailure().fault, HexFault::AddressRejected);
    EXPECT_EQ(r.LastFailure().address, 0x10u);
    EXPECT_EQ(r.LastFailure().line, 2u);
    // A good load clears the last reason.
    EXPECT_TRUE(r.LoadText(Lines({Rec(0, 0x00, {1}), kEnd})));
    EXPECT_EQ(r.LastFailure().fault, HexFault::None);
}

// Two records that set the same byte must agree: the file cannot mean both values.
TEST(HexGrammar, OverlappingRecordsMustAgree) {
    // The same data twice (a tool that writes a block again) is taken once.
    EXPECT_EQ(LoadOk(Lines({Rec(0, 0x10, {1, 2, 3, 4}), Rec(0, 0x12, {3, 4, 5}), kEnd})),
              (Stored{{0x10, 1}, {0x11, 2}, {0x12, 3}, {0x13, 4}, {0x14, 5}}));
    RecordingReader r;
    EXPECT_FALSE(r.LoadText(Lines({Rec(0, 0x10, {1, 2, 3, 4}), Rec(0, 0x12, {3, 9}), kEnd})));
    EXPECT_FALSE(r.committed);
    EXPECT_EQ(r.LastFailure().fault, HexFault::Conflict);
    EXPECT_EQ(r.LastFailure().address, 0x13u);
    EXPECT_EQ(r.LastFailure().line, 2u);
    EXPECT_EQ(r.LastFailure().earlier, 4);
    EXPECT_EQ(r.LastFailure().given, 9);
    // The same byte reached through another base counts as the same byte, across 64 KiB.
    EXPECT_FALSE(r.LoadText(Lines({Rec(4, 0, {0x00, 0x01}), Rec(0, 0xFFFF, {1, 2}),
                                   Rec(2, 0, {0x20, 0x00}), Rec(0, 0, {3})})));
    EXPECT_EQ(r.LastFailure().address, 0x20000u);
    EXPECT_EQ(r.LastFailure().line, 4u);
    // Nothing of one load is held against the next.
    EXPECT_TRUE(r.LoadText(Lines({Rec(0, 0x13, {5}), kEnd})));
}

// Line ends as tools write them: line feeds, CR LF, or carriage returns alone (older tools on
// other systems), all load the same. Records run together on one line lost their line ends
// somewhere: reading the first and dropping the rest would lose data without a word.
TEST(HexGrammar, CarriageReturnsAloneEndLinesButRecordsRunTogetherFail) {
    const std::string a = Rec(0, 0x10, {1, 2});
    const std::string b = Rec(0, 0x20, {3});
    const Stored expected{{0x10, 1}, {0x11, 2}, {0x20, 3}};
    EXPECT_EQ(LoadOk(a + "\r" + b + "\r" + kEnd + "\r"), expected);
    EXPECT_EQ(LoadOk(a + "\r\r" + b + "\r\n" + kEnd), expected);
    EXPECT_EQ(LoadOk(a + "\r\n" + b + "\n" + kEnd), expected);
    RecordingReader r;
    EXPECT_TRUE(r.LoadText(a + "\r" + b + "\r" + kEnd));
    EXPECT_TRUE(r.EndRecordSeen());

    for (const std::string& joined : {a + b + kEnd, a + " " + b + "\n" + kEnd}) {
        RecordingReader j;
        EXPECT_FALSE(j.LoadText(joined)) << joined;
        EXPECT_EQ(j.LastFailure().fault, HexFault::RunTogether);
        EXPECT_EQ(j.LastFailure().line, 1u);
        EXPECT_TRUE(j.stored.empty()) << "not even the first record is taken";
    }
    // A stream reads the same way as a text.
    std::istringstream in(a + "\r" + b + "\r" + kEnd);
    RecordingReader s;
    EXPECT_TRUE(s.Load(in));
    EXPECT_EQ(s.stored, expected);
}

TEST(HexGrammar, FullLengthRecordsLoadAndOverlongLinesFail) {
    std::string rec = ":FF000000";
    unsigned sum = 0xFF;
    for (unsigned i = 0; i < 255; ++i) {
        const char hex[] = "0123456789ABCDEF";
        rec += hex[i >> 4];
        rec += hex[i & 15];
        sum += i;
    }
    char cs[3];
    std::snprintf(cs, sizeof cs, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    rec += cs;
    ASSERT_EQ(rec.size(), 521u);
    // The record after a 521-character line must still be read.
    const auto stored = LoadOk(Lines({rec, Rec(0, 0x200, {0x42}), kEnd}));
    ASSERT_EQ(stored.size(), 256u);
    EXPECT_EQ(stored[254], (std::pair<uint32_t, uint8_t>{254, 254}));
    EXPECT_EQ(stored[255], (std::pair<uint32_t, uint8_t>{0x200, 0x42}));

    // A line longer than any record could be fails, whatever follows.
    const std::string overlong = rec + std::string(CHexFileReader::kMaxLineLength, ' ');
    EXPECT_FALSE(Loads(Lines({Rec(0, 0, {1}), overlong, kEnd})));
    std::istringstream in(Lines({Rec(0, 0, {1}), overlong, kEnd}));
    RecordingReader r;
    EXPECT_FALSE(r.Load(in));
    EXPECT_FALSE(r.committed);
}

TEST(HexGrammar, StreamAndFileLoadTheSameAsText) {
    const std::string text = Lines({Rec(4, 0, {0, 1}), Rec(0, 0x20, {5, 6}), kEnd, "junk"});
    const Stored expected{{0x10020, 5}, {0x10021, 6}};

    std::istringstream in(text);
    RecordingReader s;
    EXPECT_TRUE(s.Load(in));
    EXPECT_EQ(s.stored, expected);

    const std::string path = ::testing::TempDir() + "grammar_stream.hex";
    std::ofstream(path, std::ios::binary) << text;
    RecordingReader f;
    EXPECT_FALSE(f.Load()) << "nothing opened yet";
    ASSERT_TRUE(f.Open(path));
    EXPECT_TRUE(f.IsOpen());
    EXPECT_TRUE(f.Load());
    EXPECT_EQ(f.stored, expected);
    EXPECT_TRUE(f.Load()) << "loading again reads the file again";
    EXPECT_EQ(f.stored, expected);
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    std::remove(path.c_str());
    EXPECT_FALSE(f.Open(path));

    EXPECT_FALSE(f.NotARegularFile()) << "missing, not irregular";
}

TEST(HexGrammar, OnlyRegularFilesOpenAndNoneBlocks) {
    RecordingReader d;
    EXPECT_FALSE(d.Open(::testing::TempDir()));
    EXPECT_TRUE(d.NotARegularFile());

    RecordingReader p;
#if !defined(_WIN32)
    // A named pipe with no writer would block open() and then read() for ever.
    const std::string fifo = ::testing::TempDir() + "grammar_fifo.hex";
    std::remove(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(p.Open(fifo));
    EXPECT_TRUE(p.NotARegularFile());
    EXPECT_FALSE(p.IsOpen());
    std::remove(fifo.c_str());
#endif

    const std::string path = ::testing::TempDir() + "grammar_regular.hex";
    std::ofstream(path) << kEnd << "\n";
    EXPECT_TRUE(p.Open(path));
    EXPECT_FALSE(p.NotARegularFile());
    EXPECT_TRUE(p.Load());
    std::remove(path.c_str());
}

}  // namespace
}  // namespace tenlo
