#include "app/view/outcome_text.h"

#include <QFileInfo>

#include "jobs/calibration.h"

namespace tenlo::app {

namespace {

using jobs::Cause;
using jobs::FileCause;
using jobs::Outcome;
using jobs::Phase;
using jobs::Rejection;

QString Hex(std::uint32_t value, int digits = 4) {
    return QString::asprintf("%0*XH", digits, value);
}

int ValueDigits(const Outcome& o, const DeviceLayout& layout) {
    return o.memory ? static_cast<int>((WidthOf(layout, *o.memory) + 3) / 4) : 4;
}

QString Name(const std::string& text) {
    return QString::fromStdString(text);
}

QString MemoryName(Memory memory) {
    switch (memory) {
        case Memory::Program:
            return QStringLiteral("プログラムメモリー");
        case Memory::Config:
            return QStringLiteral("コンフィグレーションメモリー");
        case Memory::Data:
            break;
    }
    return QStringLiteral("データメモリー");
}

// "IcspReadMulti（14H）", "IcspReadMulti（14H）の 2 番目のフレーム"
QString Frame(const LinkFailure& f) {
    const QString command = QStringLiteral("コマンド %1（%2）")
                                .arg(QString::fromUtf8(CommandName(f.command)), Hex(f.command, 2));
    return f.frame == 0 ? command
                        : QStringLiteral("%1の %2 番目のフレーム").arg(command).arg(f.frame);
}

// The cell's address as the chip's HEX files give it.
QString At(const Outcome& o, const DeviceLayout& layout) {
    const std::uint32_t address = o.address.value_or(0);
    return Hex(o.memory ? FileAddress(layout, *o.memory, address) : address);
}

QString LineText(const Outcome& o, const DeviceLayout& layout) {
    const QString port = Name(o.port);
    QString lost;
    switch (o.link.fault) {
        case LinkFault::NoAnswer:
            lost = QStringLiteral("%1に応答がありませんでした").arg(Frame(o.link));
            break;
        case LinkFault::WrongAnswer:
            lost = QStringLiteral("%1に A5H ではなく %2 が返りました")
                       .arg(Frame(o.link), Hex(o.link.answer, 2));
            break;
        case LinkFault::LineBroken:
            lost = QStringLiteral("%1の送受信中にポートが使えなくなりました").arg(Frame(o.link));
            break;
        case LinkFault::NotProgrammed:
            lost = QStringLiteral("%1でプログラマーが書き込み失敗を返しました").arg(Frame(o.link));
            break;
        case LinkFault::None:
        case LinkFault::Stopped:
            break;
    }
    const QString near =
        o.address ? QStringLiteral("（アドレス %1 付近）").arg(At(o, layout)) : QString();
    const QString head =
        o.programmerSilent ? QStringLiteral("%1 のプログラマーが応答しなくなりました。").arg(port)
                           : QStringLiteral("%1 のプログラマーとの通信に失敗しました。").arg(port);
    return head + u'\n' + lost + near + QStringLiteral("。\n") +
           QStringLiteral(
               "ケーブル、プログラマーの電源、ほかのプログラムが %1 "
               "を使っていないかを確認してください。")
               .arg(port);
}

QString CellValues(const Outcome& o, const DeviceLayout& layout, const QString& expectedLabel) {
    const int digits = ValueDigits(o, layout);
    return QStringLiteral("読み出し %1、%2 %3")
        .arg(Hex(o.chipValue, digits), expectedLabel, Hex(o.expectedValue, digits));
}

QString Where(const Outcome& o, const DeviceLayout& layout) {
    return QStringLiteral("%1のアドレス %2 ")
        .arg(o.memory ? MemoryName(*o.memory) : QString(), At(o, layout));
}

// Why a record or a byte of a file was refused.
QString FileReason(const jobs::FileOutcome& f, const DeviceLayout& layout, bool dataFile) {
    const QString chip = Name(layout.name);
    if (const std::string record = jobs::RecordFaultText(f.failure); !record.empty()) {
        return QString::fromStdString(record);
    }
    const QString at = Hex(f.failure.address);
    if (dataFile) {
        return QStringLiteral("アドレス %1 は %2 のデータメモリー（%3 バイト）の範囲外です。")
            .arg(at, chip)
            .arg(layout.dataSize);
    }
    switch (f.rejection) {
        case Rejection::IdLocationNotBlank:
            return QStringLiteral(
                       "バイトアドレス %1 は書き込まれない ID ロケーションです。空（FFH）"
                       "でなければなりません。")
                .arg(at);
        case Rejection::PadNotZero:
            return QStringLiteral(
                       "バイトアドレス %1 はセルの空きバイトです。0 でなければなりません。")
                .arg(at);
        case Rejection::NoSuchMemory:
        case Rejection::EepromInProgramFile:
        case Rejection::None:
            break;
    }
    QString cell;
    if (f.beyond) {
        switch (f.beyond->region) {
            case HexRegion::Program:
                cell =
                    QStringLiteral("（プログラムメモリーのアドレス %1）").arg(Hex(f.beyond->cell));
                break;
            case HexRegion::Config:
                cell = QStringLiteral("（コンフィグレーションメモリーのアドレス %1）")
                           .arg(Hex(layout.configStart + f.beyond->cell));
                break;
            case HexRegion::Data:
                cell = QStringLiteral("（データメモリーのアドレス %1）").arg(Hex(f.beyond->cell));
                break;
        }
    }
    return QStringLiteral(
               "バイトアドレス %1は %2 にないメモリーです。ほかのチップ用のファイルかもしれ"
               "ません。")
        .arg(cell.isEmpty() ? at + u' ' : at + cell, chip);
}

// Stopped by the user: what the command may have left half done on the chip.
QString InterruptedText(const Outcome& o) {
    const QString stopped = QStringLiteral("中止しました。");
    switch (o.phase) {
        case Phase::Erasing:
            return stopped + QStringLiteral("チップは一部だけ消去されている可能性があります。");
        case Phase::EraseReadBack:
            return stopped +
                   QStringLiteral("チップは消去されましたが、読み出して確かめてはいません。");
        case Phase::Writing:
        case Phase::WriteVerify:
        case Phase::WriteReadBack:
            return stopped + (o.memory ? MemoryName(*o.memory) : QStringLiteral("チップ")) +
                   QStringLiteral("は一部だけ書き込まれている可能性があります。");
        default:
            return stopped + QStringLiteral("チップは変更されていません。");
    }
}

}  // namespace

QString WithCause(const QString& text, const QString& cause) {
    if (cause.isEmpty()) {
        return text;
    }
    return text.endsWith(u'\n') ? text + cause : text + u'\n' + cause;
}

QString CalibrationValuesText(std::uint16_t word, std::optional<std::uint16_t> bandGap) {
    QString text = QStringLiteral("キャリブレーションワード %1").arg(Hex(word));
    if (bandGap) {
        text += QStringLiteral("、バンドギャップ %1").arg(*bandGap);
    }
    return text;
}

namespace {

QString CauseOnly(const Outcome& o, const DeviceLayout& layout);

}  // namespace

QString CauseText(const Outcome& o, const DeviceLayout& layout) {
    QString text = CauseOnly(o, layout);
    if (o.calibration && o.cause != Cause::NotRecorded && !text.isEmpty()) {
        const jobs::CalibrationAtRisk& risk = *o.calibration;
        text = WithCause(
            text, QStringLiteral("チップのキャリブレーション値（%1）が失われた可能性"
                                 "があります。「デバイス」メニューの「キャリブレーシ"
                                 "ョン値の書き戻し」か、次のコマンドで書き戻せます："
                                 "%2")
                      .arg(CalibrationValuesText(risk.word, risk.bandGap), Name(risk.restore)));
        if (risk.recorded) {
            text += QStringLiteral("（記録：%1）").arg(Name(risk.journal));
        }
    }
    return text;
}

namespace {

QString CauseOnly(const Outcome& o, const DeviceLayout& layout) {
    if (o.stillPowered && (o.cause == Cause::LineFailed || o.cause == Cause::Interrupted)) {
        const QString text =
            o.cause == Cause::LineFailed ? LineText(o, layout) : QStringLiteral("中止しました。");
        return WithCause(
            text, QStringLiteral("チップの電源を切れませんでした。電源が入ったままの可能性が"
                                 "あります。プログラマーを外してからチップを取り出してください。"));
    }
    switch (o.cause) {
        case Cause::None:
        case Cause::Mismatch:
        case Cause::OtherChip:  // the user was asked and said no
        case Cause::Declined:
            break;
        case Cause::NoChip:
            if (o.phase == Phase::EraseReadBack) {
                return QStringLiteral(
                    "ソケットにチップが見つかりません（イレース後に読み出したセルがすべて 0 "
                    "です）。チップの向きと差し込みを確認してください。");
            }
            if (o.phase != Phase::SocketCheck) {
                return QStringLiteral(
                    "ソケットにチップが見つかりません（プログラムメモリーとコンフィグレーション"
                    "メモリーがすべて 0 です）。チップの向きと差し込みを確認してください。");
            }
            return QStringLiteral(
                       "ソケットにチップが見つかりません（デバイスID %1）。チップの向きと差し込み"
                       "を確認してください。")
                .arg(Hex(o.deviceId));
        case Cause::LineFailed:
            return LineText(o, layout);
        case Cause::NotDone:
            return QStringLiteral(
                       "%1 のプログラマーはすべてのコマンドに応答しましたが、チップが動作しません"
                       "でした。チップの向きと差し込みを確認してください。")
                .arg(Name(o.port));
        case Cause::Interrupted:
            return InterruptedText(o);
        case Cause::NotBlank:
            if (o.phase == Phase::CalibrationWrite) {
                return Where(o, layout) +
                       QStringLiteral(
                           "は %1 で、書き戻す値 %2 ではありません。書き込みではビットを"
                           " 0 にすることしかできないため、キャリブレーション値が失われ"
                           "ていないチップは自分の値を保ちます。置き換えるには、プログ"
                           "ラマー・オプションの「キャリブレーションデータを保持」を外"
                           "してイレースしてから書き戻してください。")
                           .arg(Hex(o.chipValue, ValueDigits(o, layout)),
                                Hex(o.expectedValue, ValueDigits(o, layout)));
            }
            return Where(o, layout) +
                   QStringLiteral(
                       "のセルが消去されていません（%1）。書き込みではビットを 0 "
                       "にすることしかできません。先にイレースしてください。")
                       .arg(CellValues(o, layout, QStringLiteral("書き込みデータ")));
        case Cause::WillNotProgram:
            return Where(o, layout) +
                   QStringLiteral("のセルに書き込めませんでした（%1）。")
                       .arg(CellValues(o, layout, QStringLiteral("書き込みデータ")));
        case Cause::WillNotErase:
            return Where(o, layout) + QStringLiteral("のセルが消去されませんでした（%1）。")
                                          .arg(CellValues(o, layout, QStringLiteral("消去後の値")));
        case Cause::ChipBusy:
            return QStringLiteral(
                "チップがデータメモリーの書き込みを終えませんでした（ビジーのままです）。");
        case Cause::ProgrammerError:
            return QStringLiteral(
                       "%1 のプログラマーは書き込み失敗を返しましたが、チップには書き込みデータが"
                       "入っています。ケーブルを確認して、もう一度書き込んでください。")
                .arg(Name(o.port));
        case Cause::NotCalibration:
            return QStringLiteral(
                       "キャリブレーションワード（アドレス %1）が %2 で、RETLW（34xxH）ではありま"
                       "せん。以前のイレースで失われた可能性があり、このまま保持すると失われた値を"
                       "保持することになるため、何もしませんでした。%3 に記録された値を「デバイス」"
                       "メニューの「キャリブレーション値の書き戻し」で書き戻してください。")
                .arg(At(o, layout), Hex(o.chipValue),
                     QString::fromStdString(jobs::CalibrationJournalPath().string()));
        case Cause::NotRecorded:
            return QStringLiteral(
                       "キャリブレーション値（%1）を %2 に記録できなかったため、イレースしません"
                       "でした。フォルダーに書き込めるか確認してください。")
                .arg(CalibrationValuesText(o.calibration ? o.calibration->word : 0,
                                           o.calibration ? o.calibration->bandGap : std::nullopt),
                     Name(o.calibration ? o.calibration->journal : std::string()));
    }
    return {};
}

}  // namespace

QString OtherChipQuestion(const std::string& selected, const std::vector<std::string>& named,
                          std::uint16_t id) {
    if (named.empty()) {
        return QStringLiteral(
                   "ソケットのチップのデバイスID %1 は、どのチップのものでもありません。選択中の "
                   "%2 として続けますか？")
            .arg(Hex(id), Name(selected));
    }
    QString chips;
    for (const std::string& name : named) {
        chips += (chips.isEmpty() ? QString() : QStringLiteral(" または ")) + Name(name);
    }
    return QStringLiteral(
               "ソケットのチップは %1（デバイスID %2）です。選択中の %3 として続けますか？")
        .arg(chips, Hex(id), Name(selected));
}

QString NoEndRecordQuestion(const QString& fileName) {
    return QStringLiteral(
               "%1 には終了レコードがありません。ファイルが途中で切れている可能性があります。"
               "読み込みますか？")
        .arg(fileName);
}

QString FileFailureText(const jobs::FileOutcome& f, const DeviceLayout& layout, bool dataFile) {
    const QString name = QFileInfo(QString::fromStdString(f.path)).fileName();
    switch (f.cause) {
        case FileCause::None:
        case FileCause::NoEndRecord:
            break;
        case FileCause::NotOpened:
            return QStringLiteral("ファイルを開けませんでした。\n%1").arg(name);
        case FileCause::NotARegularFile:
            return QStringLiteral(
                       "ファイルを開けませんでした。\n%1 は通常のファイルではありません。")
                .arg(name);
        case FileCause::NotHex: {
            const QString where =
                f.failure.line == 0 ? name
                                    : QStringLiteral("%1 の %2 行目").arg(name).arg(f.failure.line);
            return QStringLiteral("Hexファイルの読み込みに失敗しました。\n%1：%2")
                .arg(where, FileReason(f, layout, dataFile));
        }
    }
    return {};
}

}  // namespace tenlo::app
