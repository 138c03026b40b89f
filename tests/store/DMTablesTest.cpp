// The data module: opening and closing order, the commit rule at exit, the parameter lookup and
// TextSysMode.

#include "tests/store/StoreFixture.h"

namespace talmar::test {
namespace {

std::vector<bool> OpenStates(TDMTables& dm) {
    std::vector<bool> out;
    for (const TTableId id : kTableOrder)
        out.push_back(dm.Table(id).Active());
    return out;
}

TEST_F(TStoreTest, AFailedOpenLeavesItAndTheTablesAfterItClosed) {
    CreateAllTables();
    WriteFileBytes("Data_LT.DB", "not a table");
    TDMTables dm(host);
    EXPECT_FALSE(dm.Open());
    EXPECT_EQ(OpenStates(dm), (std::vector<bool>{true, true, false, false, false}));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].icon, TMsgIcon::Error);
    EXPECT_NE(host.messages[0].text.find("Data_LT.DB"), std::string::npos);
    // Later uses of a closed table fail with the table layer's error.
    EXPECT_THROW(dm.FindParam("eSysMode"), ETableError);
    EXPECT_THROW(dm.NumCom(), ETableError);

    std::filesystem::remove("Data_ORTEN.DB");
    TDMTables second(host);
    EXPECT_FALSE(second.Open());
    EXPECT_EQ(OpenStates(second), (std::vector<bool>(5, false)));
    EXPECT_NE(host.messages.back().text.find("Data_ORTEN.DB"), std::string::npos);
}

TEST_F(TStoreTest, CloseCommitsModifiedRecordsOnlyDeactivateDropsThem) {
    CreateAllTables();
    {
        TDMTables dm(host);
        ASSERT_TRUE(dm.Open());
        SetRecord(dm.Pref(), {{"NumCom", 2}});
        dm.Pref().Edit();
        dm.Pref().SetFieldByName("NumCom", 3);
        dm.TDataORTEN().Edit(); // a new, unmodified record: not written
        dm.Close();
        EXPECT_EQ(OpenStates(dm), (std::vector<bool>(5, false)));
    }
    {
        TDMTables dm(host);
        ASSERT_TRUE(dm.Open());
        EXPECT_EQ(dm.NumCom(), 3);
        EXPECT_TRUE(dm.TDataORTEN().IsEmpty());
        dm.Pref().Edit();
        dm.Pref().SetFieldByName("NumCom", 4);
        dm.Deactivate();
    }
    TDMTables dm(host);
    ASSERT_TRUE(dm.Open());
    EXPECT_EQ(dm.NumCom(), 3);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(TDataModuleTest, AtExitRecordsAreCommittedInOrderThenTheTablesClosedInOrder) {
    std::vector<std::string> seen;
    for (const TTableId id : kTableOrder) {
        TTable& t = dm.Table(id);
        t.Subscribe([&seen, &t](const TTableChange& c) {
            if (c.event == TTableEvent::StateChanged)
                seen.push_back(t.Name() + (t.State() == TTableState::Inactive ? " closed" : " posted"));
        });
    }
    SetRecord(dm.TDataORTEN(), {{"NameKP", "О"}});
    for (TTable* t : {&dm.Pref(), &dm.TDataLT(), &dm.TDataLF(), &dm.TDataORTEN()}) {
        t->Edit();
        t->SetFieldByName(t->Field(0).name, 1);
    }
    dm.TParamType().Edit(); // the program only reads it: not committed
    dm.TParamType().SetFieldByName("NumParam", 99);
    seen.clear();
    dm.Close();
    EXPECT_EQ(seen, (std::vector<std::string>{"TDataORTEN posted", "TDataLF posted", "TDataLT posted",
                                              "Pref posted", "TDataORTEN closed", "TDataLF closed",
                                              "TDataLT closed", "TParamType closed", "Pref closed"}));
}

TEST_F(TDataModuleTest, ParameterLookupIgnoresCaseAndFollowsChanges) {
    const TParam* p = dm.FindParam("ESYSMODE");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->nameEng, "eSysMode");
    EXPECT_EQ(p->addr, TValue(0));
    EXPECT_TRUE(dm.FindParam("ec12")->TwoBytes());
    EXPECT_FALSE(dm.FindParam("ec11")->TwoBytes());
    EXPECT_EQ(dm.FindParam("nosuch"), nullptr);

    TTable& pt = dm.TParamType();
    ASSERT_TRUE(pt.Locate("NameEng", "ESYSMODE"));
    SetRecord(pt, {{"Addr", 99}});
    EXPECT_EQ(dm.FindParam("eSysMode")->addr, TValue(99));
}

TEST_F(TDataModuleTest, APortNumberThatIsNoNumberIsReportedWithItsPlace) {
    dm.Pref().Close();
    ExecSql("Pref.db", "INSERT INTO Pref (NumCom) VALUES ('COM2')");
    dm.Pref().Open();
    try {
        dm.NumCom();
        ADD_FAILURE();
    } catch (const EValueError& e) {
        EXPECT_STREQ(e.what(), "Таблица Pref, запись 1, поле NumCom: \"COM2\" не является целым числом");
    }
}

TEST_F(TDataModuleTest, TextSysModeFollowsSysMode) {
    const struct {
        TValue sysMode;
        TValue text;
    } cases[] = {{-1, "выполняю..."}, {0, "Не отвечает"}, {1, "Частотная"},    {2, "Временная"},
                 {3, "ОРТЕН"},        {7, TValue()},      {TValue(), TValue()}};
    TTable& t = dm.TDataORTEN();
    const int text = t.FindField("textsysmode");
    ASSERT_EQ(text, t.FieldCount() - 1);
    EXPECT_TRUE(t.Field(text).calculated);
    for (const auto& c : cases) {
        t.Edit();
        t.SetFieldByName("SysMode", c.sysMode);
        EXPECT_EQ(t.Value(text), c.text) << c.sysMode.AsString();
        t.Post();
        EXPECT_EQ(t.ValueAt(0, text), c.text);
    }
    EXPECT_THROW(t.SetValue(text, "x"), ETableError);
}

// An edit writes only the columns it changed: what another program wrote meanwhile into another
// column of the shared ОРТЕН table stays.
TEST_F(TDataModuleTest, APostWritesOnlyTheChangedColumns) {
    TTable& orten = dm.TDataORTEN();
    SetRecord(orten, {{"NameKP", "КП"}, {"SysMode", 1}, {"V4433", "1.0"}});
    orten.Edit();
    orten.SetFieldByName("SysMode", 2);
    ExecSql("Data_ORTEN.DB", "UPDATE Data_ORTEN SET V4433 = '2.0', ENumController = 5");
    orten.Post();
    EXPECT_EQ(orten.FieldByName("V4433"), TValue("2.0"));
    EXPECT_EQ(orten.FieldByName("ENumController"), TValue(5));
    EXPECT_EQ(orten.FieldByName("SysMode"), TValue(2));
}

} // namespace
} // namespace talmar::test
