#include "ringlist/report/report.h"
#include "ringlist/import/stop_list.h"
#include "ringlist/split_state.h"

namespace ringlist {

MarkKind mark_kind(char mark) {
    switch (mark) {
        case ' ':
            return UNCALLED;
        case 'Y':
            return MARK_Y;
        case 'Z':
            return MARK_Z;
        case 'N':
            return MARK_N;
        case DEALT_MARK:
            return MARK_S;
        case EXCLUDED_MARK:
            return MARK_X;
        default:
            return OTHER_MARK;
    }
}

const char* mark_caption(MarkKind kind) {
    static const char* const captions[MARK_KINDS] = {
        "не звонили",       "Y оповещены", "Z не оповещены", "N не оповещены",
        "S розданы частям", "X исключены", "прочие отметки"};
    return captions[kind];
}

void Verdicts::add(char result) {
    if (result == 'Y') {
        ++y;
    } else if (result == 'Z') {
        ++z;
    } else {
        ++n;
    }
}

std::string hour_caption(const HourKey& key) {
    char text[48];
    std::snprintf(text, sizeof text, "%02d-%02d-%04d %02d:00", key[2], key[1], key[0], key[3]);
    return text;
}

Report make_report(const std::vector<CampaignFolder>& folders) {
    Report report;
    for (const CampaignFolder& folder : folders) {
        MarkTotals totals{};
        for (const ListRecord& r : folder.records) {
            MarkTotal& t = totals[mark_kind(r.mark)];
            ++t.records;
            t.amount += r.amount;
        }
        for (int k = 0; k < MARK_KINDS; ++k) {
            report.totals[k].records += totals[k].records;
            report.totals[k].amount += totals[k].amount;
        }
        report.folder_totals.push_back(totals);
        for (const LogResult& r : folder.results) {
            report.timeline[{r.year, r.line.month, r.line.day, r.line.hour}].add(r.result);
            report.profile[r.line.hour].add(r.result);
        }
        report.problems += static_cast<int>(folder.log_problems.size());
    }
    return report;
}

}  // namespace ringlist
