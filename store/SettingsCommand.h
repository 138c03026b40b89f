#pragma once
// What the image builder needs of the main window: its settings file name and its command that
// programs that file into the modem's EEPROM and logs the outcome.

#include <string>

namespace talmar {

class TTable;

class ISettingsCommand {
public:
    virtual ~ISettingsCommand() = default;

    // The main window's SettingsFileName; the builder sets it to "temp.eep".
    virtual void SetSettingsFileName(const std::string& name) = 0;

    // ProgSettings: programs SettingsFileName into the modem's EEPROM. table is TDataLF, TDataLT
    // or TDataORTEN (told apart by Name()); its current record is the one being programmed.
    virtual void ProgSettings(TTable& table) = 0;
};

} // namespace talmar
