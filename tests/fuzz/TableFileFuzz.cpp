// A damaged or strange table file among good ones: the data module opens the five tables, and
// every record of every settings table that opened is checked and built into temp.eep.
//
// Input: one byte choosing the table (its value modulo 5, in the order the tables are opened:
// Data_ORTEN, Data_LF, Data_LT, ParamType, Pref), then that table's file. The other four are the
// demonstration tables, taken from the seeds "sample-<file>" of this harness's corpus.
//
// Whatever the file holds, the program refuses it with a message or works with it; it never
// writes to a file it only read; a temp.eep it calls complete is one the image reader takes,
// with every line in the form AAAA:BB.

#include "base/Host.h"
#include "base/ImageFile.h"
#include "store/DMTables.h"
#include "store/SettingsImage.h"
#include "store/Validation.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace talmar;
using talmar::fuzz::Fault;
using talmar::fuzz::ReadBytes;
using talmar::fuzz::Require;
using talmar::fuzz::WriteBytes;

class THost : public IHost {
public:
    TMsgResult ShowMessage(const std::string& text, const std::string&, TMsgButtons, TMsgIcon) override {
        Require(!text.empty(), "an empty message box");
        ++shown;
        return TMsgResult::Ok;
    }
    void ProcessMessages(bool) override {}
    void StartReplyTimer() override {}
    void StopReplyTimer() override {}
    bool ReplyTimedOut() const override { return false; }
    void ClearReplyTimedOut() override {}

    int shown = 0;
};

// The demonstration tables, in the order of kTableOrder.
const std::vector<std::string>& SampleTables() {
    static const std::vector<std::string> tables = [] {
        std::vector<std::string> out;
        for (const TTableId id : kTableOrder) {
            const std::string seed = std::string(TALMAR_SOURCE_DIR) + "/tests/fuzz/corpus/tablefile/sample-" +
                                     TableDef(id).fileName;
            const std::string bytes = ReadBytes(seed);
            Require(!bytes.empty(), "an empty sample table seed");
            out.push_back(bytes.substr(1)); // the seed's first byte chooses the table
        }
        return out;
    }();
    return tables;
}

// Each line of temp.eep: four upper-case hex digits, a colon, two, CR LF.
void CheckImageLines(const std::string& text) {
    Require(text.size() % 9 == 0, "temp.eep is not made of whole AAAA:BB lines");
    const auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
    for (std::size_t i = 0; i < text.size(); i += 9) {
        const std::string_view l(text.data() + i, 9);
        Require(hex(l[0]) && hex(l[1]) && hex(l[2]) && hex(l[3]) && l[4] == ':' && hex(l[5]) && hex(l[6]) &&
                    l[7] == '\r' && l[8] == '\n',
                "a line of temp.eep is not in the form AAAA:BB");
    }
}

// Whether a file that was only read still holds what it held. The 100-byte file header is
// SQLite's: it records the journal mode, which opening a table sets to the rollback journal, and
// bookkeeping (change counter, size in pages, free-list counts) that SQLite puts right whenever it
// writes the first page; a short last page is then written out whole, completed with zeros.
// Nothing after the header may change.
bool SameStoredBytes(std::string_view before, const std::string& after) {
    constexpr std::size_t kHeader = 100;
    if (after.size() < before.size())
        return false;
    for (std::size_t i = kHeader; i < after.size(); ++i)
        if (i < before.size() ? after[i] != before[i] : after[i] != 0)
            return false;
    // Grown only to a whole page: SQLite pages are at least 512 bytes.
    return after.size() == before.size() || after.size() % 512 == 0;
}

void ProgramEveryRecord(TDMTables& dm, IHost& host, TTable& table) {
    if (!table.Active())
        return;
    const int records = std::min(table.RecordCount(), 64);
    for (int r = 1; r <= records; ++r) {
        try {
            table.SetRecNo(r);
            CheckSettings(dm, host, table);
            if (WriteSettingsFile(dm, host, table).Complete()) {
                const std::string image = ReadBytes(kImageFileName);
                CheckImageLines(image);
                try {
                    ParseImage(image, tpEEPROM, kImageFileName);
                } catch (const ETalmar& e) {
                    Fault(std::string("the image reader refuses the temp.eep the builder made: ") + e.what());
                }
            }
        } catch (const ETableError&) {
            // A table that does not hold together is refused with the file layer's message.
        } catch (const EValueError&) {
            // A value of the wrong kind is refused with a message naming it.
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::vector<std::string>& samples = SampleTables();
    const fuzz::TInScratchFolder inside;
    const std::string& dir = fuzz::ScratchFolder();
    const std::size_t chosen = data[0] % kTableOrder.size();
    const std::string_view file(reinterpret_cast<const char*>(data + 1), size - 1);

    // A fresh folder each time: no journal or lock left by the run before.
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        std::filesystem::remove(entry.path());
    for (std::size_t i = 0; i < kTableOrder.size(); ++i)
        WriteBytes(TableDef(kTableOrder[i]).fileName, i == chosen ? file : std::string_view(samples[i]));

    {
        THost host;
        TDMTables dm(host);
        dm.Open();
        for (const TTableId id : {TTableId::DataLF, TTableId::DataLT, TTableId::DataORTEN})
            ProgramEveryRecord(dm, host, dm.Table(id));
        dm.Close();
    }
    Require(SameStoredBytes(file, ReadBytes(TableDef(kTableOrder[chosen]).fileName)),
            "a table file that was only read has been changed");
    return 0;
}
