#include "hexfile/hex_file_reader.h"

#include <filesystem>
#include <optional>

namespace tenlo {

namespace {

std::optional<uint8_t> HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<uint8_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<uint8_t>(c - 'a' + 10);
    }
    return std::nullopt;
}

// Reads hexadecimal byte pairs from a line, keeping the running record sum.
class PairCursor {
  public:
    explicit PairCursor(std::string_view line) : line_(line) {}

    std::optional<uint8_t> Next() {
        if (line_.size() - pos_ < 2) {
            return std::nullopt;
        }
        const auto hi = HexDigit(line_[pos_]);
        const auto lo = HexDigit(line_[pos_ + 1]);
        if (!hi || !lo) {
            return std::nullopt;
        }
        pos_ += 2;
        return static_cast<uint8_t>(*hi << 4 | *lo);
    }
    std::optional<uint8_t> NextSummed() {
        auto b = Next();
        if (b) {
            sum_ = static_cast<uint8_t>(sum_ + *b);
        }
        return b;
    }
    uint8_t Sum() const { return sum_; }
    std::string_view Rest() const { return line_.substr(pos_); }

  private:
    std::string_view line_;
    std::size_t pos_ = 1;  // past the ':'
    uint8_t sum_ = 0;
};

// Characters of a stream buffer, -1 at its end.
class StreamSource {
  public:
    explicit StreamSource(std::streambuf& buf) : buf_(buf) {}
    int Bump() { return Char(buf_.sbumpc()); }
    int Peek() { return Char(buf_.sgetc()); }

  private:
    using Traits = std::char_traits<char>;
    static int Char(Traits::int_type c) {
        return Traits::eq_int_type(c, Traits::eof())
                   ? -1
                   : static_cast<unsigned char>(Traits::to_char_type(c));
    }
    std::streambuf& buf_;
};

// Characters of a text in memory, -1 at its end.
class TextSource {
  public:
    explicit TextSource(std::string_view text) : text_(text) {}
    int Bump() { return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_++]) : -1; }
    int Peek() const { return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : -1; }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Reads the next line into line. A line ends at a line feed, or at a carriage return directly
// followed by the next record's ':': some tools end lines with a carriage return alone. Read
// with a bounded buffer: an overlong line must fail the load, not be silently cut short or
// swallowed whole into memory. False at the end of the input.
template <class Source>
bool NextLine(Source& in, std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    int c = in.Bump();
    if (c < 0) {
        return false;
    }
    while (c >= 0 && c != '\n' && !(c == '\r' && in.Peek() == ':')) {
        if (line.size() == CHexFileReader::kMaxLineLength) {
            tooLong = true;
            return true;
        }
        line.push_back(static_cast<char>(c));
        c = in.Bump();
    }
    return true;
}

constexpr uint8_t kData = 0;
constexpr uint8_t kEnd = 1;
constexpr uint8_t kSegment = 2;
constexpr uint8_t kStartSegment = 3;
constexpr uint8_t kLinear = 4;
constexpr uint8_t kStartLinear = 5;

}  // namespace

bool CHexFileReader::Open(const std::string& path) {
    Close();
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    notRegular_ = std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
    if (notRegular_) {
        return false;
    }
    file_.open(path, std::ios::in | std::ios::binary);
    return file_.is_open();
}

void CHexFileReader::Close() {
    if (file_.is_open()) {
        file_.close();
    }
    file_.clear();
}

bool CHexFileReader::Load() {
    if (!file_.is_open()) {
        failure_ = {0, HexFault::ReadError, 0};
        return false;
    }
    // Every Load reads the whole file: a second one must not see an empty rest and "succeed"
    // with a blank image.
    file_.clear();
    file_.seekg(0);
    return Load(file_);
}

bool CHexFileReader::Load(std::istream& in) {
    std::streambuf* buf = in.rdbuf();
    if (buf == nullptr) {
        failure_ = {0, HexFault::ReadError, 0};
        return false;
    }
    // A read error (a directory given as the file, an I/O error) surfaces from the stream
    // buffer as an exception: it is a failed load.
    StreamSource source(*buf);
    try {
        return Run(source);
    } catch (const std::exception&) {
        failure_.fault = HexFault::ReadError;
        seen_ = {};
        return false;
    }
}

bool CHexFileReader::LoadText(std::string_view text) {
    TextSource source(text);
    return Run(source);
}

