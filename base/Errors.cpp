#include "base/Errors.h"

namespace talmar {

const char* EComPort::Text(EComPortCode code) {
    switch (code) {
    case EComPortCode::OpenFailed:
        return "Unable to open com port";
    case EComPortCode::WriteFailed:
        return "WriteFile function failed";
    case EComPortCode::ReadFailed:
        return "ReadFile function failed";
    case EComPortCode::PurgeFailed:
        return "PurgeComm function failed";
    case EComPortCode::SetStateFailed:
        return "SetCommState function failed";
    case EComPortCode::SetTimeoutsFailed:
        return "SetCommTimeouts failed";
    case EComPortCode::SetupFailed:
        return "SetupComm function failed";
    case EComPortCode::ClearErrorFailed:
        return "ClearCommError function failed";
    }
    return "Com port error";
}

EComPort::EComPort(EComPortCode code, int winCode, const std::string& note)
    : ETalmar(TErrorKind::Port, std::string(Text(code)) + " (win error code: " + std::to_string(winCode) +
                                    ")" + (note.empty() ? "" : "\n" + note)),
      code_(code), winCode_(winCode) {}

EConvertError::EConvertError(const std::string& tried, TErrorKind kind)
    : ETalmar(kind, "'" + tried + "' is not a valid integer value") {}

} // namespace talmar
