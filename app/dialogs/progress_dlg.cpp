#include "app/dialogs/progress_dlg.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWindow>
#include <algorithm>

#include "app/dialogs/dialog_template.h"

namespace tenlo::app {

namespace {
// Before a second of a pass has gone by, its pace says too little to tell the time left.
constexpr std::chrono::milliseconds kSettle{1000};
constexpr int kRounding = 5;  // seconds
}  // namespace

CProgressDlg::CProgressDlg(QWidget* owner)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      owner_(owner),
      clock_([] { return std::chrono::steady_clock::now(); }) {
    const qt::CDialogUnits du =
        ApplyTemplate(*this, 103, QStringLiteral("Tenlo"), kPGothic, 187, 70);

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("1052"));
    message_->setGeometry(du.Rect(7, 9, 173, 10));

    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("1051"));
    bar_->setTextVisible(false);
    bar_->setGeometry(du.Rect(7, 24, 174, 6));

    progress_ = new QLabel(this);
    progress_->setObjectName(QStringLiteral("1054"));
    progress_->setGeometry(du.Rect(7, 35, 174, 10));

    stopButton_ = new QPushButton(QStringLiteral("中止"), this);
    stopButton_->setObjectName(QStringLiteral("IDCANCEL"));
    stopButton_->setGeometry(du.Rect(131, 50, 50, 14));
    stopButton_->setAutoDefault(false);
    stopButton_->setEnabled(false);
    connect(stopButton_, &QPushButton::clicked, this, [this] { OnStop(); });
}

void CProgressDlg::SetStopFlag(std::atomic<bool>* stop) {
    stop_ = stop;
    stopButton_->setEnabled(stop_ != nullptr && !stop_->load());
}

bool CProgressDlg::Open() {
    // A bar of range 0..0 would show Qt's busy animation; an unset range shows an empty bar.
    bar_->setRange(0, std::max<int>(upper_, 1));
    bar_->setValue(0);
    message_->clear();
    Restart();
    ShowProgress();
    // A stop already asked for holds until the command has ended, whatever opens meanwhile.
    stopButton_->setEnabled(stop_ != nullptr && !stop_->load());
    if (owner_ != nullptr) {
        QWidget* window = owner_->window();
        move(window->geometry().center() - rect().center());
        winId();
        if (windowHandle() != nullptr) {
            windowHandle()->setTransientParent(window->windowHandle());
        }
    }
    show();
    raise();
    activateWindow();
    return true;
}

void CProgressDlg::SetPosition(int position) {
    const int value = std::clamp(position, bar_->minimum(), bar_->maximum());
    if (value < passFrom_ || value < bar_->value()) {
        // The bar went back: a new pass (a verify after the write, another memory).
        Restart();
        passFrom_ = value;
    }
    bar_->setValue(value);
    ShowProgress();
}

void CProgressDlg::SetText(const QString& text) {
    if (text != message_->text()) {
        Restart();
        passFrom_ = bar_->value();
    }
    message_->setText(text);
}

void CProgressDlg::Close() {
    hide();
}

void CProgressDlg::Restart() {
    passStart_ = clock_();
    passFrom_ = 0;
}

void CProgressDlg::OnStop() {
    if (stop_ == nullptr) {
        return;
    }
    stop_->store(true);
    stopButton_->setEnabled(false);
    ShowProgress();
}

void CProgressDlg::ShowProgress() {
    if (stop_ != nullptr && stop_->load()) {
        progress_->setText(QStringLiteral("中止しています..."));
        return;
    }
    const int upper = std::max(bar_->maximum(), 1);
    const int value = bar_->value();
    const int percent = value * 100 / upper;
    std::optional<std::chrono::seconds> left;
    const auto elapsed = clock_() - passStart_;
    const int done = value - passFrom_;
    if (done > 0 && elapsed >= kSettle && value < upper) {
        const auto rest = elapsed * (upper - value) / done;
        left = std::chrono::ceil<std::chrono::seconds>(rest);
    }
    progress_->setText(ProgressLine(percent, left));
}

QString CProgressDlg::ProgressLine(int percent, std::optional<std::chrono::seconds> left) {
    QString line = QStringLiteral("%1%").arg(percent);
    if (!left) {
        return line;
    }
    // To the next 5 seconds: a count that jumps by single seconds only looks precise.
    const auto seconds =
        std::max<std::int64_t>(kRounding, (left->count() + kRounding - 1) / kRounding * kRounding);
    const auto minutes = seconds / 60;
    const auto rest = seconds % 60;
    QString time;
    if (minutes == 0) {
        time = QStringLiteral("%1 秒").arg(rest);
    } else if (rest == 0) {
        time = QStringLiteral("%1 分").arg(minutes);
    } else {
        time = QStringLiteral("%1 分 %2 秒").arg(minutes).arg(rest);
    }
    return line + QStringLiteral("　残り 約 ") + time;
}

void CProgressDlg::closeEvent(QCloseEvent* event) {
    // Only the operation closes it, and that hides it without a close event.
    event->ignore();
}

}  // namespace tenlo::app
