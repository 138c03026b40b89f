#include "VerifyCommand.h"

#include "Console.h"
#include "Options.h"
#include "jobs/RecordJob.h"
#include "link/ComPort.h"
#include "link/LogFile.h"
#include "link/Modbus.h"
#include "remote/core/LineCheck.h"
#include "remote/core/SystemSwitch.h"
#include "store/DMTables.h"

#include <algorithm>
#include <limits>

namespace talmar::cli {

namespace {

// The check's view on the command line: the progress on standard error, each КП's lines on
// standard output and in the log; --repair has already given the consent.
class TCliCheckView : public ILineCheckView {
public:
    TCliCheckView(TConsole& console, IHost& host, const std::function<void(const std::string&)>& appendLog)
        : console_(console), host_(host), appendLog_(appendLog) {}

    void ProcessMessages() override { host_.ProcessMessages(false); }
    void Wait(std::int64_t ms) override {
        Pause(host_, static_cast<int>(std::min<std::int64_t>(ms, std::numeric_limits<int>::max())));
    }
    void Progress(int done, int total) override { console_.Progress(done, total); }
    void KpDone(const TKpCheck& kp) override {
        console_.EndProgress();
        for (const std::string& line : CheckReportLines(kp))
            console_.Result(line);
        if (appendLog_)
            appendLog_(LogNow() + ": " + CheckLogLine(kp));
    }
    bool ConfirmRepair(const TKpCheck&, int) override { return true; }

private:
    TConsole& console_;
    IHost& host_;
    const std::function<void(const std::string&)>& appendLog_;
};

} // namespace

bool ParseVerifyCommand(const std::vector<std::string>& words, TOptions& options, std::string& error) {
    options.command = TCommand::Verify;
    const char* usage = "вызов: talmar-cli verify lf|lt|orten (КП ... | --all) [--pause С] [--repair]";
    if (words.size() < 2) {
        error = usage;
        return false;
    }
    if (!ParseSystem(words[1], options, error))
        return false;
    for (const std::string& o : options.switchOptions)
        if (o == "--passes" || o == "--version") {
            error = "параметр " + o + " - только для poll";
            return false;
        }
    options.kps.assign(words.begin() + 2, words.end());
    if (options.all == !options.kps.empty()) {
        error = options.all ? "укажите КП по названиям или --all, но не то и другое"
                            : "укажите КП по названиям из таблицы настроек или --all";
        return false;
    }
    return true;
}

int RunVerifyCommand(const TOptions& o, TConsole& console, TCliHost& host, TComPort& port,
                     const std::function<void(const std::string&)>& appendLog) {
    TDMTables dm(host);
    if (!dm.Open())
        return kExitUsage; // the table that failed has been named
    TTable& table = o.system == "lf" ? dm.TDataLF() : o.system == "lt" ? dm.TDataLT() : dm.TDataORTEN();
    std::vector<std::int64_t> rows;
    if (o.all) {
        for (int r = 0; r < table.RecordCount(); ++r)
            rows.push_back(table.RowIdAt(r));
    } else {
        for (const std::string& kp : o.kps) {
            std::string matches;
            if (!LocateKP(table, kp, &matches)) {
                if (matches.empty())
                    console.Message("В таблице " + table.FileName() + " нет КП с названием \"" + kp + "\"");
                else
                    console.Message("В таблице " + table.FileName() + " несколько КП с названием \"" + kp +
                                    "\": " + matches +
                                    ". Ничего не отправлено: дайте этим КП разные названия");
                return kExitUsage;
            }
            rows.push_back(table.RowId());
        }
    }

    TCliCheckView view(console, host, appendLog);
    TLineCheck check(dm, port, host, view);
    if (!o.port.empty())
        check.SetPortName([&o] { return o.port; });
    const int seconds = StrToInt(o.pause);
    const TCheckResult r = check.Run(table, rows, o.repair, seconds > 0 ? std::int64_t{seconds} * 1000 : 0);
    console.EndProgress();
    dm.Close();
    if (r.outcome == TCheckOutcome::Refused)
        return kExitUsage;
    console.Result(CheckSummary(r));
    const bool allGood = std::all_of(r.kps.begin(), r.kps.end(), [](const TKpCheck& k) {
        return k.verdict == TKpVerdict::Matching || k.verdict == TKpVerdict::Repaired;
    });
    return allGood && r.outcome == TCheckOutcome::Done ? kExitDone : kExitRefused;
}

} // namespace talmar::cli
