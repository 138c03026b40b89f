#include "editors/TuningWindow.h"

#include "base/Host.h"
#include "store/DMTables.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

namespace talmar {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// The accessible name of a control: its caption with the lines joined by a blank.
QString OneLine(const QString& caption) {
    return caption.simplified();
}

TValueList ListOf(TListKind kind, TResistWording wording) {
    switch (kind) {
    case TListKind::Working:
        return WorkingChannels();
    case TListKind::Aux:
        return AuxChannels();
    case TListKind::Resistance:
        return LineResistances(wording);
    }
    return WorkingChannels();
}

QLabel* Caption(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    return l;
}

// A read-only box greyed like the window behind it.
void Grey(QLineEdit* e) {
    e->setReadOnly(true);
    QPalette p = e->palette();
    p.setColor(QPalette::Base, p.color(QPalette::Window));
    e->setPalette(p);
}

constexpr int kNumberWidth = 70;

void SetTextColour(QWidget* w, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::ButtonText, c);
    w->setPalette(p);
}

} // namespace

TFTuning::TFTuning(const TEditorForm& form, TDMTables& dm, TCopyBoard& board, IHost& host, QWidget* parent)
    : QDialog(parent), form_(form),
      source_(std::make_unique<TDataSource>(dm.Table(form.profile.table), host)),
      rules_(form.profile, dm, board, host) {
    setObjectName(Q(form_.objectName));
    setWindowTitle(Q(rules_.Caption()));

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    Body = new QWidget(this);
    Body->setObjectName("Body");
    outer->addWidget(Body);
    auto* layout = new QVBoxLayout(Body);

    General = new QTabWidget(Body);
    General->setObjectName("General");
    layout->addWidget(General);
    const TEditorProfile& p = form_.profile;
    sliders_.resize(p.sliders.size());
    for (std::size_t t = 0; t < p.tabs.size(); ++t) {
        auto* page = new QWidget;
        page->setObjectName(Q(p.tabs[t].name));
        if (p.tabs[t].main) {
            BuildMainTab(page);
        } else {
            auto* v = new QVBoxLayout(page);
            BuildNodes(form_.tabs.at(t), v, page);
            v->addStretch(1);
        }
        General->addTab(page, Q(p.tabs[t].caption));
    }

    // The bar under the tabs.
    auto* bar = new QHBoxLayout;
    bar->addStretch(1);
    BProg = new QPushButton(QString::fromUtf8("Прошить модем"), Body);
    BProg->setObjectName(Q(form_.progName));
    BProg->setAutoDefault(false);
    OKBtn = new QPushButton(QString::fromUtf8("Выход"), Body);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    bar->addWidget(BProg);
    bar->addWidget(OKBtn);
    layout->addLayout(bar);
    connect(OKBtn, &QPushButton::clicked, this, &TFTuning::OKBtnClick);
    connect(BProg, &QPushButton::clicked, this, &TFTuning::BProgClick);

    // The governing check boxes run their rule on every change of state. Until it first runs the
    // group is shown, and a coloured caption is red.
    for (const TGroupRule& r : form_.groupRules)
        if (auto* box = Control<TDBCheckBox>(r.checkBox)) {
            connect(box, &QCheckBox::stateChanged, this, [this, &r] { GroupRule(r); });
            if (r.colour)
                SetTextColour(box, Qt::red);
        }

    connect(General, &QTabWidget::currentChanged, this, [this](int tab) {
        if (isVisible())
            TabShow(tab);
    });

    rules_.SetListener([this](TEditorChange c, int s) { OnRulesChange(c, s); });
    for (int i = 0; i < rules_.SliderCount(); ++i)
        ShowSlider(i);
    BPaste->setEnabled(rules_.PasteEnabled());

    if (form_.resizable) {
        resize(form_.width, form_.height);
    } else {
        layout->setSizeConstraint(QLayout::SetFixedSize);
        setSizeGripEnabled(false);
    }
    // DBGrid1Enter at creation, for the editors that name their record from the start.
    Guard([this] { rules_.Created(); });
}

TFTuning::~TFTuning() {
    rules_.SetListener({});
    // The controls go while the data source they are bound to is still there (Qt would delete
    // them only after this object's members).
    delete Body;
    Body = nullptr;
}

bool TFTuning::Guard(const std::function<void()>& action) {
    return source_->Guard(action);
}

// ---- building

