// ringlist report: what one or more campaign folders hold, as text, CSV and a page.

#include <cerrno>

#include "base/system_reason.h"
#include "base/utf8_text.h"
#include "campaign/result_log.h"
#include "files/drive_paths.h"
#include "files/durable_file.h"
#include "ringlist/report/report.h"
#include "ringlist/ringlist_commands.h"

namespace ringlist {

namespace {

// A campaign's own files are never an output; any other existing file only with --force.
std::string output_refusal(const std::string& output, const std::vector<CampaignFolder>& folders,
                           bool force) {
    std::filesystem::path path = core::utf8_path(output);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        return {};
    }
    for (const CampaignFolder& folder : folders) {
        core::DriveC drive(folder.dir);
        for (const char* name :
             {"c:\\Ring.TXT", dialrun::NOTIFIED_LOG, dialrun::NOT_NOTIFIED_LOG}) {
            if (std::filesystem::equivalent(path, drive.resolve(name), ec)) {
                return "Файл " + output + " - это файл прозвонки в " + core::path_utf8(folder.dir) +
                       ": отчет его не заменит";
            }
        }
    }
    if (std::filesystem::is_directory(path, ec)) {
        return "Файл " + output + " не записан: " + core::system_reason(EISDIR);
    }
    return force ? std::string() : "Файл " + output + " уже есть: заменить его - ключ --force";
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
    for (const std::string* output : {&options.csv, &options.results_csv, &options.html}) {
        std::string refusal =
            output->empty() ? std::string() : output_refusal(*output, folders, options.force);
        if (!refusal.empty()) {
            out << refusal << "\n";
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
        // Numbers are personal data: the output is as private as the first list it comes from.
        std::string error = core::replace_file(core::utf8_path(*path), text,
                                               core::file_mode(folders.front().list_path));
        if (!error.empty()) {
            out << "Файл " << *path << " не записан: " << error << "\n";
            return REFUSED;
        }
    }
    return DONE;
}

}  // namespace ringlist
