#include "app/dialogs/dialog_units.h"

#include <QFontMetrics>
#include <QStringList>

namespace tenlo::app {

QFont DialogFont(const char* face, int points) {
    QFont font;
    font.setFamilies(QStringList{QString::fromUtf8(face), QStringLiteral("Noto Sans CJK JP")});
    font.setPointSize(points);
    return font;
}

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // Windows measures the 52 Latin letters and rounds the average to the nearest pixel.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (letters / 26 + 1) / 2;
    baseY_ = metrics.height();
}

}  // namespace tenlo::app
