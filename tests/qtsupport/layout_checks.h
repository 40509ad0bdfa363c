#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>
#include <vector>

namespace tenlo::qt::testing {

// Every visible control of a dialog lies inside it, shows its whole text and covers no other
// control. Returns how many controls it looked at.
inline int ExpectTidyLayout(const QWidget& dialog) {
    std::vector<QWidget*> shown;
    for (QWidget* w : dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (w->isVisible()) {
            shown.push_back(w);
        }
    }
    for (QWidget* w : shown) {
        EXPECT_TRUE(dialog.rect().contains(w->geometry()))
            << w->metaObject()->className() << " " << w->objectName().toStdString()
            << " leaves the dialog";
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            text = label->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            text = button->text();
        }
        // A mnemonic's "&" is not drawn ("&&" draws one).
        text.replace(QStringLiteral("&&"), QStringLiteral("\x01"))
            .remove(u'&')
            .replace(u'\x01', u'&');
        if (!text.isEmpty()) {
            EXPECT_GE(w->sizeHint().width(), w->fontMetrics().horizontalAdvance(text));
            EXPECT_LE(w->sizeHint().width(), w->width()) << text.toStdString() << " is clipped";
            EXPECT_LE(w->fontMetrics().height(), w->height()) << text.toStdString();
        }
        for (QWidget* other : shown) {
            if (other != w) {
                EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                    << w->objectName().toStdString() << " overlaps "
                    << other->objectName().toStdString();
            }
        }
    }
    return static_cast<int>(shown.size());
}

}  // namespace tenlo::qt::testing
