#include "dialogs/TuningRC.h"

#include "controls/DataControls.h"
#include "store/DMTables.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace talmar {

TFTuningRC::TFTuningRC(TDMTables& dm, IHost& host, QWidget* parent)
    : QDialog(parent), dm_(dm), dsPref_(std::make_unique<TDataSource>(dm.Pref(), host)) {
    setObjectName("FTuningRC");
    setWindowTitle(QString::fromUtf8("Настройка ДУ"));
    setWindowFlag(Qt::WindowStaysOnTopHint);

    DBRadioGroup1 =
        new TDBRadioGroup(*dsPref_, "TypeRemoteControl", QString::fromUtf8("ДУ работает через..."),
                          {{QString::fromUtf8("Модем-ЛТР20, подключенный к COM-порту"), TValue(1)},
                           {QString::fromUtf8("Звуковую карту, стандартный ввод/вывод"), TValue(2)},
                           {QString::fromUtf8("Звуковую карту, используя DirectSound"), TValue(3)}},
                          this);
    DBRadioGroup1->setObjectName("DBRadioGroup1");
    // Navy text, the group's title and its items alike.
    QPalette navy = DBRadioGroup1->palette();
    navy.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80));
    DBRadioGroup1->setPalette(navy);

    BOK = new QPushButton(QString::fromUtf8("OK"), this);
    BOK->setObjectName("BOK");
    BOK->setDefault(true);
    connect(BOK, &QPushButton::clicked, this, &TFTuningRC::BOKClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BOK);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(DBRadioGroup1);
    layout->addLayout(buttons);
}

TFTuningRC::~TFTuningRC() {
    // The radio group is bound to the data source: it goes first.
    delete DBRadioGroup1;
}

void TFTuningRC::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (e->spontaneous())
        return;
    DBRadioGroup1->Refresh();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFTuningRC::BOKClick() {
    // The choice is written at once: left pending until something else posts the record, it
    // would be lost if the program did not end normally. A post the file refuses is shown; the
    // record keeps the choice and the window closes as usual.
    dsPref_->Guard([this] { dm_.Pref().ApplyCommitRule(); });
    accept();
}

} // namespace talmar
