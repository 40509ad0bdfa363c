#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <istream>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tenlo {

// Why a load failed.
enum class HexFault : std::uint8_t {
    None,
    NotARecord,       // a line that does not begin with ':' (text, an empty line)
    Malformed,        // a record cut short, or characters that are no hexadecimal digits
    UnknownType,      // a record type above 5
    WrongCount,       // an end or address record whose count is not its type's
    BadChecksum,      // the checksum does not match the record
    LineTooLong,      // longer than any record can be
    AddressRejected,  // a data byte at an address the target has no place for
    ReadError,        // the file could not be read
    RunTogether,      // another record follows on the same line: its line ends were lost
    Conflict,         // a byte address that an earlier record gave another value
};

// Where and why the last load failed: the line (from 1; 0 when none was read) and, for
// AddressRejected and Conflict, the byte address; for Conflict also the value the earlier
// record gave it and the one this line gives.
struct HexLoadFailure {
    std::size_t line = 0;
    HexFault fault = HexFault::None;
    std::uint32_t address = 0;
    std::uint8_t earlier = 0;
    std::uint8_t given = 0;
};

// Intel HEX record reader. Subclasses say where each byte goes through StoreByte; the readers
// of this library fill a scratch copy and hand it to their target only when the whole file
// has loaded, so a failed load never leaves a half-written target behind.
class CHexFileReader {
  public:
    // The longest line accepted: a record of 255 data bytes is 521 characters; the rest leaves
    // room for trailing blanks. Anything longer cannot be a record and fails the load.
    static constexpr std::size_t kMaxLineLength = 1024;

    CHexFileReader() = default;
    CHexFileReader(const CHexFileReader&) = delete;
    CHexFileReader& operator=(const CHexFileReader&) = delete;
    virtual ~CHexFileReader() = default;

    // Opens the file that Load() reads; false when it cannot be opened. Only a regular file
    // is opened: a named pipe or a device would block the open or the read for ever.
    bool Open(const std::string& path);
    // Why the last Open failed: the path names something other than a regular file.
    bool NotARegularFile() const { return notRegular_; }
    bool IsOpen() const { return file_.is_open(); }
    void Close();

    // Reads records until the end record or the end of the input. True on success; on failure
    // the target is left as it was. A line ends at a line feed or at a carriage return that the
    // next record's ':' follows. A byte address given twice with different values fails the
    // load (which one the file means cannot be known); given twice alike it is taken.
    bool Load();
    bool Load(std::istream& in);
    bool LoadText(std::string_view text);

    // Whether the last successful load ended at an end record rather than at the end of the
    // input. A file cut short (a failed copy or download) loads all the same; a caller that is
    // about to program a chip from it may want to refuse it.
    bool EndRecordSeen() const { return endRecordSeen_; }
    // How many lines the last load read (0: the input was empty).
    std::size_t LinesRead() const { return lines_; }
    const HexLoadFailure& LastFailure() const { return failure_; }

  protected:
    // Takes one byte at a byte address; false when the address lies outside the target, which
    // fails the load.
    virtual bool StoreByte(uint8_t byte, uint32_t address) = 0;
    // Called before the first record: set up the scratch copy. False fails the load at once.
    virtual bool BeginLoad() { return true; }
    // Called once the whole input has been read without failure.
    virtual void CommitLoad() {}

  private:
    enum class LineResult { Next, End, Fail };
    LineResult ParseLine(std::string_view line);
    LineResult Fail(HexFault fault, std::uint32_t address = 0);
    bool Take(uint8_t byte, uint32_t address);
    template <class Source>
    bool Run(Source& source);

    // The bytes given so far, by address, in blocks of 64 with a mask of those set.
    struct SeenBlock {
        uint64_t set = 0;
        std::array<uint8_t, 64> bytes{};
    };

    std::ifstream file_;
    uint32_t base_ = 0;
    bool notRegular_ = false;
    bool endRecordSeen_ = false;
    std::size_t lines_ = 0;
    HexLoadFailure failure_;
    std::unordered_map<uint32_t, SeenBlock> seen_;
    SeenBlock* lastBlock_ = nullptr;  // records run on: most bytes fall in the last block
    uint32_t lastKey_ = 0;
};

}  // namespace tenlo
