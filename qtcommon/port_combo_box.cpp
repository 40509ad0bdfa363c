#include "qtcommon/port_combo_box.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace tenlo::qt {

CPortComboBox::CPortComboBox(int count, QWidget* parent) : QComboBox(parent), count_(count) {
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        setToolTip(itemText(index));
        // An edit field too narrow for the whole entry shows the port's name alone; the list
        // and the tooltip say what it is.
        if (QLineEdit* field = lineEdit(); field != nullptr && index >= 0) {
            field->setText(QStringLiteral("COM%1").arg(itemData(index).toInt()));
        }
    });
}

void CPortComboBox::ListSystemPortsFor(const std::shared_ptr<IPortBackend>& backend) {
    if (!backend && DefaultPortBackend() == OsPortBackend()) {
        lister_ = [] { return DiscoverSerialPorts(); };
    } else {
        lister_ = nullptr;
    }
}

std::vector<PortMenuEntry> CPortComboBox::Menu() const {
    return PortMenu(lister_ ? lister_() : std::vector<SerialPortInfo>{},
                    static_cast<unsigned long>(count_));
}

void CPortComboBox::Fill() {
    const int selected = SelectedPort();
    clear();
    for (const PortMenuEntry& entry : Menu()) {
        addItem(QString::fromStdString(entry.label), static_cast<int>(entry.number));
    }
    // The box keeps the template's width; the open list is as wide as its longest entry.
    view()->setMinimumWidth(view()->sizeHintForColumn(0) +
                            style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8);
    SelectPort(selected);
}

int CPortComboBox::SelectedPort() const {
    return currentIndex() >= 0 ? currentData().toInt() : 0;
}

void CPortComboBox::SelectPort(int n) {
    setCurrentIndex(n > 0 ? findData(n) : -1);
}

int CPortComboBox::PresetPort(int preferred) const {
    return static_cast<int>(tenlo::PresetPort(Menu(), static_cast<unsigned long>(preferred)));
}

void CPortComboBox::showPopup() {
    if (lister_) {
        Fill();
    }
    QComboBox::showPopup();
}

void CPortComboBox::initStyleOption(QStyleOptionComboBox* option) const {
    QComboBox::initStyleOption(option);
    if (isEditable()) {
        return;
    }
    // The template's narrow box cannot hold "COM3 (FT232R USB UART)": it shows the start and
    // an ellipsis, the open list and the tooltip the whole entry.
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, option, QStyle::SC_ComboBoxEditField, this);
    option->currentText =
        fontMetrics().elidedText(option->currentText, Qt::ElideRight, field.width() - 2);
}

}  // namespace tenlo::qt
