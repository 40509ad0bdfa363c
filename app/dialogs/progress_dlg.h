#pragma once

#include <QDialog>
#include <QPointer>
#include <cstdint>

class QLabel;
class QProgressBar;

namespace tenlo::app {

// The text and bar of a running device operation (dialog 103). The object lives as long as the
// view; its window is up from Open to Close. The user cannot close it: it has no buttons, no
// system menu, and Escape does nothing. GUI thread only: a device reaches it through
// CProgressBridge.
class CProgressDlg : public QDialog {
    Q_OBJECT

  public:
    // owner: the window it stands over. It is not the Qt parent, since the owner is disabled
    // while the dialog is up and a disabled parent would grey the dialog's text too.
    explicit CProgressDlg(QWidget* owner = nullptr);

    // Upper end of the bar, used when the window next opens.
    void SetRange(int upper) { upper_ = static_cast<std::uint16_t>(upper); }
    bool Open();
    void SetPosition(int position);
    void SetText(const QString& text);
    void Close();

    void reject() override {}

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QPointer<QWidget> owner_;
    std::uint16_t upper_ = 0;
    QLabel* message_;
    QProgressBar* bar_;
};

}  // namespace tenlo::app
