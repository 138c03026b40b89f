#include "Options.h"

#include "SwitchCommand.h"
#include "VerifyCommand.h"

#include <cctype>
#include <vector>

namespace talmar::cli {

const char* const kHelp =
    "talmar-cli - задания Тальмара из командной строки: опрос и прошивка модемов ЛТР-10/ЛТР-20.\n"
    "Работает в текущей папке, как окно программы: таблицы настроек, Pref.db, Log.txt, temp.eep.\n"
    "\n"
    "  talmar-cli identify                 опросить модем и вывести его идентификационную строку\n"
    "  talmar-cli flash ФАЙЛ               прошить программу (.rom, .hex) во FLASH: сначала опрос\n"
    "                                      модема, затем прошивка по Modbus или напрямую\n"
    "  talmar-cli eeprom ФАЙЛ              прошить файл настроек (.eep) в EEPROM; модем, молчащий\n"
    "                                      в Modbus, прошивается напрямую\n"
    "  talmar-cli settings lf|lt|orten КП  прошить настройки КП из таблицы частотной (lf),\n"
    "                                      временной (lt) системы или ОРТЕН (orten); КП ищется\n"
    "                                      по названию (NameKP) без учёта регистра\n"
    "  talmar-cli poll [--passes N] [--version] (КП ... | --all)\n"
    "                                      опросить КП линии, как \"Опросить выделенные КП\":\n"
    "                                      система телемеханики каждого, с --version и версия\n"
    "                                      AT90S4433; строка на КП и в конце счётчики\n"
    "  talmar-cli switch lf|lt|orten (КП ... | --all)\n"
    "                                      перевести КП в частотную (lf), временную (lt)\n"
    "                                      систему или в ОРТЕН (orten); строка на КП\n"
    "  talmar-cli verify lf|lt|orten (КП ... | --all) [--pause С] [--repair]\n"
    "                                      сверить настройки КП на линии с таблицей: каждый\n"
    "                                      байт образа настроек читается из КП (9600 бод);\n"
    "                                      строка на КП, строка на каждый различающийся\n"
    "                                      параметр, итог; с --repair различающиеся байты\n"
    "                                      записываются в КП и читаются обратно\n"
    "  talmar-cli ports                    порты, что предлагает окно \"Выбор COM-порта\":\n"
    "                                      COM1-COM4 и USB-адаптеры под своими номерами;\n"
    "                                      строка на порт: COMn, устройство, название\n"
    "\n"
    "  --port COMn|УСТРОЙСТВО  порт модема; по умолчанию COM из Pref.db (COMn открывает\n"
    "                          устройство из $TALMAR_COMn, иначе адаптер с этим номером\n"
    "                          из ~/.config/talmar/ports, иначе /dev/ttyS<n-1>)\n"
    "  КП ... | --all          poll, switch: названия КП из Data_ORTEN.DB без учёта регистра\n"
    "                          (опрашиваются в порядке таблицы) или все КП таблицы\n"
    "  --passes N              poll: число проходов опроса (по умолчанию 1)\n"
    "  --pause С               poll, switch, verify: пауза между обращениями к КП, с\n"
    "                          (по умолчанию 1)\n"
    "  --repair                verify: записать различающиеся байты (кроме системы\n"
    "                          телемеханики и номера МКД) - это и есть согласие на запись\n"
    "  --version               poll: запрашивать и версию прошивки AT90S4433\n"
    "  --trace                 каждый запрос и ответ в шестнадцатеричном виде с временем в мс\n"
    "  --quiet                 без хода прошивки и строк журнала на экране\n"
    "  -h, --help              эта справка\n"
    "\n"
    "Результат и строки журнала - в stdout, сообщения, ход прошивки и --trace - в stderr.\n"
    "Строки журнала дописываются в Log.txt, как в окне. Пока работает окно Тальмара,\n"
    "talmar-cli не запускается. Код завершения: 0 - выполнено; 1 - модем или файл не\n"
    "приняли задание (у poll и switch: КП не ответил; у verify: не все КП совпали или\n"
    "исправлены); 2 - неверный вызов или окружение (нет таблиц, порт не открылся,\n"
    "неизвестный КП, неверный номер МКД): тогда ничего не отправлено.\n";

std::string NormalizePort(const std::string& port) {
    if (port.find('/') != std::string::npos)
        return port;
    if (port.size() > 3 && (port[0] == 'C' || port[0] == 'c') && (port[1] == 'O' || port[1] == 'o') &&
        (port[2] == 'M' || port[2] == 'm') && port.find_first_not_of("0123456789", 3) == std::string::npos &&
        port.find_first_not_of('0', 3) != std::string::npos)
        return "COM" + port.substr(3);
    return {};
}

bool ParseOptions(int argc, const char* const* argv, TOptions& options, std::string& error) {
    options = TOptions{};
    std::vector<std::string> words;
    bool help = false;
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            words.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "-h" || a == "--help") {
            help = true;
        } else if (a == "--trace") {
            options.trace = true;
        } else if (a == "--quiet" || a == "-q") {
            options.quiet = true;
        } else if (a == "--port" || a.rfind("--port=", 0) == 0) {
            std::string value;
            if (a == "--port") {
                if (i + 1 >= argc) {
                    error = "после --port нужен порт: COMn или путь к устройству";
                    return false;
                }
                value = argv[++i];
            } else {
                value = a.substr(7);
            }
            options.port = NormalizePort(value);
            if (options.port.empty()) {
                error = "порт \"" + value + "\" задаётся как COMn (n от 1) или путём к устройству";
                return false;
            }
        } else if (a == "--repair") {
            options.repair = true;
        } else if (const int used = ParseSwitchOption(argc, argv, i, options, error); used != 0) {
            if (used < 0)
                return false;
        } else {
            error = "неизвестный параметр " + a;
            return false;
        }
    }
    if (help) {
        options.command = TCommand::Help;
        return true;
    }
    if (words.empty()) {
        error = "не указано задание: identify, flash, eeprom, settings, poll, switch, verify или ports";
        return false;
    }
    const std::string& cmd = words[0];
    const auto arity = [&](size_t n, const char* usage) {
        if (words.size() == n + 1)
            return true;
        error = std::string("вызов: talmar-cli ") + usage;
        return false;
    };
    if (cmd == "poll" || cmd == "switch") {
        if (options.repair) {
            error = "параметр --repair - только для verify";
            return false;
        }
        return ParseSwitchCommand(words, options, error);
    }
    if (cmd == "verify")
        return ParseVerifyCommand(words, options, error);
    if (options.repair) {
        error = "параметр --repair - только для verify";
        return false;
    }
    if (!NoSwitchOptions(options, error))
        return false;
    if (cmd == "ports") {
        options.command = TCommand::Ports;
        return arity(0, "ports");
    }
    if (cmd == "identify") {
        options.command = TCommand::Identify;
        return arity(0, "identify");
    }
    if (cmd == "flash" || cmd == "eeprom") {
        options.command = cmd == "flash" ? TCommand::Flash : TCommand::Eeprom;
        if (!arity(1, cmd == "flash" ? "flash ФАЙЛ" : "eeprom ФАЙЛ"))
            return false;
        options.file = words[1];
        if (options.file.empty()) {
            error = "пустое имя файла";
            return false;
        }
        return true;
    }
    if (cmd == "settings") {
        options.command = TCommand::Settings;
        if (!arity(2, "settings lf|lt|orten КП"))
            return false;
        if (!ParseSystem(words[1], options, error))
            return false;
        options.kp = words[2];
        return true;
    }
    error = "неизвестное задание \"" + cmd +
            "\": identify, flash, eeprom, settings, poll, switch, verify или ports";
    return false;
}

bool ParseSystem(const std::string& word, TOptions& options, std::string& error) {
    std::string sys;
    for (const char c : word)
        sys += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (sys != "lf" && sys != "lt" && sys != "orten") {
        error = "система \"" + word + "\" неизвестна: lf (частотная), lt (временная) или orten (ОРТЕН)";
        return false;
    }
    options.system = sys;
    return true;
}

} // namespace talmar::cli
