#pragma once
// What sets the three settings editors apart, as data: one profile per editor. The editors share
// one set of rules (EditorRules.h) and one window; a profile says which table an editor edits,
// its caption, its level sliders and tabs, and which of the common steps it takes.

#include "editors/core/ValueLists.h"
#include "jobs/RecordJob.h"
#include "store/TableDef.h"

#include <string>
#include <string_view>
#include <vector>

namespace talmar {

struct TSliderProfile {
    std::string name;  // "RxSlider2"
    std::string field; // "AttenTr1"
    // A transmit slider takes its range from the line resistance; a receive one keeps -34..0.
    bool transmit = false;
    // Every change the slider reports is committed at once.
    bool commitsAtOnce = false;
};

// What showing a tab does with the record and the sliders, in this order.
struct TTabProfile {
    std::string name;    // "TabSheet2"
    std::string caption; // "Телесигнализация"
    bool main = false;   // the paste rule (and, where the profile says so, the caption rule)
    // The line-resistance chooser's whole change step (edit, then the range rule on every
    // transmit slider); the tab stops there when no resistance is chosen.
    bool rangeUpdate = false;
    bool edit = false; // put the record into edit state
    // Range rule on these transmit sliders; with no resistance chosen the tab stops before it,
    // showing kMsgNoResistance when messageWithoutResistance is set.
    std::vector<std::string> rangeRule = {};
    bool messageWithoutResistance = false;
    std::vector<std::string> fieldToSlider = {}; // then each of these sliders shows its field
};

inline constexpr const char* kMsgNoResistance =
    "Сначала задайте сопротивление линии в разделе \"Телесигнализация\"";
inline constexpr const char* kMsgHelp = "qwer";

struct TEditorProfile {
    TTableId table;
    std::string component; // "TDataLF": the table component's name
    std::string title;     // "Настройки частотной системы": the caption rule's title
    std::string initialCaption; // until the caption rule first runs
    bool numKP;                 // "Номер КП" on the main tab
    bool copyPaste;             // the copy and paste buttons copy and paste records
    bool captionAtCreate;       // the caption rule when the window is created
    bool captionOnMainTab;      // ... and each time the main tab is shown
    bool editOnShow;            // the record is put into edit state when the window is shown
    bool commitOnHide;          // the commit rule when the window is hidden
    bool help;                  // F1 on a field with a help context shows kMsgHelp
    // The programming sequence: edit state first, the telesignalling series type taken from the
    // telecontrol one, the commit rule, validation, then the image builder.
    bool editBeforeProgram;
    bool forvardTCFromTY;
    bool checkSettings;
    // The line-resistance chooser and its wording.
    std::string resistChooser;
    TResistWording wording;
    // The transmit sliders before the range rule first runs: range and label texts (the ОРТЕН
    // editor's left labels read "-46" over a range that starts at -34).
    int transmitMin;
    int transmitMax;
    std::string transmitMinLabel;
    std::string transmitMaxLabel;
    std::vector<TSliderProfile> sliders;
    std::vector<TTabProfile> tabs;

    int SliderIndex(std::string_view name) const; // -1 when absent
    int TabIndex(std::string_view name) const;
};

const TEditorProfile& ProfileLF();
const TEditorProfile& ProfileLT();
const TEditorProfile& ProfileORTEN();
// The profile of the editor of a settings table, by the table component's name; null for others.
const TEditorProfile* ProfileFor(std::string_view component);
// The programming steps of the editor with this profile; for a table without an editor only the
// commit rule.
TRecordSteps ProgramSteps(const TEditorProfile* profile);

} // namespace talmar
