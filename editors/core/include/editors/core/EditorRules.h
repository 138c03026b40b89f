#pragma once
// The rules of one settings editor, without a window: the caption and paste rules, the level
// sliders with their end labels and the range rule, slider-to-field and field-to-slider, what
// showing, hiding and each tab do, copy and paste, help, and the programming sequence. The
// editor window calls these from its handlers and shows the state they keep; tests drive them
// against real tables.
//
// Errors of the table (a post the file refuses, a closed table) leave the calls as exceptions;
// the record keeps its state and values, so the window shows the error and nothing is lost.

#include "editors/core/EditorProfile.h"
#include "editors/core/LevelSlider.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace talmar {

class IHost;
class TCopyBoard;
class TDMTables;
class TTable;

enum class TEditorChange {
    Slider,       // a slider's range, position or end labels (index says which)
    Caption,      // the window caption
    PasteEnabled, // whether the paste button is enabled
};

class TEditorRules {
public:
    TEditorRules(const TEditorProfile& profile, TDMTables& dm, TCopyBoard& board, IHost& host);
    ~TEditorRules();
    TEditorRules(const TEditorRules&) = delete;
    TEditorRules& operator=(const TEditorRules&) = delete;

    const TEditorProfile& Profile() const { return profile_; }
    TTable& Table() const { return table_; }
    TDMTables& DataModule() const { return dm_; }

    // Told of every change of the state below; slider is the index for TEditorChange::Slider.
    void SetListener(std::function<void(TEditorChange change, int slider)> listener);

    // ---- state
    const std::string& Caption() const { return caption_; }
    bool PasteEnabled() const { return pasteEnabled_; }
    int SliderCount() const { return static_cast<int>(sliders_.size()); }
    const TLevelSlider& Slider(int index) const {
        return sliders_.at(static_cast<std::size_t>(index)).slider;
    }
    const std::string& MinLabel(int index) const {
        return sliders_.at(static_cast<std::size_t>(index)).minLabel;
    }
    const std::string& MaxLabel(int index) const {
        return sliders_.at(static_cast<std::size_t>(index)).maxLabel;
    }
    int SliderIndex(std::string_view name) const { return profile_.SliderIndex(name); }
    // The entry the line-resistance chooser shows for the current record, or -1.
    int ResistanceEntry() const;

    // ---- events of the window
    void Created(); // the window was created at start
    void Shown();   // FormShow
    void Hidden();  // FormHide
    void CaptionRule();
    void PasteRule();
    void ShowTab(int tab);
    // The chooser's change step, once the picked value is in the record: edit state, then the
    // range rule on every transmit slider (labels first, then each slider's Min and Max). False,
    // with nothing more done, when no entry is chosen.
    bool ResistanceChanged();
    // What the chooser does when the engineer picks an entry (0-based): stores its value, then
    // the change step.
    void PickResistance(int entry);
    // The engineer moved a slider: the slider contract, then slider-to-field when it moved.
    void MoveSlider(int slider, int position);
    void Copy();
    void Paste();
    // "Прошить модем": the editor's programming sequence, handed to the settings run. False when
    // the record was refused (the messages have been shown); the run reports its own outcome.
    bool Program();
    // The main window's settings run; without one, programming only writes temp.eep.
    void SetSettingsRun(TSettingsRun run) { run_ = std::move(run); }
    // F1 on a control with this help context. True when the editor answered it.
    bool Help(int helpContext);

    // ---- the steps, for the handlers that combine them
    void Edit();
    // A reported change: the slider's position into its field, committed at once when the
    // profile says so.
    void SliderToField(int slider);
    // The field's value into its slider, held to the slider's range; a level the range changed is
    // stored. An empty field leaves the position as it is.
    void FieldToSlider(int slider);

private:
    struct TSliderState {
        TLevelSlider slider;
        std::string minLabel;
        std::string maxLabel;
    };

    void Changed(TEditorChange change, int slider = -1);
    void SetPasteEnabled(bool enabled);
    // The range of the line-resistance correction v on each of these transmit sliders, and each
    // shows the record's own level held to it.
    void RangeRule(const std::vector<int>& sliders, int v);
    // The slider shows the current record's level, held to the slider's range. With store, a
    // level the range changed goes into the record; a level already inside it is not written.
    void ShowLevel(int slider, bool store);
    std::vector<int> SliderIndices(const std::vector<std::string>& names) const;

    const TEditorProfile& profile_;
    TDMTables& dm_;
    TTable& table_;
    TCopyBoard& board_;
    IHost& host_;
    std::vector<TSliderState> sliders_;
    std::string caption_;
    bool pasteEnabled_ = false;
    int boardId_ = 0;
    std::function<void(TEditorChange, int)> listener_;
    TSettingsRun run_;
};

} // namespace talmar
