#include "MainWindow.h"

#include "dialogs/TuningCom.h"
#include "editors/TuningWindow.h"
#include "link/LogFile.h"
#include "link/PortMap.h"
#include "remote/LineCheckWindow.h"
#include "store/DMTables.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>

namespace talmar {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// A hint of two parts shows as two lines, the second indented by eight blanks.
QString TwoLineHint(const char* first, const char* second) {
    return QString::fromUtf8(first) + "\n        " + QString::fromUtf8(second);
}

} // namespace

TFMain::TFMain(std::unique_ptr<TQtHost> host, QWidget* parent) : QMainWindow(parent), host_(std::move(host)) {
    setObjectName("FMain");
    host_->setParent(nullptr);
    // A read that waits seconds for a silent modem keeps the window painted; the user's input
    // waits until the command is over, as it would on a blocked window.
    comPort1_.SetIdle([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    CreateControls();
    FormCreate();
}

TFMain::~TFMain() {
    // FormDestroy: back to the start folder (the file dialog may have moved us), then the log.
    std::error_code ec;
    if (!StartDir.empty())
        std::filesystem::current_path(StartDir, ec);
    SaveLogIfChanged();
    Programmator.reset();
}

QIcon TFMain::Image(int index) const {
    // The toolbar's image list, drawn from the style's own pictures.
    QStyle::StandardPixmap sp = QStyle::SP_FileIcon;
    switch (index) {
    case 0:
        sp = QStyle::SP_DialogOpenButton;
        break;
    case 2:
        sp = QStyle::SP_ArrowDown;
        break;
    case 5:
        sp = QStyle::SP_FileDialogDetailedView;
        break;
    case 6:
        sp = QStyle::SP_FileDialogListView;
        break;
    case 7:
        sp = QStyle::SP_FileDialogInfoView;
        break;
    case 8:
        sp = QStyle::SP_DriveNetIcon;
        break;
    case 9:
        sp = QStyle::SP_MessageBoxQuestion;
        break;
    default:
        break;
    }
    return style()->standardIcon(sp);
}

QToolButton* TFMain::AddToolButton(const char* name, int image, const QString& hint) {
    auto* b = new QToolButton(ToolBar1);
    b->setObjectName(name);
    b->setIcon(Image(image));
    b->setToolTip(hint);
    b->setToolTipDuration(5000); // hints stay five seconds
    b->setAutoRaise(true);
    ToolBar1->addWidget(b);
    return b;
}

void TFMain::CreateControls() {
    setWindowTitle(kCaption);
    resize(598, 508);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    // Actions that carry commands.
    FileOpen = new QAction(Image(0), QString::fromUtf8("Открыть..."), this);
    FileOpen->setObjectName("FileOpen");
    FileOpen->setToolTip(QString::fromUtf8("Открыть файл"));
    connect(FileOpen, &QAction::triggered, this, [this] { Guarded([this] { FileOpenExecute(); }); });
    ProgFlash = new QAction(Image(2), QString::fromUtf8("Прошивка FLASH"), this);
    ProgFlash->setObjectName("ProgFlash");
    ProgFlash->setToolTip(QString::fromUtf8("Прошивка FLASH"));
    connect(ProgFlash, &QAction::triggered, this, [this] { ProgFlashExecute(); });

    // Main menu.
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");
    auto item = [this](QMenu* menu, const char* name, const char* caption, QKeySequence key, auto slot) {
        QAction* a = menu->addAction(QString::fromUtf8(caption));
        a->setObjectName(name);
        if (!key.isEmpty())
            a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto separator = [](QMenu* menu, const char* name) { menu->addSeparator()->setObjectName(name); };

    QMenu* n1 = bar->addMenu(QString::fromUtf8("Файл"));
    n1->setObjectName("N1");
    item(n1, "N2", "Открыть файл прошивки ...", QKeySequence(Qt::Key_F3), [this] { FileOpen->trigger(); });
    separator(n1, "N13");
    item(n1, "N12", "Прошить файл в модем", QKeySequence(Qt::Key_F4), [this] { ProgFlash->trigger(); });
    separator(n1, "N14");
    item(n1, "N9", "Выход", QKeySequence(Qt::ALT | Qt::Key_F4), &TFMain::N9Click);

    QMenu* n3 = bar->addMenu(QString::fromUtf8("Настройки"));
    n3->setObjectName("N3");
    item(n3, "N6", "Настройки частотной системы...", QKeySequence(Qt::Key_F5), &TFMain::N6Click);
    item(n3, "N7", "Настройки временной системы...", QKeySequence(Qt::Key_F6), &TFMain::N7Click);
    separator(n3, "N10");
    item(n3, "N8", "Настройки ОРТЕН...", QKeySequence(Qt::Key_F7), &TFMain::N8Click);
    separator(n3, "N4");
    item(n3, "N5", "Выбор COM-порта...", QKeySequence(Qt::Key_F9), &TFMain::N5Click);

    QMenu* n11 = bar->addMenu(QString::fromUtf8("Дистанционное управление"));
    n11->setObjectName("N11");
    item(n11, "N15", "Переход КЕРВА <-> ОРТЕН...", QKeySequence(), &TFMain::N15Click);
    item(n11, "N18", "Сверка настроек КП...", QKeySequence(), &TFMain::N18Click);
    item(n11, "N16", "Изменение настроек...", QKeySequence(), [] {}); // does nothing
    item(n11, "N17", "Параметры ДУ...", QKeySequence(), &TFMain::N17Click);

    // Toolbar.
    ToolBar1 = addToolBar("ToolBar1");
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(22, 22));
    connect(AddToolButton("TBOpenFile", 0, TwoLineHint("Открыть файл прошивки", "для модема")),
            &QToolButton::clicked, FileOpen, &QAction::trigger);
    ToolBar1->addSeparator();
    connect(AddToolButton("TBProgFlash", 2, QString::fromUtf8("Прошить файл в модем")), &QToolButton::clicked,
            ProgFlash, &QAction::trigger);
    ToolBar1->addSeparator();
    connect(AddToolButton("TBTuningLF", 5, TwoLineHint("Настройки частотной", "системы")),
            &QToolButton::clicked, this, &TFMain::N6Click);
    connect(AddToolButton("TBTuningLT", 6, TwoLineHint("Настройки временной", "системы")),
            &QToolButton::clicked, this, &TFMain::N7Click);
    connect(AddToolButton("TBTuningORTEN", 7, QString::fromUtf8("Настройки ОРТЕН")), &QToolButton::clicked,
            this, &TFMain::N8Click);
    ToolBar1->addSeparator();
    connect(AddToolButton("TBTuningCOM", 8, QString::fromUtf8("Настройки COM-порта")), &QToolButton::clicked,
            this, &TFMain::N5Click);
    ToolBar1->addSeparator();
    connect(AddToolButton("TBGetInfo", 9, QString::fromUtf8("Опрос модема")), &QToolButton::clicked, this,
            &TFMain::TBGetInfoClick);

    // The panel with the log pane and, under it, the progress bar.
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    auto* layout = new QVBoxLayout(Panel1);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Memo1 = new QPlainTextEdit(Panel1);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(Memo1);
    PrBar = new QProgressBar(Panel1);
    PrBar->setObjectName("PrBar");
    PrBar->setFixedHeight(18);
    PrBar->setRange(0, 100);
    PrBar->setTextVisible(false);
    PrBar->hide();
    layout->addWidget(PrBar);
    setCentralWidget(Panel1);

    // Status bar of three panels: chosen files, the port, and one never written.
    StatusBar1 = statusBar();
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    const int widths[3] = {400, 50, 200};
    for (int i = 0; i < 3; ++i) {
        StatusPanels[i] = new QLabel(StatusBar1);
        StatusPanels[i]->setObjectName(QString("StatusPanel%1").arg(i));
        StatusPanels[i]->setFixedWidth(widths[i]);
        StatusPanels[i]->setFrameShape(QFrame::Panel);
        StatusPanels[i]->setFrameShadow(QFrame::Sunken);
        StatusBar1->addWidget(StatusPanels[i]);
    }
}

void TFMain::FormCreate() {
    // 1. The log of earlier runs.
    std::string error;
    switch (LoadLogLines(kLogFileName, logLines_, &error, &logHistory_)) {
    case TLogLoad::Loaded:
    case TLogLoad::Missing: // the first start in this folder: the file appears at the first save
        break;
    case TLogLoad::Unreadable:
        logSaveBlocked_ = true;
        logLines_.clear();
        logHistory_.clear();
        host_->ShowMessage("Не удалось прочитать файл журнала " + std::string(kLogFileName) + " (" + error +
                               "). Журнал этого сеанса не будет записан в этот файл, чтобы не потерять его "
                               "содержимое.",
                           {}, TMsgButtons::Ok, TMsgIcon::Error);
        break;
    }
    historyLines_ = logLines_.size();
    // Years of earlier lines go in at once; an empty log leaves the pane without a block of text.
    QStringList earlier;
    for (const auto& l : logLines_)
        earlier << Q(l);
    Memo1->setPlainText(earlier.join('\n'));
    // 2. The session header.
    for (const auto& l : SessionHeader(std::time(nullptr)))
        AppendLog(l);
    // 3, 4.
    StartDir = std::filesystem::current_path().string();
    LogChanged = false;
}

void TFMain::AppendLog(const std::string& line) {
    // One block of the pane per log line, so the pane and the file never disagree.
    QTextCursor c(Memo1->document());
    c.movePosition(QTextCursor::End);
    if (!logLines_.empty())
        c.insertBlock();
    c.insertText(Q(line));
    logLines_.push_back(line);
    Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
}

void TFMain::SaveLogIfChanged() {
    if (!LogChanged || logSaveBlocked_)
        return;
    const std::string path = (std::filesystem::path(StartDir) / kLogFileName).string();
    try {
        // The earlier history goes back byte for byte; only this run's lines are written anew.
        SaveLogWithHistory(path, logHistory_,
                           {logLines_.begin() + static_cast<std::ptrdiff_t>(historyLines_), logLines_.end()});
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

void TFMain::LockMainWindow() {
    locked_ = true;
    // The panel around the log pane is not disabled as a widget: that would grey the pane with
    // it. The input gate keeps the pane, like the rest of the window, from taking input.
    for (QWidget* w :
         {static_cast<QWidget*>(ToolBar1), static_cast<QWidget*>(PrBar), static_cast<QWidget*>(StatusBar1)})
        w->setEnabled(false);
    for (QMenu* m : menuBar()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        m->menuAction()->setEnabled(false);
    inputGate_.Close();
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TFMain::UnlockMainWindow() {
    // Keys and clicks that came while the command ran are dropped before anything is enabled.
    inputGate_.Open();
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    for (QWidget* w : {static_cast<QWidget*>(ToolBar1), Panel1, static_cast<QWidget*>(Memo1),
                       static_cast<QWidget*>(PrBar), static_cast<QWidget*>(StatusBar1)})
        w->setEnabled(true);
    for (QMenu* m : menuBar()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        m->menuAction()->setEnabled(true);
    locked_ = false;
}

void TFMain::SetComPanel(int numCom) {
    // "COM3", or the adapter a number of its own stands for; the tool tip names the device.
    StatusPanels[1]->setText(Q(PortCaption(numCom)));
    StatusPanels[1]->setToolTip(Q(PortHint(numCom)));
}

void TFMain::ShowError(const std::string& text) {
    host_->ShowMessage(text, {}, TMsgButtons::Ok, TMsgIcon::Error);
}

void TFMain::SetWindows(QDialog* tuningLF, QDialog* tuningCom, QDialog* tuningLT, QDialog* tuningORTEN,
                        QDialog* tuningRC, QDialog* changeSystem) {
    fTuningLF_ = tuningLF;
    fTuningCom_ = tuningCom;
    fTuningLT_ = tuningLT;
    fTuningORTEN_ = tuningORTEN;
    fTuningRC_ = tuningRC;
    fChangeSystem_ = changeSystem;
    for (QDialog* d : {tuningLF, tuningLT, tuningORTEN})
        if (auto* editor = qobject_cast<TFTuning*>(d))
            editor->Rules().SetSettingsRun(SettingsRun());
}

void TFMain::FileOpenExecute() {
    QFileDialog OpenDialog1(this);
    OpenDialog1.setObjectName("OpenDialog1");
    OpenDialog1.setFileMode(QFileDialog::ExistingFile);
    OpenDialog1.setNameFilters(
        {QString::fromUtf8("Файл программы (*.rom)"), QString::fromUtf8("Файл настроек (*.eep)")});
    OpenDialog1.setDefaultSuffix("rom");
    if (OpenDialog1.exec() != QDialog::Accepted || OpenDialog1.selectedFiles().isEmpty())
        return;
    FileChosen(OpenDialog1.selectedFiles().first().toStdString());
}

void TFMain::FileChosen(const std::string& path) {
    // The extension test is case-sensitive: A.ROM counts as a settings file.
    const auto dot = path.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : path.substr(dot);
    if (ext == ".hex" || ext == ".rom")
        FirmwareFileName = path;
    else
        SettingsFileName = path;
    StatusPanels[0]->setText(Q(FirmwareFileName + "  " + SettingsFileName));
    // Like the system's open dialog, choosing a file makes its folder the current one.
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::path(path).parent_path(), ec);
}

void TFMain::N5Click() {
    if (locked_ || !fTuningCom_)
        return;
    fTuningCom_->show();
    fTuningCom_->raise();
}

void TFMain::N6Click() {
    if (locked_ || !fTuningLF_)
        return;
    Guarded([this] {
        // The frequency editor opens with its record in edit state (a new one on an empty table).
        if (dmTables_)
            dmTables_->TDataLF().Edit();
        fTuningLF_->exec();
    });
}

void TFMain::N7Click() {
    if (!locked_ && fTuningLT_)
        Guarded([this] { fTuningLT_->exec(); });
}

void TFMain::N8Click() {
    if (!locked_ && fTuningORTEN_)
        Guarded([this] { fTuningORTEN_->exec(); });
}

void TFMain::N9Click() {
    close();
}

void TFMain::N15Click() {
    if (!locked_ && fChangeSystem_)
        Guarded([this] { fChangeSystem_->exec(); });
}

void TFMain::N18Click() {
    if (locked_ || !dmTables_)
        return;
    Guarded([this] {
        if (!fLineCheck_)
            fLineCheck_ = new TFLineCheck(
                *dmTables_, comPort1_, *host_,
                [this](const std::string& line) {
                    AppendLog(line);
                    LogChanged = true;
                },
                this);
        fLineCheck_->exec();
        SaveLogIfChanged();
    });
}

void TFMain::N17Click() {
    if (!locked_ && fTuningRC_)
        Guarded([this] { fTuningRC_->exec(); });
}

} // namespace talmar
