#include "app/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>

#include "app/app_icons.h"
#include "app/commands.h"

namespace tenlo::app {

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint) {
    SetDocumentTitle({}, false);
    setWindowIcon(ApplicationIcon());
    CreateMenus();
    CreateToolBar();
}

QAction* CMainFrame::AddCommand(int command, const QString& text, const QString& tip) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::number(command));
    if (!tip.isEmpty()) {
        action->setToolTip(tip);
    }
    if (const QIcon icon = ToolbarIcon(command); !icon.isNull()) {
        action->setIcon(icon);
    }
    // Enabled once something handles it, as a command without a handler is greyed.
    action->setEnabled(false);
    actions_[command] = action;
    return action;
}

void CMainFrame::CreateMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->addAction(AddCommand(kCmdOpenProgram, QStringLiteral("プログラムを開く(&O)..."),
                               QStringLiteral("プログラムを開く")));
    file->addAction(AddCommand(kCmdSaveProgram, QStringLiteral("プログラムを保存(&S)..."),
                               QStringLiteral("プログラムを保存")));
    file->addSeparator();
    file->addAction(AddCommand(kCmdOpenData, QStringLiteral("データを開く(&D)..."),
                               QStringLiteral("データを開く")));
    file->addAction(AddCommand(kCmdSaveData, QStringLiteral("データを保存(&F)..."),
                               QStringLiteral("データを保存")));
    file->addSeparator();
    file->addAction(AddCommand(kCmdChangePort, QStringLiteral("ポート変更(&P)...")));
    file->addSeparator();
    file->addAction(AddCommand(kCmdAppExit, QStringLiteral("終了(&X)")));
    OnCommand(kCmdAppExit, this, [this] { close(); });

    QMenu* device = menuBar()->addMenu(QStringLiteral("デバイス(&D)"));
    device->setObjectName(QStringLiteral("device"));
    device->addAction(AddCommand(kCmdSelectDevice, QStringLiteral("選択(&S)")));
    device->addSeparator();
    device->addAction(
        AddCommand(kCmdRead, QStringLiteral("読み出し(&R)"), QStringLiteral("読み出し")));
    device->addAction(
        AddCommand(kCmdErase, QStringLiteral("イレース(&E)"), QStringLiteral("イレース")));
    device->addAction(
        AddCommand(kCmdWrite, QStringLiteral("書き込み(&W)"), QStringLiteral("書き込み")));
    device->addAction(
        AddCommand(kCmdCompare, QStringLiteral("コンペア(&C)"), QStringLiteral("コンペア")));
    device->addSeparator();
    device->addAction(
        AddCommand(kCmdConfigBits, QStringLiteral("コンフィグレーションビット(&B)...")));
    device->addAction(AddCommand(kCmdRestoreCalibration,
                                 QStringLiteral("キャリブレーション値の書き戻し(&K)...")));
    device->addAction(AddCommand(kCmdProgOption, QStringLiteral("プログラマー・オプション...")));

    // Filled in by CreateToolBar, which owns the action that shows and hides the toolbar.
    menuBar()->addMenu(QStringLiteral("表示(&V)"))->setObjectName(QStringLiteral("view"));

    // The help menu stands apart at the right end of the bar.
    auto* helpBar = new QMenuBar(menuBar());
    QMenu* help = helpBar->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->addAction(AddCommand(kCmdAppAbout, QStringLiteral("バージョン情報 Tenlo(&A)...")));
    menuBar()->setCornerWidget(helpBar, Qt::TopRightCorner);
}

void CMainFrame::CreateToolBar() {
    toolBar_ = new QToolBar(this);
    toolBar_->setObjectName(QString::number(kCmdViewToolbar));
    toolBar_->setIconSize(QSize(16, 15));
    toolBar_->setMovable(true);
    toolBar_->setFloatable(true);
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    constexpr int kSeparator = 0;
    for (int command :
         {+kCmdOpenProgram, +kCmdSaveProgram, kSeparator, +kCmdOpenData, +kCmdSaveData, kSeparator,
          +kCmdRead, +kCmdErase, +kCmdWrite, +kCmdCompare}) {
        if (command == kSeparator) {
            toolBar_->addSeparator();
        } else {
            toolBar_->addAction(actions_.at(command));
        }
    }

    deviceSelector_ = new QComboBox(toolBar_);
    deviceSelector_->setObjectName(QString::number(kCmdDeviceSelector));
    deviceSelector_->setFixedWidth(kSelectorWidth);
    deviceSelector_->setMaxVisibleItems(std::max(
        1, kSelectorListHeight / std::max(1, deviceSelector_->fontMetrics().height() + 2)));
    toolBar_->addWidget(deviceSelector_);
    addToolBar(Qt::TopToolBarArea, toolBar_);

    QAction* toggle = toolBar_->toggleViewAction();
    toggle->setText(QStringLiteral("ツール バー(&T)"));
    toggle->setObjectName(QString::number(kCmdViewToolbar));
    actions_[kCmdViewToolbar] = toggle;
    findChild<QMenu*>(QStringLiteral("view"))->addAction(toggle);

    // Wherever the toolbar goes, or when it goes away, the frame fits around what is left.
    const auto refit = [this] { QTimer::singleShot(0, this, [this] { FitToView(); }); };
    connect(toolBar_, &QToolBar::visibilityChanged, this, refit);
    connect(toolBar_, &QToolBar::topLevelChanged, this, refit);
    connect(toolBar_, &QToolBar::orientationChanged, this, refit);
}

QAction* CMainFrame::Action(int command) const {
    const auto it = actions_.find(command);
    return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::OnCommand(int command, QObject* context, std::function<void()> handler) {
    QAction* action = Action(command);
    if (action == nullptr) {
        return;
    }
    connect(action, &QAction::triggered, context, [h = std::move(handler)] { h(); });
    action->setEnabled(true);
}

void CMainFrame::FitToView() {
    if (centralWidget() == nullptr) {
        return;
    }
    // Qt's layout may have moved the minimum since (a toolbar hidden): the last fit says.
    const bool atLeast = !least_.isValid() || size() == least_;
    // The least size of the last fit must not hold the layout at its old extent.
    setMinimumSize(0, 0);
    layout()->invalidate();
    layout()->activate();
    // The window's own hint: the layout's, with the menu bar added.
    const QSize least = sizeHint();
    least_ = least;
    setMinimumSize(least);
    if (atLeast) {
        resize(least);
    } else {
        resize(size().expandedTo(least));
    }
    // A window not shown yet lays itself out only when it is: the form takes its place now.
    layout()->invalidate();
    layout()->activate();
}

void CMainFrame::SetDocumentTitle(const QString& document, bool modified) {
    const QString name = document.isEmpty() ? QStringLiteral("無題") : document;
    setWindowTitle(name + (modified ? QStringLiteral("*") : QString()) +
                   QStringLiteral(" - Tenlo"));
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!isEnabled() || (closeGuard_ && !closeGuard_())) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

}  // namespace tenlo::app
