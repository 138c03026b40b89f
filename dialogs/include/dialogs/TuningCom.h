#pragma once
// The COM-port window: which serial port every later command opens. Not modal: it may stay open
// beside the main window, and a command started meanwhile uses the stored port, not the choice
// shown here. Created once at start, hidden by "OK" and "Отмена", shown again and again.
//
// Beside COM1..COM4 it lists the machine's other serial devices (USB adapters) under the numbers
// the per-user file of link/PortMap.h gives them; the list is made anew at each showing.

#include "link/PortMap.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QButtonGroup;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QShowEvent;
class QVBoxLayout;

namespace talmar {

class IHost;
class TDMTables;

class TFTuningCom : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPorts = 4; // COM1..COM4

    // comPanel writes the main window's status-bar panel of the port ("COM" + number). It is
    // called once here, with the stored port, and again at each "OK".
    TFTuningCom(TDMTables& dm, IHost& host, std::function<void(int)> comPanel, QWidget* parent = nullptr);

    // Where the serial devices come from (the system's list unless a test gives another).
    void SetDevices(std::shared_ptr<const ISerialDevices> devices) { devices_ = std::move(devices); }

    // The item checked now (0 for COM1, number - 1 for a device), or -1.
    int ItemIndex() const;

    QGroupBox* RGCom = nullptr;
    QRadioButton* Items[kPorts] = {};
    // The devices beyond COM4 as listed at the last showing, by number.
    std::vector<QRadioButton*> DeviceItems;
    QPushButton* BitBtn1 = nullptr; // "OK"
    QPushButton* Button1 = nullptr; // "Отмена"

public slots:
    void BitBtn1Click();
    void Button1Click();

protected:
    void showEvent(QShowEvent* e) override;

private:
    void FormCreate();
    void FormShow();
    void SetItemIndex(int index);
    void ShowError(const std::exception& e);
    void ListDevices();

    TDMTables& dm_;
    IHost& host_;
    std::function<void(int)> comPanel_;
    QButtonGroup* group_ = nullptr;
    QVBoxLayout* itemsLayout_ = nullptr;
    std::shared_ptr<const ISerialDevices> devices_;
    TPortMap map_;
    std::vector<TPortChoice> listed_; // the devices beyond COM4 as shown
    std::string listError_;           // why the per-user file could not be read or written
};

} // namespace talmar
