// ringlist report: what one or more campaign folders hold, as text, CSV and a page.

#include <fstream>

#include "report.h"
#include "ringlist_commands.h"
#include "system_reason.h"
#include "utf8_text.h"

namespace ringlist {

namespace {

std::string write_file(const std::string& path, const std::string& text) {
    std::ofstream file(core::utf8_path(path), std::ios::binary | std::ios::trunc);
    if (!file || !file.write(text.data(), static_cast<std::streamsize>(text.size())) ||
        !file.flush()) {
        return "Файл " + path + " не записан: " + core::system_reason(errno);
    }
    return {};
}

}  // namespace

int report(const ReportOptions& options, std::ostream& out) {
    std::vector<CampaignFolder> folders(options.folders.size());
    for (size_t f = 0; f < options.folders.size(); ++f) {
        std::string error = read_folder(options.folders[f], folders[f]);
        if (!error.empty()) {
            out << error << "\n";
            return REFUSED;
        }
    }
    Report figures = make_report(folders);
    out << report_text(folders, figures);
    const std::pair<const std::string*, std::string> files[] = {
        {&options.csv, options.csv.empty() ? "" : records_csv(folders, options.excel)},
        {&options.results_csv,
         options.results_csv.empty() ? "" : results_csv(folders, options.excel)},
        {&options.html, options.html.empty() ? "" : report_html(folders, figures)},
    };
    for (const auto& [path, text] : files) {
        if (path->empty()) {
            continue;
        }
        std::string error = write_file(*path, text);
        if (!error.empty()) {
            out << error << "\n";
            return REFUSED;
        }
    }
    return DONE;
}

}  // namespace ringlist
