// The page and the metrics of serve --db: the campaigns and racks as the database counts them.
// Drawn whole by the server and refreshed by the browser itself: nothing on it needs a script.

#include "ringlist/report/report.h"
#include "ringlist/serve/campaign_view.h"
#include "ringlist/serve/site.h"
#include "ringlist/serve/summary.h"

namespace ringlist {

namespace {

// The folders' page's head and look, refreshed by the browser itself.
std::string page_head() {
    const std::string folders = PAGE_HTML;
    return folders.substr(0, folders.find("</head>")) +
           "<meta http-equiv=\"refresh\" content=\"5\">\n</head><body>\n<h1>Прозвонка: ход</h1>\n";
}

// The kinds of mark as the folder page names them in its metrics.
const char* const MARK_NAMES[] = {"uncalled", "Y", "Z", "N", "S", "X", "other"};
const char* const RACK_STATES[] = {"calling", "online", "offline"};

long long with_mark(const CampaignCount& c, const std::string& marks) {
    long long n = 0;
    for (const auto& [mark, count] : c.marks) {
        if (marks.find(mark) != std::string::npos) {
            n += count;
        }
    }
    return n;
}

// A mark's kind: its place in MARK_NAMES.
int kind_of(char mark) {
    const std::string kinds = " YZNSX";
    size_t at = kinds.find(mark);
    return at == std::string::npos ? 6 : static_cast<int>(at);
}

// 0 calling (it holds records now), 1 online (it asked lately), 2 offline.
int rack_state(const RackCount& k) {
    return k.held > 0 ? 0 : k.seen_lately ? 1 : 2;
}

std::string state_text(const RackCount& k) {
    switch (rack_state(k)) {
        case 0:
            return "звонит";
        case 1:
            return "на связи";
        default:
            return k.last_seen.empty() ? "нет связи" : "нет связи с " + k.last_seen + " UTC";
    }
}

std::string campaign_part(const CampaignCount& c) {
    const struct {
        const char* caption;
        long long value;
    } rows[] = {{"Записей", c.records},
                {"Оповещены", with_mark(c, "Y")},
                {"Не оповещены", with_mark(c, "ZN")},
                {"Исключены", with_mark(c, "X")},
                {"Осталось", with_mark(c, " ")},
                {"Звонков за час", c.calls_last_hour}};
    std::string html =
        "<section class=\"campaign\"><h2>Кампания " + html_escaped(c.name) + "</h2>\n<dl>\n";
    for (const auto& row : rows) {
        html +=
            std::string("<dt>") + row.caption + "</dt><dd>" + std::to_string(row.value) + "</dd>\n";
    }
    std::string percent = std::to_string(percent_done(c));
    return html + "</dl>\n<p class=\"percent\">Готово: " + percent +
           "%</p>\n<div class=\"bar\"><div style=\"width:" + percent + "%\"></div></div>\n" +
           "</section>\n";
}

std::string racks_part(const std::vector<RackCount>& racks) {
    std::string html = "<section class=\"racks\"><h2>Стойки</h2>\n";
    if (racks.empty()) {
        return html + "<p class=\"note\">Стойки еще не брали записей</p>\n</section>\n";
    }
    html +=
        "<div class=\"wide\"><table>\n<tr><th>Стойка</th><th>Держит записей</th><th>Последний "
        "звонок</th><th>Состояние</th></tr>\n";
    for (const RackCount& k : racks) {
        html += "<tr><td>" + html_escaped(k.name) + "</td><td>" + std::to_string(k.held) +
                "</td><td>" + (k.last_call.empty() ? "не было" : k.last_call + " UTC") +
                "</td><td" + (rack_state(k) == 2 ? " class=\"bad\"" : "") + ">" + state_text(k) +
                "</td></tr>\n";
    }
    return html + "</table></div>\n</section>\n";
}

void sample(std::string& out, const std::string& name, const std::string& labels, long long value) {
    out += name + "{" + labels + "} " + std::to_string(value) + "\n";
}

}  // namespace

std::string campaign_page(const CampaignLook& look) {
    std::string html = page_head();
    if (!look.up) {
        return html + "<p class=\"bad\">" + html_escaped(look.error) + "</p>\n</body></html>\n";
    }
    html += "<p class=\"note\">По базе кампании на " + look.overview.server_time +
            " UTC; страница обновляется сама</p>\n";
    for (const CampaignCount& c : look.overview.campaigns) {
        html += campaign_part(c);
    }
    if (look.overview.campaigns.empty()) {
        html += "<p>Кампаний в базе нет</p>\n";
    }
    return html + racks_part(look.overview.racks) + "</body></html>\n";
}

std::string campaign_metrics(const CampaignLook& look) {
    std::string out;
    prometheus_family(out, "boardrack_campaign_db_up",
                      "1 when the campaign database answered, else 0.");
    out += std::string("boardrack_campaign_db_up ") + (look.up ? "1" : "0") + "\n";
    const CampaignOverview& o = look.overview;
    prometheus_family(out, "boardrack_campaign_records",
                      "Records of the campaign by mark (uncalled: not called yet).");
    for (const CampaignCount& c : o.campaigns) {
        long long kinds[7] = {};
        for (const auto& [mark, count] : c.marks) {
            kinds[kind_of(mark)] += count;
        }
        for (int k = 0; k < 7; ++k) {
            sample(
                out, "boardrack_campaign_records",
                "campaign=" + prometheus_label(c.name) + ",mark=" + prometheus_label(MARK_NAMES[k]),
                kinds[k]);
        }
    }
    prometheus_family(out, "boardrack_campaign_percent",
                      "Records with any mark but blank, in whole percent of all.");
    for (const CampaignCount& c : o.campaigns) {
        sample(out, "boardrack_campaign_percent", "campaign=" + prometheus_label(c.name),
               percent_done(c));
    }
    prometheus_family(out, "boardrack_campaign_calls_last_hour",
                      "Results of the campaign in the last hour, by the database's clock.");
    for (const CampaignCount& c : o.campaigns) {
        sample(out, "boardrack_campaign_calls_last_hour", "campaign=" + prometheus_label(c.name),
               c.calls_last_hour);
    }
    prometheus_family(out, "boardrack_rack_held_records",
                      "Records the rack holds now (its lease not run out).");
    for (const RackCount& k : o.racks) {
        sample(out, "boardrack_rack_held_records", "rack=" + prometheus_label(k.name), k.held);
    }
    prometheus_family(out, "boardrack_rack_state",
                      "1 for the rack's state: calling (holds records), online (asked within two "
                      "minutes), offline.");
    for (const RackCount& k : o.racks) {
        for (int s = 0; s < 3; ++s) {
            sample(
                out, "boardrack_rack_state",
                "rack=" + prometheus_label(k.name) + ",state=" + prometheus_label(RACK_STATES[s]),
                rack_state(k) == s ? 1 : 0);
        }
    }
    prometheus_family(out, "boardrack_rack_last_call_timestamp_seconds",
                      "Unix time of the rack's last result; none before its first.");
    for (const RackCount& k : o.racks) {
        if (!k.last_call.empty()) {
            sample(out, "boardrack_rack_last_call_timestamp_seconds",
                   "rack=" + prometheus_label(k.name), k.last_call_epoch);
        }
    }
    prometheus_family(out, "boardrack_rack_last_seen_timestamp_seconds",
                      "Unix time the rack last asked the database for a record.");
    for (const RackCount& k : o.racks) {
        if (!k.last_seen.empty()) {
            sample(out, "boardrack_rack_last_seen_timestamp_seconds",
                   "rack=" + prometheus_label(k.name), k.last_seen_epoch);
        }
    }
    return out;
}

}  // namespace ringlist
