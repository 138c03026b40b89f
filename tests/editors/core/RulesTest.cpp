// The editor rules without a window, against real tables: value lists, the slider contract and
// the range rule, levels moved by the line resistance, caption and paste rules, copy and paste,
// and the programming sequences.

#include "editors/core/CopyBoard.h"
#include "editors/core/EditorRules.h"
#include "tests/store/StoreFixture.h"

#include <filesystem>

namespace talmar::test {
namespace {

std::vector<std::string> Texts(TValueList list) {
    std::vector<std::string> out;
    for (const TChooserEntry& e : list)
        out.push_back(e.text);
    return out;
}

std::vector<int> Values(TValueList list) {
    std::vector<int> out;
    for (const TChooserEntry& e : list)
        out.push_back(e.value);
    return out;
}

TEST(ValueLists, ChannelTextsCarryTheirFrequencies) {
    const TValueList work = WorkingChannels();
    ASSERT_EQ(work.size(), 19u);
    for (int n = 1; n <= 19; ++n) {
        const std::string hz = std::to_string(450 + 180 * (n - 1));
        // One-digit channels take three blanks before the dash, four-digit frequencies two after.
        const std::string expected = std::to_string(n) + (n < 10 ? " канал   -  " : " канал -  ") + hz +
                                     (hz.size() == 3 ? "    Гц" : "  Гц");
        EXPECT_EQ(work[n - 1].text, expected);
        EXPECT_EQ(work[n - 1].value, n);
    }
    const std::vector<std::string> all = Texts(work);
    EXPECT_EQ(Texts(AuxChannels()), std::vector<std::string>(all.begin(), all.begin() + 16));
    EXPECT_EQ(Values(AuxChannels()).back(), 16);
}

TEST(ValueLists, LineResistanceInBothWordingsAndTheFirstMatchWins) {
    EXPECT_EQ(Texts(LineResistances(TResistWording::Short)),
              (std::vector<std::string>{"200 || 200", "200", "600 || 600", "600", "1200 || 1200", "1200",
                                        "1800 || 1800", "1800"}));
    EXPECT_EQ(Texts(LineResistances(TResistWording::Long)),
              (std::vector<std::string>{"200   -  середина линии", "200   -       конец линии",
                                        "600   -  середина линии", "600   -       конец линии",
                                        "1200 -  середина линии", "1200 -       конец линии",
                                        "1800 -  середина линии", "1800 -       конец линии"}));
    for (const auto w : {TResistWording::Short, TResistWording::Long})
        EXPECT_EQ(Values(LineResistances(w)), (std::vector<int>{0, -6, -9, -15, -15, -21, -18, -24}));

    const TValueList r = LineResistances(TResistWording::Short);
    EXPECT_EQ(ChooserIndex(r, TValue(-15)), 3); // entries 4 and 5 store the same: entry 4 shows
    EXPECT_EQ(ChooserIndex(r, TValue(-24)), 7);
    EXPECT_EQ(ChooserIndex(r, TValue()), -1);
    EXPECT_EQ(ChooserIndex(r, TValue(-7)), -1);
    EXPECT_EQ(ChooserIndex(r, TValue("abc")), -1);
    EXPECT_EQ(ChooserIndex(WorkingChannels(), TValue(19)), 18);
    EXPECT_EQ(ChooserIndex(AuxChannels(), TValue(19)), -1);
}

TEST(LevelSlider, ClampsRefusesAnEmptyRangeAndReportsOnlyMoves) {
    TLevelSlider s(-34, 0);
    EXPECT_EQ(s.Position(), 0);
    EXPECT_FALSE(s.SetPosition(0)); // no move, no report
    EXPECT_TRUE(s.SetPosition(-50));
    EXPECT_EQ(s.Position(), -34);
    EXPECT_FALSE(s.SetPosition(-40)); // clamped to where it already is

    EXPECT_FALSE(s.SetMin(0)); // not below Max: refused
    EXPECT_FALSE(s.SetMax(-34));
    EXPECT_EQ(s.Min(), -34);
    EXPECT_EQ(s.Max(), 0);

    EXPECT_TRUE(s.SetMin(-22)); // the position follows the new end
    EXPECT_EQ(s.Position(), -22);
    EXPECT_FALSE(s.SetMax(24)); // the range grew, the position stayed
    EXPECT_FALSE(s.SetMin(-46));
    EXPECT_EQ(s.Position(), -22);
    s.SetPosition(20);
    EXPECT_TRUE(s.SetMax(0));
    EXPECT_EQ(s.Position(), 0);
}

TEST(LevelSlider, RangeRuleForEveryLineResistance) {
    const struct {
        int v, min, max;
    } table[] = {{0, -46, 0},    {-6, -40, 6},   {-9, -37, 9},  {-15, -31, 15},
                 {-18, -28, 18}, {-21, -25, 21}, {-24, -22, 24}};
    for (const auto& row : table) {
        const TTransmitRange r = RangeRule(row.v);
        EXPECT_EQ(r.min, row.min) << row.v;
        EXPECT_EQ(r.max, row.max) << row.v;
        EXPECT_EQ(r.minLabel, std::to_string(row.min));
        EXPECT_EQ(r.maxLabel, std::to_string(row.max));
    }
}

// One editor's rules over the five test tables.
class RulesTest : public TDataModuleTest {
protected:
    TCopyBoard board;
    std::vector<std::pair<TEditorChange, int>> changes;