void TFTuning::BuildMainTab(QWidget* page) {
    const TEditorProfile& p = form_.profile;
    auto* h = new QHBoxLayout(page);

    auto* left = new QVBoxLayout;
    auto* model = new TTableModel(*source_, {{"NameKP", QString::fromUtf8("Название КП"), true}}, page);
    DBGrid1 = new TDBGrid(model, page);
    DBGrid1->setObjectName("DBGrid1");
    DBGrid1->setAccessibleName(QString::fromUtf8("Название КП"));
    DBNavigator1 = new TDBNavigator(*source_, page);
    DBNavigator1->setObjectName("DBNavigator1");
    auto* nav = new QHBoxLayout;
    nav->addWidget(DBNavigator1);
    nav->addStretch(1);
    left->addLayout(nav);
    left->addWidget(DBGrid1, 1);
    h->addLayout(left, 1);
    connect(DBGrid1, &TDBGrid::entered, this, &TFTuning::DBGrid1Enter);
    connect(DBGrid1, &TDBGrid::cellClicked, this, &TFTuning::DBGrid1CellClick);

    auto* right = new QVBoxLayout;
    auto* grid = new QGridLayout;
    int row = 0;
    auto field = [&](const char* caption, const char* fieldName, const char* name, int maxLength,
                     const char* tip) {
        auto* label = Caption(QString::fromUtf8(caption), page);
        auto* edit = new TDBEdit(*source_, fieldName, page);
        edit->setObjectName(name);
        if (maxLength > 0)
            edit->SetMaxChars(maxLength);
        edit->setMaximumWidth(kNumberWidth);
        edit->setAccessibleName(OneLine(label->text()));
        if (*tip)
            edit->setToolTip(QString::fromUtf8(tip));
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        ++row;
    };
    if (p.numKP)
        field("Номер КП", "NumKP", "NumKPEdit", 4, "");
    field("Номер контроллера", "ENumController", "ENumControllerEdit", 0,
          "Если МКД неисправен, его номер будет\nбраться из этого поля.");
    field("Количество попыток\nавтоопределения\nномера контроллера", "EControllerFoundAttempts",
          "EControllerFoundAttemptsEdit", 0, "Если ноль, используется поле\n\"Номер контроллера\"");
    right->addLayout(grid);

    auto* bookLabel = Caption(QString::fromUtf8("Заметки"), page);
    auto* book = new TDBMemo(*source_, "Book", page);
    book->setObjectName("DBMemo1");
    book->setAccessibleName(bookLabel->text());
    bookLabel->setBuddy(book);
    right->addWidget(bookLabel);
    right->addWidget(book, 1);

    BCopy = new QPushButton(form_.copyCaption, page);
    BCopy->setObjectName("BCopy");
    BCopy->setToolTip(form_.copyTip);
    BCopy->setAutoDefault(false);
    BPaste = new QPushButton(form_.pasteCaption, page);
    BPaste->setObjectName("BPaste");
    BPaste->setToolTip(form_.pasteTip);
    BPaste->setAutoDefault(false);
    right->addWidget(BCopy);
    right->addWidget(BPaste);
    connect(BCopy, &QPushButton::clicked, this, &TFTuning::BCopyClick);
    connect(BPaste, &QPushButton::clicked, this, &TFTuning::BPasteClick);
    h->addLayout(right, 1);
}

