#include <cstdio>

#include "base/utf8_text.h"
#include "campaign/attempts.h"
#include "ringlist/report/report.h"

namespace ringlist {

namespace {

// Text padded to width letters: the captions are UTF-8, where a letter may take two bytes.
std::string padded(std::string text, size_t width) {
    size_t letters = 0;
    for (unsigned char c : text) {
        letters += (c & 0xC0) != 0x80;
    }
    return text.append(letters < width ? width - letters : 0, ' ');
}

std::string row(const char* format, const std::string& caption, long long a, long long b) {
    char text[160];
    std::snprintf(text, sizeof text, format, caption.c_str(), a, b);
    return text;
}

std::string verdict_row(const std::string& caption, const Verdicts& v) {
    char text[160];
    std::snprintf(text, sizeof text, "  %s %6d %6d %6d %7d\n", padded(caption, 22).c_str(), v.y,
                  v.z, v.n, v.all());
    return text;
}

// The header over verdict rows, each title over its column.
std::string verdict_header(const std::string& title) {
    char text[160];
    // "всего" is five letters in ten bytes: printf would pad it by bytes.
    std::snprintf(text, sizeof text, "%s %6s %6s %6s   всего\n", padded(title, 24).c_str(), "Y",
                  "Z", "N");
    return text;
}

std::string totals_table(const MarkTotals& totals) {
    std::string text = "  отметка                записей           сумма\n";
    long long records = 0;
    long long amount = 0;
    for (int k = 0; k < MARK_KINDS; ++k) {
        if (k == MARK_X && totals[k].records == 0) {
            continue;
        }
        text += row("  %s %9lld %15lld\n", padded(mark_caption(static_cast<MarkKind>(k)), 20),
                    totals[k].records, totals[k].amount);
        records += totals[k].records;
        amount += totals[k].amount;
    }
    text += row("  %s %9lld %15lld\n", "всего               ", records, amount);
    return text;
}

// The calls Dialrun counted, and the records called whose verdict never came: they stay
// unmarked, and once their attempts are used up no run calls them again.
std::string attempts_section(const CampaignFolder& folder) {
    long long calls = 0;
    std::string unanswered;
    int without_verdict = 0;
    for (const ListRecord& r : folder.records) {
        calls += r.attempts;
        if (r.mark == ' ' && r.attempts > 0) {
            ++without_verdict;
            unanswered += "  ! " + r.number + ": звонков " + std::to_string(r.attempts) +
                          ", результата нет\n";
        }
    }
    std::string text = "  звонков по файлу попыток: " + std::to_string(calls) +
                       ", записей без отметки после звонка: " + std::to_string(without_verdict) +
                       "\n" + unanswered;
    if (folder.attempts_unmatched > 0) {
        text += "  ! " + campaign::unmatched_text(folder.attempts_unmatched) + "\n";
    }
    return text;
}

std::string folder_section(const CampaignFolder& folder, const MarkTotals& totals) {
    std::string text = "Папка " + core::path_utf8(folder.dir) + "\n";
    text += "  записей в списке: " + std::to_string(folder.records.size());
    text += folder.review.end_line != 0
                ? ", конец списка: строка " + std::to_string(folder.review.end_line) + "\n"
                : ", конец списка: конец файла\n";
    for (const campaign::ListFault& f : folder.review.faults) {
        text += "  ! " + fault_place(f) + "\n";
    }
    text += totals_table(totals);
    if (folder.has_attempts) {
        text += attempts_section(folder);
    }
    int y = 0;
    for (const LogResult& r : folder.results) {
        y += r.result == 'Y';
    }
    text += "  строк в журналах: " + std::to_string(folder.results.size()) + " (RINGY.txt " +
            std::to_string(y) + ", RINGN.txt " + std::to_string(folder.results.size() - y) + ")\n";
    if (!folder.log_problems.empty()) {
        text += "  испорченных и чужих строк: " + std::to_string(folder.log_problems.size()) + "\n";
        for (const LogProblem& p : folder.log_problems) {
            text += "  ! " + p.file + ", строка " + std::to_string(p.line) + ": " + p.what + "\n";
        }
    }
    return text + "\n";
}

}  // namespace

std::string report_text(const std::vector<CampaignFolder>& folders, const Report& report) {
    std::string text;
    for (size_t f = 0; f < folders.size(); ++f) {
        text += folder_section(folders[f], report.folder_totals[f]);
    }
    if (folders.size() > 1) {
        text += "Все папки\n" + totals_table(report.totals) + "\n";
    }
    text += verdict_header("По дням и часам");
    for (const auto& [key, verdicts] : report.timeline) {
        text += verdict_row(hour_caption(key), verdicts);
    }
    text += '\n';
    text += verdict_header("По часам суток");
    for (int hour = 0; hour < 24; ++hour) {
        if (report.profile[hour].all() > 0) {
            char caption[16];
            std::snprintf(caption, sizeof caption, "%02d:00-%02d:59", hour, hour);
            text += verdict_row(caption, report.profile[hour]);
        }
    }
    return text;
}

}  // namespace ringlist
