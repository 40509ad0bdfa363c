#include "app/view/tenlo_view.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QSaveFile>
#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>

#include "app/commands.h"
#include "app/dialogs/calibration_dlg.h"
#include "app/dialogs/config_bits_dlg.h"
#include "app/dialogs/devel_dlg.h"
#include "app/dialogs/dialog_template.h"
#include "app/dialogs/hex_file_dlg.h"
#include "app/dialogs/modal_runner.h"
#include "app/dialogs/prog_option_dlg.h"
#include "app/main_frame.h"
#include "app/view/config_trap_text.h"
#include "app/view/outcome_text.h"
#include "app/widgets/hex_list_ctrl.h"
#include "device/catalogue.h"
#include "hexfile/image_hex.h"
#include "jobs/calibration.h"
#include "jobs/checksum.h"
#include "jobs/hex_files.h"
#include "link/ui_interfaces.h"
#include "qtcommon/message_presenter.h"

namespace tenlo::app {

namespace {

// The loaded file's checksum after the caption, as tenlo-cli checksum gives it; none: the
// caption alone (no file loaded for the chip selected).
void ShowFileChecksum(QWidget& frame, std::optional<std::uint16_t> checksum) {
    static const QString kOpen = QStringLiteral(" (チェックサム ");
    QString title = frame.windowTitle();
    if (const qsizetype at = title.indexOf(kOpen); at >= 0) {
        title.truncate(at);
    }
    if (checksum) {
        const QString digits = QString::number(*checksum, 16).rightJustified(4, u'0').toUpper();
        title += kOpen + QStringLiteral("0x") + digits + QStringLiteral(")");
    }
    frame.setWindowTitle(title);
}

constexpr std::size_t kProgram = 0;
constexpr std::size_t kConfig = 1;
constexpr std::size_t kData = 2;
constexpr std::array<Memory, 3> kMemories{Memory::Program, Memory::Config, Memory::Data};

// Form 101 in dialog units: each memory's group box, and its grid's height inside it.
struct MemoryBlock {
    const char* title;
    int gridId;
    int top;
    int height;
    int gridHeight;
};
constexpr std::array<MemoryBlock, 3> kBlocks{{
    {"プログラムメモリー", 1032, 7, 119, 93},
    {"コンフィグレーションメモリー", 1036, 130, 56, 29},
    {"データメモリー", 1037, 190, 94, 67},
}};
constexpr int kFormWidth = 344;
constexpr int kFormHeight = 296;
constexpr int kGroupLeft = 7;
constexpr int kGroupWidth = 330;
constexpr int kGridLeft = 7;  // inside the group box
constexpr int kGridTop = 23;
constexpr int kGridWidth = 315;

std::size_t BoxSlot(int id) {
    return static_cast<std::size_t>(id - CTenloView::kWriteBoxes[0]);
}

QString MismatchReport(Memory memory, const CompareResult& result) {
    QString text;
    int valueDigits = 4;
    switch (memory) {
        case Memory::Program:
            text = QStringLiteral("コンペア結果：不一致\nプログラムメモリー\n");
            break;
        case Memory::Config:
            text = QStringLiteral("コンペア結果：不一致\nコンフィグレーションメモリー\n");
            break;
        case Memory::Data:
            text = QStringLiteral("コンペア結果：不一致\nデータメモリー\n");
            valueDigits = 2;
            break;
    }
    // The address label is padded with three ideographic spaces to line up with the others.
    text += QString::asprintf("アドレス\u3000\u3000\u3000\t%04XH\n", result.address);
    text += QString::asprintf(
        valueDigits == 2 ? "読み出しデータ\t%02XH\n" : "読み出しデータ\t%04XH\n", result.read);
    text += QString::asprintf(
        valueDigits == 2 ? "コンペアデータ\t%02XH\n" : "コンペアデータ\t%04XH\n", result.expected);
    return text;
}

QString NotComparedText(Memory memory) {
    switch (memory) {
        case Memory::Program:
            return QStringLiteral("プログラムメモリーをコンペアできませんでした。");
        case Memory::Config:
            return QStringLiteral("コンフィグメモリーをコンペアできませんでした。");
        case Memory::Data:
            break;
    }
    return QStringLiteral("データメモリーをコンペアできませんでした。");
}

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace

// One command's hold on the main window: locked from its first device call to its result
// message, so no other command (nor a chip change) can start in the gaps between operations.
class CTenloView::Operation {
  public:
    explicit Operation(CTenloView& view)
        : view_(view), started_(!view.operating_ && view.device_ != nullptr) {
        if (started_) {
            view_.operating_ = true;
            view_.stop_.store(false);
            view_.mainWindow_.Hold();
        }
    }
    ~Operation() { End(); }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    explicit operator bool() const { return started_; }
    // Before the result message, whose box needs the window it stands over.
    void End() {
        if (started_) {
            started_ = false;
            view_.mainWindow_.Release();
            view_.operating_ = false;
        }
    }

