#pragma once
// The e-mail that carries recordings: a fixed subject, a body that describes
// each call, and the recording files (or WAV copies of them) as attachments.

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "card/CallRecord.h"

namespace lk {

inline constexpr char kMailSubject[] = "Zuze Vavazo Records";

struct MailMessage {
    std::string subject = kMailSubject;
    std::string body;  // UTF-8, CR LF line ends
    std::vector<std::filesystem::path> attachments;
};

// The texts the body is made of (UTF-8).
struct MailLabels {
    std::string time, number, callLength, type;  // texts 11, 12, 13, 16
    std::array<std::string, 9> typeNames;        // by record type 2-8 (texts 18-24)
    std::string device, company, web;            // the three setting lines
    std::string note, tags;                      // texts 800, 801
    // From the language file and the settings; `devType` picks the device name.
    static MailLabels Load(int devType);
};

// Four lines and a blank line per record, then the device, company and web lines.
std::string BuildMailBody(const std::vector<CallRecord>& records, const MailLabels& labels);

// What the office wrote about a call (UTF-8; empty: nothing to add).
struct MailCallNote {
    std::string note;  // may hold line breaks
    std::string tags;  // joined with ", "
};
// The same, each call's note and tags after its lines; `notes` runs parallel
// to `records` (missing entries add nothing).
std::string BuildMailBody(const std::vector<CallRecord>& records, const MailLabels& labels,
                          const std::vector<MailCallNote>& notes);

// The WAV copy of `recording` in the scratch folder: its file name (after the
// last '\' or '/') with every ".xtr" made ".wav".
std::filesystem::path MakeTempWavPath(const std::filesystem::path& scratch,
                                      const std::u16string& recording);

// A recording that the mail does not carry, and why (a short English text).
struct MailLeftOut {
    std::filesystem::path recording;
    std::string reason;
};

struct MailAttachments {
    std::vector<std::filesystem::path> files;      // in record order
    std::vector<std::filesystem::path> temporary;  // WAV copies made for the mail
    std::vector<MailLeftOut> leftOut;              // in record order
};

// Attaches each record's recording: with `asRecorded`, or for a recording
// that is not .xtr, the file itself; else a WAV copy written to `scratch`.
// A recording that is missing, not a regular file or cannot be converted is
// left out and listed in `leftOut`; a record naming no recording adds nothing.
MailAttachments PrepareMailAttachments(const std::vector<CallRecord>& records, bool asRecorded,
                                       const std::filesystem::path& scratch);

// How the recordings travel: WAV copies (as above), the files as recorded,
// or compact MP3 or Opus copies written to `scratch` (any recording).
enum class MailAttachAs { Wav, Recorded, Mp3, Opus };
MailAttachments PrepareMailAttachments(const std::vector<CallRecord>& records, MailAttachAs as,
                                       const std::filesystem::path& scratch);
// "wav", "recorded", "mp3", "opus"; Wav for any other text.
MailAttachAs MailAttachAsByName(std::string_view name);
std::string_view MailAttachAsName(MailAttachAs as);

// Removes the files, ignoring those already gone.
void RemoveTemporaryFiles(const std::vector<std::filesystem::path>& files);

}  // namespace lk
