#include "RecordFormat.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <vector>

#include "app/LangString.h"
#include "app/Settings.h"
#include "platform/DurationText.h"
#include "platform/TextCodec.h"

namespace lk::cli {

namespace {

constexpr int kFirstTypeString = 18;  // texts 18..24 name types 2..8
constexpr std::size_t kRemarkMarker = 5;
constexpr std::size_t kRemarkBytes = 8;
constexpr std::size_t kRemarkSize = 32;

// Display width in characters, so UTF-8 names line up.
std::size_t Width(const std::string& s) {
    return static_cast<std::size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

std::string TimeText(const SystemTime& t) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

RecordTexts RecordTexts::Load() {
    RecordTexts texts;
    for (int type = Incoming; type <= Message; ++type)
        texts.typeNames[static_cast<std::size_t>(type - Incoming)] =
            LangString(kFirstTypeString + type - Incoming);
    texts.codePage = CardCodePage();
    return texts;
}

std::string TypeName(int type) {
    return TypeName(type, RecordTexts::Load());
}

std::string TypeName(int type, const RecordTexts& texts) {
    if (type >= Incoming && type <= Message) {
        const auto& name = texts.typeNames[static_cast<std::size_t>(type - Incoming)];
        if (!name.empty()) return name;
    }
    return std::to_string(type);
}

std::string RemarkText(const CallRecord& r, int devType) {
    return RemarkText(r, devType, CardCodePage());
}

std::string RemarkText(const CallRecord& r, int devType, const std::string& codePage) {
    const auto& b = r.cardBytes;
    if (devType != 1 || b[kRemarkMarker] != 'R' || b[kRemarkMarker + 1] != 'M' ||
        b[kRemarkMarker + 2] != ':')
        return "";
    ByteSpan remark(b.data() + kRemarkBytes, kRemarkSize);
    const auto end = std::find(remark.begin(), remark.end(), std::uint8_t{0});
    return ToUtf8(
        DecodeCodePage(remark.first(static_cast<std::size_t>(end - remark.begin())), codePage));
}

nlohmann::json RecordToJson(const CallRecord& r, int devType) {
    return RecordToJson(r, devType, RecordTexts::Load());
}

nlohmann::json RecordToJson(const CallRecord& r, int devType, const RecordTexts& texts) {
    return nlohmann::json{
        {"index", r.index},
        {"type", r.type},
        {"status", r.status},
        {"marked", r.marked},
        {"time", TimeText(r.time)},
        {"number", ToUtf8(FieldText(r.number))},
        {"name", ToUtf8(FieldText(r.name))},
        {"callSeconds", r.callSeconds},
        {"recordSeconds", r.recordSeconds},
        {"cardPath", ToUtf8(FieldText(r.cardPath))},
        {"filePath", ToUtf8(FieldText(r.filePath))},
        {"remark", RemarkText(r, devType, texts.codePage)},
    };
}

void WriteRecordsJson(std::ostream& out, const RecordList& records, int devType) {
    WriteRecordsJson(out, records, devType, {});
}

void WriteRecordsJson(std::ostream& out, const RecordList& records, int devType,
                      const RecordJsonExtra& extra) {
    if (records.empty()) {
        out << "[]\n";
        return;
    }
    const RecordTexts texts = RecordTexts::Load();
    out << "[\n";
    std::string text;
    for (std::size_t i = 0; i < records.size(); ++i) {
        // An element of an array printed with indent 2 is the object printed
        // alone, each line moved in by two. Strings hold no raw line breaks.
        nlohmann::json json = RecordToJson(*records[i], devType, texts);
        if (extra) extra(*records[i], json);
        const std::string object =
            json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        text.assign("  ");
        for (const char c : object) {
            text += c;
            if (c == '\n') text += "  ";
        }
        text += i + 1 < records.size() ? ",\n" : "\n";
        out << text;
    }
    out << "]\n";
}

void PrintRecordTable(std::ostream& out, const RecordList& records, int devType) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"#", "Type", "Date and time", "Number", "Name", "Call", "Recorded", "Path"});
    if (devType == 1) rows.front().push_back("Remark");
    const RecordTexts texts = RecordTexts::Load();
    for (const auto& r : records) {
        std::vector<std::string> row{std::to_string(r->index),
                                     TypeName(r->type, texts),
                                     TimeText(r->time),
                                     ToUtf8(FieldText(r->number)),
                                     ToUtf8(FieldText(r->name)),
                                     DurationText(r->callSeconds),
                                     DurationText(r->recordSeconds),
                                     ToUtf8(FieldText(r->filePath))};
        if (devType == 1) row.push_back(RemarkText(*r, devType, texts.codePage));
        rows.push_back(std::move(row));
    }
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], Width(row[i]));
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - Width(row[i]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out << line << '\n';
    }
}

}  // namespace lk::cli
