#pragma once
// The editor windows as data: the tabs, groups, captions, tool tips and bound controls of each
// editor, read by the one editor window class (TuningWindow.h). The main tab "Главные" is the same
// in every editor and is built by the window from the profile; the other tabs are described here.
//
// Control names are the ones the engineer's documentation uses ("RxDBComboBox5", "DBEdit12") and
// become the widgets' object names. A caption of several lines is written with '\n'; the
// control's accessible name is its caption with the lines joined by a blank.

#include "editors/core/EditorProfile.h"
#include "store/Value.h"

#include <QString>
#include <string>
#include <vector>

namespace talmar {

enum class TListKind { Working, Aux, Resistance };

struct TFormNode {
    enum class TKind {
        Group,   // a titled group of nodes
        Side,    // nodes side by side
        Edit,    // caption and text field
        Range,   // caption, then "от" field and "до" field
        Chooser, // caption and chooser
        Level,   // caption, read-only box, slider and its two end labels
        Check,   // check box with its own text
        Radio,   // radio group with its title
        Text,    // explanatory text
    };
    TKind kind;
    std::string name = {};  // object name (the group's, the control's; for Range the "от" field's)
    std::string field = {}; // bound field (for Range the "от" field)
    QString caption = {};   // label, group title, check box text
    std::vector<TFormNode> children = {};
    // Edit and Range
    std::string name2 = {};  // Range: the "до" field's control
    std::string field2 = {}; // Range: the "до" field
    QString fromCaption = {};
    QString toCaption = {};
    QString unit = {}; // Edit: a label after the field ("дБ")
    int maxLength = 0;
    int helpContext = 0;
    QString toolTip = {};
    // Chooser
    TListKind list = TListKind::Working;
    // Level: the slider (profile name), the end labels
    std::string slider = {};
    std::string minLabel = {};
    std::string maxLabel = {};
    // Check and Radio: stored values
    TValue checked = {};
    TValue unchecked = {};
    std::vector<std::pair<QString, TValue>> items = {};
};

// A check box that governs a group: the group is shown (and, with enable, enabled) exactly while
// the box is checked; with colour, the box's text is red while checked and navy otherwise. The
// rule runs whenever the box changes state (a click, another record) and first thing when its tab
// is shown.
struct TGroupRule {
    std::string checkBox;
    std::string group;
    std::string tab;
    bool enable = false;
    bool colour = false;
};

struct TEditorForm {
    const TEditorProfile& profile;
    std::string objectName;                   // "FTuningLF"
    std::vector<std::vector<TFormNode>> tabs; // in the profile's tab order; the main tab's is empty
    std::vector<TGroupRule> groupRules;
    QString copyCaption;
    QString pasteCaption;
    QString copyTip; // empty: no tool tip
    QString pasteTip;
    std::string progName; // "BProg" / "BitBtn1"
    bool resizable;
    bool captionsAbove; // captions over their choosers and sliders, for a narrow window
    int width;          // size of a resizable window; 0: as its layout needs
    int height;
};

const TEditorForm& FormLF();
const TEditorForm& FormLT();
const TEditorForm& FormORTEN();

} // namespace talmar
