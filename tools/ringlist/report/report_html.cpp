#include <algorithm>
#include <cstdio>

#include "base/utf8_text.h"
#include "ringlist/report/report.h"
#include "time/clock.h"

namespace ringlist {

std::string html_escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

namespace {

std::string cell(const std::string& text, bool number = false) {
    return number ? "<td class=n>" + html_escaped(text) + "</td>"
                  : "<td>" + html_escaped(text) + "</td>";
}

std::string totals_table(const MarkTotals& totals) {
    std::string html = "<table><tr><th>отметка</th><th>записей</th><th>сумма</th></tr>\n";
    MarkTotal all;
    for (int k = 0; k < MARK_KINDS; ++k) {
        if (k == MARK_X && totals[k].records == 0) {
            continue;
        }
        html += "<tr>" + cell(mark_caption(static_cast<MarkKind>(k))) +
                cell(std::to_string(totals[k].records), true) +
                cell(std::to_string(totals[k].amount), true) + "</tr>\n";
        all.records += totals[k].records;
        all.amount += totals[k].amount;
    }
    html += "<tr><th>всего</th>" + cell(std::to_string(all.records), true) +
            cell(std::to_string(all.amount), true) + "</tr>\n";
    return html + "</table>\n";
}

const char* const COLOURS[3] = {"#2e7d32", "#ef6c00", "#c62828"};  // Y, Z, N

// Stacked bars of verdicts, one per caption, with the count scale on the left.
std::string bar_chart(const std::vector<std::pair<std::string, Verdicts>>& bars) {
    int most = 1;
    for (const auto& [caption, v] : bars) {
        most = std::max(most, v.all());
    }
    const int width = std::max<int>(24, static_cast<int>(bars.size())) * 22 + 60;
    const int height = 270;  // room for a date with its year, turned
    const int base = 170;
    const double scale = 150.0 / most;
    char text[256];
    std::snprintf(text, sizeof text,
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                  "font-family=\"sans-serif\" font-size=\"10\">\n",
                  width, height);
    std::string svg = text;
    std::snprintf(text, sizeof text,
                  "<line x1=\"40\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"#444\"/>"
                  "<text x=\"36\" y=\"%d\" text-anchor=\"end\">%d</text>"
                  "<text x=\"36\" y=\"%d\" text-anchor=\"end\">0</text>\n",
                  base, width - 10, base, base - 146, most, base);
    svg += text;
    for (size_t i = 0; i < bars.size(); ++i) {
        const Verdicts& v = bars[i].second;
        int x = 44 + static_cast<int>(i) * 22;
        double y = base;
        const int parts[3] = {v.y, v.z, v.n};
        for (int p = 0; p < 3; ++p) {
            double h = parts[p] * scale;
            y -= h;
            std::snprintf(text, sizeof text,
                          "<rect x=\"%d\" y=\"%.1f\" width=\"18\" height=\"%.1f\" fill=\"%s\"/>", x,
                          y, h, COLOURS[p]);
            svg += text;
        }
        std::snprintf(text, sizeof text,
                      "<text transform=\"translate(%d,%d) rotate(60)\">%s</text>\n", x + 4,
                      base + 6, html_escaped(bars[i].first).c_str());
        svg += text;
    }
    return svg + "</svg>\n";
}

std::string verdict_table(const std::vector<std::pair<std::string, Verdicts>>& rows,
                          const char* heading) {
    std::string html = std::string("<table><tr><th>") + heading +
                       "</th><th>Y</th><th>Z</th><th>N</th><th>всего</th></tr>\n";
    for (const auto& [caption, v] : rows) {
        html += "<tr>" + cell(caption) + cell(std::to_string(v.y), true) +
                cell(std::to_string(v.z), true) + cell(std::to_string(v.n), true) +
                cell(std::to_string(v.all()), true) + "</tr>\n";
    }
    return html + "</table>\n";
}

std::string folder_part(const CampaignFolder& folder, const MarkTotals& totals) {
    std::string html = "<h2>Папка " + html_escaped(core::path_utf8(folder.dir)) +
                       "</h2>\n<p>Записей в списке: " + std::to_string(folder.records.size()) +
                       ", строк в журналах: " + std::to_string(folder.results.size()) + "</p>\n";
    html += totals_table(totals);
    if (!folder.review.faults.empty() || !folder.log_problems.empty()) {
        html += "<ul class=bad>\n";
        for (const campaign::ListFault& f : folder.review.faults) {
            html += "<li>Ring.TXT, " + html_escaped(fault_place(f)) + "</li>\n";
        }
        for (const LogProblem& p : folder.log_problems) {
            html += "<li>" + html_escaped(p.file) + ", строка " + std::to_string(p.line) + ": " +
                    html_escaped(p.what) + "</li>\n";
        }
        html += "</ul>\n";
    }
    return html;
}

// Whether b is the hour right after a on the calendar.
bool next_hour(const HourKey& a, const HourKey& b) {
    core::LocalTime t;
    t.year = a[0];
    t.month = a[1];
    t.day = a[2];
    t.hour = a[3];
    core::LocalTime n = core::local_time_from_calendar_seconds(core::calendar_seconds(t) + 3600);
    return n.year == b[0] && n.month == b[1] && n.day == b[2] && n.hour == b[3];
}

std::vector<std::pair<std::string, Verdicts>> timeline_rows(const Report& report) {
    std::vector<std::pair<std::string, Verdicts>> rows;
    for (const auto& [key, v] : report.timeline) {
        rows.push_back({hour_caption(key), v});
    }
    return rows;
}

std::vector<std::pair<std::string, Verdicts>> busy_hours(const Report& report) {
    std::vector<std::pair<std::string, Verdicts>> rows;
    for (int hour = 0; hour < 24; ++hour) {
        if (report.profile[hour].all() > 0) {
            char caption[8];
            std::snprintf(caption, sizeof caption, "%02d", hour);
            rows.push_back({caption, report.profile[hour]});
        }
    }
    return rows;
}

}  // namespace

std::string timeline_chart(const Report& report) {
    std::vector<std::pair<std::string, Verdicts>> bars;
    const HourKey* before = nullptr;
    for (const auto& [key, v] : report.timeline) {
        // Hours with no result between two bars: an empty bar says time passed there.
        if (before != nullptr && !next_hour(*before, key)) {
            bars.push_back({"…", {}});
        }
        before = &key;
        char label[24];
        std::snprintf(label, sizeof label, "%02d-%02d-%04d %02d", key[2], key[1], key[0], key[3]);
        bars.push_back({label, v});
    }
    return bar_chart(bars);
}

std::string profile_chart(const Report& report) {
    std::vector<std::pair<std::string, Verdicts>> profile;
    for (int hour = 0; hour < 24; ++hour) {
        char caption[8];
        std::snprintf(caption, sizeof caption, "%02d", hour);
        profile.push_back({caption, report.profile[hour]});
    }
    return bar_chart(profile);
}

std::string report_html(const std::vector<CampaignFolder>& folders, const Report& report) {
    std::string html =
        "<!DOCTYPE html>\n<html lang=ru><head><meta charset=\"utf-8\">"
        "<title>Прозвонка: отчет</title>\n<style>body{font-family:sans-serif;margin:2em}"
        "table{border-collapse:collapse;margin:.5em 0 1.5em}td,th{border:1px solid #bbb;"
        "padding:2px 8px}td.n{text-align:right}.bad{color:#c62828}"
        ".key span{display:inline-block;width:1em;height:1em;margin:0 .3em 0 1em;"
        "vertical-align:middle}</style></head><body>\n<h1>Прозвонка: отчет</h1>\n";
    for (size_t f = 0; f < folders.size(); ++f) {
        html += folder_part(folders[f], report.folder_totals[f]);
    }
    if (folders.size() > 1) {
        html += "<h2>Все папки</h2>\n" + totals_table(report.totals);
    }
    html +=
        "<p class=key><span style=\"background:#2e7d32\"></span>Y оповещены"
        "<span style=\"background:#ef6c00\"></span>Z"
        "<span style=\"background:#c62828\"></span>N</p>\n";
    html += "<h2>По дням и часам</h2>\n" + timeline_chart(report) +
            verdict_table(timeline_rows(report), "день и час");
    html += "<h2>По часам суток</h2>\n" + profile_chart(report) +
            verdict_table(busy_hours(report), "час");
    return html + "</body></html>\n";
}

}  // namespace ringlist
