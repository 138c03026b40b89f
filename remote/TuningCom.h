#pragma once
// The COM-port window: which serial port every later command opens. Not modal: it may stay open
// beside the main window, and a command started meanwhile uses the stored port, not the choice
// shown here. Created once at start, hidden by "OK" and "Отмена", shown again and again.

#include <QDialog>
#include <functional>
#include <string>

class QButtonGroup;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QShowEvent;

namespace talmar {

class IHost;
class TDMTables;

// "COM3: /dev/ttyS2": a port and the device it opens on this machine, for tool tips.
std::string ComPortHint(int numCom);

class TFTuningCom : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPorts = 4; // COM1..COM4

    // comPanel writes the main window's status-bar panel of the port ("COM" + number). It is
    // called once here, with the stored port, and again at each "OK".
    TFTuningCom(TDMTables& dm, IHost& host, std::function<void(int)> comPanel, QWidget* parent = nullptr);

    // The item checked now (0 for COM1), or -1.
    int ItemIndex() const;

    QGroupBox* RGCom = nullptr;
    QRadioButton* Items[kPorts] = {};
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

    TDMTables& dm_;
    IHost& host_;
    std::function<void(int)> comPanel_;
    QButtonGroup* group_ = nullptr;
};

} // namespace talmar
