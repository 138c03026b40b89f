// talmar-cli settings picks its record by the КП name: a name that several records share must
// not program the first of them.
#include "store/Table.h"
#include "tests/support/TempDir.h"

#include <QProcess>
#include <gtest/gtest.h>

using namespace talmar;

namespace {

TEST(SettingsKp, ANameOfSeveralRecordsIsRefusedWithTheirList) {
    talmar::test::TTempDir dir{true};
    ASSERT_EQ(std::system((std::string(TALMAR_TABLES_TOOL) + " sample >/dev/null").c_str()), 0);
    int copy = 0;
    {
        TTable lf(TableDef(TTableId::DataLF));
        lf.Open();
        ASSERT_EQ(lf.FieldByName("NameKP"), TValue("КП-1 Подстанция Северная"));
        std::vector<TValue> first;
        for (int f = 0; f < lf.StoredFieldCount(); ++f)
            first.push_back(lf.Value(f));
        lf.Append();
        lf.SetValues(first);
        lf.SetFieldByName("NameKP", "КП-1 ПОДСТАНЦИЯ СЕВЕРНАЯ"); // the same name in other letters
        lf.Post();
        copy = lf.RecNo();
    }

    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TALMAR_LOCK_DIR", QString::fromStdString(dir.Path().string()));
    cli.setProcessEnvironment(env);
    cli.setWorkingDirectory(QString::fromStdString(dir.Path().string()));
    cli.start(TALMAR_CLI, {"settings", "lf", "кп-1 подстанция северная"});
    ASSERT_TRUE(cli.waitForFinished(60000));
    const std::string err = cli.readAllStandardError().toStdString();
    EXPECT_EQ(cli.exitCode(), 2) << err;
    EXPECT_NE(err.find("В таблице Data_LF.DB несколько КП с названием \"кп-1 подстанция северная\": "
                       "запись 1 \"КП-1 Подстанция Северная\", запись " +
                       std::to_string(copy) + " \"КП-1 ПОДСТАНЦИЯ СЕВЕРНАЯ\""),
              std::string::npos)
        << err;
    EXPECT_FALSE(std::filesystem::exists("temp.eep"));
}

} // namespace
