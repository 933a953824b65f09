#include "card/RecordExportItems.h"

#include "app/LangString.h"
#include "card/BackupStore.h"
#include "card/RecordCommands.h"
#include "platform/TextCodec.h"

namespace lk {

namespace {

// The file name after the last '\' or '/', without its extension.
std::string FileStem(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    auto name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

}  // namespace

NameFields NameFieldsOf(const CallRecord& r) {
    NameFields f;
    const auto& t = r.time;
    if (t.year > 0 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour < 24 &&
        t.minute < 60 && t.second < 60) {
        f.year = t.year;
        f.month = t.month;
        f.day = t.day;
        f.hour = t.hour;
        f.minute = t.minute;
        f.second = t.second;
    }
    if (r.type >= Incoming && r.type <= Message) f.type = LangString(18 + r.type - Incoming);
    f.number = ToUtf8(FieldText(r.number));
    f.name = ToUtf8(FieldText(r.name));
    f.file = FileStem(ToUtf8(FieldText(r.filePath)));
    return f;
}

RecordExportItems ExportItemsOf(const std::vector<const CallRecord*>& records) {
    RecordExportItems out;
    for (const CallRecord* r : records) {
        const std::u16string text = FieldText(r->filePath);
        if (text.empty() || IsMarkerPath(text)) continue;
        const RootedPathResult recording = RecordingOf(*r);
        if (!recording.path) {
            out.leftOut.push_back({std::filesystem::path(ToUtf8(text)), recording.reason});
            continue;
        }
        if (recording.path->NamesNoFile()) continue;
        std::error_code ec;
        // A missed call has no recording, whatever its log entry names.
        if (r->type == Missed && !std::filesystem::exists(recording.path->Full(), ec)) continue;
        out.items.push_back({recording.path->Full(), NameFieldsOf(*r)});
    }
    return out;
}

}  // namespace lk
