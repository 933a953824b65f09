#pragma once
// Many recordings exported into one folder in one go: names from a template,
// folders made inside the chosen folder only, distinct names for calls that
// would get the same one, a status per file and a stop between files.

#include <cstddef>
#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

#include "app/ProgressReporter.h"
#include "export/AudioExport.h"
#include "export/NameTemplate.h"

namespace lk {

struct ExportItem {
    std::filesystem::path source;
    NameFields fields;
};

// What to do with a file that already carries a planned name: the export
// never replaces one.
enum class ExistingFiles {
    Fail,      // report it as not exported ("exists")
    KeepBoth,  // export under the next free name ("name (2).mp3")
    Skip,      // leave it, reported as skipped
};

struct BatchExportOptions {
    AudioFormat format = AudioFormat::Wav;
    std::filesystem::path folder;
    NameTemplate names = NameTemplate::Default();
    ExistingFiles existing = ExistingFiles::Fail;
};

struct ExportOutcome {
    std::filesystem::path source;
    std::filesystem::path destination;
    ExportFileResult result;
};

struct BatchExportResult {
    std::vector<ExportOutcome> outcomes;  // in item order; none for items after a stop
    bool stopped = false;
    std::size_t Count(ExportStatus status) const;
    std::size_t Failed() const;  // neither written nor skipped
};

// The destinations the export would use, in item order: the template's
// names, made distinct among the items (" (2)", " (3)" before the
// extension; letter case ignored, as on FAT sticks). Files on disk are not
// looked at. For the preview and for asking about existing files.
std::vector<std::filesystem::path> PlanDestinations(const std::vector<ExportItem>& items,
                                                    const BatchExportOptions& options);

// The destination with " (n)" added before the extension.
std::filesystem::path NumberedName(const std::filesystem::path& path, int n);

// Exports every item; progress: one step per file, named by its source.
BatchExportResult ExportBatch(const std::vector<ExportItem>& items,
                              const BatchExportOptions& options, ProgressReporter& progress,
                              std::stop_token stop);

}  // namespace lk
