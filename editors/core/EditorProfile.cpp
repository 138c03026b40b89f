#include "editors/core/EditorProfile.h"

namespace talmar {

int TEditorProfile::SliderIndex(std::string_view name) const {
    for (std::size_t i = 0; i < sliders.size(); ++i)
        if (sliders[i].name == name)
            return static_cast<int>(i);
    return -1;
}

int TEditorProfile::TabIndex(std::string_view name) const {
    for (std::size_t i = 0; i < tabs.size(); ++i)
        if (tabs[i].name == name)
            return static_cast<int>(i);
    return -1;
}

const TEditorProfile& ProfileLF() {
    static const TEditorProfile p{
        .table = TTableId::DataLF,
        .component = "TDataLF",
        .title = "Настройки частотной системы",
        .initialCaption = "Настройки для частотной системы",
        .numKP = true,
        .copyPaste = true,
        .captionAtCreate = true,
        .captionOnMainTab = false,
        .editOnShow = true,
        .commitOnHide = true,
        .help = true,
        .editBeforeProgram = false,
        .forvardTCFromTY = false,
        .checkSettings = true,
        .resistChooser = "RxDBComboBox5",
        .wording = TResistWording::Short,
        .transmitMin = -46,
        .transmitMax = 0,
        .transmitMinLabel = "-46",
        .transmitMaxLabel = "0",
        .sliders = {{"RxSlider1", "AttenRec1", false, true},
                    {"RxSlider2", "AttenTr1", true, false},
                    {"RxSlider3", "AttenRecAUX", false, true},
                    {"RxSlider4", "AttenTrAUX", true, false}},
        .tabs = {{.name = "TabSheet3", .caption = "Главные", .main = true},
                 {.name = "TabSheet1", .caption = "Телеуправление", .fieldToSlider = {"RxSlider1"}},
                 {.name = "TabSheet2",
                  .caption = "Телесигнализация",
                  .edit = true,
                  .rangeRule = {"RxSlider2"},
                  .fieldToSlider = {"RxSlider2"}},
                 {.name = "TabSheet5", .caption = "Телеизмерения"},
                 {.name = "TabSheet4",
                  .caption = "Служебный канал",
                  .edit = true,
                  .rangeRule = {"RxSlider4"},
                  .messageWithoutResistance = true,
                  .fieldToSlider = {"RxSlider4", "RxSlider3"}}},
    };
    return p;
}

const TEditorProfile& ProfileLT() {
    static const TEditorProfile p{
        .table = TTableId::DataLT,
        .component = "TDataLT",
        .title = "Настройки временной системы",
        .initialCaption = "Настройки временной системы",
        .numKP = true,
        .copyPaste = true,
        .captionAtCreate = true,
        .captionOnMainTab = false,
        .editOnShow = false,
        .commitOnHide = true,
        .help = true,
        .editBeforeProgram = true,
        .forvardTCFromTY = true,
        .checkSettings = false,
        .resistChooser = "RxDBComboBox6",
        .wording = TResistWording::Long,
        .transmitMin = -36,
        .transmitMax = 0,
        .transmitMinLabel = "-36",
        .transmitMaxLabel = "0",
        .sliders = {{"RxSlider1", "AttenRec1", false, true},
                    {"RxSlider2", "AttenTr1", true, true},
                    {"RxSlider3", "AttenTr2", true, true}},
        .tabs = {{.name = "TabSheetGeneral", .caption = "Главные", .main = true},
                 {.name = "TabSheetTY", .caption = "Телеуправление", .fieldToSlider = {"RxSlider1"}},
                 {.name = "TabSheetTC1",
                  .caption = "1-й канал ТС",
                  .edit = true,
                  .rangeRule = {"RxSlider2"},
                  .fieldToSlider = {"RxSlider2"}},
                 {.name = "TabSheetTC2",
                  .caption = "2-й канал ТС",
                  .edit = true,
                  .rangeRule = {"RxSlider3"},
                  .fieldToSlider = {"RxSlider3"}},
                 {.name = "TabSheetAUX", .caption = "Служебный канал"}},
    };
    return p;
}

const TEditorProfile& ProfileORTEN() {
    static const TEditorProfile p{
        .table = TTableId::DataORTEN,
        .component = "TDataORTEN",
        .title = "Настройки ОРТЕН",
        .initialCaption = "Настройки ОРТЕН",
        .numKP = false,
        .copyPaste = true,
        .captionAtCreate = false,
        .captionOnMainTab = true,
        .editOnShow = false,
        .commitOnHide = true,
        .help = false,
        .editBeforeProgram = true,
        .forvardTCFromTY = false,
        .checkSettings = false,
        .resistChooser = "RxDBComboBox1",
        .wording = TResistWording::Short,
        .transmitMin = -34,
        .transmitMax = 0,
        .transmitMinLabel = "-46",
        .transmitMaxLabel = "0",
        .sliders = {{"RxSlider1", "AttenRec1", false, false},
                    {"RxSlider2", "AttenTr1", true, false},
                    {"RxSlider3", "AttenRecAUX", false, false},
                    {"RxSlider4", "AttenTrAUX", true, false}},
        .tabs = {{.name = "TabSheet3", .caption = "Главные", .main = true},
                 {.name = "TabSheet1",
                  .caption = "Рабочий канал",
                  .rangeUpdate = true,
                  .fieldToSlider = {"RxSlider1", "RxSlider2"}},
                 {.name = "TabSheet4",
                  .caption = "Служебный канал",
                  .rangeUpdate = true,
                  .fieldToSlider = {"RxSlider3", "RxSlider4"}}},
    };
    return p;
}

const TEditorProfile* ProfileFor(std::string_view component) {
    for (const TEditorProfile* p : {&ProfileLF(), &ProfileLT(), &ProfileORTEN()})
        if (p->component == component)
            return p;
    return nullptr;
}

TRecordSteps ProgramSteps(const TEditorProfile* profile) {
    TRecordSteps steps;
    steps.commitFirst = true;
    if (profile) {
        steps.editFirst = profile->editBeforeProgram;
        steps.forvardTCFromTY = profile->forvardTCFromTY;
        steps.check = profile->checkSettings;
    }
    return steps;
}

} // namespace talmar
