#pragma once

#include <QWidget>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

class CConfigBitsDlg;
class CConfigGridLink;
class CDevelDlg;
class CHexListCtrl;
class CMainFrame;

// The main form (dialog 101) inside the frame: the three memories of the selected chip as hex
// grids, each with its "書き込み", "読み出し" and "コンペア" boxes, and the commands that turn
// them into device operations and their result messages. It borrows the application's link
// and owns the device, the memory image, the options record, the progress dialog and the
// development dialog.
//
// The grids are a document: named after the program file last opened or saved, and edited
// while a grid holds a change not yet saved or written. Nothing edited is dropped (by another
// chip, a read, a file, closing) without the user saying so.
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
    // The document keeps its name; nothing is asked (ChooseChip asks).
    bool SelectDevice(int index);
    void RefreshGrids();
    // The user's choice of a chip (menus, selector): edits are asked about first, and a
    // program file in use is offered again for the new chip.
    void ChooseChip(int index);

    // Opening a file as the menu does once it has a path (a drop comes here too): a file that
    // loads replaces the grids' memories only when no edit in them is lost or the user says so.
    void OpenProgramPath(const QString& path);
    void OpenDataPath(const QString& path);

    // True when the memories' edits may go: none, or the user said so ("はい"). Open edits
    // are ended first, so what is being typed counts.
    bool MayDrop(const jobs::MemorySet& memories);
    // Whether a memory holds edits not saved or written, and the document's name (the program
    // file's path; empty: untitled).
    bool Edited(Memory memory) const { return edited_[static_cast<std::size_t>(memory)]; }
    const QString& DocumentPath() const { return documentPath_; }
    // No command running: the window may close, the port change.
    bool Idle() const { return !operating_; }
    // After the port changed: failures name the new one.
    void SetPortName(std::string portName) { portName_ = std::move(portName); }
    const std::string& PortName() const { return portName_; }
    // The form at its own size: the dialog's, widened for the current chip's columns.
    QSize sizeHint() const override { return baseSize_; }
    QSize minimumSizeHint() const override { return baseSize_; }

    void OnRead();
    void OnErase();
    void OnWrite();
    void OnCompare();
    void OnProgOption();
    void OnDevelDlg();
    void OnConfigBits();
    void OnRestoreCalibration();
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
    // "その他": the other chips of the catalogue in a popup per family.
    QMenu* OtherChipMenu() const { return otherMenu_; }
    CDevelDlg* DevelDlg() { return develDlg_.get(); }
    CConfigBitsDlg* ConfigBitsDlg() { return configBitsDlg_.get(); }

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
    // The chip popups "選択" and "その他" in the device menu, and the selector's list.
    void BuildChipChoices(QMenu* deviceMenu);
    void AddChip(QMenu* menu, int index);
    // Widens the grids (and the form and frame around them) to the columns of the current
    // layout, so that no column's text is cut short.
    void FitGrids();
    // Places the groups and grids: the program grid takes what the window has beyond the
    // form's own size, across and down.
    void LayOut();
    void resizeEvent(QResizeEvent* event) override;
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
    // The path saved to, or empty when nothing was saved.
    QString SaveFile(const std::function<std::optional<std::string>()>& text);
    bool SaveText(const QString& path, const std::optional<std::string>& text);
    // Every grid's cells into the image: what the user sees is what the image holds.
    void GatherAll();
    // A file loaded into a copy of the image: taken when nothing edited is lost, or the user
    // says it may be. The memories it changed, or nothing when it was not taken.
    std::optional<jobs::MemorySet> TakeLoaded(const CMemoryImage& loaded);
    // A program or data file loaded and taken (or the failure told): what the file provided
    // and which memories it changed; nothing when it was not taken.
    struct Loaded {
        jobs::MemorySet provided;
        jobs::MemorySet changed;
    };
    std::optional<Loaded> LoadFile(const QString& path, bool dataFile);
    bool Ask(const QString& text);
    void MarkEdited(std::size_t memory);
    void UpdateTitle();

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
    QMenu* otherMenu_ = nullptr;
    std::vector<QAction*> chipActions_;
    bool operating_ = false;
    // Raised by the progress dialog's "中止"; each command starts with it down.
    std::atomic<bool> stop_{false};

    // The form in pixels: its own size, and by how much the current chip's columns widen it.
    int baseFormWidth_ = 0;
    int baseGridWidth_ = 0;
    int gridExtra_ = 0;
    QSize baseSize_;
    std::array<QRect, 3> groupRects_{};
    std::array<QRect, 3> gridRects_{};

    QString documentPath_;
    std::array<bool, 3> edited_{};
    // The program file last opened or saved: its checksum, as tenlo-cli checksum gives it,
    // shown after the caption; none once another chip is selected.
    std::optional<std::uint16_t> fileChecksum_;

    // Declared before anything a device owns, so a device (which points at these) goes first.
    std::unique_ptr<CProgressDlg> progressDlg_;
    std::unique_ptr<CProgressBridge> progress_;
    std::unique_ptr<CDevelDlg> develDlg_;
    CConfigGridLink* configLink_ = nullptr;
    std::unique_ptr<CConfigBitsDlg> configBitsDlg_;
    int deviceIndex_ = -1;
    std::unique_ptr<CDevice> device_;
    // Refers to the device's layout: goes before the device.
    std::unique_ptr<CMemoryImage> image_;
};

}  // namespace tenlo::app
