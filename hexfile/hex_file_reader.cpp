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

  private:
    std::string_view line_;
    std::size_t pos_ = 1;  // past the ':'
    uint8_t sum_ = 0;
};

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
    std::string line;
    line.reserve(kMaxLineLength);
    std::streambuf* buf = in.rdbuf();
    if (buf == nullptr) {
        failure_ = {0, HexFault::ReadError, 0};
        return false;
    }
    // Lines are read with a bounded buffer: an overlong line must fail the load, not be
    // silently cut short or swallowed whole into memory. A read error (a directory given as the
    // file, an I/O error) surfaces from the stream buffer as an exception: it is a failed load.
    try {
        return LoadLines(buf, line);
    } catch (const std::exception&) {
        failure_.fault = HexFault::ReadError;
        return false;
    }
}

bool CHexFileReader::LoadLines(std::streambuf* buf, std::string& line) {
    return Run([&](std::string_view& out, bool& tooLong) {
        line.clear();
        tooLong = false;
        using Traits = std::char_traits<char>;
        auto c = buf->sbumpc();
        if (Traits::eq_int_type(c, Traits::eof())) {
            return false;
        }
        while (!Traits::eq_int_type(c, Traits::eof()) && Traits::to_char_type(c) != '\n') {
            if (line.size() == kMaxLineLength) {
                tooLong = true;
                return true;
            }
            line.push_back(Traits::to_char_type(c));
            c = buf->sbumpc();
        }
        out = line;
        return true;
    });
}

bool CHexFileReader::LoadText(std::string_view text) {
    std::size_t pos = 0;
    return Run([&](std::string_view& out, bool& tooLong) {
        tooLong = false;
        if (pos >= text.size()) {
            return false;
        }
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        out = text.substr(pos, end - pos);
        pos = end + 1;
        tooLong = out.size() > kMaxLineLength;
        return true;
    });
}

template <class NextLine>
bool CHexFileReader::Run(NextLine&& next) {
    base_ = 0;
    endRecordSeen_ = false;
    lines_ = 0;
    failure_ = {};
    if (!BeginLoad()) {
        failure_.fault = HexFault::ReadError;
        return false;
    }
    std::string_view line;
    bool tooLong = false;
    while (next(line, tooLong)) {
        ++lines_;
        if (tooLong) {
            Fail(HexFault::LineTooLong);
            return false;
        }
        // A carriage return before the line feed is not part of the line.
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        switch (ParseLine(line)) {
            case LineResult::Fail:
                return false;
            case LineResult::End:
                endRecordSeen_ = true;
                CommitLoad();
                return true;
            case LineResult::Next:
                break;
        }
    }
    // No end record: what was read counts.
    CommitLoad();
    return true;
}

CHexFileReader::LineResult CHexFileReader::Fail(HexFault fault, std::uint32_t address) {
    failure_ = {lines_, fault, address};
    return LineResult::Fail;
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
    // What follows the checksum is not looked at (trailing blanks, a comment some tools add).
    const auto checksum = cur.Next();
    if (!checksum) {
        return Fail(HexFault::Malformed);
    }
    if (*checksum != static_cast<uint8_t>(0x100 - cur.Sum())) {
        return Fail(HexFault::BadChecksum);
    }

    // Bytes reach the target only from a record that is whole and checks out.
    if (*type == kData) {
        for (unsigned i = 0; i < *count; ++i) {
            // Addresses run on in 32 bits without wrapping at 64 KiB; past 4 GiB there is
            // nowhere left to go.
            const uint64_t address = uint64_t{base_} + field + i;
            if (address > 0xFFFFFFFFu || !StoreByte(data[i], static_cast<uint32_t>(address))) {
                return Fail(HexFault::AddressRejected, static_cast<uint32_t>(address));
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
