#pragma once
// What the engine (link/, store/) needs of the window system. The window implements it with Qt
// widgets, the command-line tool prints, and the tests record. The engine never opens a dialog
// itself and never includes Qt Widgets.

#include <string>

namespace talmar {

// The application's title: the caption of the program's plain message boxes, as the engineers know
// it from earlier releases. It is not the program's version (TalmarVersion.h gives that).
inline constexpr const char* kAppTitle = "Тальмар v3.01";

enum class TMsgButtons { Ok, OkCancel };
enum class TMsgIcon { None, Information, Error };
enum class TMsgResult { Ok, Cancel };

class IHost {
public:
    virtual ~IHost() = default;

    // A modal message box; returns when the user has closed it. An empty caption means the
    // application's title. All texts are UTF-8.
    virtual TMsgResult ShowMessage(const std::string& text, const std::string& caption = {},
                                   TMsgButtons buttons = TMsgButtons::Ok, TMsgIcon icon = TMsgIcon::None) = 0;

    // Handles the window messages that are pending. With wait set it first blocks (without using
    // the processor) until something arrives: a byte on an open port, a timer tick, user input.
    virtual void ProcessMessages(bool wait) = 0;

    // The reply timer (the main window's Timer2, 2000 ms). StartReplyTimer clears the time-out
    // flag and starts the timer; its tick turns it off and sets the flag.
    virtual void StartReplyTimer() = 0;
    virtual void StopReplyTimer() = 0;
    virtual bool ReplyTimedOut() const = 0;
    virtual void ClearReplyTimedOut() = 0;
};

// Blocks for ms milliseconds in the event loop through the host: the window keeps painting and its
// input is handled meanwhile, and the processor is not used (the loop sleeps until the next event).
// ms of 0 or less returns at once. Defined with the Qt host (QtHost.cpp).
void Pause(IHost& host, int ms);

} // namespace talmar
