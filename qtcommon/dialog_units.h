#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QSize>

namespace tenlo::qt {

// Dialog layouts are given in dialog units of their font, as Windows measures them: a quarter
// of the font's average character width across, an eighth of its height down. Converting
// through the font keeps the relative positions whatever font the platform substitutes.
class CDialogUnits {
  public:
    explicit CDialogUnits(const QFont& font);

    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

    // Widens the horizontal unit until text, drawn in metrics' font with padding pixels beside
    // it, fits a box widthUnits wide. The layouts' full-width Japanese texts are wider than
    // the Latin letters the unit is measured on, and scaling every position alike keeps the
    // layout's proportions while no text is clipped.
    void WidenToFit(const QFontMetrics& metrics, const QString& text, int widthUnits, int padding);

    int BaseX() const { return baseX_; }
    int BaseY() const { return baseY_; }

  private:
    int baseX_;
    int baseY_;
};

// The dialog font of a layout: family as the resource names it, with a Japanese font the
// platform has as a fallback for it, at the point size given.
QFont DialogFont(const QString& family, int pointSize);

}  // namespace tenlo::qt
