#include "CleanupReport.h"

#include <iostream>

#include <nlohmann/json.hpp>

#include "CliCard.h"
#include "Command.h"
#include "RecordFormat.h"
#include "platform/TextCodec.h"

namespace lk::cli {

int ReportCleanup(const CleanupResult& r, bool applied, bool json) {
    if (!r.storeFound || (applied && r.items.empty() && !r.error.empty())) {
        PrintError(r.error);
        return kExitFailure;
    }
    if (json) {
        nlohmann::json calls = nlohmann::json::array();
        for (const auto& item : r.items) {
            nlohmann::json j{
                {"file", item.file},        {"month", item.yyyymm},
                {"entry", item.entry},      {"time", TimeText(item.record.time)},
                {"type", item.record.type}, {"number", ToUtf8(FieldText(item.record.number))}};
            if (applied) {
                j["trashed"] = item.trashed;
                j["cleared"] = item.cleared;
                if (!item.reason.empty()) j["reason"] = item.reason;
            }
            calls.push_back(std::move(j));
        }
        const nlohmann::json out{{"applied", applied}, {"listed", r.items.size()},
                                 {"taken", r.taken},   {"failed", r.failed},
                                 {"error", r.error},   {"calls", calls}};
        std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
        for (const auto& item : r.items) {
            std::cout << TimeText(item.record.time) << "  " << ToUtf8(FieldText(item.record.number))
                      << "  " << item.file;
            if (applied)
                std::cout << (item.cleared ? (item.trashed ? "  moved to trash" : "  entry cleared")
                                           : "  NOT taken: " + item.reason);
            std::cout << '\n';
        }
        if (applied)
            std::cout << r.taken << " calls taken out, " << r.failed << " failed\n";
        else
            std::cout << r.items.size() << " calls would go (run again with --apply)\n";
    }
    if (!r.error.empty()) PrintError(r.error);
    return r.failed > 0 || !r.error.empty() || r.stopped ? kExitFailure : kExitOk;
}

}  // namespace lk::cli
