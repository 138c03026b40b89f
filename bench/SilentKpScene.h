#pragma once
// The scene of the system switch benchmarks: a fresh folder with the five tables made the current
// one, and a line with one КП (controller 5) that never answers, reached as COM7.

#include "sim/ModemSim.h"
#include "store/DMTables.h"

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <unistd.h>
#include <utility>

namespace talmar::bench {

class TSilentKpScene {
public:
    explicit TSilentKpScene(const std::string& name)
        : dir_(std::filesystem::temp_directory_path() /
               ("talmar-" + name + "-" + std::to_string(::getpid()))),
          line_(SilentKp(), {}) {
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
        for (const TTableId id : kTableOrder)
            CreateTableFile(TableDef(id), TableDef(id).fileName);
        setenv("TALMAR_COM7", line_.SlavePath().c_str(), 1);
    }
    ~TSilentKpScene() {
        std::filesystem::current_path(std::filesystem::temp_directory_path());
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TSilentKpScene(const TSilentKpScene&) = delete;
    TSilentKpScene& operator=(const TSilentKpScene&) = delete;

    // eSysMode's address, the port COM7 and the КП's row, which is left the current record.
    static void AddRows(TDMTables& dm) {
        AddRow(dm.TParamType(), {{"NameEng", TValue("eSysMode")}, {"Size", TValue(1)}, {"Addr", TValue(16)}});
        AddRow(dm.Pref(), {{"NumCom", TValue(7)}, {"TypeRemoteControl", TValue(1)}});
        AddRow(dm.TDataORTEN(), {{"NameKP", TValue("КП-5")}, {"ENumController", TValue(5)}});
    }

private:
    static sim::TModemConfig SilentKp() {
        sim::TModemConfig kp;
        kp.programmed = false;
        kp.controller = 5;
        kp.faults.silent = true;
        return kp;
    }
    static void AddRow(TTable& t, std::initializer_list<std::pair<const char*, TValue>> values) {
        t.Insert();
        for (const auto& [name, value] : values)
            t.SetFieldByName(name, value);
        t.Post();
    }

    std::filesystem::path dir_;
    sim::TModemSim line_;
};

} // namespace talmar::bench
