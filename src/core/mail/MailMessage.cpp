#include "mail/MailMessage.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "app/LangString.h"
#include "app/Settings.h"
#include "card/BackupStore.h"
#include "card/RecordCommands.h"
#include "export/AudioExport.h"
#include "export/ConvertXtrToWav.h"
#include "platform/DurationText.h"
#include "platform/TextCodec.h"
#include "playback/XtrFormat.h"

#include <fcntl.h>

namespace lk {
namespace fs = std::filesystem;

namespace {

std::string Format(const char* format, auto... values) {
    const int n = std::snprintf(nullptr, 0, format, values...);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, values...);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string ConversionFailureText(ConvertResult result) {
    switch (result) {
        case ConvertResult::SourceOpenFailed:
            return "the file cannot be read";
        case ConvertResult::SourceTooSmall:
            return "too short to hold a recording";
        case ConvertResult::OutOfMemory:
            return "out of memory while converting";
        case ConvertResult::WriteFailed:
            return "its WAV copy cannot be written";
        case ConvertResult::NotConverted:
        case ConvertResult::Converted:
            break;
    }
    return "its encoding has no WAV form";
}

}  // namespace

MailLabels MailLabels::Load(int devType) {
    MailLabels l;
    l.time = LangString(11);
    l.number = LangString(12);
    l.callLength = LangString(13);
    l.type = LangString(16);
    for (int t = Incoming; t <= Message; ++t)
        l.typeNames[static_cast<std::size_t>(t)] = LangString(18 + t - Incoming);
    l.device = DeviceDisplayName(devType);
    l.company = CompanyName();
    l.web = CompanyWeb();
    l.note = LangString(800);
    if (l.note.empty()) l.note = "Note";
    l.tags = LangString(801);
    if (l.tags.empty()) l.tags = "Tags";
    return l;
}

std::string BuildMailBody(const std::vector<CallRecord>& records, const MailLabels& labels) {
    return BuildMailBody(records, labels, {});
}

std::string BuildMailBody(const std::vector<CallRecord>& records, const MailLabels& labels,
                          const std::vector<MailCallNote>& notes) {
    std::string body;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const CallRecord& r = records[i];
        const auto& t = r.time;
        body += Format("%s:%04d/%02d/%02d %02d:%02d:%02d", labels.time.c_str(), int{t.year},
                       int{t.month}, int{t.day}, int{t.hour}, int{t.minute}, int{t.second});
        body += Format("\r\n%s:%s %s", labels.number.c_str(), ToUtf8(FieldText(r.number)).c_str(),
                       ToUtf8(FieldText(r.name)).c_str());
        body += Format("\r\n%s:%s", labels.callLength.c_str(), DurationText(r.callSeconds).c_str());
        if (r.type >= Incoming && r.type <= Message)
            body += Format("\r\n%s:%s", labels.type.c_str(),
                           labels.typeNames[static_cast<std::size_t>(r.type)].c_str());
        if (i < notes.size() && !notes[i].note.empty()) {
            // The body's line ends are CR LF throughout, the note's included.
            body += "\r\n" + labels.note + ":";
            for (const char c : notes[i].note)
                body += c == '\n' ? std::string("\r\n") : std::string(1, c);
        }
        if (i < notes.size() && !notes[i].tags.empty())
            body += "\r\n" + labels.tags + ":" + notes[i].tags;
        body += "\r\n\r\n";
    }
    body += Format("\r\n%s\r\n%s\r\n%s", labels.device.c_str(), labels.company.c_str(),
                   labels.web.c_str());
    return body;
}

fs::path MakeTempWavPath(const fs::path& scratch, const std::u16string& recording) {
    std::string folder = scratch.string();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return fs::path(ExportDestination(folder, ToUtf8(recording)));
}

MailAttachments PrepareMailAttachments(const std::vector<CallRecord>& records, bool asRecorded,
                                       const fs::path& scratch) {
    return PrepareMailAttachments(records, asRecorded ? MailAttachAs::Recorded : MailAttachAs::Wav,
                                  scratch);
}

