// ringlist: campaign lists between runs of Dialrun. It reads and writes Ring.TXT, RINGY.txt
// and RINGN.txt with Dialrun's own list and log code, so the formats cannot drift.

#include <algorithm>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/option_rows.h"
#include "base/plain_text.h"
#include "base/program_process.h"
#include "base/utf8_text.h"
#include "ringlist/db/db_commands.h"
#include "ringlist/import/number_rules.h"
#include "ringlist/ringlist_commands.h"

namespace {

const char* const HELP =
    "Использование: ringlist КОМАНДА ...\n"
    "Списки прозвонки между прогонами Dialrun.\n"
    "\n"
    "  ringlist check FILE [--duplicates]\n"
    "      проверить список так же, как \"Старт Прозвонки\": каждая строка с ошибкой\n"
    "      (строка, позиция, что не так), ранний конец списка, номера, которые стоят в\n"
    "      нескольких записях (с их строками: такого абонента обзвонят несколько раз),\n"
    "      число записей по отметкам, и можно ли открыть список для записи (не папка,\n"
    "      есть права, не занят идущей прозвонкой). Код выхода 0, если Dialrun примет\n"
    "      список, 1, если нет; с --duplicates повтор номера - тоже ошибка (код 1).\n"
    "\n"
    "  ringlist report DIR... [--csv FILE] [--results-csv FILE] [--excel] [--html FILE]\n"
    "                  [--force]\n"
    "      отчет по папкам (Ring.TXT, RINGY.txt, RINGN.txt в каждой): записи и суммы\n"
    "      по отметкам, результаты по дням и часам и по часам суток, испорченные строки\n"
    "      журналов. В журналах нет года: строки читаются по порядку, месяц, идущий\n"
    "      назад больше чем на полгода (декабрь, затем январь), начинает следующий год,\n"
    "      шаг назад поменьше (части после слияния) год не меняет; год последней\n"
    "      строки - год последней записи в файл журнала.\n"
    "      --csv FILE          строка на запись: папка, номер, сумма, отметка\n"
    "      --results-csv FILE  строка на строку журналов: папка, номер, дата\n"
    "                          (ДД-ММ-ГГГГ), день-месяц, время, результат\n"
    "      --excel             в CSV \";\" между полями и метка UTF-8 для Excel\n"
    "      --html FILE         страница с таблицами и графиками, без сети и скриптов\n"
    "      --force             заменить уже существующие файлы отчета (файлы прозвонки\n"
    "                          отчет не заменяет никогда)\n"
    "\n"
    "  ringlist retry DIR [--marks ZN] [--max-attempts N] [--min-gap MINUTES]\n"
    "      снять отметки (по умолчанию Z и N; --marks Z или N - только их), чтобы\n"
    "      следующий прогон позвонил этим абонентам снова. Отметку Y снять нельзя,\n"
    "      отметку S (запись роздана части) снимает только merge. Журналы не меняются;\n"
    "      прежний список сохраняется рядом как Ring.TXT.<дата-время>.bak.\n"
    "      --max-attempts N    только у записей, которым звонили меньше N раз (по\n"
    "                          Ring.TXT.attempts, как считает Dialrun с --retry)\n"
    "      --min-gap MINUTES   только у записей, последний звонок которым был не\n"
    "                          меньше MINUTES минут назад\n"
    "      Попытки снятых записей обнуляются: снятая запись получает новый круг.\n"
    "\n"
    "  ringlist import FILE.csv LIST --number COL --amount COL [--header]\n"
    "                  [--encoding utf-8|cp1251|utf-16] [--separator ';'|','|tab]\n"
    "                  [--prefix 99871,871,71] [--duplicates first|sum|reject-all]\n"
    "                  [--exclude STOPFILE] [--append]\n"
    "      записать список LIST (Ring.TXT) из CSV биллинга (Excel: \"Сохранить как\n"
    "      CSV\"). Кодировка UTF-8 (с меткой или без), Windows-1251 или UTF-16\n"
    "      (\"Текст Юникод\") и разделитель \";\", \",\" или табуляция определяются сами;\n"
    "      поля в кавычках - как их пишут таблицы. COL - номер столбца с 1 или имя\n"
    "      из заголовка (--header, буквы любые: Телефон, телефон). Папка списка\n"
    "      создается, если ее нет. Номер: дробная часть ячейки-числа ,00 / .0\n"
    "      отбрасывается, другая - отказ; все, кроме цифр, отбрасывается; 7 цифр\n"
    "      берутся как есть, длиннее - только если начинаются с префикса из --prefix\n"
    "      (он отбрасывается, берется самый длинный подходящий). Сумма: десятичная\n"
    "      запятая или точка, пробелы между тысячами, валюта после "
    "(₽, "
    "р., "
    "руб.);\n"
    "      округляется до целых, половина - вверх (1234,50 -> 1235). Пустые строки\n"
    "      (;;;) пропускаются.\n"
    "      Запись: номер, два пробела, сумма вправо в позициях 10-16, пробел, пустая\n"
    "      отметка, CR LF; в конце пустая строка. Повтор номера: first - первая\n"
    "      строка остается (по умолчанию), sum - суммы складываются, reject-all -\n"
    "      отклоняются все. --exclude: номера стоп-листа (номер в строке, # -\n"
    "      комментарий) не попадают в список. Отклоненные строки пишутся в\n"
    "      LIST.rejects.csv (в кодировке и с разделителем файла): строка, причина,\n"
    "      строка как была. Причины - ниже. Прежний список сохраняется как .bak, с\n"
    "      --append новые записи дописываются перед концом списка. CSV не меняется\n"
    "      никогда: сам список в роли CSV - отказ, прежний LIST.rejects.csv в роли\n"
    "      CSV сохраняется как LIST.rejects.csv.bak. Пока список роздан на части,\n"
    "      отказ. Прерванный импорт доводит или отменяет следующий. Код выхода 0 -\n"
    "      список записан, 1 - отказ (файлы не меняются), 2 - ошибка в команде.\n"
    "\n"
    "  ringlist exclude LIST STOPFILE [--prefix 99871,871,71]\n"
    "      отметить X записи с номерами из стоп-листа (без отметки, Z или N; Y -\n"
    "      никогда): Dialrun их не обзвонит, retry не снимет. Строка стоп-листа,\n"
    "      которая не номер, называется, и список не меняется. Пока список роздан\n"
    "      на части, отказ. Прежний список сохраняется как .bak.\n"
    "\n"
    "  ringlist serve DIR... [--listen ADDR:PORT] [--token-file FILE]\n"
    "      живая страница хода прозвонки по папкам (на стойку или на Dialrun; можно\n"
    "      сетевые папки): записи, оповещены, не оповещены, исключены, осталось,\n"
    "      процент, суммы по отметкам, звонки за час, графики, состояние программ\n"
    "      по их файлам status-*.json (не менялся 2 минуты - \"нет связи с\n"
    "      программой\"). Номеров абонентов на странице нет. Страница обновляется\n"
    "      сама; /api/summary - то же в JSON для систем наблюдения. Только чтение:\n"
    "      файлы не блокируются и не меняются.\n"
    "      --listen ADDR:PORT  адрес (по умолчанию 127.0.0.1:8080, только этот ПК)\n"
    "      --token-file FILE   ключ доступа (не короче 16 знаков); без него другой\n"
    "                          адрес, кроме 127.0.0.1, не принимается. Страница\n"
    "                          открывается один раз как /?token=КЛЮЧ, системы\n"
    "                          наблюдения шлют \"Authorization: Bearer КЛЮЧ\"\n"
    "      Остановить: Ctrl+C (SIGINT) или SIGTERM.\n"
    "\n"
    "  ringlist serve --db CONN [--config FILE] [--listen ADDR:PORT] [--token-file FILE]\n"
    "      та же страница по базе кампании (вместо папок; без --db и без папок -\n"
    "      campaign-db из файлов настроек, как у ringlist db): по каждой кампании\n"
    "      записи, оповещены, не оповещены, исключены, осталось, процент, звонки за\n"
    "      час; по каждой стойке - сколько записей держит, последний звонок и\n"
    "      состояние: \"звонит\" (держит записи), \"на связи\" (брала запись за\n"
    "      последние 2 минуты) или \"нет связи с\" и время. Время - UTC, по часам\n"
    "      сервера базы. База читается заново при каждом запросе (не чаще раза в\n"
    "      секунду); пока она недоступна, страница говорит \"Нет связи с базой\n"
    "      кампании\" с причиной, /metrics - boardrack_campaign_db_up 0. Только\n"
    "      чтение, номеров и сумм на странице нет.\n"
    "\n"
    "  ringlist split FILE N OUTDIR\n"
    "      раздать записи без отметки по кругу на N списков OUTDIR/1/Ring.TXT ...\n"
    "      OUTDIR/N/Ring.TXT (для N стоек или N программ Dialrun). Раздача\n"
    "      записывается рядом со списком (FILE.split), розданные записи отмечаются\n"
    "      в нем S: Dialrun на основном списке их не обзвонит. Новая раздача - когда\n"
    "      merge вернул результат каждой розданной записи.\n"
    "\n"
    "  ringlist merge FILE DIR...\n"
    "      вернуть отметки частей (DIR по порядку: 1, 2, ...) в основной список и\n"
    "      дописать новые строки их журналов в журналы рядом с ним. Повторное\n"
    "      слияние, в том числе после обрыва, ничего не повторяет; отметку, снятую\n"
    "      в основном списке после слияния (retry), не возвращает. При любом\n"
    "      несовпадении не меняет ничего и говорит, что поправить.\n"
    "\n"
    "  ringlist db init|push|pull|status|exclude ... [--db CONN] [--config FILE]\n"
    "      кампания в базе PostgreSQL (13 или новее) для нескольких стоек. CONN -\n"
    "      строка подключения ODBC (Driver={PostgreSQL Unicode};Server=HOST;Port=5432;\n"
    "      Database=DB;Uid=USER;Pwd=...; или DSN=NAME); без --db - campaign-db из\n"
    "      файлов настроек (общая часть, затем [dialrun]), последним - из --config FILE.\n"
    "      db init             создать схему (повторный init ничего не меняет; схему\n"
    "                          новее этой программы не трогает)\n"
    "      db push DIR --campaign NAME [--retry N] [--retry-gap MINUTES|Ns]\n"
    "                  [--retry-marks ZN] [--append]\n"
    "                          записать список папки DIR (Ring.TXT с отметками, его\n"
    "                          конец и что после него, Ring.TXT.attempts, RINGY.txt,\n"
    "                          RINGN.txt) в новую кампанию с ее правилами повторов\n"
    "                          (по умолчанию 1, 120, ZN); в существующую - только с\n"
    "                          --append, в ее конец, без номеров, которые в ней уже есть\n"
    "      db pull --campaign NAME DIR [--force]\n"
    "                          записать в DIR Ring.TXT, Ring.TXT.attempts, RINGY.txt,\n"
    "                          RINGN.txt кампании, как их пишет Dialrun; файлы, которые\n"
    "                          уже есть, - только с --force (прежние сохраняются рядом\n"
    "                          как .<дата-время>.bak)\n"
    "      db status           записи кампаний по отметкам, звонки за час, записи,\n"
    "                          которые держит каждая стойка, ее последний звонок\n"
    "      db exclude --campaign NAME STOPFILE [--prefix 99871,871,71]\n"
    "                          отметить X записи с номерами из стоп-листа, как exclude\n"
    "\n"
    "Списки, занятые идущей прозвонкой, не меняются. Код выхода 2: ошибка в командной\n"
    "строке.\n";

int usage(const std::string& why) {
    std::cerr << "ringlist: " << why << "\nСправка: ringlist --help\n";
    return ringlist::USAGE;
}

// A command's options and operands, read through its rows (options anywhere, "--x=v" too);
// false, with the usage error said, on an option that is not the command's or lacks its value.
bool read_args(const char* command, const std::vector<core::OptionRow>& rows,
               const std::vector<std::string>& args, core::OptionsRead& read,
               std::vector<std::string>& operands, int& status) {
    read = core::read_command_line(rows, args, true, operands);
    if (read.fault == core::OptionFault::unknown) {
        status = usage(std::string(command) + ": неизвестный ключ " + read.argument);
        return false;
    }
    if (read.fault == core::OptionFault::no_value) {
        status = usage(std::string(command) + ": у " + read.option + " нет значения");
        return false;
    }
    return true;
}

// What a command says goes to standard output when it is done, to standard error when it
// refused: a script sees the refusal where it looks for errors.
int said(const std::function<int(std::ostream&)>& command) {
    std::ostringstream text;
    int status = command(text);
    (status == ringlist::DONE ? std::cout : std::cerr) << text.str() << std::flush;
    return status;
}

enum ReportRow { CSV, RESULTS_CSV, HTML, EXCEL, FORCE };
const std::vector<core::OptionRow> REPORT_OPTIONS = {{"--csv", "FILE", ""},
                                                     {"--results-csv", "FILE", ""},
                                                     {"--html", "FILE", ""},
                                                     {"--excel", nullptr, ""},
                                                     {"--force", nullptr, ""}};

int report_command(const std::vector<std::string>& args) {
    ringlist::ReportOptions options;
    core::OptionsRead read;
    std::vector<std::string> folders;
    int status = 0;
    if (!read_args("report", REPORT_OPTIONS, args, read, folders, status)) {
        return status;
    }
    for (const core::OptionFound& found : read.found) {
        switch (found.row) {
            case CSV:
                options.csv = found.value;
                break;
            case RESULTS_CSV:
                options.results_csv = found.value;
                break;
            case HTML:
                options.html = found.value;
                break;
            case EXCEL:
                options.excel = true;
                break;
            case FORCE:
                options.force = true;
                break;
        }
    }
    for (const std::string& folder : folders) {
        options.folders.push_back(core::utf8_path(folder));
    }
    if (options.folders.empty()) {
        return usage("report: нужна хотя бы одна папка");
    }
    return said([&](std::ostream& out) { return ringlist::report(options, out); });
}

enum RetryRow { MARKS, MAX_ATTEMPTS, MIN_GAP };
const std::vector<core::OptionRow> RETRY_OPTIONS = {
    {"--marks", "MARKS", ""}, {"--max-attempts", "N", ""}, {"--min-gap", "MINUTES", ""}};

int retry_command(const std::vector<std::string>& args) {
    ringlist::RetryOptions options;
    core::OptionsRead read;
    std::vector<std::string> folders;
    int status = 0;
    if (!read_args("retry", RETRY_OPTIONS, args, read, folders, status)) {
        return status;
    }
    for (const core::OptionFound& found : read.found) {
        long number = 0;
        if (found.row == MARKS) {
            options.marks = found.value;
        } else if (found.row == MAX_ATTEMPTS) {
            if (!core::whole_number(found.value, 1, 99, number)) {
                return usage("retry: --max-attempts - число от 1 до 99, а не \"" + found.value +
                             "\"");
            }
            options.max_attempts = static_cast<int>(number);
        } else {
            if (!core::whole_number(found.value, 1, 10080, number)) {
                return usage("retry: --min-gap - минуты от 1 до 10080, а не \"" + found.value +
                             "\"");
            }
            options.min_gap = static_cast<int>(number);
        }
    }
    if (folders.size() > 1) {
        return usage("retry: лишнее \"" + folders[1] + "\"");
    }
    if (folders.empty() || options.marks.empty()) {
        return usage("retry: нужна папка и непустой --marks");
    }
    return said([&](std::ostream& out) {
        return ringlist::retry(core::utf8_path(folders[0]), options, out);
    });
}

// The reasons an import gives for a row, from the one table the import uses.
std::string import_reasons() {
    std::string text = "Причины отказа строке при import:\n";
    for (int k = 1; k < ringlist::REJECT_KINDS; ++k) {
        text += std::string("  ") + ringlist::reject_reason(static_cast<ringlist::Reject>(k)) +
                (k == static_cast<int>(ringlist::Reject::repeat) ? " N" : "") + "\n";
    }
    return text;
}

enum ImportRow { HEADER, APPEND, NUMBER, AMOUNT, PREFIX, DUPLICATES, EXCLUDE, ENCODING, SEPARATOR };
const std::vector<core::OptionRow> IMPORT_OPTIONS = {
    {"--header", nullptr, ""},     {"--append", nullptr, ""},      {"--number", "COL", ""},
    {"--amount", "COL", ""},       {"--prefix", "PREFIXES", ""},   {"--duplicates", "MODE", ""},
    {"--exclude", "STOPFILE", ""}, {"--encoding", "ENCODING", ""}, {"--separator", "SEP", ""}};

int import_command(const std::vector<std::string>& args) {
    ringlist::ImportOptions o;
    core::OptionsRead read;
    std::vector<std::string> files;
    int status = 0;
    if (!read_args("import", IMPORT_OPTIONS, args, read, files, status)) {
        return status;
    }
    for (const core::OptionFound& found : read.found) {
        const std::string& v = found.value;
        switch (found.row) {
            case HEADER:
                o.header = true;
                break;
            case APPEND:
                o.append = true;
                break;
            case NUMBER:
                o.number_column = v;
                break;
            case AMOUNT:
                o.amount_column = v;
                break;
            case PREFIX:
                o.prefixes = v;
                break;
            case DUPLICATES:
                o.duplicates = v;
                break;
            case EXCLUDE:
                o.exclude = core::utf8_path(v);
                break;
            case ENCODING:
                if (v != "utf-8" && v != "cp1251" && v != "utf-16") {
                    return usage("import: --encoding utf-8, cp1251 или utf-16, а не \"" + v + "\"");
                }
                o.encoding = v == "utf-8"    ? ringlist::Encoding::utf8
                             : v == "cp1251" ? ringlist::Encoding::cp1251
                                             : ringlist::Encoding::utf16le;
                break;
            case SEPARATOR:
                if (v != ";" && v != "," && v != "tab") {
                    return usage("import: --separator ';', ',' или tab, а не \"" + v + "\"");
                }
                o.separator = v == "tab" ? '\t' : v[0];
                break;
        }
    }
    if (files.size() > 2) {
        return usage("import: лишнее \"" + files[2] + "\"");
    }
    if (files.size() != 2 || o.number_column.empty() || o.amount_column.empty()) {
        return usage("import: нужно FILE.csv LIST --number COL --amount COL");
    }
    o.csv = core::utf8_path(files[0]);
    o.list = core::utf8_path(files[1]);
    return said([&](std::ostream& out) { return ringlist::import_list(o, out); });
}

const std::vector<core::OptionRow> PREFIX_OPTIONS = {{"--prefix", "PREFIXES", ""}};

int exclude_command(const std::vector<std::string>& args) {
    core::OptionsRead read;
    std::vector<std::string> files;
    int status = 0;
    if (!read_args("exclude", PREFIX_OPTIONS, args, read, files, status)) {
        return status;
    }
    std::string prefixes;
    for (const core::OptionFound& found : read.found) {
        prefixes = found.value;
    }
    if (files.size() > 2) {
        return usage("exclude: лишнее \"" + files[2] + "\"");
    }
    if (files.size() != 2) {
        return usage("exclude: нужно LIST STOPFILE");
    }
    return said([&](std::ostream& out) {
        return ringlist::exclude(core::utf8_path(files[0]), core::utf8_path(files[1]), prefixes,
                                 out);
    });
}

enum ServeRow { LISTEN, TOKEN_FILE, SERVE_DB, SERVE_CONFIG };
const std::vector<core::OptionRow> SERVE_OPTIONS = {{"--listen", "ADDR:PORT", ""},
                                                    {"--token-file", "FILE", ""},
                                                    {"--db", "CONN", ""},
                                                    {"--config", "FILE", ""}};

int serve_command(const std::vector<std::string>& args) {
    ringlist::ServeOptions o;
    core::OptionsRead read;
    std::vector<std::string> folders;
    int status = 0;
    if (!read_args("serve", SERVE_OPTIONS, args, read, folders, status)) {
        return status;
    }
    std::string config;
    bool config_given = false;
    for (const core::OptionFound& found : read.found) {
        if (found.row == LISTEN) {
            o.listen = found.value;
        } else if (found.row == TOKEN_FILE) {
            o.token_file = core::utf8_path(found.value);
        } else if (found.row == SERVE_DB) {
            o.database = found.value;
        } else {
            config = found.value;
            config_given = true;
        }
    }
    for (const std::string& folder : folders) {
        o.folders.push_back(core::utf8_path(folder));
    }
    if (!o.folders.empty() && (!o.database.empty() || config_given)) {
        return usage(
            "serve: либо папки, либо база кампании (--db, --config), не вместе: страница "
            "показывает что-то одно");
    }
    // Given no folder, the campaign database of the settings files, as the db commands take it.
    if (o.folders.empty() && o.database.empty()) {
        std::string error;
        o.database = ringlist::campaign_db_setting(config, std::cerr, error);
        if (!error.empty()) {
            std::cerr << "ringlist: " << error << "\n";
            return ringlist::USAGE;
        }
    }
    if (config_given && o.database.empty()) {
        return usage("serve: campaign-db нет ни в " + config + ", ни в других файлах настроек");
    }
    if (o.folders.empty() && o.database.empty()) {
        return usage("serve: нужна хотя бы одна папка");
    }
    // The server says as it goes; it is not waited for.
    return ringlist::serve(o, std::cout);
}

const std::vector<core::OptionRow> NO_OPTIONS = {};

int split_command(const std::vector<std::string>& args) {
    core::OptionsRead read;
    std::vector<std::string> operands;
    int status = 0;
    if (!read_args("split", NO_OPTIONS, args, read, operands, status)) {
        return status;
    }
    if (operands.size() != 3) {
        return usage("split: нужно FILE N OUTDIR");
    }
    long parts = 0;
    if (!core::whole_number(operands[1], 1, 1000, parts)) {
        return usage("split: N должно быть числом от 1 до 1000");
    }
    return said([&](std::ostream& out) {
        return ringlist::split(core::utf8_path(operands[0]), static_cast<int>(parts),
                               core::utf8_path(operands[2]), out);
    });
}

int merge_command(const std::vector<std::string>& args) {
    core::OptionsRead read;
    std::vector<std::string> operands;
    int status = 0;
    if (!read_args("merge", NO_OPTIONS, args, read, operands, status)) {
        return status;
    }
    if (operands.size() < 2) {
        return usage("merge: нужно FILE и папки частей");
    }
    std::vector<std::filesystem::path> dirs;
    for (auto dir = operands.begin() + 1; dir != operands.end(); ++dir) {
        dirs.push_back(core::utf8_path(*dir));
    }
    return said([&](std::ostream& out) {
        return ringlist::merge(core::utf8_path(operands[0]), dirs, out);
    });
}

const std::vector<core::OptionRow> CHECK_OPTIONS = {{"--duplicates", nullptr, ""}};

int check_command(const std::vector<std::string>& args) {
    core::OptionsRead read;
    std::vector<std::string> files;
    int status = 0;
    if (!read_args("check", CHECK_OPTIONS, args, read, files, status)) {
        return status;
    }
    if (files.size() != 1) {
        return usage("check: нужен один FILE (и, может быть, --duplicates)");
    }
    return said([&](std::ostream& out) {
        return ringlist::check_list(core::utf8_path(files[0]), out, !read.found.empty());
    });
}

enum DbRow {
    DB,
    CAMPAIGN,
    RETRY_COUNT,
    RETRY_GAP,
    RETRY_MARKS,
    DB_APPEND,
    DB_FORCE,
    DB_PREFIX,
    DB_CONFIG
};
const std::vector<core::OptionRow> DB_OPTIONS = {
    {"--db", "CONN", ""},           {"--campaign", "NAME", ""},     {"--retry", "N", ""},
    {"--retry-gap", "MINUTES", ""}, {"--retry-marks", "MARKS", ""}, {"--append", nullptr, ""},
    {"--force", nullptr, ""},       {"--prefix", "PREFIXES", ""},   {"--config", "FILE", ""}};

// What a db command was given: its connection, campaign and rules.
struct DbArgs {
    std::string connection;
    std::string campaign;
    std::string prefixes;
    std::string config;  // a settings file read after the usual ones, as the programs' --config
    bool force = false;
    std::vector<std::string> operands;
    ringlist::DbPushOptions push;
    std::vector<int> given;  // the rows given, to refuse those the command does not take
};

// A gap in minutes, or in seconds with "s" ("30s": for tests).
bool read_gap(const std::string& text, int& seconds) {
    long number = 0;
    if (!text.empty() && text.back() == 's') {
        if (!core::whole_number(text.substr(0, text.size() - 1), 1, 604800, number)) {
            return false;
        }
        seconds = static_cast<int>(number);
        return true;
    }
    if (!core::whole_number(text, 1, 10080, number)) {
        return false;
    }
    seconds = static_cast<int>(number) * 60;
    return true;
}

int read_db_args(const std::string& command, const std::vector<std::string>& args, DbArgs& db) {
    core::OptionsRead read;
    int status = 0;
    if (!read_args(("db " + command).c_str(), DB_OPTIONS, args, read, db.operands, status)) {
        return status;
    }
    for (const core::OptionFound& found : read.found) {
        const std::string& v = found.value;
        long number = 0;
        db.given.push_back(found.row);
        switch (found.row) {
            case DB:
                db.connection = v;
                break;
            case CAMPAIGN:
                db.campaign = v;
                break;
            case RETRY_COUNT:
                if (!core::whole_number(v, 1, 99, number)) {
                    return usage("db push: --retry - число от 1 до 99, а не \"" + v + "\"");
                }
                db.push.retry = static_cast<int>(number);
                break;
            case RETRY_GAP:
                if (!read_gap(v, db.push.retry_gap_seconds)) {
                    return usage(
                        "db push: --retry-gap - минуты от 1 до 10080 или секунды (30s), "
                        "а не \"" +
                        v + "\"");
                }
                break;
            case RETRY_MARKS:
                if (v != "Z" && v != "N" && v != "ZN" && v != "NZ") {
                    return usage("db push: --retry-marks - Z, N или ZN, а не \"" + v + "\"");
                }
                db.push.retry_marks = v;
                break;
            case DB_APPEND:
                db.push.append = true;
                break;
            case DB_FORCE:
                db.force = true;
                break;
            case DB_PREFIX:
                db.prefixes = v;
                break;
            case DB_CONFIG:
                db.config = v;
                break;
        }
    }
    if (db.connection.empty()) {
        std::string error;
        db.connection = ringlist::campaign_db_setting(db.config, std::cerr, error);
        if (!error.empty()) {
            std::cerr << "ringlist: " << error << "\n";
            return ringlist::USAGE;
        }
    }
    if (db.connection.empty()) {
        return usage("db " + command + ": нужно --db CONN (или campaign-db в файле настроек)");
    }
    return ringlist::DONE;
}

// The options a db command takes, beside --db; any other given is refused.
bool takes_only(const DbArgs& db, const std::vector<int>& rows) {
    for (int row : db.given) {
        if (row != DB && row != DB_CONFIG &&
            std::find(rows.begin(), rows.end(), row) == rows.end()) {
            return false;
        }
    }
    return true;
}

int db_command(const std::vector<std::string>& all) {
    if (all.empty()) {
        return usage("db: нужна команда: init, push, pull, status или exclude");
    }
    std::string command = all[0];
    std::vector<std::string> args(all.begin() + 1, all.end());
    DbArgs db;
    int status = read_db_args(command, args, db);
    if (status != ringlist::DONE) {
        return status;
    }
    std::string one = db.operands.empty() ? "" : db.operands[0];
    size_t operands = db.operands.size();
    if (command == "init" || command == "status") {
        if (operands != 0 || !takes_only(db, {})) {
            return usage("db " + command + ": нужно только --db CONN");
        }
        return said([&](std::ostream& out) {
            return command == "init" ? ringlist::db_init(db.connection, out)
                                     : ringlist::db_status(db.connection, out);
        });
    }
    if (command == "push") {
        if (operands != 1 || db.campaign.empty() ||
            !takes_only(db, {CAMPAIGN, RETRY_COUNT, RETRY_GAP, RETRY_MARKS, DB_APPEND})) {
            return usage(
                "db push: нужно DIR --campaign NAME [--retry N --retry-gap MINUTES "
                "--retry-marks ZN] [--append]");
        }
        db.push.dir = core::utf8_path(one);
        db.push.campaign = db.campaign;
        return said(
            [&](std::ostream& out) { return ringlist::db_push(db.connection, db.push, out); });
    }
    if (command == "pull") {
        if (operands != 1 || db.campaign.empty() || !takes_only(db, {CAMPAIGN, DB_FORCE})) {
            return usage("db pull: нужно --campaign NAME DIR [--force]");
        }
        return said([&](std::ostream& out) {
            return ringlist::db_pull(db.connection, db.campaign, core::utf8_path(one), db.force,
                                     out);
        });
    }
    if (command == "exclude") {
        if (operands != 1 || db.campaign.empty() || !takes_only(db, {CAMPAIGN, DB_PREFIX})) {
            return usage("db exclude: нужно --campaign NAME STOPFILE");
        }
        return said([&](std::ostream& out) {
            return ringlist::db_exclude(db.connection, db.campaign, core::utf8_path(one),
                                        db.prefixes, out);
        });
    }
    return usage("db: неизвестная команда " + command);
}

}  // namespace

