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

std::string lowercase_ascii(std::string text) {
    for (char& c : text) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return text;
}

// A campaign's own files are never an output; any other existing file only with --force.
std::string output_refusal(const std::string& output, const std::vector<CampaignFolder>& folders,
                           bool force) {
    std::filesystem::path path = core::utf8_path(output);
    std::error_code ec;
    bool there = std::filesystem::exists(path, ec);
    for (const CampaignFolder& folder : folders) {
        core::DriveC drive(folder.dir);
        // Beside the list, every file named after it (its split, attempts, import journal,
        // rejects and copies), its logs and the programs' status files are the campaign's.
        std::filesystem::path list = drive.resolve("c:\\Ring.TXT");
        std::string name = lowercase_ascii(core::path_utf8(path.filename()));
        bool beside = std::filesystem::equivalent(
            path.parent_path().empty() ? "." : path.parent_path(), list.parent_path(), ec);
        if (beside &&
            (name.rfind("ring.txt", 0) == 0 || name == "ringy.txt" || name == "ringn.txt" ||
             (name.rfind("status-", 0) == 0 && name.size() > 12 &&
              name.compare(name.size() - 5, 5, ".json") == 0))) {
            return "Файл " + output + " - это файл прозвонки в " + core::path_utf8(folder.dir) +
                   ": отчет его не заменит";
        }
        for (const char* name :
             {"c:\\Ring.TXT", campaign::NOTIFIED_LOG, campaign::NOT_NOTIFIED_LOG}) {
            if (there && std::filesystem::equivalent(path, drive.resolve(name), ec)) {
                return "Файл " + output + " - это файл прозвонки в " + core::path_utf8(folder.dir) +
                       ": отчет его не заменит";
            }
        }
    }
    if (!there) {
        return {};
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
    const std::string* outputs[] = {&options.csv, &options.results_csv, &options.html};
    for (const std::string* output : outputs) {
        for (const std::string* other : outputs) {
            std::error_code ec;
            if (other < output && !output->empty() && !other->empty() &&
                (*other == *output || std::filesystem::equivalent(core::utf8_path(*other),
                                                                  core::utf8_path(*output), ec))) {
                out << "Два отчета в один файл " << *output << ": нужны разные имена\n";
                return USAGE;
            }
        }
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
