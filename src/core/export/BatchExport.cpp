#include "export/BatchExport.h"

#include <algorithm>
#include <cerrno>
#include <set>

#include <sys/stat.h>

#include "platform/LinkFreePath.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

std::string FoldedKey(const fs::path& p) {
    auto s = p.string();
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    return s;
}

// Makes the folders between `root` and `file` as plain folders, never
// through a link; 0 or the errno that stopped it.
int MakeFolders(const fs::path& root, const fs::path& file) {
    const auto relative = file.parent_path().lexically_relative(root);
    if (relative.empty() || relative == ".") return 0;
    fs::path at = root;
    for (const auto& part : relative) {
        at /= part;
        if (::mkdir(at.c_str(), 0777) == 0) continue;
        if (errno != EEXIST) return errno;
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0) return errno;
        if (S_ISLNK(st.st_mode)) return ELOOP;
        if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    }
    return 0;
}

fs::path Destination(const ExportItem& item, const BatchExportOptions& options) {
    auto relative = options.names.Expand(item.fields);
    relative += "." + std::string(AudioFormatName(options.format));
    return options.folder / relative;
}

}  // namespace

std::size_t BatchExportResult::Count(ExportStatus status) const {
    return static_cast<std::size_t>(
        std::count_if(outcomes.begin(), outcomes.end(),
                      [&](const auto& o) { return o.result.status == status; }));
}

std::size_t BatchExportResult::Failed() const {
    return outcomes.size() - Count(ExportStatus::Written) - Count(ExportStatus::Skipped);
}

fs::path NumberedName(const fs::path& path, int n) {
    auto named = path;
    named.replace_filename(path.stem().string() + " (" + std::to_string(n) + ")" +
                           path.extension().string());
    return named;
}

std::vector<fs::path> PlanDestinations(const std::vector<ExportItem>& items,
                                       const BatchExportOptions& options) {
    std::vector<fs::path> out;
    out.reserve(items.size());
    std::set<std::string> taken;
    for (const auto& item : items) {
        const auto wanted = Destination(item, options);
        auto name = wanted;
        for (int n = 2; !taken.insert(FoldedKey(name)).second; ++n)
            name = NumberedName(wanted, n);
        out.push_back(std::move(name));
    }
    return out;
}

BatchExportResult ExportBatch(const std::vector<ExportItem>& items,
                              const BatchExportOptions& options, ProgressReporter& progress,
                              std::stop_token stop) {
    BatchExportResult result;
    const auto planned = PlanDestinations(items, options);
    std::set<std::string> taken;
    for (const auto& p : planned)
        taken.insert(FoldedKey(p));
    const int total = static_cast<int>(items.size());
    progress.Begin(total);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (ShouldStop(stop, progress)) {
            result.stopped = true;
            break;
        }
        progress.Step(static_cast<int>(i), total, items[i].source.string());
        ExportOutcome outcome{items[i].source, planned[i], {}};
        if (const int error = MakeFolders(options.folder, planned[i]); error != 0) {
            outcome.result = {ExportStatus::WriteFailed, FileErrorText(error)};
        } else if (const int linked = LinkFreeError(options.folder, planned[i].parent_path());
                   linked != 0) {
            outcome.result = {ExportStatus::WriteFailed, FileErrorText(linked)};
        } else {
            outcome.result = ExportRecordingAs(items[i].source, planned[i], options.format);
            // A name taken on disk (before or during the export) is never replaced.
            for (int n = 2; outcome.result.status == ExportStatus::Exists &&
                            options.existing == ExistingFiles::KeepBoth && n < 10000;
                 ++n) {
                const auto other = NumberedName(planned[i], n);
                if (!taken.insert(FoldedKey(other)).second) continue;
                outcome.destination = other;
                outcome.result = ExportRecordingAs(items[i].source, other, options.format);
            }
            if (outcome.result.status == ExportStatus::Exists &&
                options.existing == ExistingFiles::Skip)
                outcome.result.status = ExportStatus::Skipped;
        }
        result.outcomes.push_back(std::move(outcome));
    }
    progress.Step(static_cast<int>(result.outcomes.size()), total, {});
    progress.End();
    return result;
}

}  // namespace lk
