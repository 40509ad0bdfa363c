#pragma once

#include <QMainWindow>
#include <functional>
#include <map>

class QComboBox;
class QToolBar;

namespace tenlo::app {

// The main window: menu 128, toolbar 128 with the device selector in its last slot, no status
// bar. It opens at the size of the form (the view) it holds and can be made larger, never
// smaller. Its caption is the document's title and the program's.
class CMainFrame : public QMainWindow {
    Q_OBJECT

  public:
    static constexpr int kSelectorWidth = 130;
    // Height of the selector's open list, as the toolbar slot's rectangle sets it (1 to 451).
    static constexpr int kSelectorListHeight = 450;

    explicit CMainFrame(QWidget* parent = nullptr);

    // The action of a command id (kCmd...), or nullptr.
    QAction* Action(int command) const;
    // Gives a command its handler; a command with a handler is enabled, one without is not.
    void OnCommand(int command, QObject* context, std::function<void()> handler);

    QComboBox* DeviceSelector() const { return deviceSelector_; }
    QToolBar* ToolBar() const { return toolBar_; }

    // Holds the form at its own size at least, with the toolbar and menu around it. A window
    // at its least size stays so (it follows a form that grows or shrinks); a larger one keeps
    // its size as far as the form lets it.
    void FitToView();

    // "<document> - Tenlo", with "*" after the document's name while it holds edits; an empty
    // document is the untitled one, "無題".
    void SetDocumentTitle(const QString& document, bool modified);
    // Asked before the window closes; false keeps it open.
    void SetCloseGuard(std::function<bool()> guard) { closeGuard_ = std::move(guard); }

  protected:
    // Not while an operation holds the window disabled, nor when the guard says no.
    void closeEvent(QCloseEvent* event) override;

  private:
    QAction* AddCommand(int command, const QString& text, const QString& tip = {});
    void CreateMenus();
    void CreateToolBar();

    QComboBox* deviceSelector_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    std::map<int, QAction*> actions_;
    std::function<bool()> closeGuard_;
    // The size of the last fit: a window still at it follows the next.
    QSize least_;
};

}  // namespace tenlo::app
