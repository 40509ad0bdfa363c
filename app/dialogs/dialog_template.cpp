#include "app/dialogs/dialog_template.h"

#include <QDialog>
#include <QPushButton>

namespace tenlo::app {

QFont TemplateFont(const char* face) {
    return qt::DialogFont(QString::fromUtf8(face), 9);
}

qt::CDialogUnits ApplyTemplate(QDialog& dialog, int id, const QString& title, const char* face,
                               int width, int height) {
    dialog.setObjectName(QString::number(id));
    dialog.setWindowTitle(title);
    dialog.setFont(TemplateFont(face));
    const qt::CDialogUnits units(dialog.font());
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
