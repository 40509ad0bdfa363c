#include "qtcommon/message_presenter.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QWidget>
#include <atomic>

#include "link/ui_interfaces.h"
#include "qtcommon/gui_thread.h"

namespace tenlo::qt {

namespace {

QMessageBox::Icon IconOf(unsigned type) {
    switch (type & kMbIconMask) {
        case kMbIconError:
            return QMessageBox::Critical;
        case kMbIconQuestion:
            return QMessageBox::Question;
        case kMbIconExclamation:
            return QMessageBox::Warning;
        case kMbIconInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

class QMessageBoxPresenter final : public IMessagePresenter {
  public:
    int Show(QWidget* owner, const QString& caption, const QString& text, unsigned type) override {
        QMessageBox box(IconOf(type), caption, text, QMessageBox::NoButton, owner);
        // Texts carry names from outside (files, devices, programs): never read as markup.
        box.setTextFormat(Qt::PlainText);
        switch (type & kMbButtonMask) {
            case kMbOkCancel:
                box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
                break;
            case kMbYesNo:
                box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
                break;
            default:
                box.setStandardButtons(QMessageBox::Ok);
                break;
        }
        if (owner == nullptr || (type & kMbSystemModal) != 0) {
            box.setWindowModality(Qt::ApplicationModal);
        }
        if ((type & kMbSetForeground) != 0) {
            box.raise();
            box.activateWindow();
        }
        switch (box.exec()) {
            case QMessageBox::Cancel:
                return kIdCancel;
            case QMessageBox::Yes:
                return kIdYes;
            case QMessageBox::No:
                return kIdNo;
            default:
                return kIdOk;
        }
    }
};

QMessageBoxPresenter g_defaultPresenter;
std::atomic<IMessagePresenter*> g_presenter{nullptr};

}  // namespace

void SetMessagePresenter(IMessagePresenter* presenter) {
    g_presenter.store(presenter);
}

IMessagePresenter& MessagePresenter() {
    IMessagePresenter* presenter = g_presenter.load();
    return presenter != nullptr ? *presenter : g_defaultPresenter;
}

int ShowMessage(QWidget* owner, const QString& caption, const QString& text, unsigned type) {
    int result = 0;
    RunOnGui([&] { result = MessagePresenter().Show(owner, caption, text, type); });
    return result;
}

int ShowAppMessage(QWidget* owner, const QString& text, unsigned type) {
    return ShowMessage(owner, QCoreApplication::applicationName(), text, type);
}

}  // namespace tenlo::qt