    std::unique_ptr<TEditorRules> Make(const TEditorProfile& p) {
        auto r = std::make_unique<TEditorRules>(p, dm, board, host);
        r->SetSettingsRun(command.Run());
        r->SetListener([this](TEditorChange c, int s) { changes.emplace_back(c, s); });
        return r;
    }
    // Adds a record with these fields, posted, and makes it current.
    static void AddRecord(TTable& t, std::initializer_list<std::pair<const char*, TValue>> values) {
        t.Insert();
        for (const auto& [f, v] : values)
            if (t.FindField(f) >= 0)
                t.SetFieldByName(f, v);
        t.Post();
    }
    TValue Stored(TTable& t, const char* field) {
        // What the file holds, not the edit buffer.
        EXPECT_EQ(t.State(), TTableState::Browse);
        return t.FieldByName(field);
    }
};

TEST_F(RulesTest, PickingAResistanceClampsAndStoresTheTransmitLevels) {
    TTable& t = dm.TDataLF();
    SetRecord(t, {{"NameKP", "КП-1"}, {"ResistTr", 0}, {"AttenTr1", -40}, {"AttenTrAUX", 20}});
    auto lf = Make(ProfileLF());
    const int s2 = lf->SliderIndex("RxSlider2");
    const int s4 = lf->SliderIndex("RxSlider4");
    EXPECT_EQ(lf->MinLabel(s2), "-46");

    lf->ShowTab(ProfileLF().TabIndex("TabSheet2")); // range from entry 1, then the level
    EXPECT_EQ(lf->Slider(s2).Position(), -40);

    lf->PickResistance(7); // "1800": -24
    EXPECT_EQ(lf->Slider(s2).Min(), -22);
    EXPECT_EQ(lf->Slider(s2).Max(), 24);
    EXPECT_EQ(lf->MinLabel(s2), "-22");
    EXPECT_EQ(lf->MaxLabel(s2), "24");
    EXPECT_EQ(lf->MinLabel(s4), "-22"); // the service channel's slider follows unseen
    EXPECT_EQ(t.FieldByName("AttenTr1").AsInteger(), -22);
    EXPECT_EQ(t.FieldByName("ResistTr").AsInteger(), -24);
    // Not committed at once in the frequency editor: the hide commits it.
    EXPECT_EQ(t.State(), TTableState::Edit);
    lf->Hidden();
    EXPECT_EQ(Stored(t, "AttenTr1").AsInteger(), -22);

    lf->PickResistance(0); // back to 0: -22 lies inside -46..0 and stays
    EXPECT_EQ(t.FieldByName("AttenTr1").AsInteger(), -22);
    EXPECT_EQ(lf->MinLabel(s2), "-46");
}

TEST_F(RulesTest, ALevelAboveTheNewMaxIsStoredAtTheMax) {
    TTable& t = dm.TDataLF();
    SetRecord(t, {{"ResistTr", -24}, {"AttenTr1", 20}, {"AttenTrAUX", 24}});
    auto lf = Make(ProfileLF());
    lf->ShowTab(ProfileLF().TabIndex("TabSheet2"));
    lf->ShowTab(ProfileLF().TabIndex("TabSheet4"));
    EXPECT_EQ(lf->Slider(lf->SliderIndex("RxSlider2")).Position(), 20);
    lf->PickResistance(0);
    EXPECT_EQ(t.FieldByName("AttenTr1").AsInteger(), 0);
    EXPECT_EQ(t.FieldByName("AttenTrAUX").AsInteger(), 0);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(RulesTest, AReceiveLevelOutOfRangeIsStoredAtTheNearerEndEveryTime) {
    TTable& t = dm.TDataLF();
    AddRecord(t, {{"NameKP", "A"}, {"AttenRec1", 5}});
    AddRecord(t, {{"NameKP", "B"}, {"AttenRec1", -10}});
    AddRecord(t, {{"NameKP", "C"}, {"AttenRec1", 7}});
    auto lf = Make(ProfileLF());
    const int tab1 = ProfileLF().TabIndex("TabSheet1");
    const int s1 = lf->SliderIndex("RxSlider1");

    // The slider stands at 0 from the start and the clamp does not move it: 0 is stored all the
    // same, and committed at once.
    t.First();
    lf->ShowTab(tab1);
    EXPECT_EQ(lf->Slider(s1).Position(), 0);
    EXPECT_EQ(Stored(t, "AttenRec1").AsInteger(), 0);

    // From another position it is the same.
    t.Next();
    lf->ShowTab(tab1);
    EXPECT_EQ(lf->Slider(s1).Position(), -10);
    EXPECT_EQ(Stored(t, "AttenRec1").AsInteger(), -10);
    t.Next();
    lf->ShowTab(tab1);
    EXPECT_EQ(lf->Slider(s1).Position(), 0);
    EXPECT_EQ(Stored(t, "AttenRec1").AsInteger(), 0);
}

// Every editor, every tab with sliders: a record shown after another shows and keeps its own
// levels, whatever the sliders held and whatever range they had.
TEST_F(RulesTest, ATabShownAfterAnotherRecordKeepsTheRecordsOwnLevels) {
    for (const TEditorProfile* p : {&ProfileLF(), &ProfileLT(), &ProfileORTEN()}) {
        SCOPED_TRACE(p->component);
        TTable& t = dm.Table(p->table);
        // The first КП at the low end of a short line's range, the second on a longer line with
        // levels well inside its own range.
        AddRecord(t, {{"NameKP", "Первый"},
                      {"ResistTr", -6},
                      {"AttenTr1", -40},
                      {"AttenTr2", -40},
                      {"AttenTrAUX", -40},
                      {"AttenRec1", -34},
                      {"AttenRecAUX", -34}});
        AddRecord(t, {{"NameKP", "Второй"},
                      {"ResistTr", -15},
                      {"AttenTr1", -10},
                      {"AttenTr2", -11},
                      {"AttenTrAUX", -12},
                      {"AttenRec1", -3},
                      {"AttenRecAUX", -4}});
        auto rules = Make(*p);
        for (int tab = 0; tab < static_cast<int>(p->tabs.size()); ++tab) {
            if (p->tabs[static_cast<std::size_t>(tab)].fieldToSlider.empty())
                continue;
            SCOPED_TRACE(p->tabs[static_cast<std::size_t>(tab)].caption);
            t.First();
            rules->ShowTab(tab);
            t.Next();
            rules->ShowTab(tab);
            for (const std::string& name : p->tabs[static_cast<std::size_t>(tab)].fieldToSlider) {
                const int s = rules->SliderIndex(name);
                const std::string& field = p->sliders[static_cast<std::size_t>(s)].field;
                EXPECT_EQ(rules->Slider(s).Position(), t.FieldByName(field).AsInteger()) << name;
            }
            const std::pair<const char*, int> own[] = {{"AttenTr1", -10},
                                                       {"AttenTr2", -11},
                                                       {"AttenTrAUX", -12},
                                                       {"AttenRec1", -3},
                                                       {"AttenRecAUX", -4}};
            for (const auto& [field, level] : own) {
                if (t.FindField(field) >= 0) {
                    EXPECT_EQ(t.FieldByName(field).AsInteger(), level) << field;
                }
            }
            EXPECT_FALSE(t.Modified());
            t.ApplyCommitRule();
        }
    }
    EXPECT_TRUE(host.messages.empty()) << ::testing::PrintToString(host.Texts());
}

// Every editor: a line resistance picked on a record whose tabs were never shown clamps each of
// its transmit levels from the stored value, and stores only those that changed.
TEST_F(RulesTest, PickingAResistanceClampsEveryTransmitLevelFromItsStoredValue) {
    for (const TEditorProfile* p : {&ProfileLF(), &ProfileLT(), &ProfileORTEN()}) {
        SCOPED_TRACE(p->component);
        TTable& t = dm.Table(p->table);
        // 1800 Ω at the line's end (-24): 20 and -22 are legal, and 20 is not for 200 Ω (0).
        AddRecord(
            t,
            {{"NameKP", "КП"}, {"ResistTr", -24}, {"AttenTr1", 20}, {"AttenTr2", -22}, {"AttenTrAUX", 20}});
        auto rules = Make(*p);
        rules->PickResistance(0);
        for (const char* field : {"AttenTr1", "AttenTr2", "AttenTrAUX"}) {
            if (t.FindField(field) < 0)
                continue;
            bool slider = false;
            for (const TSliderProfile& s : p->sliders)
                slider = slider || s.field == field;
            const int before = std::string(field) == "AttenTr2" ? -22 : 20;
            EXPECT_EQ(t.FieldByName(field).AsInteger(), slider ? std::min(before, 0) : before) << field;
        }
        // The sliders stand where the record's levels now are.
        for (int s = 0; s < rules->SliderCount(); ++s)
            if (p->sliders[static_cast<std::size_t>(s)].transmit) {
                EXPECT_EQ(rules->Slider(s).Min(), -46);
                EXPECT_EQ(rules->Slider(s).Position(),
                          t.FieldByName(p->sliders[static_cast<std::size_t>(s)].field).AsInteger());
            }
        t.ApplyCommitRule();
        EXPECT_EQ(t.FieldByName("ResistTr").AsInteger(), 0);
    }
}

TEST_F(RulesTest, WithoutAResistanceTheServiceTabSaysSoEveryTime) {
    TTable& t = dm.TDataLF();
    SetRecord(t, {{"NameKP", "КП"}, {"AttenTrAUX", -30}, {"AttenRecAUX", -5}});
    auto lf = Make(ProfileLF());
    const int s4 = lf->SliderIndex("RxSlider4");
    for (int i = 0; i < 2; ++i)
        lf->ShowTab(ProfileLF().TabIndex("TabSheet4"));
    EXPECT_EQ(host.Texts(), std::vector<std::string>(2, kMsgNoResistance));
    // The sliders show the record's levels (no other record's), and nothing is stored.
    EXPECT_EQ(lf->Slider(s4).Position(), -30);
    EXPECT_EQ(lf->Slider(lf->SliderIndex("RxSlider3")).Position(), -5);
    EXPECT_EQ(t.State(), TTableState::Edit);
    EXPECT_FALSE(t.Modified());

    // The telesignalling tab says nothing and leaves its slider alone.
    lf->ShowTab(ProfileLF().TabIndex("TabSheet2"));
    EXPECT_EQ(host.messages.size(), 2u);
}

TEST_F(RulesTest, CaptionRuleNamesTheRecordOnlyAtItsEvents) {
    TTable& t = dm.TDataLF();
    SetRecord(t, {{"NameKP", "КП-7"}});
    auto lf = Make(ProfileLF());
    EXPECT_EQ(lf->Caption(), "Настройки для частотной системы");
    lf->Created();
    EXPECT_EQ(lf->Caption(), "Настройки частотной системы ( КП-7 )");
    SetRecord(t, {{"NameKP", TValue()}});
    EXPECT_EQ(lf->Caption(), "Настройки частотной системы ( КП-7 )"); // until the next event
    lf->CaptionRule();
    EXPECT_EQ(lf->Caption(), "Настройки частотной системы");

    // The ОРТЕН editor names nothing at creation, and does at its main tab.
    SetRecord(dm.TDataORTEN(), {{"NameKP", "Котельная"}});
    auto orten = Make(ProfileORTEN());
    orten->Created();
    EXPECT_EQ(orten->Caption(), "Настройки ОРТЕН");
    orten->ShowTab(0);
    EXPECT_EQ(orten->Caption(), "Настройки ОРТЕН ( Котельная )");
}

TEST_F(RulesTest, CopyEnablesPasteOnlyWhereItWouldPasteAndPasteOverwritesEverything) {
    TTable& lf = dm.TDataLF();
    SetRecord(lf, {{"NameKP", "Источник"}, {"NumKP", 3}});
    // Every one of the 39 columns holds a value of its own.
    lf.Edit();
    for (int f = 0; f < lf.StoredFieldCount(); ++f) {
        switch (lf.Field(f).type) {
        case TFieldType::Float:
            lf.SetValue(f, 0.5 + f);
            break;
        case TFieldType::Boolean:
            lf.SetValue(f, true);
            break;
        case TFieldType::Alpha:
        case TFieldType::Memo:
            lf.SetValue(f, "текст " + std::to_string(f));
            break;
        default:
            lf.SetValue(f, f * 7 - 100);
        }
    }
    lf.Post();
    ASSERT_EQ(lf.StoredFieldCount(), 39);
    std::vector<TValue> source;
    for (int f = 0; f < 39; ++f)
        source.push_back(lf.Value(f));
    lf.Insert();
    lf.SetFieldByName("NameKP", "Цель");
    lf.Post();

    auto rulesLF = Make(ProfileLF());
    auto rulesLT = Make(ProfileLT());
    auto rulesOR = Make(ProfileORTEN());
    for (auto* r : {rulesLF.get(), rulesLT.get(), rulesOR.get()})
        EXPECT_FALSE(r->PasteEnabled());

    lf.First();
    rulesLF->Copy();
    EXPECT_TRUE(rulesLF->PasteEnabled());
    EXPECT_FALSE(rulesLT->PasteEnabled());
    EXPECT_FALSE(rulesOR->PasteEnabled());
    rulesLT->ShowTab(0);
    EXPECT_FALSE(rulesLT->PasteEnabled());

    rulesLT->Paste(); // a copy of another table: nothing happens
    EXPECT_EQ(dm.TDataLT().RecordCount(), 0);

    lf.Last();
    rulesLF->Paste();
    EXPECT_EQ(lf.State(), TTableState::Browse);
    EXPECT_EQ(lf.RecordCount(), 2);
    for (int f = 0; f < 39; ++f)
        EXPECT_EQ(lf.Value(f), source[static_cast<std::size_t>(f)]) << lf.Field(f).name;

    // A copy from the time editor turns the frequency editor's paste off at once.
    SetRecord(dm.TDataLT(), {{"NameKP", "Время"}});
    rulesLT->Copy();
    EXPECT_FALSE(rulesLF->PasteEnabled());
    EXPECT_TRUE(rulesLT->PasteEnabled());
    // Pasting on an empty ОРТЕН table after an ОРТЕН copy... is nothing before one.
    rulesOR->Paste();
    EXPECT_EQ(dm.TDataORTEN().RecordCount(), 0);
}

// A frequency record that passes every check.
void FillLF(TTable& t) {
    t.Edit();
    for (int f = 0; f < t.StoredFieldCount(); ++f)
        t.SetValue(f, t.Field(f).type == TFieldType::Alpha ? TValue("КП") : TValue(0));
    t.Post();
    SetRecord(t, {{"EImpTY1", 10},
                  {"EImpTY2", 20},
                  {"ELongImpTY1", 30},
                  {"ELongImpTY2", 40},
                  {"ESuperLongImpTY1", 50},
                  {"ESuperLongImpTY2", 60},
                  {"EImpTC", 10},
                  {"ELongImpTC", 20},
                  {"ESuperLongImpTC", 30},
                  {"EPlaceOn", 1},
                  {"EPlaceOff", 2},
                  {"EPlaceNumObject1", 3},
                  {"EPlaceNumObject2", 10},
                  {"EPlaceNumGroup1", 11},
                  {"EPlaceNumGroup2", 12}});
}

TEST_F(RulesTest, FrequencySequenceValidatesAndCommitsBeforeBuilding) {
    TTable& t = dm.TDataLF();
    FillLF(t);
    auto lf = Make(ProfileLF());

    // A pending edit that breaks the telecontrol durations is committed, then refused.
    t.Edit();
    t.SetFieldByName("EImpTY2", 5);
    EXPECT_FALSE(lf->Program());
    EXPECT_EQ(Stored(t, "EImpTY2").AsInteger(), 5);
    EXPECT_EQ(host.Texts(), std::vector<std::string>{"Ошибка в параметрах длительностей ТУ"});
    EXPECT_FALSE(std::filesystem::exists("temp.eep"));
    EXPECT_TRUE(command.programmed.empty());

    SetRecord(t, {{"EImpTY2", 20}});
    EXPECT_TRUE(lf->Program());
    EXPECT_EQ(command.programmed, std::vector<std::string>{"TDataLF"});
    EXPECT_TRUE(std::filesystem::exists("temp.eep"));
}

// The job hands temp.eep to the run and brings back what the run reported; a refused record never
// reaches the run; without a run the file is only written.
TEST_F(RulesTest, TheRunsOutcomeComesBackAndARefusedRecordNeverReachesIt) {
    TTable& t = dm.TDataLF();
    FillLF(t);
    std::vector<std::string> files;
    const TSettingsRun failing = [&files](TTable&, const std::string& file) {
        files.push_back(file);
        return std::optional<TJobResult>(TJobResult::Failed);
    };
    TRecordResult r = ProgramRecord(dm, host, t, ProgramSteps(&ProfileLF()), failing);
    EXPECT_TRUE(r.handedOn);
    EXPECT_EQ(r.run, std::optional<TJobResult>(TJobResult::Failed));
    EXPECT_EQ(files, std::vector<std::string>{"temp.eep"});

    SetRecord(t, {{"EImpTY2", 5}});
    r = ProgramRecord(dm, host, t, ProgramSteps(&ProfileLF()), failing);
    EXPECT_FALSE(r.handedOn);
    EXPECT_FALSE(r.run);
    EXPECT_EQ(files.size(), 1u);
    EXPECT_EQ(host.Texts(), std::vector<std::string>{"Ошибка в параметрах длительностей ТУ"});

    SetRecord(t, {{"EImpTY2", 20}});
    std::filesystem::remove("temp.eep");
    r = ProgramRecord(dm, host, t, ProgramSteps(&ProfileLF()), {});
    EXPECT_TRUE(r.handedOn);
    EXPECT_FALSE(r.run);
    EXPECT_TRUE(std::filesystem::exists("temp.eep"));
}

TEST_F(RulesTest, TimeSequenceTakesTheTelesignallingSeriesFromTelecontrol) {
    TTable& t = dm.TDataLT();
    t.Edit();
    for (int f = 0; f < t.StoredFieldCount(); ++f)
        t.SetValue(f, t.Field(f).type == TFieldType::Alpha ? TValue("КП") : TValue(1));
    t.Post();
    // Levels of 1 dB would be refused by the builder: 0 dB is the highest it encodes.
    SetRecord(t, {{"EForvardTY", 0},
                  {"EForvardTC", 1},
                  {"ResistTr", 0},
                  {"AttenRec1", 0},
                  {"AttenRecAUX", 0},
                  {"AttenTr1", 0},
                  {"AttenTr2", 0},
                  {"AttenTrAUX", 0}});
    auto lt = Make(ProfileLT());
    EXPECT_TRUE(lt->Program());
    EXPECT_EQ(Stored(t, "EForvardTC").AsInteger(), 0);
    EXPECT_EQ(command.programmed, std::vector<std::string>{"TDataLT"});

    // An empty telecontrol type is copied as empty, and the builder then refuses the record.
    SetRecord(t, {{"EForvardTY", TValue()}});
    EXPECT_FALSE(lt->Program());
    EXPECT_TRUE(Stored(t, "EForvardTC").IsNull());
    EXPECT_EQ(command.programmed.size(), 1u);
}

TEST_F(RulesTest, HelpAnswersOnlyFieldsWithAContextAndOnlyWhereTheEditorHasHelp) {
    auto lf = Make(ProfileLF());
    auto orten = Make(ProfileORTEN());
    EXPECT_FALSE(lf->Help(0));
    EXPECT_TRUE(lf->Help(1));
    EXPECT_FALSE(orten->Help(1));
    EXPECT_EQ(host.Texts(), std::vector<std::string>{"qwer"});
}

} // namespace
} // namespace talmar::test
