// ringlist: campaign lists between runs of Dialrun. It reads and writes Ring.TXT, RINGY.txt
// and RINGN.txt with Dialrun's own list and log code, so the formats cannot drift.

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "base/plain_text.h"
#include "base/program_process.h"
#include "base/utf8_text.h"
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
    "                  [--encoding utf-8|cp1251] [--separator ';'|','|tab]\n"
    "                  [--prefix 99871,871,71] [--duplicates first|sum|reject-all]\n"
    "                  [--exclude STOPFILE] [--append]\n"
    "      записать список LIST (Ring.TXT) из CSV биллинга (Excel: \"Сохранить как\n"
    "      CSV\"). Кодировка UTF-8 (с меткой или без) или Windows-1251 и разделитель\n"
    "      \";\", \",\" или табуляция определяются сами; поля в кавычках - как их пишут\n"
    "      таблицы. COL - номер столбца с 1 или имя из заголовка (--header).\n"
    "      Номер: все, кроме цифр, отбрасывается; 7 цифр берутся как есть, длиннее -\n"
    "      только если начинаются с префикса из --prefix (он отбрасывается, берется\n"
    "      самый длинный подходящий). Сумма: десятичная запятая или точка, пробелы\n"
    "      между тысячами; округляется до целых, половина - вверх (1234,50 -> 1235).\n"
    "      Запись: номер, два пробела, сумма вправо в позициях 10-16, пробел, пустая\n"
    "      отметка, CR LF; в конце пустая строка. Повтор номера: first - первая\n"
    "      строка остается (по умолчанию), sum - суммы складываются, reject-all -\n"
    "      отклоняются все. --exclude: номера стоп-листа (номер в строке, # -\n"
    "      комментарий) не попадают в список. Отклоненные строки пишутся в\n"
    "      LIST.rejects.csv (в кодировке и с разделителем файла): строка, причина,\n"
    "      строка как была. Причины - ниже. Прежний список сохраняется как .bak, с\n"
    "      --append новые записи дописываются перед концом списка. Код выхода 0 -\n"
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
    "Списки, занятые идущей прозвонкой, не меняются. Код выхода 2: ошибка в командной\n"
    "строке.\n";

int usage(const std::string& why) {
    std::cerr << "ringlist: " << why << "\nСправка: ringlist --help\n";
    return ringlist::USAGE;
}

int report_command(const std::vector<std::string>& args) {
    ringlist::ReportOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string* file = a == "--csv"           ? &options.csv
                            : a == "--results-csv" ? &options.results_csv
                            : a == "--html"        ? &options.html
                                                   : nullptr;
        if (file != nullptr) {
            if (i + 1 >= args.size()) {
                return usage(a + ": нужно имя файла");
            }
            *file = args[++i];
        } else if (a == "--excel") {
            options.excel = true;
        } else if (a == "--force") {
            options.force = true;
        } else if (a.rfind("--", 0) == 0) {
            return usage("неизвестный ключ " + a);
        } else {
            options.folders.push_back(core::utf8_path(a));
        }
    }
    if (options.folders.empty()) {
        return usage("report: нужна хотя бы одна папка");
    }
    return ringlist::report(options, std::cout);
}