void TFTuning::BuildNodes(const std::vector<TFormNode>& nodes, QVBoxLayout* layout, QWidget* parent) {
    using K = TFormNode::TKind;
    QGridLayout* grid = nullptr; // consecutive captioned rows share one grid, so captions align
    int row = 0;
    auto rowGrid = [&] {
        if (!grid) {
            grid = new QGridLayout;
            grid->setColumnStretch(5, 1); // the fields stay by their captions
            layout->addLayout(grid);
            row = 0;
        }
        return grid;
    };
    const TResistWording wording = form_.profile.wording;
    for (const TFormNode& n : nodes) {
        switch (n.kind) {
        case K::Group: {
            grid = nullptr;
            auto* box = new QGroupBox(n.caption, parent);
            box->setObjectName(Q(n.name));
            auto* v = new QVBoxLayout(box);
            BuildNodes(n.children, v, box);
            layout->addWidget(box);
            break;
        }
        case K::Side: {
            grid = nullptr;
            auto* h = new QHBoxLayout;
            for (const TFormNode& child : n.children) {
                auto* v = new QVBoxLayout;
                BuildNodes({child}, v, parent);
                v->addStretch(1);
                h->addLayout(v, 1);
            }
            layout->addLayout(h);
            break;
        }
        case K::Edit: {
            auto* label = Caption(n.caption, parent);
            auto* edit = new TDBEdit(*source_, n.field, parent);
            edit->setObjectName(Q(n.name));
            edit->setAccessibleName(OneLine(n.caption));
            edit->setMaximumWidth(n.field.rfind("Coeff", 0) == 0 ? 2 * kNumberWidth : kNumberWidth);
            if (n.maxLength > 0)
                edit->SetMaxChars(n.maxLength);
            if (n.helpContext)
                edit->setProperty("helpContext", n.helpContext);
            label->setBuddy(edit);
            rowGrid()->addWidget(label, row, 0);
            grid->addWidget(edit, row, 2);
            if (!n.unit.isEmpty())
                grid->addWidget(Caption(n.unit, parent), row, 3);
            ++row;
            break;
        }
        case K::Range: {
            const QString base = OneLine(n.caption);
            QString stem = base;
            if (stem.endsWith(QString::fromUtf8(" от")))
                stem.chop(3);
            auto* label = Caption(n.caption, parent);
            auto* from = new TDBEdit(*source_, n.field, parent);
            from->setObjectName(Q(n.name));
            from->setMaximumWidth(kNumberWidth);
            from->setAccessibleName(n.fromCaption.isEmpty() ? base : base + " " + n.fromCaption);
            auto* to = new TDBEdit(*source_, n.field2, parent);
            to->setObjectName(Q(n.name2));
            to->setMaximumWidth(kNumberWidth);
            to->setAccessibleName(stem + " " + n.toCaption);
            auto* toLabel = Caption(n.toCaption, parent);
            toLabel->setBuddy(to);
            rowGrid()->addWidget(label, row, 0);
            if (!n.fromCaption.isEmpty()) {
                auto* fromLabel = Caption(n.fromCaption, parent);
                fromLabel->setBuddy(from);
                grid->addWidget(fromLabel, row, 1, Qt::AlignRight);
            } else {
                label->setBuddy(from);
            }
            grid->addWidget(from, row, 2);
            grid->addWidget(toLabel, row, 3, Qt::AlignRight);
            grid->addWidget(to, row, 4);
            ++row;
            break;
        }
        case K::Chooser: {
            auto* label = Caption(n.caption, parent);
            auto* combo = new TDBComboBox(*source_, n.field, ListOf(n.list, wording), parent);
            combo->setObjectName(Q(n.name));
            combo->setAccessibleName(OneLine(n.caption));
            label->setBuddy(combo);
            if (form_.captionsAbove) {
                // A narrow window: the caption over its chooser.
                combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
                combo->setMinimumContentsLength(8);
                grid = nullptr;
                layout->addWidget(label);
                layout->addWidget(combo);
            } else {
                rowGrid()->addWidget(label, row, 0);
                grid->addWidget(combo, row, 2, 1, 3);
                ++row;
            }
            if (n.name == form_.profile.resistChooser)
                connect(combo, &TDBComboBox::picked, this, &TFTuning::ResistanceChange);
            break;
        }
        case K::Level:
            if (form_.captionsAbove) {
                grid = nullptr;
                auto* g = new QGridLayout;
                layout->addLayout(g);
                BuildLevel(n, g, 0, parent);
            } else {
                BuildLevel(n, rowGrid(), row, parent);
                row += 2;
            }
            break;
        case K::Check: {
            grid = nullptr;
            auto* box = new TDBCheckBox(*source_, n.field, n.caption, n.checked, n.unchecked, parent);
            box->setObjectName(Q(n.name));
            box->setToolTip(n.toolTip);
            layout->addWidget(box);
            break;
        }
        case K::Radio: {
            grid = nullptr;
            std::vector<TDBRadioGroup::TItem> items;
            for (const auto& [text, value] : n.items)
                items.push_back({text, value});
            auto* radio = new TDBRadioGroup(*source_, n.field, n.caption, std::move(items), parent);
            radio->setObjectName(Q(n.name));
            layout->addWidget(radio);
            break;
        }
        case K::Text: {
            grid = nullptr;
            auto* l = Caption(n.caption, parent);
            l->setWordWrap(true);
            layout->addWidget(l);
            break;
        }
        }
    }
}

