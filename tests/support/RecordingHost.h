#pragma once
// The test double of the window system: the real Qt event loop and reply timer, message boxes
// recorded instead of shown, answered from a script (OK when the script is empty).

#include "base/QtHost.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace talmar::test {

struct TShownMessage {
    std::string text;
    std::string caption;
    TMsgButtons buttons;
    TMsgIcon icon;
};

class TRecordingHost : public TQtHost {
public:
    TMsgResult ShowMessage(const std::string& text, const std::string& caption, TMsgButtons buttons,
                           TMsgIcon icon) override;

    std::vector<TShownMessage> messages;
    std::deque<TMsgResult> answers;
    // Called as each message is "shown", before it is answered.
    std::function<void(const TShownMessage&)> onMessage;
    std::vector<std::string> Texts() const;
};

} // namespace talmar::test