MailAttachAs MailAttachAsByName(std::string_view name) {
    for (const auto as :
         {MailAttachAs::Wav, MailAttachAs::Recorded, MailAttachAs::Mp3, MailAttachAs::Opus})
        if (MailAttachAsName(as) == name) return as;
    return MailAttachAs::Wav;
}

std::string_view MailAttachAsName(MailAttachAs as) {
    switch (as) {
        case MailAttachAs::Recorded:
            return "recorded";
        case MailAttachAs::Mp3:
            return "mp3";
        case MailAttachAs::Opus:
            return "opus";
        case MailAttachAs::Wav:
            break;
    }
    return "wav";
}

MailAttachments PrepareMailAttachments(const std::vector<CallRecord>& records, MailAttachAs as,
                                       const fs::path& scratch) {
    const bool asRecorded = as == MailAttachAs::Recorded;
    MailAttachments out;
    for (const CallRecord& r : records) {
        const std::u16string text = FieldText(r.filePath);
        // The store's empty marker stands for a call without a recording.
        if (text.empty() || IsMarkerPath(text)) continue;
        // Only a regular file below the card or store the record came from.
        const RootedPathResult recording = RecordingOf(r);
        if (!recording.path) {
            out.leftOut.push_back({fs::path(ToUtf8(text)), recording.reason});
            continue;
        }
        if (recording.path->NamesNoFile()) continue;  // a call without a recording
        const fs::path p = recording.path->Full();
        RegularFileOpen opened = recording.path->Open(O_RDONLY);
        if (!opened.Ok()) {
            // A missed call has no recording, whatever its log entry names.
            if (opened.error != ENOENT && opened.error != ENOTDIR)
                out.leftOut.push_back({p, opened.reason});
            else if (r.type != Missed)
                out.leftOut.push_back({p, "the file is missing"});
            continue;
        }
        if (as == MailAttachAs::Mp3 || as == MailAttachAs::Opus) {
            const auto format = as == MailAttachAs::Mp3 ? AudioFormat::Mp3 : AudioFormat::Opus;
            const auto ext = "." + std::string(AudioFormatName(format));
            fs::path t =
                scratch / (fs::path(ExportDestination("", ToUtf8(text))).stem().string() + ext);
            const auto stem = t.stem().string();
            for (int n = 2;
                 std::find(out.temporary.begin(), out.temporary.end(), t) != out.temporary.end();
                 ++n)
                t.replace_filename(stem + "_" + std::to_string(n) + ext);
            std::error_code ec;
            fs::remove(t, ec);
            const auto written = ExportRecordingAs(p, t, format);
            if (!written.Ok()) {
                out.leftOut.push_back({p, written.reason});
                continue;
            }
            out.files.push_back(t);
            out.temporary.push_back(t);
            continue;
        }
        if (asRecorded || !IsXtrPath(ToUtf8(text))) {
            out.files.push_back(p);
            continue;
        }
        fs::path t = MakeTempWavPath(scratch, text);
        // Recordings of one name from two folders must not share a copy:
        // the later conversion would replace the earlier in both attachments.
        const auto stem = t.stem().string();
        for (int n = 2;
             std::find(out.temporary.begin(), out.temporary.end(), t) != out.temporary.end(); ++n)
            t.replace_filename(stem + "_" + std::to_string(n) + ".wav");
        std::error_code ec;
        fs::remove(t, ec);
        // A failed conversion writes nothing, so there is nothing to attach.
        if (const ConvertResult converted = ConvertXtrToWav(std::move(opened), t);
            converted != ConvertResult::Converted) {
            out.leftOut.push_back({p, ConversionFailureText(converted)});
            continue;
        }
        out.files.push_back(t);
        out.temporary.push_back(t);
    }
    return out;
}

void RemoveTemporaryFiles(const std::vector<fs::path>& files) {
    for (const auto& f : files) {
        std::error_code ec;
        fs::remove(f, ec);
    }
}

}  // namespace lk
