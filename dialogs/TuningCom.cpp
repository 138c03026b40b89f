#include "dialogs/TuningCom.h"

#include "base/Host.h"
#include "link/PortMap.h"
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

TFTuningCom::TFTuningCom(TDMTables& dm, IHost& host, std::function<void(int)> comPanel, QWidget* parent)
    : QDialog(parent), dm_(dm), host_(host), comPanel_(std::move(comPanel)),
      devices_(std::make_shared<TSystemSerialDevices>()) {
    setObjectName("FTuningCom");
    setWindowTitle(QString::fromUtf8("Выбор COM-порта"));

    RGCom = new QGroupBox(QString::fromUtf8("COM-порт"), this);
    RGCom->setObjectName("RGCom");
    group_ = new QButtonGroup(RGCom);
    itemsLayout_ = new QVBoxLayout(RGCom);
    for (int k = 0; k < kPorts; ++k) {
        Items[k] = new QRadioButton(QString("COM%1").arg(k + 1), RGCom);
        Items[k]->setObjectName(QString("RGComItem%1").arg(k));
        group_->addButton(Items[k], k);
        itemsLayout_->addWidget(Items[k]);
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
    if (QAbstractButton* b = group_->button(index)) {
        b->setChecked(true);
        return;
    }
    // No port chosen: no button checked.
    group_->setExclusive(false);
    for (QAbstractButton* b : group_->buttons())
        b->setChecked(false);
    group_->setExclusive(true);
}

void TFTuningCom::ListDevices() {
    const size_t before = DeviceItems.size();
    for (QRadioButton* b : DeviceItems) {
        group_->removeButton(b);
        delete b;
    }
    DeviceItems.clear();
    listed_.clear();
    listError_.clear();
    map_ = TPortMap(); // the file where it is now
    // The devices and what each number opens may differ from one showing to the next (an adapter
    // plugged in, $TALMAR_COMn).
    for (const TPortChoice& c : ListPorts(*devices_, map_, &listError_)) {
        const QString hint = QString::fromStdString("COM" + std::to_string(c.number) + ": " + c.device);
        if (c.number <= kPorts) {
            Items[c.number - 1]->setToolTip(hint);
            continue;
        }
        auto* b = new QRadioButton(QString::fromStdString(c.text), RGCom);
        b->setObjectName(QString("RGComCOM%1").arg(c.number));
        b->setToolTip(hint);
        group_->addButton(b, c.number - 1);
        itemsLayout_->addWidget(b);
        DeviceItems.push_back(b);
        listed_.push_back(c);
    }
    // The window fits its items again when adapters came or went.
    if (DeviceItems.size() != before)
        adjustSize();
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
    ListDevices();
    int index = -1;
    try {
        // An empty NumCom reads as 0: no item. A device listed under the number: its item.
        // Any other number beyond the list: the last of COM1..COM4.
        const int numCom = dm_.NumCom();
        index = numCom > kPorts && group_->button(numCom - 1) ? numCom - 1
                                                              : std::clamp(numCom - 1, -1, kPorts - 1);
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
        // A device beyond COM4: its number must reach the per-user file first, or later commands
        // would open something else under it.
        const int number = item + 1;
        const auto c =
            std::find_if(listed_.begin(), listed_.end(), [&](const auto& l) { return l.number == number; });
        if (c != listed_.end() && c->mapped && MappedDevice(number).empty()) {
            std::string why = listError_;
            if (!why.empty() || !map_.Save(why)) {
                host_.ShowMessage("Порт COM" + std::to_string(number) + " не выбран: " + why, {},
                                  TMsgButtons::Ok, TMsgIcon::Error);
                return;
            }
        }
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
