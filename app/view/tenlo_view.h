#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/bridge/device_ui_bridges.h"
#include "app/dialogs/progress_dlg.h"
#include "device/device.h"
#include "device/device_ui.h"
#include "device/memory_image.h"
#include "jobs/device_jobs.h"
#include "link/programmer_link.h"
#include "qtcommon/qt_ui_bridges.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QMenu;
class QPushButton;

namespace tenlo::app {

class CDevelDlg;
class CHexListCtrl;
class CMainFrame;

// The main form (dialog 101) inside the frame: the three memories of the selected chip as hex
// grids, each with its "書き込み", "読み出し" and "コンペア" boxes, and the commands that turn
// them into device operations and their result messages. It borrows the application's link
// and owns the device, the memory image, the options record, the progress dialog and the
// development dialog.
class CTenloView : public QWidget {
    Q_OBJECT

  public:
    // Position of "デバイス(&D)" in the menu bar.
    static constexpr int kDeviceMenuPosition = 1;
    // The check boxes of the form, by memory (program, configuration, data).
    static constexpr std::array<int, 3> kWriteBoxes{1038, 1041, 1044};
    static constexpr std::array<int, 3> kReadBoxes{1039, 1042, 1045};
    static constexpr std::array<int, 3> kCompareBoxes{1040, 1043, 1046};
    static constexpr int kDevelButton = 1002;

    // linkErrors is the box the link reports through; the view becomes its owner. portName:
    // the port the link is connected on ("COM5"), as failures name it.
    CTenloView(CMainFrame& frame, CProgrammerLink& link, qt::CQtErrorBox& linkErrors,
               std::string portName);
    // Device, image, development dialog and progress dialog go, in this order.
    ~CTenloView() override;

    // Once, after the frame has put the view in place: the chip menu, the selector, PIC16F84A.
    void OnInitialUpdate();

    // Replaces the device, the image (blank) and the grids by those of a catalogue chip. False,
    // with nothing changed, for an index outside the catalogue or a chip no family builds yet.
    bool SelectDevice(int index);
    void RefreshGrids();

    void OnRead();
    void OnErase();
    void OnWrite();
    void OnCompare();
    void OnProgOption();
    void OnDevelDlg();
    void OnOpenProgram();
    void OnOpenData();
    void OnSaveProgram();
    void OnSaveData();

    CMainFrame& Frame() { return frame_; }
    CProgrammerLink& Link() { return link_; }
    // What every device object is given. Valid from OnInitialUpdate on.
    IProgressDisplay* Progress() { return progress_.get(); }
    IMainWindow* MainWindow() { return &mainWindow_; }
    CProgressDlg* ProgressDialog() { return progressDlg_.get(); }

    CDevice* Device() { return device_.get(); }
    CMemoryImage* Image() { return image_.get(); }
    int DeviceIndex() const { return deviceIndex_; }
    DeviceOptions& Options() { return options_; }
    CHexListCtrl& Grid(Memory memory) { return *grids_[static_cast<std::size_t>(memory)]; }
    QCheckBox* Box(int id) const;
    QMenu* ChipMenu() const { return chipMenu_; }
    CDevelDlg* DevelDlg() { return develDlg_.get(); }

  private:
    // Holds the main window locked for the length of one command; nothing else starts meanwhile.
    class Operation;
    // Asks what a job needs to know, through the message presenter, the window unlocked while
    // the box is up.
    class Questions;

    // The context of a job on the current chip: the socket checked, the user asked.
    jobs::JobContext JobContext();
    // The grids' cells into the image, for the memories a write or compare takes.
    void GatherGrids(const std::array<int, 3>& boxes);
    jobs::MemorySet CheckedMemories(const std::array<int, 3>& boxes) const;

    void BuildForm();
    // Widens the grids (and the form and frame around them) to the columns of the current
    // layout, so that no column's text is cut short.
    void FitGrids();
    void OnChipCommand(int index);
    void OnSelectorChange(int item);
    void SelectInSelector(int index);
    bool Checked(int id) const;
    // True when the command has a memory to work on; otherwise says so with text.
    bool AnyChecked(const std::array<int, 3>& ids, const QString& text);
    void Tell(const QString& text, unsigned icon);
    // A failed job's message: text, then what the outcome says caused it. Nothing at all when
    // the user chose to end it (another chip: no).
    void TellFailure(const QString& text, const jobs::Outcome& outcome, unsigned icon);
    // The open and save commands: the file dialog, then what each does with the file.
    void OpenFile(const std::function<void(const QString&)>& load);
    void SaveFile(const std::function<std::optional<std::string>()>& text);
    void LoadProgramFile(const QString& path);
    void LoadDataFile(const QString& path);
    bool SaveText(const QString& path, const std::optional<std::string>& text);

    CMainFrame& frame_;
    CProgrammerLink& link_;
    std::string portName_;
    std::unique_ptr<Questions> questions_;
    qt::CQtErrorBox& linkErrors_;
    // "Thread強制停止" comes while the main window is locked: a box owned by it would be locked
    // too, so this one has no owner.
    qt::CQtErrorBox deviceErrors_;
    CMainWindowBridge mainWindow_;
    DeviceOptions options_;

    std::array<CHexListCtrl*, 3> grids_{};
    std::array<QGroupBox*, 3> groups_{};
    std::array<QCheckBox*, 9> boxes_{};
    QPushButton* develButton_ = nullptr;
    QComboBox* selector_ = nullptr;
    QMenu* chipMenu_ = nullptr;
    bool operating_ = false;
    bool syncingSelector_ = false;
    int baseFormWidth_ = 0;
    int baseGridWidth_ = 0;

    // Declared before anything a device owns, so a device (which points at these) goes first.
    std::unique_ptr<CProgressDlg> progressDlg_;
    std::unique_ptr<CProgressBridge> progress_;
    std::unique_ptr<CDevelDlg> develDlg_;
    int deviceIndex_ = -1;
    std::unique_ptr<CDevice> device_;
    // Refers to the device's layout: goes before the device.
    std::unique_ptr<CMemoryImage> image_;
};

}  // namespace tenlo::app