int retry_command(const std::vector<std::string>& args) {
    ringlist::RetryOptions options;
    std::string& marks = options.marks;
    std::string folder;
    for (size_t i = 0; i < args.size(); ++i) {
        long number = 0;
        if (args[i] == "--marks" && i + 1 < args.size()) {
            marks = args[++i];
        } else if (args[i] == "--max-attempts" && i + 1 < args.size()) {
            if (!core::whole_number(args[++i], 1, 99, number)) {
                return usage("retry: --max-attempts - число от 1 до 99, а не \"" + args[i] + "\"");
            }
            options.max_attempts = static_cast<int>(number);
        } else if (args[i] == "--min-gap" && i + 1 < args.size()) {
            if (!core::whole_number(args[++i], 1, 10080, number)) {
                return usage("retry: --min-gap - минуты от 1 до 10080, а не \"" + args[i] + "\"");
            }
            options.min_gap = static_cast<int>(number);
        } else if (args[i].rfind("--", 0) == 0 || !folder.empty()) {
            return usage("retry: лишнее \"" + args[i] + "\"");
        } else {
            folder = args[i];
        }
    }
    if (folder.empty() || marks.empty()) {
        return usage("retry: нужна папка и непустой --marks");
    }
    return ringlist::retry(core::utf8_path(folder), options, std::cout);
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

int import_command(const std::vector<std::string>& args) {
    ringlist::ImportOptions o;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool has_value = i + 1 < args.size();
        if (a == "--header") {
            o.header = true;
        } else if (a == "--append") {
            o.append = true;
        } else if (a == "--number" && has_value) {
            o.number_column = args[++i];
        } else if (a == "--amount" && has_value) {
            o.amount_column = args[++i];
        } else if (a == "--prefix" && has_value) {
            o.prefixes = args[++i];
        } else if (a == "--duplicates" && has_value) {
            o.duplicates = args[++i];
        } else if (a == "--exclude" && has_value) {
            o.exclude = core::utf8_path(args[++i]);
        } else if (a == "--encoding" && has_value) {
            std::string e = args[++i];
            if (e != "utf-8" && e != "cp1251") {
                return usage("import: --encoding utf-8 или cp1251, а не \"" + e + "\"");
            }
            o.encoding = e == "utf-8" ? ringlist::Encoding::utf8 : ringlist::Encoding::cp1251;
        } else if (a == "--separator" && has_value) {
            std::string s = args[++i];
            if (s != ";" && s != "," && s != "tab") {
                return usage("import: --separator ';', ',' или tab, а не \"" + s + "\"");
            }
            o.separator = s == "tab" ? '\t' : s[0];
        } else if (a.rfind("--", 0) == 0 || files.size() == 2) {
            return usage("import: лишнее \"" + a + "\"");
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2 || o.number_column.empty() || o.amount_column.empty()) {
        return usage("import: нужно FILE.csv LIST --number COL --amount COL");
    }
    o.csv = core::utf8_path(files[0]);
    o.list = core::utf8_path(files[1]);
    return ringlist::import_list(o, std::cout);
}

int exclude_command(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    std::string prefixes;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--prefix" && i + 1 < args.size()) {
            prefixes = args[++i];
        } else if (args[i].rfind("--", 0) == 0 || files.size() == 2) {
            return usage("exclude: лишнее \"" + args[i] + "\"");
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2) {
        return usage("exclude: нужно LIST STOPFILE");
    }
    return ringlist::exclude(core::utf8_path(files[0]), core::utf8_path(files[1]), prefixes,
                             std::cout);
}

int serve_command(const std::vector<std::string>& args) {
    ringlist::ServeOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--listen" && i + 1 < args.size()) {
            o.listen = args[++i];
        } else if (args[i] == "--token-file" && i + 1 < args.size()) {
            o.token_file = core::utf8_path(args[++i]);
        } else if (args[i].rfind("--", 0) == 0) {
            return usage("serve: лишнее \"" + args[i] + "\"");
        } else {
            o.folders.push_back(core::utf8_path(args[i]));
        }
    }
    if (o.folders.empty()) {
        return usage("serve: нужна хотя бы одна папка");
    }
    return ringlist::serve(o, std::cout);
}

int split_command(const std::vector<std::string>& args) {
    if (args.size() != 3) {
        return usage("split: нужно FILE N OUTDIR");
    }
    char* end = nullptr;
    long parts = std::strtol(args[1].c_str(), &end, 10);
    if (*end != 0 || parts < 1 || parts > 1000) {
        return usage("split: N должно быть числом от 1 до 1000");
    }
    return ringlist::split(core::utf8_path(args[0]), static_cast<int>(parts),
                           core::utf8_path(args[2]), std::cout);
}

int merge_command(const std::vector<std::string>& args) {
    if (args.size() < 2) {
        return usage("merge: нужно FILE и папки частей");
    }
    std::vector<std::filesystem::path> dirs;
    for (auto dir = args.begin() + 1; dir != args.end(); ++dir) {
        dirs.push_back(core::utf8_path(*dir));
    }
    return ringlist::merge(core::utf8_path(args[0]), dirs, std::cout);
}

}  // namespace

int main(int argc, char** argv) {
    program::use_utf8_console();
    std::vector<std::string> args = program::utf8_arguments(argc, argv);
    args.erase(args.begin());
    if (args.empty()) {
        return usage(
            "нужна команда: check, report, serve, import, exclude, retry, split или merge");
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
        bool duplicates = args.size() == 2 && args[1] == "--duplicates";
        if (args.size() != 1 && !duplicates) {
            return usage("check: нужен один FILE, за ним может стоять --duplicates");
        }
        return ringlist::check_list(core::utf8_path(args[0]), std::cout, duplicates);
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
    return usage("неизвестная команда " + command);
}
