#include "app/dialogs/dialog_units.h"

#include <QDialog>
#include <QFontMetrics>
#include <QPushButton>
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

CDialogUnits ApplyTemplate(QDialog& dialog, int id, const QString& title, const char* face,
                           int width, int height) {
    dialog.setObjectName(QString::number(id));
    dialog.setWindowTitle(title);
    dialog.setFont(DialogFont(face));
    const CDialogUnits units(dialog.font());
    dialog.setFixedSize(units.Size(width, height));
    return units;
}

QPushButton* AddOkButton(QDialog& dialog, const QRect& rect) {
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setGeometry(rect);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    return ok;
}

QPushButton* AddCancelButton(QDialog& dialog, const QRect& rect) {
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), &dialog);
    cancel->setObjectName(QStringLiteral("IDCANCEL"));
    cancel->setGeometry(rect);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    return cancel;
}

}  // namespace tenlo::app