void TFTuning::BuildLevel(const TFormNode& n, QGridLayout* grid, int row, QWidget* parent) {
    const int index = form_.profile.SliderIndex(n.slider);
    auto* label = Caption(n.caption, parent);
    auto* box = new TDBEdit(*source_, n.field, parent);
    box->setObjectName(Q(n.name));
    box->setMaximumWidth(kNumberWidth / 2 + 10);
    Grey(box);
    box->setAccessibleName(OneLine(n.caption));
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(Q(n.slider));
    slider->setAccessibleName(OneLine(n.caption));
    slider->setMinimumWidth(form_.captionsAbove ? 90 : 160);
    slider->setSingleStep(1);
    slider->setPageStep(1);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(2);
    label->setBuddy(slider);
    auto* ends = new QHBoxLayout;
    auto* minLabel = new QLabel(parent);
    minLabel->setObjectName(Q(n.minLabel));
    auto* maxLabel = new QLabel(parent);
    maxLabel->setObjectName(Q(n.maxLabel));
    ends->addWidget(minLabel);
    ends->addStretch(1);
    ends->addWidget(maxLabel);
    if (form_.captionsAbove) {
        // A narrow window: the caption over its box and slider.
        grid->addWidget(label, row, 0, 1, 2);
        grid->addWidget(box, row + 1, 0);
        grid->addWidget(slider, row + 1, 1);
        grid->addLayout(ends, row + 2, 1);
    } else {
        grid->addWidget(label, row, 0, 2, 1, Qt::AlignTop);
        grid->addWidget(box, row, 2);
        grid->addWidget(slider, row, 3, 1, 2);
        grid->addLayout(ends, row + 1, 3, 1, 2);
    }
    sliders_.at(static_cast<std::size_t>(index)) = {slider, minLabel, maxLabel};
    connect(slider, &QSlider::valueChanged, this, [this, index](int value) {
        if (!syncing_)
            Guard([&] { rules_.MoveSlider(index, value); });
        // A move the table refused leaves the slider where the rules have it.
        ShowSlider(index);
    });
}

// ---- state of the rules on screen

QSlider* TFTuning::Slider(int index) const {
    return sliders_.at(static_cast<std::size_t>(index)).slider;
}

QLabel* TFTuning::MinLabel(int index) const {
    return sliders_.at(static_cast<std::size_t>(index)).minLabel;
}

QLabel* TFTuning::MaxLabel(int index) const {
    return sliders_.at(static_cast<std::size_t>(index)).maxLabel;
}

void TFTuning::ShowSlider(int index) {
    const TSliderWidgets& w = sliders_.at(static_cast<std::size_t>(index));
    if (!w.slider)
        return;
    const TLevelSlider& s = rules_.Slider(index);
    syncing_ = true;
    w.slider->setRange(s.Min(), s.Max());
    w.slider->setValue(s.Position());
    syncing_ = false;
    w.minLabel->setText(Q(rules_.MinLabel(index)));
    w.maxLabel->setText(Q(rules_.MaxLabel(index)));
}

void TFTuning::OnRulesChange(TEditorChange change, int slider) {
    switch (change) {
    case TEditorChange::Slider:
        ShowSlider(slider);
        break;
    case TEditorChange::Caption:
        setWindowTitle(Q(rules_.Caption()));
        break;
    case TEditorChange::PasteEnabled:
        if (BPaste)
            BPaste->setEnabled(rules_.PasteEnabled());
        break;
    }
}

// ---- handlers

void TFTuning::FormShow() {
    Guard([this] { rules_.Shown(); });
}

void TFTuning::FormHide() {
    // What is still being typed is written by the table's notice before the commit.
    Guard([this] { rules_.Hidden(); });
}

void TFTuning::FormHelp(int helpContext) {
    Guard([&] { rules_.Help(helpContext); });
}

void TFTuning::OKBtnClick() {
    if (!programming_ && WriteTyped())
        accept();
}

bool TFTuning::WriteTyped() {
    TFieldLink* failed = source_->WriteTyped();
    if (!failed)
        return true;
    // The error has been shown; the field keeps its text and gets the focus, on its tab.
    if (auto* field = dynamic_cast<QWidget*>(failed)) {
        for (int t = 0; t < General->count(); ++t)
            if (General->widget(t)->isAncestorOf(field))
                General->setCurrentIndex(t);
        field->setFocus();
    }
    return false;
}

