#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>

#include "link/programmer_link.h"

class QPlainTextEdit;

namespace tenlo::app {

class CTraceBridge;

// The development panel (dialog 130): one button per low-level programmer operation, run on
// the GUI thread straight over the link, and the link's byte trace. Closing it only hides it.
//
// Fields are read when a button needs them: hexadecimal ones as hex digits (an empty field is
// 0), decimal ones as a whole number. A field holding no number, or a count outside 1..255,
// is refused with a message and nothing is sent.
class CDevelDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CDevelDlg(QWidget* parent = nullptr);
    ~CDevelDlg() override;

    // The link the buttons drive; its trace goes to field 1024 from now on.
    void SetLink(CProgrammerLink* link);

    // The control with a resource id (its objectName), for the tests and the screenshots.
    QWidget* Control(int id) const;
    // GUI thread: the trace appended so far, pending text included.
    QString TraceText();

  private:
    void Build();

    // Field readers; nullopt, after telling the user, when the field will not do.
    std::optional<std::uint32_t> Hex(int id);
    std::optional<int> Decimal(int id);
    std::optional<int> Count(int id);
    QString Choice(int id) const;
    void Show(int id, const QString& text);
    void Refuse(int id, const QString& text);

    void OnVersion();
    void OnSetOption();
    void OnLoadConfig();
    void OnLoadProg();
    void OnLoadData();
    void OnIncrement();
    void OnReadProg();
    void OnReadData();
    void OnMultiReadProg();
    void OnMultiReadData();
    // count field 1032 words of command, each masked, as digits hex digits into field 1033.
    void MultiRead(std::uint8_t command, unsigned mask, int digits);
    void OnErase();
    void OnProgram();
    void OnPic18Send();
    void OnPic18Prog();
    void OnPic18Rcv();
    void OnPicWait();
    void OnPic18SetupWrite();
    void OnPic18SinglePanel();
    void OnPic18WriteAt();
    void OnPic18ReadProg();
    void OnPic18ReadData();
    void OnDsTest1();
    void OnDsTest2();
    void OnFlushInput();
    void OnClear();

    CProgrammerLink* link_ = nullptr;
    std::map<int, QWidget*> controls_;
    QPlainTextEdit* trace_ = nullptr;
    CTraceBridge* traceBridge_ = nullptr;  // owned by the trace field
};

}  // namespace tenlo::app
