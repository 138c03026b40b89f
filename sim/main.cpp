// talmar-modem-sim: a line of simulated modems on a pseudo-terminal, for working without hardware.
// The first line of standard output is the device to open; the program runs until SIGINT or
// SIGTERM. SIGUSR1 writes the dump (--dump) without stopping.

#include "sim/ModemSim.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using talmar::sim::TBytes;
using talmar::sim::TLineConfig;
using talmar::sim::TModemConfig;
using talmar::sim::TModemSim;

const char* const kHelp = R"(Использование: talmar-modem-sim [параметры]

Имитатор линии модемов ЛТР-10/ЛТР-20 на псевдотерминале. Первая строка стандартного вывода -
имя устройства, которое открывает программа (например, /dev/pts/5). Работает до SIGINT или
SIGTERM; SIGUSR1 записывает дамп (--dump), не останавливая работу.

Подключение Тальмара: TALMAR_COM2=/dev/pts/5 (номер порта - из настроек программы), или
--link /tmp/modem и TALMAR_COM2=/tmp/modem.

Модем на кабеле программирования (отвечает на адрес 0x00 на 38400 бод):
  --ident ТЕКСТ            текст идентификации, до 9 символов (по умолчанию "ЛТР-20 v3")
  --ident-count N          передавать в ответе на идентификацию число N вместо длины текста + 1
  --controller N           номер контроллера (адрес групповых запросов на 9600 бод), по умолчанию 1
  --version ТЕКСТ          версия AT90S4433 в ответе на групповой запрос версии (по умолчанию "4433 v1.0")
  --version-count N        передавать в ответе на запрос версии число N
  --flash-words N          объём FLASH в словах (по умолчанию 4096), вначале 0xFFFF
  --eeprom-bytes N         объём EEPROM в байтах (по умолчанию 512), вначале 0xFF
  --eeprom-init ФАЙЛ       начальное содержимое EEPROM (двоичный файл, с адреса 0)
  --sys-mode K             код системы телемеханики (1, 2, 3) в EEPROM по адресу --sys-mode-addr
  --sys-mode-addr АДРЕС    адрес параметра eSysMode в EEPROM (по умолчанию 0)

Другие модемы на линии (отвечают только на групповые запросы на 9600 бод):
  --extra N[,K[,ВЕРСИЯ]]   модем с номером контроллера N, кодом системы K и текстом версии;
                           параметр можно повторять
  --kp-fault N,ВИД[,K]     неисправность модема с номером контроллера N (любого на линии):
                           silent - молчит совсем; bad-crc,K - K-й ответ с испорченной CRC;
                           short-reply,K - K-й ответ без последнего байта; delay,МС - задержка
                           каждого ответа; refuse-write,АДРЕС - запись в байт EEPROM по АДРЕСУ
                           подтверждается, но не сохраняется; параметр можно повторять
  --eeprom N,ФАЙЛ          загрузить в EEPROM модема с номером контроллера N образ настроек
                           ФАЙЛ в виде temp.eep (строки АДРЕС:БАЙТ, шестнадцатеричные); из
                           нескольких строк одного адреса действует последняя; параметр можно
                           повторять

Неисправности модема на кабеле:
  --silent                 молчит совсем
  --silent-modbus          не отвечает по Modbus, понимает только прямые команды AVR
  --bad-crc N              N-й ответ по Modbus с испорченной CRC
  --short-reply N          N-й ответ по Modbus без последнего байта
  --wrong-echo N           N-й байт подтверждения прямых команд неверный (синхронизация - первый)
  --no-leave               не отвечает на команду выхода из режима прошивки
  --delay МС               задержка каждого ответа, мс

Линия:
  --wire-time              время передачи по линии: 10 бит на байт при текущей скорости
  --processing-delay МКС   время обработки запроса модемом, мкс (по умолчанию 1000)
  --link ПУТЬ              создать символьную ссылку ПУТЬ на устройство
  --dump КАТАЛОГ           при выходе и по SIGUSR1 записать в КАТАЛОГ flash.bin, eeprom.bin
                           (модем на кабеле), eeprom-N.bin (другие модемы) и requests.log
  --quiet                  не выводить запросы в стандартный поток ошибок
  --help                   эта справка

