#include "tests/support/RecordingHost.h"

namespace talmar::test {

TMsgResult TRecordingHost::ShowMessage(const std::string& text, const std::string& caption,
                                       TMsgButtons buttons, TMsgIcon icon) {
    messages.push_back({text, caption.empty() ? kAppTitle : caption, buttons, icon});
    if (onMessage)
        onMessage(messages.back());
    if (answers.empty())
        return TMsgResult::Ok;
    const TMsgResult r = answers.front();
    answers.pop_front();
    return r;
}

std::vector<std::string> TRecordingHost::Texts() const {
    std::vector<std::string> out;
    for (const auto& m : messages)
        out.push_back(m.text);
    return out;
}

} // namespace talmar::test
