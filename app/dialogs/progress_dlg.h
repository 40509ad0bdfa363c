#pragma once

#include <QDialog>
#include <QPointer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tenlo::app {

// The text and bar of a running device operation (dialog 103), with the percentage, the time
// left and a "中止" button. The object lives as long as the view; its window is up from Open
// to Close. The user cannot close it: it has no system menu and Escape does nothing; "中止"
// raises the stop flag the running job watches, and the job then ends at its next command
// with the chip powered down. GUI thread only: a device reaches it through CProgressBridge.
class CProgressDlg : public QDialog {
    Q_OBJECT

  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // owner: the window it stands over. It is not the Qt parent, since the owner is disabled
    // while the dialog is up and a disabled parent would grey the dialog's text too.
    explicit CProgressDlg(QWidget* owner = nullptr);

    // Upper end of the bar, used when the window next opens.
    void SetRange(int upper) { upper_ = static_cast<std::uint16_t>(upper); }
    bool Open();
    void SetPosition(int position);
    void SetText(const QString& text);
    void Close();

    // What "中止" raises (none: the button is disabled). It must outlive the dialog.
    void SetStopFlag(std::atomic<bool>* stop);
    // The time the estimate of the time left is measured in (tests).
    void SetClock(Clock clock) { clock_ = std::move(clock); }

    // "42%　残り 約 1 分 20 秒": the percentage and, once the pace can be told, the time left
    // at the pace so far. The time is given to the next 5 seconds under a minute.
    static QString ProgressLine(int percent, std::optional<std::chrono::seconds> left);

    void reject() override {}

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void OnStop();
    void Restart();
    void ShowProgress();

    QPointer<QWidget> owner_;
    std::uint16_t upper_ = 0;
    QLabel* message_;
    QProgressBar* bar_;
    QLabel* progress_;
    QPushButton* stopButton_;
    std::atomic<bool>* stop_ = nullptr;
    Clock clock_;
    // The pace is measured from the start of a pass (the bar from its lowest point on).
    std::chrono::steady_clock::time_point passStart_;
    int passFrom_ = 0;
};

}  // namespace tenlo::app