Числа - десятичные или шестнадцатеричные с префиксом 0x.
)";

[[noreturn]] void Fail(const std::string& message) {
    std::cerr << "talmar-modem-sim: " << message << "\n";
    std::exit(2);
}

long Number(const std::string& option, const std::string& text, long min, long max) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || v < min || v > max) {
        Fail("неверное значение " + option + " '" + text + "': нужно целое число от " + std::to_string(min) +
             " до " + std::to_string(max));
    }
    return v;
}

struct TOptions {
    TModemConfig modem;
    std::vector<TModemConfig> extra;
    std::vector<std::pair<std::vector<TModemConfig>::size_type, uint8_t>> extraSysMode;
    std::vector<std::pair<uint8_t, std::string>> kpFaults;    // controller number, fault as typed
    std::vector<std::pair<uint8_t, std::string>> eepromFiles; // controller number, settings image file
    std::optional<uint8_t> sysMode;
    uint16_t sysModeAddr = 0;
    std::string eepromInit;
    TLineConfig line;
    std::string link;
    std::string dump;
    bool quiet = false;
};

TOptions Parse(int argc, char** argv) {
    TOptions o;
    std::vector<std::string> args(argv + 1, argv + argc);
    auto& f = o.modem.faults;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) {
                Fail("параметру " + a + " нужно значение");
            }
            return args[++i];
        };
        auto count = [&](long max) { return Number(a, value(), 0, max); };
        if (a == "--help" || a == "-h") {
            std::cout << kHelp;
            std::exit(0);
        } else if (a == "--ident") {
            o.modem.ident = value();
        } else if (a == "--ident-count") {
            o.modem.identCount = static_cast<uint8_t>(count(255));
        } else if (a == "--controller") {
            o.modem.controller = static_cast<uint8_t>(count(255));
        } else if (a == "--version") {
            o.modem.version = value();
        } else if (a == "--version-count") {
            o.modem.versionCount = static_cast<uint8_t>(count(255));
        } else if (a == "--flash-words") {
            o.modem.flashWords = static_cast<std::size_t>(Number(a, value(), 1, 65536));
        } else if (a == "--eeprom-bytes") {
            o.modem.eepromBytes = static_cast<std::size_t>(Number(a, value(), 1, 65536));
        } else if (a == "--eeprom-init") {
            o.eepromInit = value();
        } else if (a == "--sys-mode") {
            o.sysMode = static_cast<uint8_t>(count(255));
        } else if (a == "--sys-mode-addr") {
            o.sysModeAddr = static_cast<uint16_t>(count(65535));
        } else if (a == "--extra") {
            const std::string v = value();
            const auto c1 = v.find(',');
            const auto c2 = c1 == std::string::npos ? std::string::npos : v.find(',', c1 + 1);
            TModemConfig m;
            m.programmed = false;
            m.controller = static_cast<uint8_t>(Number(a, v.substr(0, c1), 0, 255));
            if (c1 != std::string::npos) {
                const auto sys =
                    Number(a, v.substr(c1 + 1, c2 == std::string::npos ? c2 : c2 - c1 - 1), 0, 255);
                o.extraSysMode.emplace_back(o.extra.size(), static_cast<uint8_t>(sys));
            }
            if (c2 != std::string::npos) {
                m.version = v.substr(c2 + 1);
            }
            o.extra.push_back(m);
        } else if (a == "--kp-fault") {
            const std::string v = value();
            const auto comma = v.find(',');
            if (comma == std::string::npos) {
                Fail("параметру --kp-fault нужны номер контроллера и вид неисправности: N,ВИД[,K]");
            }
            o.kpFaults.emplace_back(static_cast<uint8_t>(Number(a, v.substr(0, comma), 0, 255)),
                                    v.substr(comma + 1));
        } else if (a == "--eeprom") {
            const std::string v = value();
            const auto comma = v.find(',');
            if (comma == std::string::npos || comma + 1 == v.size()) {
                Fail("параметру --eeprom нужны номер контроллера и файл: N,ФАЙЛ");
            }
            o.eepromFiles.emplace_back(static_cast<uint8_t>(Number(a, v.substr(0, comma), 0, 255)),
                                       v.substr(comma + 1));
        } else if (a == "--silent") {
            f.silent = true;
        } else if (a == "--silent-modbus") {
            f.silentModbus = true;
        } else if (a == "--bad-crc") {
            f.badCrcOnReply = static_cast<int>(Number(a, value(), 1, 1'000'000'000));
        } else if (a == "--short-reply") {
            f.shortReplyOn = static_cast<int>(Number(a, value(), 1, 1'000'000'000));
        } else if (a == "--wrong-echo") {
            f.wrongEchoOn = static_cast<int>(Number(a, value(), 1, 1'000'000'000));
        } else if (a == "--no-leave") {
            f.noLeaveAnswer = true;
        } else if (a == "--delay") {
            f.extraDelayMs = static_cast<int>(Number(a, value(), 0, 600'000));
        } else if (a == "--wire-time") {
            o.line.wireTime = true;
        } else if (a == "--processing-delay") {
            o.line.processingDelay = std::chrono::microseconds(Number(a, value(), 0, 60'000'000));
        } else if (a == "--link") {
            o.link = value();
        } else if (a == "--dump") {
            o.dump = value();
        } else if (a == "--quiet") {
            o.quiet = true;
        } else {
            Fail("неизвестный параметр '" + a + "' (справка: --help)");
        }
    }
    return o;
}

// A fault of --kp-fault ("silent", "bad-crc,K", "short-reply,K", "delay,MS") for every modem on the
// line with that controller number.
void ApplyKpFault(std::vector<TModemConfig>& modems, uint8_t controller, const std::string& fault) {
    const auto comma = fault.find(',');
    const std::string kind = fault.substr(0, comma);
    const std::string arg = comma == std::string::npos ? std::string() : fault.substr(comma + 1);
    const std::string option = "--kp-fault " + std::to_string(controller) + "," + kind;
    auto nth = [&] { return static_cast<int>(Number(option, arg, 1, 1'000'000'000)); };
    bool found = false;
    for (auto& m : modems) {
        if (m.controller != controller) {
            continue;
        }
        found = true;
        if (kind == "silent" && arg.empty()) {
            m.faults.silent = true;
        } else if (kind == "bad-crc") {
            m.faults.badCrcOnReply = nth();
        } else if (kind == "short-reply") {
            m.faults.shortReplyOn = nth();
        } else if (kind == "delay") {
            m.faults.extraDelayMs = static_cast<int>(Number(option, arg, 0, 600'000));
        } else if (kind == "refuse-write") {
            m.faults.refuseWriteAddr = static_cast<int>(Number(option, arg, 0, 65535));
        } else {
            Fail("неизвестная неисправность '" + fault +
                 "' в --kp-fault: silent, bad-crc,K, short-reply,K, delay,МС или refuse-write,АДРЕС");
        }
    }
    if (!found) {
        Fail("--kp-fault: на линии нет модема с номером контроллера " + std::to_string(controller));
    }
}

// A settings image in the temp.eep form: lines "AAAA:VV" (hexadecimal), CR LF or LF; blank lines
// are skipped. Loaded into the EEPROM of every modem with that controller number.
void LoadSettingsImage(std::vector<TModemConfig>& modems, uint8_t controller, const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        Fail("--eeprom: не удалось открыть файл '" + file + "'");
    }
    std::map<uint16_t, uint8_t> bytes;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.find_first_not_of(" \t") == std::string::npos) {
            continue;
        }
        const auto colon = line.find(':');
        char* end = nullptr;
        const std::string a = line.substr(0, colon),
                          v = colon == std::string::npos ? "" : line.substr(colon + 1);
        const unsigned long addr = std::strtoul(a.c_str(), &end, 16);
        const bool addrOk = !a.empty() && *end == '\0' && addr <= 0xFFFF;
        const unsigned long value = std::strtoul(v.c_str(), &end, 16);
        if (!addrOk || v.empty() || *end != '\0' || value > 0xFF) {
            Fail("--eeprom: файл '" + file + "', строка " + std::to_string(number) +
                 ": нужна строка вида АДРЕС:БАЙТ (например 0010:0A)");
        }
        bytes[static_cast<uint16_t>(addr)] = static_cast<uint8_t>(value);
    }
    bool found = false;
    for (auto& m : modems) {
        if (m.controller != controller) {
            continue;
        }
        found = true;
        for (const auto& [addr, value] : bytes) {
            if (addr >= m.eepromBytes) {
                Fail("--eeprom: файл '" + file + "': адрес " + std::to_string(addr) +
                     " за пределами EEPROM (" + std::to_string(m.eepromBytes) + " байт)");
            }
            m.eepromInit[addr] = value;
        }
    }
    if (!found) {
        Fail("--eeprom: на линии нет модема с номером контроллера " + std::to_string(controller));
    }
}

void MakeLink(const std::string& link, const std::string& target) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto status = fs::symlink_status(link, ec);
    if (fs::exists(status)) {
        if (!fs::is_symlink(status)) {
            Fail("'" + link + "' уже существует и не является символьной ссылкой");
        }
        fs::remove(link, ec);
    }
    fs::create_symlink(target, link, ec);
    if (ec) {
        Fail("не удалось создать ссылку '" + link + "': " + ec.message());
    }
}

void RemoveLink(const std::string& link, const std::string& target) {
    std::error_code ec;
    if (!link.empty() && std::filesystem::is_symlink(link, ec) &&
        std::filesystem::read_symlink(link, ec) == target) {
        std::filesystem::remove(link, ec);
    }
}

} // namespace

int main(int argc, char** argv) {
    TOptions o = Parse(argc, argv);

    if (!o.eepromInit.empty()) {
        std::ifstream in(o.eepromInit, std::ios::binary);
        if (!in) {
            Fail("не удалось открыть файл '" + o.eepromInit + "'");
        }
        const TBytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() > o.modem.eepromBytes) {
            Fail("файл '" + o.eepromInit + "' больше EEPROM (" + std::to_string(o.modem.eepromBytes) +
                 " байт)");
        }
        for (std::size_t a = 0; a < bytes.size(); ++a) {
            o.modem.eepromInit[static_cast<uint16_t>(a)] = bytes[a];
        }
    }
    if (o.sysMode) {
        if (o.sysModeAddr >= o.modem.eepromBytes) {
            Fail("адрес eSysMode за пределами EEPROM");
        }
        o.modem.eepromInit[o.sysModeAddr] = *o.sysMode;
    }
    for (const auto& [index, sys] : o.extraSysMode) {
        if (o.sysModeAddr >= o.extra[index].eepromBytes) {
            Fail("адрес eSysMode за пределами EEPROM");
        }
        o.extra[index].eepromInit[o.sysModeAddr] = sys;
    }

    std::vector<TModemConfig> modems{o.modem};
    modems.insert(modems.end(), o.extra.begin(), o.extra.end());
    for (const auto& [controller, fault] : o.kpFaults) {
        ApplyKpFault(modems, controller, fault);
    }
    for (const auto& [controller, file] : o.eepromFiles) {
        LoadSettingsImage(modems, controller, file);
    }

    // The signals are taken by sigtimedwait below; block them before the serving thread starts so
    // that it never receives them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::optional<TModemSim> sim;
    try {
        sim.emplace(modems, o.line);
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    if (!o.link.empty()) {
        MakeLink(o.link, sim->SlavePath());
    }
    std::cout << sim->SlavePath() << std::endl;

    auto dump = [&] {
        std::string error;
        if (!o.dump.empty() && !sim->Dump(o.dump, &error)) {
            std::cerr << "talmar-modem-sim: " << error << "\n";
        }
    };
    std::size_t printed = 0;
    for (;;) {
        timespec tick{0, 100'000'000};
        const int sig = sigtimedwait(&signals, nullptr, &tick);
        if (!o.quiet) {
            const auto log = sim->Requests();
            for (; printed < log.size(); ++printed) {
                std::cerr << sim->FormatRecord(log[printed]) << "\n";
            }
            std::cerr.flush();
        }
        if (sig == SIGUSR1) {
            dump();
        } else if (sig == SIGINT || sig == SIGTERM) {
            break;
        }
    }
    sim->Stop();
    dump();
    RemoveLink(o.link, sim->SlavePath());
    return 0;
}
