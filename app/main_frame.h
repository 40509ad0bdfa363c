#pragma once

#include <QMainWindow>
#include <functional>
#include <map>

class QComboBox;
class QToolBar;

namespace tenlo::app {

// The main window: menu 128, toolbar 128 with the device selector in its last slot, no status
// bar, a fixed size around the form (the view) it holds. Its caption is the document's title
// and the program's.
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

    // Shrinks (or grows) the frame to hold the form and the toolbar exactly, and keeps it there.
    void FitToView();

  protected:
    // Not while an operation holds the window disabled.
    void closeEvent(QCloseEvent* event) override;

  private:
    QAction* AddCommand(int command, const QString& text, const QString& tip = {});
    void CreateMenus();
    void CreateToolBar();

    QComboBox* deviceSelector_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    std::map<int, QAction*> actions_;
};

}  // namespace tenlo::app
