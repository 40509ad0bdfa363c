#pragma once

namespace tenlo::app {

class CMainFrame;

// For the end-to-end tests, which cannot click. Off unless the environment asks for it:
//
//   TENLO_TEST_PORT_ANSWER=N     the port dialog is answered with COMN (through the real
//                                dialog); "cancel" cancels it instead
//   TENLO_TEST_SCRIPT=FILE       once the main window is up, FILE's lines are run as a user
//                                would choose them: "open-program PATH", "open-data PATH",
//                                "save-program PATH", "save-data PATH" (the file dialog
//                                answered with PATH), "read", "erase", "write", "compare",
//                                "select CHIP" (the chip chosen in the selector), "answer no"
//                                (the next question is answered no), "title" (prints
//                                "title: CAPTION"), "write-stop N" (write, and press "中止"
//                                once the progress bar reaches N percent: "pressed 中止 at P%"),
//                                "config NAME=SETTING,..." (chosen in the configuration
//                                bits dialog), "restore-calibration [WORD [BANDGAP]]"
//                                (the journal's entries the dialog lists printed as
//                                "calibration entry: TEXT", the newest written back, or
//                                the values typed; "cancel" cancels)
//
// Every message box is then printed on standard output ("box: ICON: TEXT", line feeds and tabs
// as \n and \t) and answered with OK (Yes for a question); the main window says
// "main window: CAPTION" when it is up, runs the script and closes.
class CTestHook {
  public:
    // False when no test asked for the hook.
    static bool Install();
    static void Run(CMainFrame& frame);
};

}  // namespace tenlo::app
