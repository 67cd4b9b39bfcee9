// ringlist: campaign lists between runs of Dialrun. It reads and writes Ring.TXT, RINGY.txt
// and RINGN.txt with Dialrun's own list and log code, so the formats cannot drift.

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "base/plain_text.h"
#include "base/program_process.h"
#include "base/utf8_text.h"
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
        return usage("нужна команда: check, report, retry, split или merge");
    }
    std::string command = args[0];
    args.erase(args.begin());
    if (command == "--help" || command == "-h") {
        std::cout << HELP;
        return ringlist::DONE;
    }
    // "ringlist merge --help" is a question, not a merge of a folder named so.
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::cout << HELP;
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
    if (command == "split") {
        return split_command(args);
    }
    if (command == "merge") {
        return merge_command(args);
    }
    return usage("неизвестная команда " + command);
}
