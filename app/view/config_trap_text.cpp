#include "app/view/config_trap_text.h"

#include <QStringList>

namespace tenlo::app {

QString ConfigTrapText(const ConfigTrap& trap) {
    const QString fields = QString::fromStdString(trap.fields);
    switch (trap.kind) {
        case ConfigTrapKind::CodeProtection:
            return QStringLiteral(
                       "コードプロテクトが有効です（%1）。プログラムメモリーの読み出しと"
                       "コンペアができなくなり、解除にはイレースが必要です。")
                .arg(fields);
        case ConfigTrapKind::DataProtection:
            return QStringLiteral(
                       "データメモリーのプロテクトが有効です（%1）。データメモリーの"
                       "読み出しとコンペアができなくなり、解除にはイレースが必要です。")
                .arg(fields);
        case ConfigTrapKind::LowVoltageProgramming:
            return QStringLiteral(
                       "低電圧プログラミングが有効です（%1）。PGM ピンを Low にして"
                       "おかないと、プログラムが動かずにプログラミングモードに入る"
                       "ことがあります。")
                .arg(fields);
        case ConfigTrapKind::MclrOffInternalOscillator:
            return QStringLiteral(
                       "MCLR が無効で内部発振器が選ばれています（%1）。電源が入ると"
                       "すぐにプログラムが動くため、Vdd より先に Vpp を加える方法で"
                       "なければ、再び書き込めなくなることがあります。")
                .arg(fields);
        case ConfigTrapKind::Watchdog:
            return QStringLiteral(
                       "ウォッチドッグタイマーが有効です（%1）。プログラムが時間内に"
                       "クリアしないと、チップがリセットされます。")
                .arg(fields);
        case ConfigTrapKind::ConfigWriteProtection:
            return QStringLiteral(
                       "コンフィグレーションの書き込みプロテクトが有効です（%1）。"
                       "これより後のコンフィグレーションは書き込まれず、イレース"
                       "するまで変更できなくなります。")
                .arg(fields);
    }
    return QString::fromStdString(trap.text);
}

QString ConfigTrapQuestion(const std::vector<ConfigTrap>& traps) {
    QString text = QStringLiteral("書き込むコンフィグレーションに次の設定があります。\n");
    // The warnings first: they are what the question is about.
    for (const ConfigTrapLevel level : {ConfigTrapLevel::Warning, ConfigTrapLevel::Notice}) {
        for (const ConfigTrap& trap : traps) {
            if (trap.level == level) {
                text += (level == ConfigTrapLevel::Warning ? QStringLiteral("\n警告：")
                                                           : QStringLiteral("\n注意：")) +
                        ConfigTrapText(trap);
            }
        }
    }
    return text + QStringLiteral("\n\nこのまま書き込みますか？");
}

QString ConfigWriteNotes(const jobs::Report& report) {
    QStringList lines;
    if (report.protectionLeftOff.Any() && report.Done(Memory::Config)) {
        QStringList fields;
        for (const std::string& field : report.protectionLeftOff.fields) {
            fields << QString::fromStdString(field);
        }
        lines << QStringLiteral(
                     "ファイルはプロテクトを有効にしていますが（%1）、このプログラマーは"
                     "プロテクトを書き込みません。")
                     .arg(fields.join(QStringLiteral(", ")));
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace tenlo::app
