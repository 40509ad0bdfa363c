#pragma once

#include <QDialog>
#include <QObject>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class QComboBox;
class QGridLayout;
class QScrollArea;
class QWidget;

namespace tenlo::app {

class CHexListCtrl;

// The configuration grid read as the chip's configuration words: what its cells hold now (an
// edit being typed aside), a cell changed as if typed, the decoded fields as each cell's
// tooltip, and a notice after every fill or edit. The chip is the view's current one.
class CConfigGridLink : public QObject {
    Q_OBJECT

  public:
    CConfigGridLink(CHexListCtrl& grid, std::function<int()> chip, QObject* parent = nullptr);

    int Chip() const { return chip_(); }
    std::vector<std::uint32_t> Cells() const;
    void SetCell(std::size_t cell, std::uint32_t value);
    // The tooltips made again from the cells, and Changed told.
    void Refresh();

  signals:
    // The grid was filled (another chip, a file, a read) or a cell changed.
    void Changed();

  private:
    CHexListCtrl& grid_;
    std::function<int()> chip_;
    bool refreshing_ = false;
    bool pending_ = false;
};

// "コンフィグレーションビット": a row per configuration field of the current chip (its name, a
// combo box of its settings, its description), under the address and name of its word. A
// setting chosen changes the grid's cell at once; the grid's changes come back the same way.
// A value no setting names shows as its hex value. Not modal: it follows the chip selection.
class CConfigBitsDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CConfigBitsDlg(CConfigGridLink& link, QWidget* parent = nullptr);

    // The combo box of a field (its objectName is the field's name), or nullptr.
    QComboBox* Combo(const QString& field) const;
    int ShownChip() const { return shownChip_; }

  private:
    void Rebuild();
    void Update();
    void OnChosen(QComboBox* combo);

    CConfigGridLink& link_;
    QScrollArea* scroll_ = nullptr;
    QWidget* rows_ = nullptr;
    QGridLayout* grid_ = nullptr;
    int shownChip_ = -1;
    std::vector<QComboBox*> combos_;
};

}  // namespace tenlo::app
