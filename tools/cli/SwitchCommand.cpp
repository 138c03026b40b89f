#include "SwitchCommand.h"

#include "Console.h"
#include "Options.h"
#include "link/ComPort.h"
#include "link/Modbus.h"
#include "remote/core/SystemSwitch.h"
#include "store/DMTables.h"
#include "store/Text.h"

#include <algorithm>
#include <limits>

namespace talmar::cli {

namespace {

// The switch window as the command line has it: the settings come from the options, the КП from
// the arguments, and each КП worked is a line on standard output.
class TCliSwitchWindow : public ISwitchWindow {
public:
    TCliSwitchWindow(const TOptions& o, std::vector<std::int64_t> rows, TConsole& console, IHost& host)
        : o_(o), rows_(std::move(rows)), console_(console), host_(host) {
        for (const TSwitchButton b : kSwitchButtons)
            captions_[static_cast<int>(b)] = SwitchButtonCaption(b);
    }

    std::string ButtonCaption(TSwitchButton b) const override { return captions_[static_cast<int>(b)]; }
    void SetButtonCaption(TSwitchButton b, const std::string& c) override {
        captions_[static_cast<int>(b)] = c;
    }
    void SetButtonEnabled(TSwitchButton, bool) override {}
    std::string CountText() const override { return o_.passes; }
    std::string TimeOutText() const override { return o_.pause; }
    bool VersionChecked() const override { return o_.version; }
    std::vector<std::int64_t> SelectedRowIds() const override { return rows_; }
    void ShowCounters(const std::string&) override {}
    void SetBusyCursor(bool) override {}
    void ProcessMessages() override { host_.ProcessMessages(false); }
    void Wait(std::int64_t ms) override {
        Pause(host_, static_cast<int>(std::min<std::int64_t>(ms, std::numeric_limits<int>::max())));
    }

    // "КП-2 Котельная: N МКД 2, ОРТЕН, версия 4433 v1.0"
    void RowWorked(const TSwitchRow& row) override {
        std::string line = row.name + ": N МКД " + row.controller.AsString() + ", ";
        line += row.sysText.empty() ? "код системы " + row.sysMode.AsString() : row.sysText;
        if (row.versionAsked)
            line += ", версия " + row.version;
        console_.Result(line);
    }

private:
    const TOptions& o_;
    std::vector<std::int64_t> rows_;
    TConsole& console_;
    IHost& host_;
    std::string captions_[kSwitchButtons.size()];
};

// The rows the arguments name, by row id; false after a message naming what is wrong.
bool SelectRows(const TOptions& o, TTable& table, TConsole& console, std::vector<std::int64_t>& ids) {
    if (o.all) {
        for (int r = 0; r < table.RecordCount(); ++r)
            ids.push_back(table.RowIdAt(r));
        return true;
    }
    const int fName = table.FieldIndex("NameKP");
    for (const std::string& kp : o.kps) {
        std::vector<int> matches;
        for (int r = 0; r < table.RecordCount(); ++r)
            if (EqualNoCase(table.ValueAt(r, fName).AsString(), kp))
                matches.push_back(r);
        if (matches.empty()) {
            console.Message("В таблице " + table.FileName() + " нет КП с названием \"" + kp + "\"");
            return false;
        }
        if (matches.size() > 1) {
            // One name, several КП: a switch sent to both could reach a substation not meant.
            std::string rows;
            for (const int r : matches)
                rows += (rows.empty() ? "" : ", ") + std::to_string(r + 1);
            console.Message("В таблице " + table.FileName() + " КП с названием \"" + kp +
                            "\" несколько (строки " + rows + "): дайте им разные названия.");
            return false;
        }
        ids.push_back(table.RowIdAt(matches.front()));
    }
    return true;
}

} // namespace

int ParseSwitchOption(int argc, const char* const* argv, int& i, TOptions& options, std::string& error) {
    const std::string a = argv[i];
    if (a == "--version" || a == "--all") {
        (a == "--all" ? options.all : options.version) = true;
        options.switchOptions.push_back(a);
        return 1;
    }
    std::string name = a;
    std::string value;
    const auto eq = a.find('=');
    if (eq != std::string::npos) {
        name = a.substr(0, eq);
        value = a.substr(eq + 1);
    }
    if (name != "--passes" && name != "--pause")
        return 0;
    if (eq == std::string::npos) {
        if (i + 1 >= argc) {
            error = "после " + name + " нужно целое число";
            return -1;
        }
        value = argv[++i];
    }
    try {
        StrToInt(value);
    } catch (const std::exception&) {
        error = name + " \"" + value + "\": нужно целое число" + (name == "--pause" ? " секунд" : "");
        return -1;
    }
    (name == "--passes" ? options.passes : options.pause) = value;
    options.switchOptions.push_back(name);
    return eq == std::string::npos ? 2 : 1;
}

bool ParseSwitchCommand(const std::vector<std::string>& words, TOptions& options, std::string& error) {
    const bool poll = words[0] == "poll";
    options.command = poll ? TCommand::Poll : TCommand::Switch;
    std::size_t first = 1;
    if (!poll) {
        if (words.size() < 2) {
            error = "вызов: talmar-cli switch lf|lt|orten (КП ... | --all)";
            return false;
        }
        if (!ParseSystem(words[1], options, error))
            return false;
        first = 2;
        for (const std::string& o : options.switchOptions)
            if (o == "--passes" || o == "--version") {
                error = "параметр " + o + " - только для poll";
                return false;
            }
    }
    options.kps.assign(words.begin() + static_cast<std::ptrdiff_t>(first), words.end());
    if (options.all == !options.kps.empty()) {
        error = options.all ? "укажите КП по названиям или --all, но не то и другое"
                            : "укажите КП по названиям из Data_ORTEN.DB или --all";
        return false;
    }
    return true;
}

bool NoSwitchOptions(const TOptions& options, std::string& error) {
    if (options.switchOptions.empty())
        return true;
    error = "параметр " + options.switchOptions.front() + " - только для poll и switch";
    return false;
}

int RunSwitchCommand(const TOptions& o, TConsole& console, TCliHost& host, TComPort& port) {
    TDMTables dm(host);
    if (!dm.Open())
        return kExitUsage; // the table that failed has been named
    std::vector<std::int64_t> rows;
    if (!SelectRows(o, dm.TDataORTEN(), console, rows))
        return kExitUsage;

    TCliSwitchWindow window(o, std::move(rows), console, host);
    TSystemSwitch sw(dm, port, host, window);
    if (!o.port.empty())
        sw.SetPortName([&o] { return o.port; });
    TSwitchResult r;
    if (o.command == TCommand::Poll) {
        r = sw.Poll();
        if (r.outcome != TSwitchOutcome::Refused)
            console.Result("Успешных / неуспешных опросов КП: " +
                           FormatCounters(r.successCount, r.failureCount));
    } else {
        r = sw.Switch(o.system == "lf"   ? TSwitchButton::BGoFrec
                      : o.system == "lt" ? TSwitchButton::BGoTime
                                         : TSwitchButton::BGoORTEN);
    }
    dm.Close();
    if (r.outcome == TSwitchOutcome::Refused)
        return kExitUsage;
    return r.failureCount > 0 ? kExitRefused : kExitDone;
}

} // namespace talmar::cli
