#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

class QDialog;
class QPushButton;

namespace tenlo::app {

// The faces the dialog templates name. The Windows face comes first; where it is missing the
// Noto CJK face stands in, so the Japanese texts render on any desktop we ship to.
inline constexpr const char* kUiGothic = "MS UI Gothic";
inline constexpr const char* kPGothic = "ＭＳ Ｐゴシック";
QFont DialogFont(const char* face, int points = 9);

// Dialog-template units in pixels for a font, as Windows converts them: a quarter of the
// average Latin letter width across, an eighth of the line height down. Controls keep their
// template positions whatever font the platform substitutes.
class CDialogUnits {
  public:
    explicit CDialogUnits(const QFont& font);

    int X(int units) const { return (units * baseX_ + 2) / 4; }
    int Y(int units) const { return (units * baseY_ + 4) / 8; }
    QSize Size(int width, int height) const { return {X(width), Y(height)}; }
    QRect Rect(int x, int y, int width, int height) const {
        return {X(x), Y(y), X(width), Y(height)};
    }

  private:
    int baseX_ = 0;
    int baseY_ = 0;
};

// Gives a dialog its template's id (as objectName), title, font and fixed size, and returns the
// units its controls are placed in.
CDialogUnits ApplyTemplate(QDialog& dialog, int id, const QString& title, const char* face,
                           int width, int height);
// The template's OK (the default button) and "キャンセル" buttons, placed in dialog units.
QPushButton* AddOkButton(QDialog& dialog, const QRect& rect);
QPushButton* AddCancelButton(QDialog& dialog, const QRect& rect);

}  // namespace tenlo::app
