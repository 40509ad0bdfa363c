#pragma once

namespace tenlo::app {

// Command ids of menu 128, the toolbar and the accelerators. Each QAction carries its id as
// objectName, so the view and the tests find them by number as the resources name them.
enum Command : int {
    kCmdOpenProgram = 32771,
    kCmdSaveProgram = 32772,
    kCmdOpenData = 32773,
    kCmdSaveData = 32774,
    kCmdRead = 32775,
    kCmdErase = 32776,
    kCmdWrite = 32777,
    kCmdCompare = 32782,
    kCmdDeviceSelector = 32783,  // the toolbar slot the device selector takes
    kCmdSelectDevice = 32785,    // placeholder the view replaces with the chip menu
    kCmdProgOption = 32788,
    kCmdChangePort = 32790,  // "ポート変更(&P)...": the port dialog and ping again
    kCmdConfigBits = 32791,  // "コンフィグレーションビット(&B)...": the fields by name
    kCmdRestoreCalibration = 32792,  // "キャリブレーション値の書き戻し(&K)...": from the journal
    kCmdAppAbout = 57664,
    kCmdAppExit = 57665,
    kCmdViewToolbar = 59392,
};

}  // namespace tenlo::app