  private:
    CTenloView& view_;
    bool started_;
};

// The questions a job asks, in boxes over the main window, which is unlocked for them.
class CTenloView::Questions final : public jobs::IJobQuestions {
  public:
    explicit Questions(CTenloView& view) : view_(view) {}

    bool GoOnWithOtherChip(const std::string& selected, const std::vector<std::string>& named,
                           std::uint16_t id) override {
        return Ask(OtherChipQuestion(selected, named, id));
    }
    bool LoadWithoutEndRecord(const std::string& path, bool /*empty*/) override {
        return Ask(NoEndRecordQuestion(QFileInfo(QString::fromStdString(path)).fileName()));
    }
    bool WriteDespiteConfigTraps(const std::vector<ConfigTrap>& traps) override {
        return Ask(ConfigTrapQuestion(traps));
    }

  private:
    bool Ask(const QString& text) { return view_.Ask(text); }

    CTenloView& view_;
};

bool CTenloView::Ask(const QString& text) {
    const bool held = mainWindow_.Held();
    if (held) {
        mainWindow_.Release();
    }
    const int answer = qt::ShowAppMessage(&frame_, text, kMbYesNo | kMbIconQuestion);
    if (held) {
        mainWindow_.Hold();
    }
    return answer == kIdYes;
}

CTenloView::CTenloView(CMainFrame& frame, CProgrammerLink& link, qt::CQtErrorBox& linkErrors,
                       std::string portName)
    : QWidget(&frame),
      frame_(frame),
      link_(link),
      portName_(std::move(portName)),
      questions_(std::make_unique<Questions>(*this)),
      linkErrors_(linkErrors),
      mainWindow_(frame) {
    setObjectName(QStringLiteral("101"));
    setFont(TemplateFont(kUiGothic));
    BuildForm();
}

CTenloView::~CTenloView() {
    image_.reset();
    device_.reset();
    configBitsDlg_.reset();
    develDlg_.reset();
    progress_.reset();
    progressDlg_.reset();
}

void CTenloView::BuildForm() {
    const qt::CDialogUnits du(font());
    baseFormWidth_ = du.X(kFormWidth);
    baseGridWidth_ = du.X(kGridWidth);
    baseSize_ = du.Size(kFormWidth, kFormHeight);
    setMinimumSize(baseSize_);
    resize(baseSize_);

    static constexpr std::array<const char*, 3> kBoxTexts{"書き込み", "読み出し", "コンペア"};
    for (std::size_t m = 0; m < kBlocks.size(); ++m) {
        const MemoryBlock& block = kBlocks[m];
        auto* group = new QGroupBox(QString::fromUtf8(block.title), this);
        groupRects_[m] = du.Rect(kGroupLeft, block.top, kGroupWidth, block.height);
        group->setGeometry(groupRects_[m]);
        groups_[m] = group;
        const std::array<int, 3> ids{kWriteBoxes[m], kReadBoxes[m], kCompareBoxes[m]};
        for (std::size_t k = 0; k < ids.size(); ++k) {
            auto* box = new QCheckBox(QString::fromUtf8(kBoxTexts[k]), group);
            box->setObjectName(QString::number(ids[k]));
            box->setGeometry(du.Rect(kGridLeft + 1 + 52 * static_cast<int>(k), 10, 48, 10));
            boxes_[BoxSlot(ids[k])] = box;
        }
        auto* grid = new CHexListCtrl(group);
        grid->setObjectName(QString::number(block.gridId));
        gridRects_[m] = du.Rect(kGridLeft, kGridTop, kGridWidth, block.gridHeight);
        grid->setGeometry(gridRects_[m]);
        grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        grids_[m] = grid;
        connect(grid, &CHexListCtrl::CellEdited, this, [this, m] { MarkEdited(m); });
    }
    // A HEX file dropped on the program or the data grid opens there, as the menu opens it.
    grids_[kProgram]->SetAcceptsFiles(true);
    grids_[kData]->SetAcceptsFiles(true);
    connect(grids_[kProgram], &CHexListCtrl::FileDropped, this,
            [this](const QString& path) { OpenProgramPath(path); });
    connect(grids_[kData], &CHexListCtrl::FileDropped, this,
            [this](const QString& path) { OpenDataPath(path); });

    // The development dialog's button: on the form, but never shown (Tenlo --develop opens it).
    develButton_ = new QPushButton(QStringLiteral("DevelDlg"), this);
    develButton_->setObjectName(QString::number(kDevelButton));
    develButton_->setGeometry(du.Rect(287, 284, 50, 10));
    develButton_->hide();
    connect(develButton_, &QPushButton::clicked, this, [this] { OnDevelDlg(); });
    configLink_ = new CConfigGridLink(
        *grids_[kConfig], [this] { return deviceIndex_; }, this);
}

void CTenloView::OnInitialUpdate() {
    frame_.FitToView();

    QMenu* deviceMenu = frame_.menuBar()->actions().value(kDeviceMenuPosition)->menu();
    selector_ = frame_.DeviceSelector();
    BuildChipChoices(deviceMenu);

    // From now on the link's error boxes stand over the main window.
    linkErrors_.SetOwner(this);

    {
        const QSignalBlocker quiet(selector_);
        selector_->setCurrentIndex(selector_->findData(kStartupDeviceIndex));
    }
    connect(selector_, &QComboBox::currentIndexChanged, this,
            [this](int item) { OnSelectorChange(item); });

    progressDlg_ = std::make_unique<CProgressDlg>(this);
    progressDlg_->SetStopFlag(&stop_);
    progress_ = std::make_unique<CProgressBridge>(*progressDlg_);

    frame_.OnCommand(kCmdRead, this, [this] { OnRead(); });
    frame_.OnCommand(kCmdErase, this, [this] { OnErase(); });
    frame_.OnCommand(kCmdWrite, this, [this] { OnWrite(); });
    frame_.OnCommand(kCmdCompare, this, [this] { OnCompare(); });
    frame_.OnCommand(kCmdProgOption, this, [this] { OnProgOption(); });
    frame_.OnCommand(kCmdConfigBits, this, [this] { OnConfigBits(); });
    frame_.OnCommand(kCmdRestoreCalibration, this, [this] { OnRestoreCalibration(); });
    frame_.OnCommand(kCmdOpenProgram, this, [this] { OnOpenProgram(); });
    frame_.OnCommand(kCmdOpenData, this, [this] { OnOpenData(); });
    frame_.OnCommand(kCmdSaveProgram, this, [this] { OnSaveProgram(); });
    frame_.OnCommand(kCmdSaveData, this, [this] { OnSaveData(); });
    frame_.SetCloseGuard([this] { return Idle() && MayDrop(jobs::kAllMemories); });

    SelectDevice(selector_->currentData().toInt());
    // The keys go to the program from the start: a user can move and type at once.
    grids_[kProgram]->setFocus(Qt::OtherFocusReason);
}

void CTenloView::BuildChipChoices(QMenu* deviceMenu) {
    // "選択": the menu's own chips, in its order.
    chipMenu_ = new QMenu(QStringLiteral("選択"), deviceMenu);
    chipMenu_->setObjectName(QStringLiteral("chips"));
    const std::span<const int> menuChips = DeviceMenuIndices();
    for (const int index : menuChips) {
        AddChip(chipMenu_, index);
    }
    // The resource's placeholder "選択(&S)" gives way to the chip list.
    QAction* placeholder = deviceMenu->actions().value(0);
    QAction* chips = deviceMenu->insertMenu(placeholder, chipMenu_);
    deviceMenu->removeAction(placeholder);
    chips->setObjectName(QString::number(kCmdSelectDevice));

    // "その他": every other chip of the catalogue, a popup per family; in the selector after
    // a separator.
    otherMenu_ = new QMenu(QStringLiteral("その他"), deviceMenu);
    otherMenu_->setObjectName(QStringLiteral("others"));
    deviceMenu->insertMenu(deviceMenu->actions().value(1), otherMenu_);
    selector_->insertSeparator(selector_->count());
    struct Group {
        const char* title;
        bool (*member)(DeviceFamily);
    };
    static constexpr std::array<Group, 3> kGroups{{
        {"PIC12/16", &IsMidRange},
        {"PIC18", &IsPic18},
        {"dsPIC30F", &IsDsPic30},
    }};
    for (const Group& group : kGroups) {
        QMenu* family = otherMenu_->addMenu(QString::fromUtf8(group.title));
        family->setObjectName(QString::fromUtf8(group.title));
        for (const CatalogueEntry& entry : CatalogueEntries()) {
            if (group.member(entry.family) &&
                std::find(menuChips.begin(), menuChips.end(), entry.index) == menuChips.end()) {
                AddChip(family, entry.index);
            }
        }
    }
}

void CTenloView::AddChip(QMenu* menu, int index) {
    const std::string_view name = CatalogueEntryAt(index)->name;
    const QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    QAction* item = menu->addAction(text);
    item->setObjectName(QString::number(kDeviceMenuCommandBase + index));
    item->setCheckable(true);
    connect(item, &QAction::triggered, this, [this, index] { ChooseChip(index); });
    chipActions_.push_back(item);
    selector_->addItem(text, index);
}

bool CTenloView::SelectDevice(int index) {
    if (operating_ || CatalogueEntryAt(index) == nullptr) {
        return false;
    }
    std::unique_ptr<CDevice> device = CreateDevice(index, link_, &options_, progress_.get());
    if (!device) {
        return false;
    }
    for (QAction* item : chipActions_) {
        item->setChecked(item->objectName().toInt() == kDeviceMenuCommandBase + index);
    }
    options_.keepCalibration = 1;

    // The image refers to the old device's layout, so it goes first.
    image_.reset();
    device_ = std::move(device);
    deviceIndex_ = index;
    device_->SetMainWindow(&mainWindow_);
    device_->SetErrorBox(&deviceErrors_);
    device_->Initialize();
    const DeviceLayout& layout = device_->Layout();
    image_ = std::make_unique<CMemoryImage>(layout);

    for (std::size_t m = 0; m < kMemories.size(); ++m) {
        const bool exists = CountOf(layout, kMemories[m]) != 0;
        for (const int id : {kWriteBoxes[m], kReadBoxes[m], kCompareBoxes[m]}) {
            QCheckBox* box = Box(id);
            box->setEnabled(exists);
            box->setChecked(exists);
        }
    }
    grids_[kProgram]->SetLayout(layout.programGrid);
    grids_[kConfig]->SetLayout(layout.configGrid);
    grids_[kData]->SetLayout(layout.dataGrid);
    FitGrids();
    RefreshGrids();
    // Blank grids hold nothing of the user's; the document keeps its name.
    edited_.fill(false);
    fileChecksum_.reset();
    UpdateTitle();
    return true;
}

void CTenloView::FitGrids() {
    int needed = baseGridWidth_;
    for (CHexListCtrl* grid : grids_) {
        needed =
            std::max(needed, grid->ColumnsWidth() + grid->verticalScrollBar()->sizeHint().width() +
                                 2 * grid->frameWidth());
    }
    for (CHexListCtrl* grid : grids_) {
        // A memory with fewer characters a row lets its ASCII column take the rest of the width.
        grid->horizontalHeader()->setStretchLastSection(grid->Format().showAscii != 0);
    }
    const int extra = needed - baseGridWidth_;
    if (extra != gridExtra_) {
        gridExtra_ = extra;
        baseSize_.setWidth(baseFormWidth_ + extra);
        setMinimumSize(baseSize_);
        updateGeometry();
        frame_.FitToView();
    }
    LayOut();
}

void CTenloView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void CTenloView::LayOut() {
    if (groups_[kProgram] == nullptr) {
        return;  // not built yet
    }
    const int wider = std::max(0, width() - baseFormWidth_);
    const int taller = std::max(0, height() - baseSize_.height());
    for (std::size_t m = 0; m < groups_.size(); ++m) {
        QRect group = groupRects_[m].adjusted(0, 0, wider, 0);
        QRect grid = gridRects_[m].adjusted(0, 0, wider, 0);
        if (m == kProgram) {
            group.adjust(0, 0, 0, taller);
            grid.adjust(0, 0, 0, taller);
        } else {
            group.translate(0, taller);
        }
        groups_[m]->setGeometry(group);
        grids_[m]->setGeometry(grid);
    }
}

void CTenloView::RefreshGrids() {
    if (!image_) {
        return;
    }
    const DeviceLayout& layout = image_->Layout();
    grids_[kProgram]->SetData(image_->Program(), layout.programSize);
    grids_[kConfig]->SetData(image_->Config(), layout.configCount);
    grids_[kData]->SetData(image_->Data(), layout.dataSize);
}

QCheckBox* CTenloView::Box(int id) const {
    const auto slot = BoxSlot(id);
    return slot < boxes_.size() ? boxes_[slot] : nullptr;
}

bool CTenloView::Checked(int id) const {
    const QCheckBox* box = Box(id);
    return box != nullptr && box->isChecked();
}

bool CTenloView::AnyChecked(const std::array<int, 3>& ids, const QString& text) {
    if (std::none_of(ids.begin(), ids.end(), [this](int id) { return Checked(id); })) {
        Tell(text, kMbIconExclamation);
        return false;
    }
    return true;
}

void CTenloView::Tell(const QString& text, unsigned icon) {
    qt::ShowAppMessage(&frame_, text, kMbOk | icon);
}

void CTenloView::ChooseChip(int index) {
    if (operating_ || !MayDrop(jobs::kAllMemories) || !SelectDevice(index)) {
        // The chip stays: the selector (and the menu's check mark) go back to it.
        SelectInSelector(deviceIndex_);
        for (QAction* item : chipActions_) {
            item->setChecked(item->objectName().toInt() == kDeviceMenuCommandBase + deviceIndex_);
        }
        return;
    }
    SelectInSelector(index);
    if (!documentPath_.isEmpty() && Ask(QStringLiteral("%1 を %2 用にもう一度読み込みますか？")
                                            .arg(QFileInfo(documentPath_).fileName(),
                                                 QString::fromStdString(image_->Layout().name)))) {
        OpenProgramPath(documentPath_);
    }
}

void CTenloView::SelectInSelector(int index) {
    const int item = selector_->findData(index);
    if (item >= 0) {
        const QSignalBlocker quiet(selector_);
        selector_->setCurrentIndex(item);
    }
}

void CTenloView::OnSelectorChange(int item) {
    const QVariant index = selector_->itemData(item);
    if (!index.isValid()) {
        SelectInSelector(deviceIndex_);
        return;
    }
    ChooseChip(index.toInt());
}

jobs::JobContext CTenloView::JobContext() {
    jobs::JobContext context(*device_, *CatalogueEntryAt(deviceIndex_), link_, portName_);
    context.questions = questions_.get();
    context.stop = &stop_;
    return context;
}

jobs::MemorySet CTenloView::CheckedMemories(const std::array<int, 3>& boxes) const {
    return {Checked(boxes[kProgram]), Checked(boxes[kConfig]), Checked(boxes[kData])};
}

void CTenloView::GatherGrids(const std::array<int, 3>& boxes) {
    // What the grids show is what goes to the chip: an edit still being typed included.
    for (std::size_t m = 0; m < kMemories.size(); ++m) {
        if (Checked(boxes[m])) {
            grids_[m]->GetData(image_->Cells(kMemories[m]),
                               CountOf(image_->Layout(), kMemories[m]));
        }
    }
}

void CTenloView::TellFailure(const QString& text, const jobs::Outcome& outcome, unsigned icon) {
    if (outcome.cause == jobs::Cause::OtherChip || outcome.cause == jobs::Cause::Declined) {
        return;  // the user said no: nothing was done, and nothing more to say
    }
    Tell(WithCause(text, CauseText(outcome, image_->Layout())), icon);
}

void CTenloView::OnRead() {
    Operation operation(*this);
    if (!operation) {
        return;
    }
    const jobs::MemorySet memories = CheckedMemories(kReadBoxes);
    if (memories.Empty()) {
        return;
    }
    if (!MayDrop(memories)) {
        return;
    }
    CMemoryImage scratch(image_->Layout());
    scratch.Assign(*image_);
    jobs::JobContext context = JobContext();
    const jobs::Report report = jobs::Read(context, memories, scratch);
    operation.End();
    if (!report.Ok()) {
        TellFailure(QStringLiteral("読み出し失敗"), report.outcome, kMbIconExclamation);
        return;
    }
    image_->Assign(scratch);
    const DeviceLayout& layout = image_->Layout();
    for (std::size_t m = 0; m < kMemories.size(); ++m) {
        if (memories.Has(kMemories[m])) {
            grids_[m]->SetData(image_->Cells(kMemories[m]), CountOf(layout, kMemories[m]));
            edited_[m] = false;
        }
    }
    UpdateTitle();
}

void CTenloView::OnErase() {
    Operation operation(*this);
    if (!operation) {
        return;
    }
    jobs::JobContext context = JobContext();
    const jobs::Report report = jobs::Erase(context, {});
    operation.End();
    if (report.Ok()) {
        Tell(QStringLiteral("イレース完了"), kMbIconInformation);
    } else {
        TellFailure(QStringLiteral("イレース失敗"), report.outcome, kMbIconExclamation);
    }
}

void CTenloView::OnWrite() {
    if (!AnyChecked(kWriteBoxes, QStringLiteral("書き込み対象のメモリーを選択してください。"))) {
        return;
    }
    Operation operation(*this);
    if (!operation) {
        return;
    }
    GatherGrids(kWriteBoxes);
    const jobs::MemorySet memories = CheckedMemories(kWriteBoxes);
    jobs::JobContext context = JobContext();
    const jobs::Report report = jobs::Write(context, *image_, memories, {});
    operation.End();
    // What the chip took is kept there: those edits are no longer only in the grids.
    for (std::size_t m = 0; m < kMemories.size(); ++m) {
        if (report.Done(kMemories[m])) {
            edited_[m] = false;
        }
    }
    UpdateTitle();
    if (report.outcome.cause == jobs::Cause::Declined &&
        report.outcome.phase == jobs::Phase::None) {
        return;  // いいえ to the configuration's traps: nothing was written
    }

    // Program, data, configuration: a line for each memory gone to, as far as the job went. A
    // job that ended before its first memory (the socket) failed at that memory.
    QString text = QStringLiteral("書き込み結果\n");
    static constexpr std::array<Memory, 3> kOrder{Memory::Program, Memory::Data, Memory::Config};
    bool first = true;
    for (const Memory memory : kOrder) {
        if (!memories.Has(memory)) {
            continue;
        }
        const jobs::MemoryStep* step = report.Step(memory);
        if (step == nullptr && !(first && report.steps.empty())) {
            continue;
        }
        if (memory == Memory::Program) {
            text += QStringLiteral("プログラムメモリー : ");
        } else if (memory == Memory::Data) {
            text += QStringLiteral("\nデータメモリー : ");
        } else {
            text += QStringLiteral("\nコンフィグレーションメモリー : ");
        }
        const bool done = step != nullptr && step->outcome.Ok();
        text += done ? QStringLiteral("完了") : QStringLiteral("失敗");
        first = false;
    }
    if (const QString notes = ConfigWriteNotes(report); !notes.isEmpty()) {
        text += QLatin1Char('\n') + notes;
    }
    if (report.Ok()) {
        Tell(text, kMbIconInformation);
    } else {
        TellFailure(text, report.outcome, kMbIconExclamation);
    }
}

void CTenloView::OnCompare() {
    if (!AnyChecked(kCompareBoxes, QStringLiteral("コンペア対象のメモリーを選択してください。"))) {
        return;
    }
    Operation operation(*this);
    if (!operation) {
        return;
    }
    GatherGrids(kCompareBoxes);
    const jobs::MemorySet memories = CheckedMemories(kCompareBoxes);
    jobs::JobContext context = JobContext();
    const jobs::Report report = jobs::Compare(context, *image_, memories, {});
    operation.End();
    if (report.Ok()) {
        Tell(QStringLiteral("コンペア結果：一致"), kMbIconInformation);
        return;
    }
    const jobs::Outcome& o = report.outcome;
    if (o.cause == jobs::Cause::Mismatch) {
        CompareResult result;
        result.address = o.address.value_or(0);
        result.read = o.chipValue;
        result.expected = o.expectedValue;
        Tell(MismatchReport(*o.memory, result), kMbIconExclamation);
        return;
    }
    // Not carried out: said of the memory it stopped at, or the first one ticked.
    Memory memory = Memory::Program;
    for (const Memory m : kMemories) {
        if (memories.Has(m)) {
            memory = m;
            break;
        }
    }
    TellFailure(NotComparedText(o.memory.value_or(memory)), o, kMbIconError);
}

void CTenloView::OnProgOption() {
    CProgOptionDlg dialog(&frame_);
    dialog.SetOptions(&options_);
    RunModal(dialog);
}

void CTenloView::OnDevelDlg() {
    if (!develDlg_) {
        develDlg_ = std::make_unique<CDevelDlg>(this);
    }
    develDlg_->show();
    develDlg_->raise();
    develDlg_->activateWindow();
    develDlg_->SetLink(&link_);
}

void CTenloView::OnConfigBits() {
    if (!configBitsDlg_) {
        configBitsDlg_ = std::make_unique<CConfigBitsDlg>(*configLink_, this);
        configBitsDlg_->setWindowFlag(Qt::Window);
    }
    configBitsDlg_->show();
    configBitsDlg_->raise();
    configBitsDlg_->activateWindow();
}

void CTenloView::OnRestoreCalibration() {
    if (operating_ || !device_) {
        return;
    }
    const QString chip = QString::fromStdString(device_->Layout().name);
    const std::optional<CDevice::CalibrationPlace> place = device_->CalibrationLocation();
    if (!place) {
        Tell(
            QStringLiteral("%1 にはイレースで失われるキャリブレーション値がありません。").arg(chip),
            kMbIconInformation);
        return;
    }
    const std::filesystem::path journal = jobs::CalibrationJournalPath();
    CCalibrationDlg dialog(chip, jobs::JournalEntriesFor(journal, device_->Layout().name),
                           place->bandGapMask != 0, QString::fromStdString(journal.string()),
                           &frame_);
    if (RunModal(dialog) != QDialog::Accepted) {
        return;
    }
    CDevice::CalibrationValues values;
    values.word = dialog.Word();
    if (dialog.BandGap()) {
        values.bandGap = jobs::BandGapBits(*dialog.BandGap(), place->bandGapMask);
    }
    Operation operation(*this);
    if (!operation) {
        return;
    }
    jobs::JobContext context = JobContext();
    bool wrote = false;
    const jobs::Outcome outcome = jobs::RestoreCalibration(context, values, &wrote);
    operation.End();
    const QString text = CalibrationValuesText(values.word, dialog.BandGap());
    if (outcome.Ok() && !wrote) {
        Tell(QStringLiteral("チップはすでにこのキャリブレーション値（%1）を持っています。"
                            "何も書き込みませんでした。")
                 .arg(text),
             kMbIconInformation);
    } else if (outcome.Ok()) {
        Tell(QStringLiteral("キャリブレーション値を書き戻しました（%1）。").arg(text),
             kMbIconInformation);
    } else {
        TellFailure(QStringLiteral("キャリブレーション値の書き戻し失敗（%1）").arg(text), outcome,
                    kMbIconExclamation);
    }
}

void CTenloView::OnOpenProgram() {
    OpenFile([this](const QString& path) { OpenProgramPath(path); });
}

void CTenloView::OnOpenData() {
    OpenFile([this](const QString& path) { OpenDataPath(path); });
}

void CTenloView::OpenFile(const std::function<void(const QString&)>& load) {
    if (operating_ || !image_) {
        return;
    }
    const QString path = ChooseHexFileToOpen(&frame_);
    if (!path.isEmpty()) {
        load(path);
    }
}

void CTenloView::GatherAll() {
    for (std::size_t m = 0; m < kMemories.size(); ++m) {
        grids_[m]->GetData(image_->Cells(kMemories[m]), CountOf(image_->Layout(), kMemories[m]));
    }
}

std::optional<jobs::MemorySet> CTenloView::TakeLoaded(const CMemoryImage& loaded) {
    // A memory the file leaves as the grids show it loses nothing.
    const CMemoryImage& current = *image_;
    const auto differs = [&](Memory memory) {
        return !std::ranges::equal(current.Bytes(memory), loaded.Bytes(memory));
    };
    const jobs::MemorySet changed{differs(Memory::Program), differs(Memory::Config),
                                  differs(Memory::Data)};
    if (!MayDrop(changed)) {
        return std::nullopt;
    }
    image_->Assign(loaded);
    RefreshGrids();
    return changed;
}

std::optional<CTenloView::Loaded> CTenloView::LoadFile(const QString& path, bool dataFile) {
    if (operating_ || !image_) {
        return std::nullopt;
    }
    GatherAll();
    CMemoryImage loaded(image_->Layout());
    loaded.Assign(*image_);
    // The family of the chip decides where everything lies in a program file; data EEPROM may
    // come with the program, as the chip makers' tools write it.
    const jobs::FileOutcome f =
        dataFile ? jobs::LoadDataFile(LocalPath(path), loaded, questions_.get())
                 : jobs::LoadProgramFile(LocalPath(path), loaded, jobs::ProgramLayout::Microchip,
                                         questions_.get());
    if (!f.Ok()) {
        if (const QString text = FileFailureText(f, image_->Layout(), dataFile); !text.isEmpty()) {
            Tell(text, kMbIconError);
        }
        return std::nullopt;
    }
    const std::optional<jobs::MemorySet> changed = TakeLoaded(loaded);
    if (!changed) {
        return std::nullopt;
    }
    return Loaded{f.provided, *changed};
}

void CTenloView::OpenProgramPath(const QString& path) {
    const std::optional<Loaded> loaded = LoadFile(path, false);
    if (!loaded) {
        return;
    }
    documentPath_ = path;
    fileChecksum_ = jobs::ImageChecksum(*image_, *device_);
    edited_[kProgram] = false;
    edited_[kConfig] = false;
    // Data memory is the file's only when the file carried it.
    if (loaded->provided.data || loaded->changed.data) {
        edited_[kData] = false;
    }
    UpdateTitle();
}

void CTenloView::OpenDataPath(const QString& path) {
    if (!LoadFile(path, true)) {
        return;
    }
    edited_[kData] = false;
    UpdateTitle();
}

void CTenloView::OnSaveProgram() {
    const QString path = SaveFile([this] {
        // What the grids show is what gets saved, as it is what would be written.
        const DeviceLayout& layout = image_->Layout();
        grids_[kProgram]->GetData(image_->Program(), layout.programSize);
        grids_[kConfig]->GetData(image_->Config(), layout.configCount);
        return ProgramHexText(*image_);
    });
    if (!path.isEmpty()) {
        documentPath_ = path;
        fileChecksum_ = jobs::ImageChecksum(*image_, *device_);
        edited_[kProgram] = false;
        edited_[kConfig] = false;
        UpdateTitle();
    }
}

void CTenloView::OnSaveData() {
    const QString path = SaveFile([this] {
        grids_[kData]->GetData(image_->Data(), image_->Layout().dataSize);
        return DataHexText(*image_);
    });
    if (!path.isEmpty()) {
        edited_[kData] = false;
        UpdateTitle();
    }
}

QString CTenloView::SaveFile(const std::function<std::optional<std::string>()>& text) {
    if (operating_ || !image_) {
        return {};
    }
    const QString path = ChooseHexFileToSave(&frame_);
    if (path.isEmpty() || !SaveText(path, text())) {
        return {};
    }
    return path;
}

bool CTenloView::SaveText(const QString& path, const std::optional<std::string>& text) {
    // Written aside and put in place whole, so a failed save leaves an older file as it was.
    QSaveFile file(path);
    const bool ok = text && file.open(QIODevice::WriteOnly) &&
                    file.write(text->data(), static_cast<qint64>(text->size())) ==
                        static_cast<qint64>(text->size()) &&
                    file.commit();
    if (!ok) {
        Tell(QStringLiteral("ファイルを保存できませんでした。\n%1").arg(path), kMbIconError);
    }
    return ok;
}

void CTenloView::MarkEdited(std::size_t memory) {
    if (!edited_[memory]) {
        edited_[memory] = true;
        UpdateTitle();
    }
}

bool CTenloView::MayDrop(const jobs::MemorySet& memories) {
    for (CHexListCtrl* grid : grids_) {
        grid->EndEdit();
    }
    bool lost = false;
    for (std::size_t m = 0; m < kMemories.size(); ++m) {
        lost = lost || (edited_[m] && memories.Has(kMemories[m]));
    }
    return !lost || Ask(QStringLiteral("編集した内容は保存されていません。破棄しますか？"));
}

void CTenloView::UpdateTitle() {
    const bool modified = std::find(edited_.begin(), edited_.end(), true) != edited_.end();
    frame_.SetDocumentTitle(QFileInfo(documentPath_).fileName(), modified);
    ShowFileChecksum(frame_, fileChecksum_);
}

}  // namespace tenlo::app
