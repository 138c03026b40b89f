#include "Console.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace talmar::cli {

namespace {

constexpr int kBarWidth = 30;
// A terminal bar is redrawn at most this often; the last step is always drawn.
constexpr std::chrono::milliseconds kRedraw{100};

std::chrono::milliseconds Since(TConsole::TClock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(TConsole::TClock::now() - t);
}

} // namespace

TConsole::TConsole(bool quiet) : quiet_(quiet), tty_(::isatty(STDERR_FILENO) == 1) {}

void TConsole::CloseBarLine() {
    if (barOpen_) {
        std::fputc('\n', stderr);
        barOpen_ = false;
    }
}

void TConsole::Message(const std::string& text) {
    CloseBarLine();
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

void TConsole::Result(const std::string& text) {
    std::fprintf(stdout, "%s\n", text.c_str());
    std::fflush(stdout);
}

void TConsole::LogLine(const std::string& line) {
    if (quiet_)
        return;
    CloseBarLine();
    Result(line);
}

void TConsole::Reason(const std::string& text) {
    if (quiet_)
        Message(text);
}

std::string TConsole::FormatDuration(std::chrono::milliseconds ms) {
    const long long s = std::max<long long>(0, ms.count() / 1000);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
    return buf;
}

std::string TConsole::FormatProgress(int done, int total, std::chrono::milliseconds elapsed, bool bar) {
    // The direct path also counts the answers to its opening instructions, so the count may run
    // past the total: the display stops at full.
    const int shown = std::clamp(done, 0, std::max(total, 0));
    const int percent = total > 0 ? static_cast<int>(100LL * shown / total) : 100;
    std::string text;
    if (bar) {
        const int filled = total > 0 ? static_cast<int>(1LL * kBarWidth * shown / total) : kBarWidth;
        text = "[" + std::string(static_cast<size_t>(filled), '#') +
               std::string(static_cast<size_t>(kBarWidth - filled), '-') + "] ";
    }
    char buf[96];
    std::snprintf(buf, sizeof buf, "%3d%%  %d/%d байт  %s", percent, shown, total,
                  FormatDuration(elapsed).c_str());
    text += buf;
    if (bar && shown > 0 && shown < total) {
        const auto left = std::chrono::milliseconds(elapsed.count() * (total - shown) / shown);
        text += ", осталось " + FormatDuration(left);
    }
    return text;
}

void TConsole::Progress(int done, int total) {
    if (quiet_)
        return;
    if (!running_) {
        running_ = true;
        runStarted_ = TClock::now();
        lastDrawn_ = {};
        lastTenth_ = 0;
    }
    const bool last = done >= total;
    if (tty_) {
        if (!last && barOpen_ && TClock::now() - lastDrawn_ < kRedraw)
            return;
        lastDrawn_ = TClock::now();
        std::fprintf(stderr, "\r%s\x1b[K", FormatProgress(done, total, Since(runStarted_), true).c_str());
        barOpen_ = true;
    } else {
        const int tenth = total > 0 ? static_cast<int>(std::min<long long>(10, 10LL * done / total)) : 10;
        if (tenth <= lastTenth_)
            return;
        lastTenth_ = tenth;
        std::fprintf(stderr, "%s\n", FormatProgress(done, total, Since(runStarted_), false).c_str());
    }
    std::fflush(stderr);
}

void TConsole::EndProgress() {
    CloseBarLine();
    running_ = false;
}

void TConsole::Trace(bool out, const uint8_t* data, int count) {
    CloseBarLine();
    const long long ms = Since(started_).count();
    std::string line;
    char head[48];
    std::snprintf(head, sizeof head, "[%5lld.%03lld] %s", ms / 1000, ms % 1000, out ? "->" : "<-");
    line = head;
    if (count <= 0) {
        line += " (нет ответа)";
    } else {
        static const char kHex[] = "0123456789ABCDEF";
        for (int i = 0; i < count; ++i) {
            line += ' ';
            line += kHex[data[i] >> 4];
            line += kHex[data[i] & 0x0F];
        }
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

TMsgResult TCliHost::ShowMessage(const std::string& text, const std::string& /*caption*/,
                                 TMsgButtons /*buttons*/, TMsgIcon /*icon*/) {
    console_.Message(text);
    return TMsgResult::Ok;
}

} // namespace talmar::cli
