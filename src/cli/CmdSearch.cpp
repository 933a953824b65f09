#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "CliCard.h"
#include "Command.h"
#include "RecordFormat.h"
#include "TerminalProgress.h"
#include "card/RecordLoader.h"
#include "card/RecordSearch.h"
#include "platform/TextCodec.h"

namespace lk::cli {

namespace {

struct SearchOptions {
    std::string card;
    std::string store;
    int family = -1;
    std::string from;
    std::string to;
    std::string number;
    std::vector<int> types;
    bool json = false;
};

std::optional<SystemTime> ParseTime(const std::string& text) {
    unsigned y, mo, d, h, mi, s;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &s, &tail) !=
        6)
        return std::nullopt;
    SystemTime t;
    t.year = static_cast<std::uint16_t>(y);
    t.month = static_cast<std::uint16_t>(mo);
    t.day = static_cast<std::uint16_t>(d);
    t.hour = static_cast<std::uint16_t>(h);
    t.minute = static_cast<std::uint16_t>(mi);
    t.second = static_cast<std::uint16_t>(s);
    if (!AutomationSeconds(t)) return std::nullopt;
    return t;
}

// The type boxes ticked by a list of record types: 5, 6 and 7 share one box.
SearchTypeBoxes BoxesOf(const std::vector<int>& types) {
    SearchTypeBoxes boxes{};
    for (int t : types) {
        switch (t) {
            case Incoming:
                boxes[BoxIncoming] = true;
                break;
            case Outgoing:
                boxes[BoxOutgoing] = true;
                break;
            case Missed:
                boxes[BoxMissed] = true;
                break;
            case Note:
            case Note2:
            case Triggered:
                boxes[BoxNotes] = true;
                break;
            case Message:
                boxes[BoxMessage] = true;
                break;
            default:
                throw CLI::ValidationError("--types",
                                           "record types are 2 to 8, not " + std::to_string(t));
        }
    }
    return boxes;
}

SearchConditions ConditionsOf(const SearchOptions& o) {
    SearchConditions c;
    if (!o.from.empty() || !o.to.empty()) {
        c.dateCond = true;
        const auto from = o.from.empty()
                              ? std::optional<SystemTime>(SystemTime{1900, 1, 0, 1, 0, 0, 0, 0})
                              : ParseTime(o.from);
        const auto to = o.to.empty()
                            ? std::optional<SystemTime>(SystemTime{9999, 12, 0, 31, 23, 59, 59, 0})
                            : ParseTime(o.to);
        if (!from)
            throw CLI::ValidationError("--from",
                                       "expected \"YYYY-MM-DD hh:mm:ss\", got \"" + o.from + "\"");
        if (!to)
            throw CLI::ValidationError("--to",
                                       "expected \"YYYY-MM-DD hh:mm:ss\", got \"" + o.to + "\"");
        c.start = *from;
        c.end = *to;
    }
    c.numberCond = !o.number.empty();
    c.number = FromUtf8(o.number);
    if (!o.types.empty()) {
        c.typeCond = true;
        c.boxes = BoxesOf(o.types);
    }
    return c;
}

int RunSearch(const SearchOptions& o) {
    if (o.card.empty() == o.store.empty())
        throw CLI::ValidationError("search", "give either --card DIR or --store DIR --family N");
    if (!o.store.empty() && o.family != 0 && o.family != 1)
        throw CLI::ValidationError("--family", "--store needs --family 0 or 1");
    const SearchConditions conditions = ConditionsOf(o);

    // The records come from the same loader the program and `records` use.
    const auto loaded = LoadCardOrStore({o.card, o.store, o.family, {}});
    if (!loaded) return kExitFailure;
    const int devType = loaded->devType;
    if (!o.store.empty() && !loaded->storeIndexFound) {
        PrintError("no backup index file of family " + std::to_string(devType) + " under " +
                   o.store);
        return kExitFailure;
    }
    const RecordList& records = loaded->Records();

    RecordList matches;
    TerminalProgress bar("search");
    const SearchResult result = SearchThread(
        records, conditions,
        [&matches](const CallRecord& r) { matches.push_back(std::make_unique<CallRecord>(r)); },
        bar, {});
    bar.End();
    if (o.json) {
        WriteRecordsJson(std::cout, matches, devType);
    } else if (!result.searched) {
        std::cout << "no search condition given: nothing searched\n";
    } else {
        PrintRecordTable(std::cout, matches, devType);
        std::cout << matches.size() << " of " << records.size() << " records match\n";
    }
    return kExitOk;
}

}  // namespace

void AddSearchCommand(CLI::App& app, CommandContext& ctx) {
    auto o = std::make_shared<SearchOptions>();
    auto* cmd = app.add_subcommand(
        "search", "Find records by time range, part of the number and type (last record first)");
    cmd->add_option("--card", o->card, "Card folder");
    cmd->add_option("--store", o->store, "Backup folder holding the store (the BackupPath)");
    cmd->add_option("--family", o->family, "Device family of the store: 0 or 1");
    cmd->add_option("--from", o->from,
                    "Start of the time range, \"YYYY-MM-DD hh:mm:ss\" (included)");
    cmd->add_option("--to", o->to, "End of the time range, \"YYYY-MM-DD hh:mm:ss\" (included)");
    cmd->add_option("--number", o->number, "Part of the number (exact characters)");
    cmd->add_option("--types", o->types, "Record types, e.g. 2,3,4 (5, 6 and 7 go together)")
        ->delimiter(',');
    cmd->add_flag("--json", o->json, "Print JSON");
    cmd->callback([o, &ctx] { ctx.exitCode = RunSearch(*o); });
}

}  // namespace lk::cli
