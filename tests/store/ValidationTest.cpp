// The check of a frequency record before it is programmed.

#include "store/Validation.h"

#include "tests/store/StoreFixture.h"

namespace talmar::test {
namespace {

class ValidationTest : public TDataModuleTest {
protected:
    void SetUp() override {
        TDataModuleTest::SetUp();
        TTable& t = dm.TDataLF();
        t.Edit();
        for (int f = 0; f < t.StoredFieldCount(); ++f)
            t.SetValue(f, 0);
        t.Post();
        Set({{"EImpTY1", 10},
             {"EImpTY2", 20},
             {"ELongImpTY1", 30},
             {"ELongImpTY2", 40},
             {"ESuperLongImpTY1", 50},
             {"ESuperLongImpTY2", 60},
             {"EImpTC", 10},
             {"ELongImpTC", 20},
             {"ESuperLongImpTC", 30}});
        Places(1, 2, 3, 10, 11, 12);
    }
    void Set(std::initializer_list<std::pair<const char*, TValue>> values) {
        SetRecord(dm.TDataLF(), values);
    }
    void Places(int on, int off, int obj1, int obj2, int grp1, int grp2) {
        Set({{"EPlaceOn", on},
             {"EPlaceOff", off},
             {"EPlaceNumObject1", obj1},
             {"EPlaceNumObject2", obj2},
             {"EPlaceNumGroup1", grp1},
             {"EPlaceNumGroup2", grp2}});
    }
};

const char* const kTY = "Ошибка в параметрах длительностей ТУ";
const char* const kOnOff = "Ошибка в местах расположения группы Вкл/Откл ТУ";
const char* const kObjects = "Ошибка в местах расположения объектов ТУ";
const char* const kGroups = "Ошибка в местах расположения групп ТУ";

TEST_F(ValidationTest, PlaceRules) {
    const struct {
        int on, off, obj1, obj2, grp1, grp2;
        std::vector<std::string> messages;
    } cases[] = {
        {1, 2, 3, 10, 11, 12, {}},
        {2, 1, 3, 10, 11, 12, {}},         // the difference counts in either direction
        {1, 3, 4, 10, 11, 12, {kOnOff}},   // not neighbours, whatever the ranges
        {4, 5, 3, 10, 11, 12, {kOnOff}},   // inside the object places
        {12, 13, 3, 10, 11, 12, {kOnOff}}, // EPlaceOn inside the group places
        {10, 11, 3, 8, 11, 12, {kOnOff}},  // only EPlaceOff inside the group places
        {10, 11, 3, 10, 12, 13, {kOnOff}}, // only EPlaceOn inside the object places
        {2, 3, 3, 10, 11, 12, {kOnOff}},   // only EPlaceOff inside the object places
        {1, 2, 5, 20, 21, 22, {}},         // 15 object places
        {1, 2, 5, 21, 22, 23, {kObjects}}, // 16 object places
        {11, 12, 1, 10, 4, 6, {}},         // only the ends of the object range are tested
        {1, 2, 3, 10, 7, 11, {kObjects}},  // an object end inside the groups
        {1, 2, 3, 6, 7, 11, {}},           // 5 group places
        {1, 2, 3, 6, 7, 12, {kGroups}},    // 6 group places
        {1, 2, 3, 6, 9, 8, {kGroups}},     // reversed range
    };
    for (const auto& c : cases) {
        Places(c.on, c.off, c.obj1, c.obj2, c.grp1, c.grp2);
        host.messages.clear();
        EXPECT_EQ(CheckSettings(dm, host, dm.TDataLF()), c.messages.empty())
            << c.on << " " << c.off << " " << c.obj1;
        EXPECT_EQ(host.Texts(), c.messages) << c.on << " " << c.off << " " << c.obj1 << " " << c.grp1;
    }
}

TEST_F(ValidationTest, TheEditedRecordIsCommittedBeforeItIsChecked) {
    TTable& lf = dm.TDataLF();
    lf.Edit();
    lf.SetFieldByName("EImpTY2", 5);
    EXPECT_FALSE(CheckSettings(dm, host, lf));
    EXPECT_EQ(host.Texts(), std::vector<std::string>{kTY});
    EXPECT_EQ(lf.State(), TTableState::Browse);
    lf.Close();
    lf.Open();
    EXPECT_EQ(lf.FieldByName("EImpTY2"), TValue(5));
}

// The list the line check and talmar-cli read: the refusals in the order the window shows them,
// each with how it is shown, the record neither committed nor anything shown; and one line of them.
TEST_F(ValidationTest, TheRefusalsAreNamedWithoutCommittingOrShowing) {
    TTable& lf = dm.TDataLF();
    lf.Edit();
    lf.SetFieldByName("EImpTY2", 5);
    lf.SetFieldByName("EPlaceNumGroup2", 20);
    const std::vector<TRefusal> refusals = ValidateRecord(dm, lf);
    ASSERT_EQ(refusals.size(), 2u);
    EXPECT_EQ(refusals[0].text, kTY);
    EXPECT_EQ(refusals[1].text, kGroups);
    for (const TRefusal& r : refusals)
        EXPECT_EQ(r.kind, TRefusal::TKind::Rule);
    EXPECT_EQ(RefusalText(refusals), std::string(kTY) + "; " + kGroups);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(lf.State(), TTableState::Edit);

    // An empty column comes alone, as a plain message; the rules are not looked at.
    lf.SetFieldByName("EImpTC", TValue());
    const std::vector<TRefusal> incomplete = ValidateRecord(dm, lf);
    ASSERT_EQ(incomplete.size(), 1u);
    EXPECT_EQ(incomplete[0].kind, TRefusal::TKind::Incomplete);
    EXPECT_NE(incomplete[0].text.find("незаполнен"), std::string::npos) << incomplete[0].text;
    EXPECT_TRUE(RefusalText({}).empty());
}

TEST_F(ValidationTest, DurationChainsMustRiseStrictly) {
    Set({{"ELongImpTY1", 20}}); // equal neighbours
    EXPECT_FALSE(CheckSettings(dm, host, dm.TDataLF()));
    Set({{"ELongImpTY1", 30}, {"ESuperLongImpTC", 20}});
    host.messages.clear();
    EXPECT_FALSE(CheckSettings(dm, host, dm.TDataLF()));
    // Rule 2's text ends in a Latin C.
    EXPECT_EQ(host.Texts(), std::vector<std::string>{"Ошибка в параметрах длительностей Т\x43"});
}

TEST_F(ValidationTest, EveryFailedRuleGetsItsBoxInOrder) {
    Set({{"EImpTY2", 5}});
    Places(1, 2, 3, 6, 9, 8);
    host.answers = {TMsgResult::Cancel}; // Cancel on the first box does not stop the check
    EXPECT_FALSE(CheckSettings(dm, host, dm.TDataLF()));
    ASSERT_EQ(host.Texts(), (std::vector<std::string>{kTY, kGroups}));
    for (const auto& m : host.messages) {
        EXPECT_EQ(m.caption, "Ошибка");
        EXPECT_EQ(m.buttons, TMsgButtons::OkCancel);
        EXPECT_EQ(m.icon, TMsgIcon::None);
    }
}

TEST_F(ValidationTest, CompletenessComesFirstAndRulesOnlyForTheFrequencyTable) {
    Set({{"EPlaceOn", TValue()}, {"EImpTY2", 5}});
    EXPECT_FALSE(CheckSettings(dm, host, dm.TDataLF()));
    EXPECT_EQ(host.Texts(), std::vector<std::string>{
                                "Параметр \"Имя EPlaceOn\" незаполнен. Внесите данные и повторите прошивку"});

    // A time record that breaks every frequency rule passes once complete.
    TTable& lt = dm.TDataLT();
    lt.Edit();
    for (int f = 0; f < lt.StoredFieldCount(); ++f)
        lt.SetValue(f, 0);
    lt.Post();
    host.messages.clear();
    EXPECT_TRUE(CheckSettings(dm, host, lt));
    EXPECT_TRUE(host.messages.empty());

    // Unlike the builder, the check skips no column: an ОРТЕН record needs SysMode too.
    TTable& orten = dm.TDataORTEN();
    orten.Edit();
    for (int f = 0; f < orten.StoredFieldCount(); ++f)
        orten.SetValue(f, 1);
    orten.SetFieldByName("SysMode", TValue());
    orten.Post();
    EXPECT_FALSE(CheckSettings(dm, host, orten));
    EXPECT_EQ(host.Texts(), std::vector<std::string>{"Тимбо, внеси в TParamType параметр SysMode"});
}

} // namespace
} // namespace talmar::test
