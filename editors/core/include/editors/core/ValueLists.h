#pragma once
// The entries of the editors' choosers: each a text the engineer sees and the value the record
// stores. A chooser shows the first entry, in list order, whose value equals the field; a value
// that matches none (an empty field included) shows no entry.

#include "store/Value.h"

#include <span>
#include <string>

namespace talmar {

struct TChooserEntry {
    const char* text;
    int value;
};

using TValueList = std::span<const TChooserEntry>;

// The working channels 1 to 19: the frequency in the text is 450 + 180·(n − 1) Hz.
TValueList WorkingChannels();
// The service channel uses the first 16 of them.
TValueList AuxChannels();

// The line resistance as the engineer finds it on the line, and the correction in dB that the
// record keeps in ResistTr. Entries 4 and 5 both store -15, so a record holding -15 always shows
// entry 4. The frequency and ОРТЕН editors word the entries short ("600 || 600", "600"), the
// time editor long ("600   -  середина линии", "600   -       конец линии").
enum class TResistWording { Short, Long };
TValueList LineResistances(TResistWording wording);

// The index of the first entry whose value equals v, or -1 (an empty value, text that is not a
// whole number, or a number not in the list).
int ChooserIndex(TValueList list, const TValue& v);

} // namespace talmar
