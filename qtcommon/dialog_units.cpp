#include "qtcommon/dialog_units.h"

#include <QStringList>

namespace tenlo::qt {

namespace {

// Rounded like the Windows MulDiv the dialog manager uses.
int Scale(int units, int base, int divisor) {
    const long long product = static_cast<long long>(units) * base;
    const long long half = divisor / 2;
    return static_cast<int>(product >= 0 ? (product + half) / divisor
                                         : -((-product + half) / divisor));
}

}  // namespace

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width over the 52 Latin letters, rounded, as Windows takes it.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (letters / 26 + 1) / 2;
    baseY_ = metrics.height();
    if (baseX_ < 1) {
        baseX_ = 1;
    }
    if (baseY_ < 1) {
        baseY_ = 1;
    }
}

int CDialogUnits::X(int units) const {
    return Scale(units, baseX_, 4);
}

int CDialogUnits::Y(int units) const {
    return Scale(units, baseY_, 8);
}

QRect CDialogUnits::Rect(int x, int y, int width, int height) const {
    return {X(x), Y(y), X(width), Y(height)};
}

QSize CDialogUnits::Size(int width, int height) const {
    return {X(width), Y(height)};
}

void CDialogUnits::WidenToFit(const QFontMetrics& metrics, const QString& text, int widthUnits,
                              int padding) {
    if (widthUnits <= 0) {
        return;
    }
    const int needed = metrics.horizontalAdvance(text) + padding;
    while (X(widthUnits) < needed) {
        ++baseX_;
    }
}

QFont DialogFont(const QString& family, int pointSize) {
    QFont font;
    font.setFamilies(QStringList{family, QStringLiteral("Noto Sans CJK JP")});
    font.setPointSize(pointSize);
    return font;
}

}  // namespace tenlo::qt
