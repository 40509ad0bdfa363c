#pragma once

#include <QString>

#include "qtcommon/dialog_units.h"

class QDialog;
class QPushButton;

namespace tenlo::app {

// The faces Tenlo's dialog templates name.
inline constexpr const char* kUiGothic = "MS UI Gothic";
inline constexpr const char* kPGothic = "ＭＳ Ｐゴシック";

// A template's face at 9 points, with the platform's Japanese face standing in.
QFont TemplateFont(const char* face);

// Gives a dialog its template's id (as objectName), title, font and fixed size, and returns the
// units its controls are placed in.
qt::CDialogUnits ApplyTemplate(QDialog& dialog, int id, const QString& title, const char* face,
                               int width, int height);
// The template's OK (the default button) and "キャンセル" buttons, placed in dialog units.
QPushButton* AddOkButton(QDialog& dialog, const QRect& rect);
QPushButton* AddCancelButton(QDialog& dialog, const QRect& rect);

}  // namespace tenlo::app
