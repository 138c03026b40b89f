#pragma once
// Shared setup of the store tests: the five tables made in a fresh current folder, a parameter
// map of known addresses, and a recording settings command.

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

class TRecordingCommand : public ISettingsCommand {
public:
    void SetSettingsFileName(const std::string& name) override { fileName = name; }
    void ProgSettings(TTable& table) override { programmed.push_back(table.Name()); }
    std::string fileName;
    std::vector<std::string> programmed;
};

class TStoreTest : public ::testing::Test {
protected:
    TTempDir dir{true};
    TRecordingHost host;
    TRecordingCommand command;
};

// The five tables with the test map, opened.
class TDataModuleTest : public TStoreTest {
protected:
    void SetUp() override;
    TDMTables dm{host, &command};
};

} // namespace talmar::test
