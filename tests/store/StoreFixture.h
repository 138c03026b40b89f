#pragma once
// Shared setup of the store tests: the five tables made in a fresh current folder, a parameter
// map of known addresses, and a recording settings run.

#include "jobs/RecordJob.h"
#include "store/DMTables.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace talmar::test {

void ExecSql(const std::string& file, const std::string& sql);
void CreateAllTables();
// Data_ORTEN.DB keyed by NameKP, as some installations keep it, holding the rows inserted by
// `insert` (an INSERT statement).
void CreateKeyedOrten(const std::string& insert);

// The test map: every name the builder needs; Addr empty for the names only looked up.
// Addresses: eSysMode 0x00, eNumKP1/2 0x01/0x02, ec11 0x03, ec12 0x04 (2 bytes), ec21 0x06,
// ec22 0x07 (2 bytes), then the E columns from 0x10 and the attenuations from 0x33.
void WriteTestMap(std::initializer_list<const char*> leaveOut = {});

// Edits the current record (a new one on an empty table), sets the fields and posts.
void SetRecord(TTable& table, std::initializer_list<std::pair<const char*, TValue>> values);

// A settings run that notes the file and the table it was handed and reports success.
class TRecordingRun {
public:
    TSettingsRun Run() {
        return [this](TTable& table, const std::string& name) {
            fileName = name;
            programmed.push_back(table.Name());
            return std::optional<TJobResult>(TJobResult::Done);
        };
    }
    std::string fileName;
    std::vector<std::string> programmed;
};

class TStoreTest : public ::testing::Test {
protected:
    TTempDir dir{true};
    TRecordingHost host;
    TRecordingRun command;

    // Programming the current record as it is (no editor's steps) through the recording run:
    // whether it was handed on.
    bool ProgramSettings(TDMTables& dm, TTable& table) {
        return ProgramRecord(dm, host, table, {}, command.Run()).handedOn;
    }
};

// The five tables with the test map, opened.
class TDataModuleTest : public TStoreTest {
protected:
    void SetUp() override;
    TDMTables dm{host};
};

} // namespace talmar::test
