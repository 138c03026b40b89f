#pragma once
// The window system as the engine sees it: Qt message boxes over the active window, the reply
// timer and the Qt event loop.

#include "base/QtHost.h"

namespace talmar {

class TGuiHost : public TQtHost {
    Q_OBJECT
public:
    using TQtHost::TQtHost;
    TMsgResult ShowMessage(const std::string& text, const std::string& caption, TMsgButtons buttons,
                           TMsgIcon icon) override;
};

} // namespace talmar