int main(int argc, char** argv) {
    program::use_utf8_console();
    std::vector<std::string> args = program::utf8_arguments(argc, argv);
    args.erase(args.begin());
    if (args.empty()) {
        return usage(
            "нужна команда: check, report, serve, import, exclude, retry, split, merge или db");
    }
    std::string command = args[0];
    args.erase(args.begin());
    if (command == "--help" || command == "-h") {
        std::cout << HELP << "\n" << import_reasons();
        return ringlist::DONE;
    }
    // "ringlist merge --help" is a question, not a merge of a folder named so.
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::cout << HELP << "\n" << import_reasons();
            return ringlist::DONE;
        }
    }
    if (command == "--version") {
        std::cout << "ringlist 1.0\n";
        return ringlist::DONE;
    }
    if (command == "check") {
        return check_command(args);
    }
    if (command == "report") {
        return report_command(args);
    }
    if (command == "retry") {
        return retry_command(args);
    }
    if (command == "serve") {
        return serve_command(args);
    }
    if (command == "import") {
        return import_command(args);
    }
    if (command == "exclude") {
        return exclude_command(args);
    }
    if (command == "split") {
        return split_command(args);
    }
    if (command == "merge") {
        return merge_command(args);
    }
    if (command == "db") {
        return db_command(args);
    }
    return usage("неизвестная команда " + command);
}
