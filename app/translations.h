#pragma once

class QCoreApplication;

namespace tenlo::app {

// Qt's own texts (the file dialogs, the standard buttons, the context menus of edit fields) in
// Japanese like the rest of the program: Qt's qtbase_ja catalogue from a "translations" folder
// beside the program, or else Qt's own translations folder (Debian: qt6-translations-l10n).
// Numbers and dates in those dialogs follow the Japanese locale too. False when no catalogue
// was found: Qt's texts then stay English, and nothing else changes.
bool InstallQtJapanese(QCoreApplication& app);

}  // namespace tenlo::app
