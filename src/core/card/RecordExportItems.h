#pragma once
// The records of a page or of search results as recordings to export: each
// record's recording below its card or store, and the facts its file name can
// be made of.

#include <filesystem>
#include <string>
#include <vector>

#include "card/CallRecord.h"
#include "export/BatchExport.h"

namespace lk {

// Time, type word (language texts 18-24), number, name, and the recording's
// file name without extension.
NameFields NameFieldsOf(const CallRecord& record);

struct RecordLeftOut {
    std::filesystem::path recording;
    std::string reason;
};

struct RecordExportItems {
    std::vector<ExportItem> items;       // in record order
    std::vector<RecordLeftOut> leftOut;  // recordings that cannot be reached
};

// Records naming no recording (a missed call, the store's empty marker) are
// left out silently; a recording outside its root is listed in `leftOut`.
RecordExportItems ExportItemsOf(const std::vector<const CallRecord*>& records);

}  // namespace lk
