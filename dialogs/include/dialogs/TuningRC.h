#pragma once
// The remote-control window: through what remote control works (Pref.TypeRemoteControl). Nothing
// else in the program acts on the choice; it is stored and shown. Modal, on top, centred.

#include <QDialog>
#include <memory>

class QPushButton;
class QShowEvent;

namespace talmar {

class IHost;
class TDataSource;
class TDBRadioGroup;
class TDMTables;

class TFTuningRC : public QDialog {
    Q_OBJECT
public:
    TFTuningRC(TDMTables& dm, IHost& host, QWidget* parent = nullptr);
    ~TFTuningRC() override;

    TDataSource& DSPref() const { return *dsPref_; }

    TDBRadioGroup* DBRadioGroup1 = nullptr;
    QPushButton* BOK = nullptr;

public slots:
    // Posts the record with the choice, then closes the window with OK.
    void BOKClick();

protected:
    void showEvent(QShowEvent* e) override;

private:
    TDMTables& dm_;
    std::unique_ptr<TDataSource> dsPref_;
};

} // namespace talmar
