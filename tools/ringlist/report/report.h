#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "ringlist/campaign_folder.h"

namespace ringlist {

// The kinds of mark a report counts, in the order it shows them.
// X (a stop list's) is shown only where a list has it.
enum MarkKind { UNCALLED, MARK_Y, MARK_Z, MARK_N, MARK_S, MARK_X, OTHER_MARK, MARK_KINDS };
MarkKind mark_kind(char mark);
const char* mark_caption(MarkKind kind);

struct MarkTotal {
    long long records = 0;
    long long amount = 0;
};
using MarkTotals = std::array<MarkTotal, MARK_KINDS>;

// Verdicts of one hour, by result.
struct Verdicts {
    int y = 0;
    int z = 0;
    int n = 0;
    int all() const { return y + z + n; }
    void add(char result);
};

// Year, month, day, hour.
using HourKey = std::array<int, 4>;

struct Report {
    std::vector<MarkTotals> folder_totals;  // one per folder
    MarkTotals totals;                      // of every folder
    std::map<HourKey, Verdicts> timeline;
    std::array<Verdicts, 24> profile{};
    int problems = 0;
};

Report make_report(const std::vector<CampaignFolder>& folders);

// The report as the terminal shows it.
std::string report_text(const std::vector<CampaignFolder>& folders, const Report& report);

// One row per record: folder, number, amount, mark. With excel, ";" between the fields and a
// byte-order mark, for a Russian spreadsheet (amounts are whole numbers: no decimal point).
std::string records_csv(const std::vector<CampaignFolder>& folders, bool excel);
// One row per log line: folder, number, day-month, time, result, and the date with the year
// the report worked out (last, so that the columns before it stay where they were).
std::string results_csv(const std::vector<CampaignFolder>& folders, bool excel);

// A page that needs nothing else: the tables and the timeline and profile as SVG charts.
std::string report_html(const std::vector<CampaignFolder>& folders, const Report& report);

// The verdicts by day and hour, and by hour of the day, as SVG bar charts.
std::string timeline_chart(const Report& report);
std::string profile_chart(const Report& report);

// "08-12-2026 09:00".
std::string hour_caption(const HourKey& key);

// Text put in HTML as text: & < > " escaped.
std::string html_escaped(const std::string& text);

}  // namespace ringlist
