#include "remote/TuningCom.h"

#include "link/ComPort.h"
#include "link/Host.h"
#include "store/DMTables.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

namespace talmar {

std::string ComPortHint(int numCom) {
    const std::string name = "COM" + std::to_string(numCom);
    return name + ": " + TComPort::ResolveDevice(name);
}

TFTuningCom::TFTuningCom(TDMTables& dm, IHost& host, std::function<void(int)> comPanel, QWidget* parent)
    : QDialog(parent), dm_(dm), host_(host), comPanel_(std::move(comPanel)) {
    setObjectName("FTuningCom");
    setWindowTitle(QString::fromUtf8("Выбор COM-порта"));

    RGCom = new QGroupBox(QString::fromUtf8("COM-порт"), this);
    RGCom->setObjectName("RGCom");
    group_ = new QButtonGroup(RGCom);
    auto* items = new QVBoxLayout(RGCom);
    for (int k = 0; k < kPorts; ++k) {
        Items[k] = new QRadioButton(QString("COM%1").arg(k + 1), RGCom);
        Items[k]->setObjectName(QString("RGComItem%1").arg(k));
        group_->addButton(Items[k], k);
        items->addWidget(Items[k]);
    }

    BitBtn1 = new QPushButton(QString::fromUtf8("OK"), this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    Button1 = new QPushButton(QString::fromUtf8("Отмена"), this);
    Button1->setObjectName("Button1");
    connect(BitBtn1, &QPushButton::clicked, this, &TFTuningCom::BitBtn1Click);
    connect(Button1, &QPushButton::clicked, this, &TFTuningCom::Button1Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(Button1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RGCom);
    layout->addLayout(buttons);

    FormCreate();
}

void TFTuningCom::ShowError(const std::exception& e) {
    host_.ShowMessage(e.what(), {}, TMsgButtons::Ok, TMsgIcon::Error);
}

int TFTuningCom::ItemIndex() const {
    return group_->checkedId();
}

void TFTuningCom::SetItemIndex(int index) {
    if (index >= 0) {
        Items[index]->setChecked(true);
        return;
    }
    // No port chosen: no button checked.
    group_->setExclusive(false);
    for (QRadioButton* b : Items)
        b->setChecked(false);
    group_->setExclusive(true);
}

void TFTuningCom::FormCreate() {
    // The status bar shows the stored port from the start (when there is a status bar to write).
    if (!comPanel_)
        return;
    try {
        comPanel_(dm_.NumCom());
    } catch (const std::exception& e) {
        ShowError(e);
    }
}

void TFTuningCom::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!e->spontaneous())
        FormShow();
}

void TFTuningCom::FormShow() {
    // The devices may differ from one showing to the next ($TALMAR_COMn).
    for (int k = 0; k < kPorts; ++k)
        Items[k]->setToolTip(QString::fromStdString(ComPortHint(k + 1)));
    int index = -1;
    try {
        // An empty NumCom reads as 0: no item. Beyond the list the last item.
        index = std::clamp(dm_.NumCom() - 1, -1, kPorts - 1);
    } catch (const std::exception& e) {
        ShowError(e);
    }
    SetItemIndex(index);
}

void TFTuningCom::BitBtn1Click() {
    const int item = ItemIndex();
    // Nothing chosen (NumCom 0 or empty when the window opened): storing 0 would make every
    // later command fail to open "COM0", so nothing is stored.
    if (item >= 0) {
        try {
            TTable& pref = dm_.Pref();
            pref.Edit();
            pref.SetFieldByName("NumCom", TValue(item + 1));
            pref.Post();
        } catch (const std::exception& e) {
            // The window stays open; the record keeps the choice until it is posted.
            ShowError(e);
            return;
        }
        comPanel_(item + 1);
    }
    hide();
}

void TFTuningCom::Button1Click() {
    hide();
}

} // namespace talmar