void TFTuning::BProgClick() {
    if (programming_)
        return;
    // The window takes no input until the programming command returns, however it returns; it
    // keeps painting.
    {
        programming_ = true;
        Body->setEnabled(false);
        struct TRelease {
            TFTuning* w;
            ~TRelease() {
                w->Body->setEnabled(true);
                w->programming_ = false;
            }
        } release{this};
        Guard([this] { rules_.Program(); });
    }
    BProg->setFocus();
}

void TFTuning::BCopyClick() {
    // A copy takes what is still being typed; a paste overwrites it.
    Guard([this] {
        source_->UpdateRecord();
        rules_.Copy();
    });
}

void TFTuning::BPasteClick() {
    Guard([this] {
        source_->UpdateRecord();
        rules_.Paste();
    });
}

void TFTuning::DBGrid1Enter() {
    Guard([this] { rules_.CaptionRule(); });
}

void TFTuning::DBGrid1CellClick() {
    Guard([this] { rules_.CaptionRule(); });
}

void TFTuning::TabShow(int tab) {
    if (tab < 0 || tab >= static_cast<int>(form_.profile.tabs.size()))
        return;
    shownTab_ = tab;
    const std::string& name = form_.profile.tabs[static_cast<std::size_t>(tab)].name;
    for (const TGroupRule& r : form_.groupRules)
        if (r.tab == name)
            GroupRule(r);
    Guard([&] { rules_.ShowTab(tab); });
}

void TFTuning::ResistanceChange() {
    Guard([this] { rules_.ResistanceChanged(); });
}

void TFTuning::GroupRule(const TGroupRule& rule) {
    auto* box = Control<TDBCheckBox>(rule.checkBox);
    auto* group = Control<QGroupBox>(rule.group);
    if (!box || !group)
        return;
    const bool on = box->checkState() == Qt::Checked;
    if (rule.enable)
        group->setEnabled(on);
    group->setVisible(on);
    if (rule.colour)
        SetTextColour(box, on ? QColor(Qt::red) : QColor(0, 0, 128)); // navy
}

bool TFTuning::Handler(const QString& name) {
    const std::string n = name.toStdString();
    const TEditorProfile& p = form_.profile;
    if (n == "FormShow")
        FormShow();
    else if (n == "FormHide")
        FormHide();
    else if (n == "OKBtnClick")
        OKBtnClick();
    else if (n == p.resistChooser + "Change")
        ResistanceChange();
    else if (n == form_.progName + "Click")
        BProgClick();
    else if (n == "BCopyClick")
        BCopyClick();
    else if (n == "BPasteClick")
        BPasteClick();
    else if (n == "DBGrid1Enter")
        DBGrid1Enter();
    else if (n == "DBGrid1CellClick")
        DBGrid1CellClick();
    else if (n.size() > 4 && n.ends_with("Show") && p.TabIndex(n.substr(0, n.size() - 4)) >= 0)
        TabShow(p.TabIndex(n.substr(0, n.size() - 4)));
    else if (n.size() > 6 && n.ends_with("Change") && p.SliderIndex(n.substr(0, n.size() - 6)) >= 0) {
        const int s = p.SliderIndex(n.substr(0, n.size() - 6));
        Guard([&] { rules_.SliderToField(s); });
    } else {
        for (const TGroupRule& r : form_.groupRules)
            if (n == r.checkBox + "Click") {
                GroupRule(r);
                return true;
            }
        return false;
    }
    return true;
}

// ---- window events

void TFTuning::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (e->spontaneous())
        return;
    if (!form_.resizable || !property("placed").toBool()) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        setProperty("placed", true);
    }
    FormShow();
    // The show step of the tab that is active: the main tab the first time.
    TabShow(General->currentIndex());
}

void TFTuning::hideEvent(QHideEvent* e) {
    QDialog::hideEvent(e);
    if (!e->spontaneous())
        FormHide();
}

void TFTuning::keyPressEvent(QKeyEvent* e) {
    // F1 that the control in focus did not take: a help request for that control.
    if (e->key() == Qt::Key_F1 && e->modifiers() == Qt::NoModifier) {
        QWidget* w = focusWidget();
        FormHelp(w ? w->property("helpContext").toInt() : 0);
        return;
    }
    // Escape never closes an editor: in a field it puts back the record's value (the field
    // takes it), elsewhere it does nothing. "Выход" and the close box close the window.
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TFTuning::closeEvent(QCloseEvent* e) {
    if (programming_) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

void TFTuning::reject() {
    // The close box: as "Выход", the window stays while a field holds text that does not convert.
    if (!programming_ && WriteTyped())
        QDialog::reject();
}

} // namespace talmar
