#include "editors/core/EditorRules.h"

#include "base/Host.h"
#include "editors/core/CopyBoard.h"
#include "store/DMTables.h"

#include <algorithm>

namespace talmar {

TEditorRules::TEditorRules(const TEditorProfile& profile, TDMTables& dm, TCopyBoard& board, IHost& host)
    : profile_(profile), dm_(dm), table_(dm.Table(profile.table)), board_(board), host_(host),
      caption_(profile.initialCaption), pasteEnabled_(board.CanPaste(table_)) {
    for (const TSliderProfile& s : profile_.sliders) {
        if (s.transmit)
            sliders_.push_back({TLevelSlider(profile_.transmitMin, profile_.transmitMax),
                                profile_.transmitMinLabel, profile_.transmitMaxLabel});
        else
            sliders_.push_back({TLevelSlider(kReceiveMin, kReceiveMax), std::to_string(kReceiveMin),
                                std::to_string(kReceiveMax)});
    }
    // After a copy in any editor the paste button shows whether a paste here would paste.
    boardId_ = board_.Subscribe([this] { SetPasteEnabled(board_.CanPaste(table_)); });
}

TEditorRules::~TEditorRules() {
    board_.Unsubscribe(boardId_);
}

void TEditorRules::SetListener(std::function<void(TEditorChange, int)> listener) {
    listener_ = std::move(listener);
}

void TEditorRules::Changed(TEditorChange change, int slider) {
    if (listener_)
        listener_(change, slider);
}

void TEditorRules::SetPasteEnabled(bool enabled) {
    if (pasteEnabled_ == enabled)
        return;
    pasteEnabled_ = enabled;
    Changed(TEditorChange::PasteEnabled);
}

int TEditorRules::ResistanceEntry() const {
    if (!table_.Active())
        return -1;
    return ChooserIndex(LineResistances(profile_.wording), table_.FieldByName("ResistTr"));
}

// ---- events

void TEditorRules::Created() {
    if (profile_.captionAtCreate)
        CaptionRule();
}

void TEditorRules::Shown() {
    if (profile_.editOnShow)
        Edit();
}

void TEditorRules::Hidden() {
    if (profile_.commitOnHide && table_.Active())
        table_.ApplyCommitRule();
}

void TEditorRules::CaptionRule() {
    // A table that could not be opened has no record to name: the bare title.
    const TValue name = table_.Active() ? table_.FieldByName("NameKP") : TValue();
    const std::string caption =
        name.IsNull() ? profile_.title : profile_.title + " ( " + name.AsString() + " )";
    if (caption == caption_)
        return;
    caption_ = caption;
    Changed(TEditorChange::Caption);
}

void TEditorRules::PasteRule() {
    SetPasteEnabled(board_.CanPaste(table_));
}

std::vector<int> TEditorRules::SliderIndices(const std::vector<std::string>& names) const {
    std::vector<int> sliders;
    for (const std::string& name : names)
        sliders.push_back(profile_.SliderIndex(name));
    return sliders;
}

void TEditorRules::ShowTab(int tab) {
    const TTabProfile& t = profile_.tabs.at(static_cast<std::size_t>(tab));
    if (t.main) {
        PasteRule();
        if (profile_.captionOnMainTab)
            CaptionRule();
    }
    // Without a line resistance the range a transmit level must keep to is not known: the tab
    // shows the record's levels and stores none of them.
    bool withRange = true;
    if (t.rangeUpdate) {
        withRange = ResistanceChanged();
    } else {
        if (t.edit)
            Edit();
        if (!t.rangeRule.empty()) {
            const int entry = ResistanceEntry();
            if (entry < 0) {
                if (t.messageWithoutResistance)
                    host_.ShowMessage(kMsgNoResistance);
                withRange = false;
            } else {
                RangeRule(SliderIndices(t.rangeRule),
                          LineResistances(profile_.wording)[static_cast<std::size_t>(entry)].value);
            }
        }
    }
    // Each slider shows the level of this record, never a position left by another one.
    for (const int s : SliderIndices(t.fieldToSlider))
        ShowLevel(s, withRange);
}

bool TEditorRules::ResistanceChanged() {
    Edit();
    const int entry = ResistanceEntry();
    if (entry < 0)
        return false;
    std::vector<int> transmit;
    for (int i = 0; i < SliderCount(); ++i)
        if (profile_.sliders[static_cast<std::size_t>(i)].transmit)
            transmit.push_back(i);
    RangeRule(transmit, LineResistances(profile_.wording)[static_cast<std::size_t>(entry)].value);
    return true;
}

void TEditorRules::PickResistance(int entry) {
    const TValueList list = LineResistances(profile_.wording);
    Edit();
    table_.SetFieldByName("ResistTr", TValue(list[static_cast<std::size_t>(entry)].value));
    ResistanceChanged();
}

void TEditorRules::RangeRule(const std::vector<int>& sliders, int v) {
    const TTransmitRange r = talmar::RangeRule(v);
    // The labels of every slider first, then each slider's range. A level is held to the new
    // range from the record's own value, on a tab shown or not: the position a slider was left
    // at (by another record, or before the record's tab was ever shown) plays no part.
    for (const int s : sliders) {
        TSliderState& st = sliders_.at(static_cast<std::size_t>(s));
        if (st.minLabel != r.minLabel || st.maxLabel != r.maxLabel) {
            st.minLabel = r.minLabel;
            st.maxLabel = r.maxLabel;
            Changed(TEditorChange::Slider, s);
        }
    }
    for (const int s : sliders) {
        TLevelSlider& sl = sliders_.at(static_cast<std::size_t>(s)).slider;
        const int oldMin = sl.Min();
        const int oldMax = sl.Max();
        const int oldPosition = sl.Position();
        sl.SetRange(r.min, r.max);
        if (sl.Min() != oldMin || sl.Max() != oldMax || sl.Position() != oldPosition)
            Changed(TEditorChange::Slider, s);
        ShowLevel(s, true);
    }
}

void TEditorRules::ShowLevel(int slider, bool store) {
    TLevelSlider& sl = sliders_.at(static_cast<std::size_t>(slider)).slider;
    const TValue v = table_.FieldByName(profile_.sliders.at(static_cast<std::size_t>(slider)).field);
    if (v.IsNull() || v.AsString().empty())
        return;
    const std::int64_t level = std::clamp<std::int64_t>(v.AsInteger(), -1000000, 1000000);
    if (sl.SetPosition(static_cast<int>(level)))
        Changed(TEditorChange::Slider, slider);
    // Only a level the range really changed is stored.
    if (store && sl.Position() != level)
        SliderToField(slider);
}

void TEditorRules::MoveSlider(int slider, int position) {
    if (sliders_.at(static_cast<std::size_t>(slider)).slider.SetPosition(position)) {
        Changed(TEditorChange::Slider, slider);
        SliderToField(slider);
    }
}

void TEditorRules::Edit() {
    table_.Edit();
}

void TEditorRules::SliderToField(int slider) {
    const TSliderProfile& p = profile_.sliders.at(static_cast<std::size_t>(slider));
    Edit();
    table_.SetFieldByName(p.field, TValue(Slider(slider).Position()));
    if (p.commitsAtOnce)
        table_.ApplyCommitRule();
}

void TEditorRules::FieldToSlider(int slider) {
    ShowLevel(slider, true);
}

void TEditorRules::Copy() {
    if (profile_.copyPaste)
        board_.Copy(table_);
}

void TEditorRules::Paste() {
    if (profile_.copyPaste)
        board_.Paste(table_);
}

bool TEditorRules::Program() {
    return ProgramRecord(dm_, host_, table_, ProgramSteps(&profile_), run_).handedOn;
}

bool TEditorRules::Help(int helpContext) {
    if (!profile_.help || helpContext == 0)
        return false;
    host_.ShowMessage(kMsgHelp);
    return true;
}

} // namespace talmar
