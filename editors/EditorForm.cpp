#include "editors/EditorForm.h"

namespace talmar {

namespace {

using K = TFormNode::TKind;

QString U(const char* s) {
    return QString::fromUtf8(s);
}

TFormNode Group(std::string name, const char* title, std::vector<TFormNode> children) {
    return {.kind = K::Group, .name = std::move(name), .caption = U(title), .children = std::move(children)};
}

TFormNode Side(std::vector<TFormNode> children) {
    return {.kind = K::Side, .children = std::move(children)};
}

TFormNode Edit(const char* caption, std::string field, std::string name = {}) {
    if (name.empty())
        name = field + "Edit";
    return {.kind = K::Edit, .name = std::move(name), .field = std::move(field), .caption = U(caption)};
}

// A level as a plain whole-number field, its unit after it.
TFormNode DbField(const char* caption, std::string field, std::string name) {
    TFormNode n = Edit(caption, std::move(field), std::move(name));
    n.unit = U("дБ");
    return n;
}

TFormNode HelpEdit(const char* caption, std::string field) {
    TFormNode n = Edit(caption, std::move(field));
    n.helpContext = 1;
    return n;
}

// A row of a lower and an upper bound: the caption, "от" (when given) and its field, "до" and its.
TFormNode Range(const char* caption, std::string from, std::string to, const char* fromCaption = "от") {
    return {.kind = K::Range,
            .name = from + "Edit",
            .field = from,
            .caption = U(caption),
            .name2 = to + "Edit",
            .field2 = to,
            .fromCaption = U(fromCaption),
            .toCaption = U("до")};
}

TFormNode Chooser(std::string name, const char* caption, std::string field, TListKind list) {
    return {.kind = K::Chooser,
            .name = std::move(name),
            .field = std::move(field),
            .caption = U(caption),
            .list = list};
}

TFormNode Level(const char* caption, std::string field, std::string box, std::string slider,
                std::string minLabel, std::string maxLabel) {
    return {.kind = K::Level,
            .name = std::move(box),
            .field = std::move(field),
            .caption = U(caption),
            .slider = std::move(slider),
            .minLabel = std::move(minLabel),
            .maxLabel = std::move(maxLabel)};
}

TFormNode Check(std::string name, const char* text, std::string field, TValue checked, TValue unchecked,
                const char* tip = "") {
    return {.kind = K::Check,
            .name = std::move(name),
            .field = std::move(field),
            .caption = U(text),
            .toolTip = U(tip),
            .checked = std::move(checked),
            .unchecked = std::move(unchecked)};
}

// "Тип серии ТУ": "прямая" stores 1, "инверсная" 0.
TFormNode SeriesType(std::string name, const char* title, std::string field) {
    return {.kind = K::Radio,
            .name = std::move(name),
            .field = std::move(field),
            .caption = U(title),
            .items = {{U("прямая"), TValue(1)}, {U("инверсная"), TValue(0)}}};
}

TFormNode Text(const char* text) {
    return {.kind = K::Text, .caption = U(text)};
}

// Telecontrol durations and places, the same in the frequency and the time editor.
TFormNode TYDurations() {
    return Group("GroupBoxTYDurations", "Диапазон длительностей",
                 {Text("импульсов/пауз, мс"), Range("КИ", "EImpTY1", "EImpTY2"),
                  Range("ДИ", "ELongImpTY1", "ELongImpTY2"),
                  Range("СДИ", "ESuperLongImpTY1", "ESuperLongImpTY2")});
}

TFormNode TYPlaces() {
    return Group("GroupBoxTYPlaces", "Места расположения групп",
                 {HelpEdit("Включить объект", "EPlaceOn"), HelpEdit("Отключить объект", "EPlaceOff"),
                  Range("Номер\nобъекта от", "EPlaceNumObject1", "EPlaceNumObject2", ""),
                  Range("Номер\nгруппы", "EPlaceNumGroup1", "EPlaceNumGroup2", "")});
}

// One telesignalling channel of the time system.
std::vector<TFormNode> TCChannel(const char* n, const char* combo, const char* box, const char* slider,
                                 const char* minLabel, const char* maxLabel, bool withResistance) {
    const std::string k(n);
    std::vector<TFormNode> nodes = {
        Group("GroupBoxImpTC" + k, "Парам. ответ. импульсов, мс",
              {Edit("Длительность", "EWidthImpTC" + k),
               Edit("Задержка от\nначала вызывного\nимпульса", "EDelayImpTC" + k)}),
        Group("GroupBoxPlacesTC" + k, "Места располож. сигналов",
              {Edit("ЛП (мигалка)", "ELpLocation" + k), Edit("Сбой ТУ", "EErrTY" + k)}),
        Chooser(combo, "Частотный канал", "EChannelTr" + k, TListKind::Working)};
    if (withResistance)
        nodes.push_back(
            Chooser("RxDBComboBox6", "Сопротивление линии, Ом", "ResistTr", TListKind::Resistance));
    nodes.push_back(Level("Уровень сигнала\nпо выходу, дБ", "AttenTr" + k, box, slider, minLabel, maxLabel));
    return nodes;
}

const char* const kCopyTip = "Копировать все настройки\nвыбранного КП в буфер";
const char* const kPasteTip = "Вставить все настройки из\nбуфера в выбранный КП";

} // namespace

const TEditorForm& FormLF() {
    static const TEditorForm f{
        .profile = ProfileLF(),
        .objectName = "FTuningLF",
        .tabs =
            {
                {},
                // "Телеуправление"
                {TYDurations(), TYPlaces(), SeriesType("DBRadioGroup1", "Тип серии ТУ", "EForvardTY"),
                 Chooser("RxDBComboBox1", "Частотный канал", "EChannelRec1", TListKind::Working),
                 Level("Аттеньюация\nсигнала, дБ", "AttenRec1", "DBEdit12", "RxSlider1", "Label28",
                       "Label27")},
                // "Телесигнализация"
                {Group("GroupBoxTCDurations", "Длительности импульсов/пауз, мс",
                       {Edit("КИ", "EImpTC"), Edit("ДИ", "ELongImpTC"), Edit("СДИ", "ESuperLongImpTC")}),
                 Group("GroupBoxTCPlaces", "Места расположения сигналов",
                       {Edit("ЛП", "ELpLocation1"), Edit("Сбой ТУ", "EErrTY1")}),
                 SeriesType("DBRadioGroup2", "Тип серии ТС", "EForvardTC"),
                 Chooser("RxDBComboBox2", "Частотный канал", "EChannelTr1", TListKind::Working),
                 Chooser("RxDBComboBox5", "Сопротивление линии, Ом", "ResistTr", TListKind::Resistance),
                 Level("Уровень сигнала\nпо выходу, дБ", "AttenTr1", "DBEdit13", "RxSlider2", "Label29",
                       "Label30"),
                 Check("DBCheckBox1", "Кодировать длинными имп/паузой", "ECodingIsLong", TValue(true),
                       TValue(false),
                       "Если крестик, кодированный ТС\nпередается длинными имп/паузой,\nиначе короткими.")},
                // "Телеизмерения"
                {Check("CBUseTI", "Передавать телеизмерения на ДП", "EUseTI", TValue(1), TValue(0)),
                 Group(
                     "GroupBoxCoeffTI", "Поправочные коэффициенты",
                     {Text(
                          "Коэффициент задается как положительное целое число или число с десятичной дробью. "
                          "Дробная часть отделяется запятой.\n"
                          "Примеры:        3        1,1245       4,0024         21          0,95          "
                          "0,0012"),
                      Edit("Коэффициент для ТИ-1", "CoeffTI1"), Edit("Коэффициент для ТИ-2", "CoeffTI2")})},
                // "Служебный канал"
                {Side({Group("GroupBoxAUXIn", "Линейный вход",
                             {Chooser("RxDBComboBox3", "Частотный канал", "EChannelRecAUX", TListKind::Aux),
                              Level("Аттеньюация\nсигнала, дБ", "AttenRecAUX", "DBEdit16", "RxSlider3",
                                    "Label33", "Label26")}),
                       Group("GroupBoxAUXOut", "Линейный выход",
                             {Chooser("RxDBComboBox4", "Частотный канал", "EChannelTrAUX", TListKind::Aux),
                              Level("Уровень сигнала\nв линии связи, дБ", "AttenTrAUX", "DBEdit17",
                                    "RxSlider4", "Label25", "Label23")})})},
            },
        .groupRules = {{.checkBox = "CBUseTI", .group = "GroupBoxCoeffTI", .tab = "TabSheet5"}},
        .copyCaption = U("Копировать настройки КП"),
        .pasteCaption = U("Вставить настройки КП"),
        .copyTip = U(kCopyTip),
        .pasteTip = U(kPasteTip),
        .progName = "BProg",
        .resizable = false,
        .captionsAbove = false,
        .width = 0,
        .height = 0,
    };
    return f;
}

const TEditorForm& FormLT() {
    static const TEditorForm f{
        .profile = ProfileLT(),
        .objectName = "FTuningLT",
        .tabs =
            {
                {},
                // "Телеуправление"
                {SeriesType("DBRadioGroup1", "Тип серии ТУ", "EForvardTY"),
                 Chooser("RxDBComboBox1", "Частотный канал", "EChannelRec1", TListKind::Working),
                 Level("Уровень сигнала\nпо входу, дБ", "AttenRec1", "DBEdit12", "RxSlider1", "Label28",
                       "Label27"),
                 TYDurations(), TYPlaces()},
                // "1-й канал ТС"
                {Group("GroupBoxTC1", "1-й канал ТС",
                       TCChannel("1", "RxDBComboBox5", "DBEdit9", "RxSlider2", "Label29", "Label30", true))},
                // "2-й канал ТС"
                {Check("DBCheckBox1", "Использовать 2-й канал ТС", "ENumsTCChannel", TValue(2), TValue(1)),
                 Group(
                     "GroupBox7", "2-й канал ТС",
                     TCChannel("2", "RxDBComboBox2", "DBEdit26", "RxSlider3", "Label47", "Label48", false))},
                // "Служебный канал": levels as plain whole-number fields
                {Side({Group("GroupBoxAUXIn", "Линейный вход",
                             {Chooser("RxDBComboBox3", "Частотный канал", "EChannelRecAUX", TListKind::Aux),
                              DbField("Уровень сигнала", "AttenRecAUX", "DBEdit16")}),
                       Group("GroupBoxAUXOut", "Линейный выход",
                             {Chooser("RxDBComboBox4", "Частотный канал", "EChannelTrAUX", TListKind::Aux),
                              DbField("Уровень сигнала", "AttenTrAUX", "DBEdit17")})})},
            },
        .groupRules = {{.checkBox = "DBCheckBox1",
                        .group = "GroupBox7",
                        .tab = "TabSheetTC2",
                        .enable = true,
                        .colour = true}},
        .copyCaption = U("Копировать настройки"),
        .pasteCaption = U("Вставить настройки"),
        .copyTip = {},
        .pasteTip = {},
        .progName = "BProg",
        .resizable = false,
        .captionsAbove = false,
        .width = 0,
        .height = 0,
    };
    return f;
}

const TEditorForm& FormORTEN() {
    static const TEditorForm f{
        .profile = ProfileORTEN(),
        .objectName = "FTuningORTEN",
        .tabs =
            {
                {},
                // "Рабочий канал"
                {Side({Group("GroupBoxIn", "Линейный вход",
                             {Level("Аттеньюация\nсигнала,  дБ", "AttenRec1", "DBEdit1", "RxSlider1",
                                    "Label9", "Label1")}),
                       Group("GroupBoxOut", "Линейный выход",
                             {Chooser("RxDBComboBox1", "Сопротивление линии, Ом", "ResistTr",
                                      TListKind::Resistance),
                              Level("Уровень сигнала\nв линии связи, дБ", "AttenTr1", "DBEdit2", "RxSlider2",
                                    "Label28", "Label2")})})},
                // "Служебный канал"
                {Side({Group("GroupBoxAUXIn", "Линейный вход",
                             {Chooser("RxDBComboBox2", "Частотный канал", "EChannelRecAUX", TListKind::Aux),
                              Level("Аттеньюация\nсигнала,  дБ", "AttenRecAUX", "DBEdit3", "RxSlider3",
                                    "Label5", "Label4")}),
                       Group("GroupBoxAUXOut", "Линейный выход",
                             {Chooser("RxDBComboBox3", "Частотный канал", "EChannelTrAUX", TListKind::Aux),
                              Level("Уровень сигнала\nв линии связи, дБ", "AttenTrAUX", "DBEdit4",
                                    "RxSlider4", "Label6", "Label8")})})},
            },
        .groupRules = {},
        .copyCaption = U("Копировать настройки"),
        .pasteCaption = U("Вставить настройки"),
        .copyTip = U(kCopyTip),
        .pasteTip = U(kPasteTip),
        .progName = "BitBtn1",
        .resizable = true,
        .captionsAbove = true,
        .width = 430,
        .height = 448,
    };
    return f;
}

} // namespace talmar