template <class Source>
bool CHexFileReader::Run(Source& source) {
    base_ = 0;
    endRecordSeen_ = false;
    lines_ = 0;
    failure_ = {};
    seen_.clear();
    lastBlock_ = nullptr;
    if (!BeginLoad()) {
        failure_.fault = HexFault::ReadError;
        return false;
    }
    std::string line;
    line.reserve(kMaxLineLength);
    bool tooLong = false;
    LineResult result = LineResult::Next;
    while (result == LineResult::Next && NextLine(source, line, tooLong)) {
        ++lines_;
        std::string_view view = line;
        // A carriage return before the line feed is not part of the line.
        if (!view.empty() && view.back() == '\r') {
            view.remove_suffix(1);
        }
        result = tooLong ? Fail(HexFault::LineTooLong) : ParseLine(view);
    }
    seen_ = {};  // a big file's map is not kept for the reader's lifetime
    lastBlock_ = nullptr;
    if (result == LineResult::Fail) {
        return false;
    }
    // Without an end record, what was read counts.
    endRecordSeen_ = result == LineResult::End;
    CommitLoad();
    return true;
}

CHexFileReader::LineResult CHexFileReader::Fail(HexFault fault, std::uint32_t address) {
    failure_ = {lines_, fault, address};
    return LineResult::Fail;
}

bool CHexFileReader::Take(uint8_t byte, uint32_t address) {
    const uint32_t key = address >> 6;
    if (lastBlock_ == nullptr || lastKey_ != key) {
        // Blocks stay where they are as the map grows: the pointer outlives later insertions.
        lastBlock_ = &seen_[key];
        lastKey_ = key;
    }
    SeenBlock& block = *lastBlock_;
    const uint64_t bit = uint64_t{1} << (address & 63);
    uint8_t& earlier = block.bytes[address & 63];
    if ((block.set & bit) != 0) {
        if (earlier != byte) {
            failure_ = {lines_, HexFault::Conflict, address, earlier, byte};
            return false;
        }
        return true;
    }
    if (!StoreByte(byte, address)) {
        Fail(HexFault::AddressRejected, address);
        return false;
    }
    block.set |= bit;
    earlier = byte;
    return true;
}

CHexFileReader::LineResult CHexFileReader::ParseLine(std::string_view line) {
    if (line.empty() || line.front() != ':') {
        return Fail(HexFault::NotARecord);
    }
    PairCursor cur(line);
    const auto count = cur.NextSummed();
    const auto addrHi = cur.NextSummed();
    const auto addrLo = cur.NextSummed();
    const auto type = cur.NextSummed();
    if (!count || !addrHi || !addrLo || !type) {
        return Fail(HexFault::Malformed);
    }
    if (*type > kStartLinear) {
        return Fail(HexFault::UnknownType);
    }
    const uint32_t field = uint32_t{*addrHi} << 8 | *addrLo;

    static constexpr uint8_t kRequired[] = {0, 0, 2, 4, 2, 4};
    if (*type != kData && *count != kRequired[*type]) {
        return Fail(HexFault::WrongCount);
    }

    uint8_t data[255];
    for (unsigned i = 0; i < *count; ++i) {
        const auto b = cur.NextSummed();
        if (!b) {
            return Fail(HexFault::Malformed);
        }
        data[i] = *b;
    }
    const auto checksum = cur.Next();
    if (!checksum) {
        return Fail(HexFault::Malformed);
    }
    if (*checksum != static_cast<uint8_t>(0x100 - cur.Sum())) {
        return Fail(HexFault::BadChecksum);
    }
    // What follows the checksum is not looked at (trailing blanks, a comment some tools add),
    // unless it is the next record: a file whose line ends were lost would load its first
    // record and drop the rest without a word.
    const std::string_view rest = cur.Rest();
    const std::size_t next = rest.find_first_not_of(" \t\r");
    if (next != std::string_view::npos && rest[next] == ':') {
        return Fail(HexFault::RunTogether);
    }

    // Bytes reach the target only from a record that is whole and checks out.
    if (*type == kData) {
        for (unsigned i = 0; i < *count; ++i) {
            // Addresses run on in 32 bits without wrapping at 64 KiB; past 4 GiB there is
            // nowhere left to go.
            const uint64_t address = uint64_t{base_} + field + i;
            if (address > 0xFFFFFFFFu) {
                return Fail(HexFault::AddressRejected, static_cast<uint32_t>(address));
            }
            if (!Take(data[i], static_cast<uint32_t>(address))) {
                return LineResult::Fail;
            }
        }
        return LineResult::Next;
    }

    switch (*type) {
        case kEnd:
            return LineResult::End;
        case kSegment:
            base_ = (uint32_t{data[0]} << 8 | data[1]) * 16 + field;
            break;
        case kLinear:
            base_ = (uint32_t{data[0]} << 8 | data[1]) * 65536 + field;
            break;
        case kStartSegment:
        case kStartLinear:
            // An execution start address: it says nothing about where data goes.
            break;
        default:
            break;
    }
    return LineResult::Next;
}

}  // namespace tenlo
