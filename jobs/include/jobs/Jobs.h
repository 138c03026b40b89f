#pragma once
// The jobs that drive the modem: polling it for its identification, programming a firmware file
// into its FLASH and a settings image into its EEPROM. The main window and talmar-cli both run
// them; what differs between the two is handed in as a TJobFrontDoor: where messages go (the
// host), where log lines go, the progress display, and what the front door does around the part
// of a job that talks to the modem (the window locks itself or shows the hourglass).
//
// Every job creates one programming object for its run and frees it on every way out. Errors of
// the lower layers (port, image file, tables) leave a job as exceptions after the end hook has
// run; the front door shows them.

#include "link/Programmator.h"

#include <functional>
#include <memory>
#include <string>

namespace talmar {

class IHost;
class TComPort;
class TTable;

// Messages of the modem jobs.
inline constexpr const char* kMsgNoFile = "Введите имя файла";
inline constexpr const char* kMsgNoModem = "Модем не отвечает или не поддерживает Modbus";
inline constexpr const char* kMsgFlashFailed = "Не удалось прошить файл в модем";
inline constexpr const char* kMsgSettingsFailed = "Не удалось прошить настройки в модем";

struct TJobFrontDoor {
    TJobFrontDoor(IHost& host, TComPort& port) : host(host), port(port) {}

    IHost& host;    // message boxes, the reply timer, the processing of pending messages
    TComPort& port; // the line to the modem
    // The COM number (Pref.NumCom), read as each job starts. Empty: the port keeps the name the
    // front door gave it (a device chosen on the command line).
    std::function<int()> numCom;
    // One line at the end of the log, and marking the log as changed so that it gets saved.
    std::function<void(const std::string& line)> appendLog;
    std::function<void()> logChanged;
    // Progress of the programming run (bytes written or confirmed); may be empty.
    TProgrammator::TReceiveByteEvent progress;
    // Around the part of a job that talks to the modem: begin runs once a programming job has a
    // file to program (the poll: before it opens the port), end on every way out after begin
    // (the poll: before its answer is shown). Either may be empty.
    std::function<void()> begin;
    std::function<void()> end;
    // Where the programming object lives while a job runs (the main window's Programmator); null:
    // the job keeps it to itself.
    std::unique_ptr<TProgrammator>* programmator = nullptr;
};

enum class TJobResult {
    Done,     // the modem answered / was programmed
    NoFile,   // no file name: "Введите имя файла", nothing logged
    NoAnswer, // the modem did not answer the identification
    Failed,   // the programming run returned false
};

// "Опрос модема": opens the port at 38400 baud and asks the modem for its identification. True
// with the text (UTF-8) when it answers; otherwise shows "Модем не отвечает или не поддерживает
// Modbus". Logs nothing. Showing the text is left to the front door.
bool RunIdentify(TJobFrontDoor& door, std::string& text);

// "Прошить файл в модем": the start line, the identification (its text is logged; a silent modem
// ends the job with the line "Модем не отвечает или не поддерживает Modbus"), then the programming
// run on FLASH by the Modbus or the direct path, and the outcome line.
TJobResult RunFirmware(TJobFrontDoor& door, const std::string& fileName);

// The settings command: programs the image file into EEPROM and logs the current record of the
// settings table (TDataLF, TDataLT or TDataORTEN) as its start text. No identification of its own:
// the programming run identifies the modem and takes the direct path when it is silent in Modbus.
TJobResult RunSettings(TJobFrontDoor& door, const TTable& table, const std::string& fileName);

// The same for a settings image file chosen by name, not made from a record: the start line names
// the file.
TJobResult RunEepromFile(TJobFrontDoor& door, const std::string& fileName);

// The start text of the settings command for the current record of the table (after the date).
std::string SettingsStartText(const TTable& table);
// The start text for a settings image file programmed as it is.
std::string EepromFileStartText(const std::string& fileName);

} // namespace talmar
