#include "jobs/hex_files.h"

#include <cstdio>

#include "hexfile/image_hex.h"
#include "hexfile/prog_hex_reader.h"

namespace tenlo::jobs {

namespace {

// A program file reader that notes which memories the file fed.
class CTrackingProgReader final : public CProgHexReader {
  public:
    CTrackingProgReader(const HexLayout& layout, HexBuffers target, bool microchipLayout)
        : CProgHexReader(layout, target, microchipLayout), map_(layout, microchipLayout) {}

    MemorySet seen;

  protected:
    bool BeginLoad() override {
        seen = {};
        return CProgHexReader::BeginLoad();
    }
    bool StoreByte(uint8_t byte, uint32_t address) override {
        if (!CProgHexReader::StoreByte(byte, address)) {
            return false;
        }
        if (const std::optional<HexPlace> place = map_.Locate(address); place && !place->filler) {
            switch (place->region) {
                case HexRegion::Program:
                    seen.program = true;
                    break;
                case HexRegion::Config:
                    seen.config = true;
                    break;
                case HexRegion::Data:
                    seen.data = true;
                    break;
            }
        }
        return true;
    }

  private:
    HexAddressMap map_;
};

// Opens and reads the whole file; false with out saying why not.
bool OpenedAndLoaded(CHexFileReader& reader, const std::string& path, FileOutcome& out) {
    if (!reader.Open(path)) {
        out.cause = reader.NotARegularFile() ? FileCause::NotARegularFile : FileCause::NotOpened;
        return false;
    }
    if (!reader.Load()) {
        out.cause = FileCause::NotHex;
        out.failure = reader.LastFailure();
        return false;
    }
    return true;
}

// After a load that read to the end: a file cut short (a failed copy or download) is taken only
// when the user says so.
bool Ended(const CHexFileReader& reader, IJobQuestions* questions, FileOutcome& out) {
    if (reader.EndRecordSeen()) {
        return true;
    }
    out.empty = reader.LinesRead() == 0;
    if (questions != nullptr && questions->LoadWithoutEndRecord(out.path, out.empty)) {
        out.empty = false;
        return true;
    }
    out.cause = FileCause::NoEndRecord;
    return false;
}

// A byte the program reader refused for its place or its value.
void ExplainProgramRejection(const HexLayout& layout, bool microchip, FileOutcome& out) {
    const std::uint32_t at = out.failure.address;
    const std::optional<HexPlace> place = HexAddressMap(layout, microchip).Locate(at);
    const bool eeprom =
        !microchip &&
        HexAddressMap(layout, true).Locate(at).value_or(HexPlace{}).region == HexRegion::Data;
    if (place) {
        // A byte with a place in the chip was refused for its value.
        out.rejection =
            place->fillerValue == 0xFF ? Rejection::IdLocationNotBlank : Rejection::PadNotZero;
    } else if (eeprom) {
        out.rejection = Rejection::EepromInProgramFile;
    } else {
        out.rejection = Rejection::NoSuchMemory;
        out.beyond = HexAddressMap(layout, microchip).PlaceBeyond(at);
    }
}

FileOutcome LoadProgramAs(const std::string& path, CMemoryImage& into, bool microchip,
                          IJobQuestions* questions) {
    FileOutcome out;
    out.path = path;
    const DeviceLayout& layout = into.Layout();
    const HexLayout hexLayout = ToHexLayout(layout);
    CMemoryImage loaded(layout);
    CTrackingProgReader reader(hexLayout, BuffersOf(loaded), microchip);
    if (!OpenedAndLoaded(reader, path, out)) {
        if (out.failure.fault == HexFault::AddressRejected) {
            ExplainProgramRejection(hexLayout, microchip, out);
        }
        return out;
    }
    if (!Ended(reader, questions, out)) {
        return out;
    }
    out.provided = reader.seen;
    into.CopyProgram(loaded);
    into.CopyConfig(loaded);
    if (reader.DataSeen()) {
        into.CopyData(loaded);
    }
    return out;
}

}  // namespace

FileOutcome LoadProgramFile(const std::string& path, CMemoryImage& into, ProgramLayout layout,
                            IJobQuestions* questions) {
    return LoadProgramAs(path, into, layout == ProgramLayout::Microchip, questions);
}

FileOutcome LoadDataFile(const std::string& path, CMemoryImage& into, IJobQuestions* questions) {
    FileOutcome out;
    out.path = path;
    CMemoryImage loaded(into.Layout());
    CImageDataHexReader reader(loaded);
    if (!OpenedAndLoaded(reader, path, out)) {
        if (out.failure.fault == HexFault::AddressRejected) {
            out.rejection = Rejection::NoSuchMemory;
        }
        return out;
    }
    if (!Ended(reader, questions, out)) {
        return out;
    }
    out.provided.data = true;
    into.CopyData(loaded);
    return out;
}

std::string HexText(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*XH", digits, value);
    return text;
}

std::string RecordFaultText(const HexLoadFailure& f) {
    switch (f.fault) {
        case HexFault::NotARecord:
            return "レコードではありません（行が「:」で始まっていません）。";
        case HexFault::Malformed:
            return "レコードが途中で切れているか、16 進数でない文字があります。";
        case HexFault::UnknownType:
            return "不明なレコードタイプです。";
        case HexFault::WrongCount:
            return "終了レコードまたはアドレスレコードの長さが正しくありません。";
        case HexFault::BadChecksum:
            return "チェックサムが一致しません。";
        case HexFault::LineTooLong:
            return "行が長すぎます。";
        case HexFault::ReadError:
            return "ファイルを読み込めませんでした。";
        case HexFault::RunTogether:
            return "1 行に複数のレコードが続いています（改行が失われています）。";
        case HexFault::Conflict:
            return "バイトアドレス " + HexText(f.address) + " に、前のレコードと異なるデータ（" +
                   HexText(f.earlier, 2) + " と " + HexText(f.given, 2) +
                   "）があります。どちらが正しいか分かりません。";
        case HexFault::AddressRejected:
        case HexFault::None:
            break;
    }
    return {};
}

}  // namespace tenlo::jobs
