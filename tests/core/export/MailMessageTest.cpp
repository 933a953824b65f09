#include "mail/MailMessage.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "export/ConvertXtrToWav.h"
#include "export/RecordingWriter.h"
#include "mail/EmlDraft.h"
#include "platform/TextCodec.h"
#include "playback/XtrFormat.h"
#include "support/RunPython.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

MailLabels Labels() {
    MailLabels l;
    l.time = "Date";
    l.number = "Number";
    l.callLength = "Length";
    l.type = "Type";
    const char* names[] = {"Incoming", "Missed",    "Outgoing", "Note",
                           "Note 2",   "Triggered", "Message"};
    for (int t = Incoming; t <= Message; ++t)
        l.typeNames[static_cast<std::size_t>(t)] = names[t - Incoming];
    l.device = "Call Recorder";
    l.company = "Example Ltd";
    l.web = "http://example.org/";
    return l;
}

CallRecord Record(int type, std::u16string number, std::u16string name, int seconds,
                  const fs::path& file = {}) {
    CallRecord r;
    r.type = type;
    r.time = SystemTime{2016, 6, 4, 16, 10, 20, 30, 0};
    SetFieldText(r.number, number);
    SetFieldText(r.name, name);
    r.callSeconds = seconds;
    SetFieldText(r.filePath, FromUtf8(file.string()));
    // As a loader hands it out: read from a card whose root holds the file.
    auto source = std::make_shared<RecordSourceFile>();
    source->root = file.parent_path();
    r.origin = RecordOrigin{source, 0};
    return r;
}

std::vector<std::int16_t> Tone(std::size_t n) {
    std::vector<std::int16_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::int16_t>(((i / 16) % 2 ? 1 : -1) * 3000 + static_cast<int>(i % 61));
    return v;
}

TEST(MailBody, DescribesEachCallThenTheSettings) {
    struct Case {
        const char* what;
        std::vector<CallRecord> records;
        std::string body;
    } const cases[] = {
        {"one incoming call",
         {Record(Incoming, u"5550142", u"Ann", 65)},
         "Date:2016/06/16 10:20:30\r\nNumber:5550142 Ann\r\nLength:00:01:05\r\nType:Incoming\r\n"
         "\r\n\r\nCall Recorder\r\nExample Ltd\r\nhttp://example.org/"},
        {"no name keeps the blank; hours",
         {Record(Missed, u"1", u"", 3600 * 2 + 61)},
         "Date:2016/06/16 10:20:30\r\nNumber:1 \r\nLength:02:01:01\r\nType:Missed\r\n\r\n"
         "\r\nCall Recorder\r\nExample Ltd\r\nhttp://example.org/"},
        {"an unknown type has no type line",
         {Record(9, u"2", u"Bo", 0), Record(Message, u"3", u"Ça", 5)},
         "Date:2016/06/16 10:20:30\r\nNumber:2 Bo\r\nLength:00:00:00\r\n\r\n"
         "Date:2016/06/16 10:20:30\r\nNumber:3 Ça\r\nLength:00:00:05\r\nType:Message\r\n\r\n"
         "\r\nCall Recorder\r\nExample Ltd\r\nhttp://example.org/"},
        {"no records", {}, "\r\nCall Recorder\r\nExample Ltd\r\nhttp://example.org/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildMailBody(c.records, Labels()), c.body) << c.what;
}

TEST(MailBody, HasNoSizeLimit) {
    auto labels = Labels();
    labels.company = std::string(5000, 'c');
    const std::string body = BuildMailBody({Record(Incoming, u"1", u"", 1)}, labels);
    EXPECT_NE(body.find(std::string(5000, 'c')), std::string::npos);
}

TEST(MailAttachments, TempWavPathTakesTheFileName) {
    struct Case {
        std::u16string recording;
        std::string path;
    } const cases[] = {
        {u"/card/201606/20160616-I-555.xtr", "/s/temp/20160616-I-555.wav"},
        {u"E:\\201606\\20160616-I-555.xtr", "/s/temp/20160616-I-555.wav"},
        {u"a.xtr.xtr", "/s/temp/a.wav.wav"},
        {u"/card/b.wav", "/s/temp/b.wav"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeTempWavPath("/s/temp", c.recording).string(), c.path);
    EXPECT_EQ(MakeTempWavPath("/s/temp/", u"x.xtr").string(), "/s/temp/x.wav");
}

struct MailFiles {
    test::TempDir card, scratch;
    fs::path wav, gsm, ima, alaw, tiny, gone;
    MailFiles() {
        wav = card / "20160616102030-I-1.wav";
        gsm = card / "20160616102031-I-2.xtr";
        ima = card / "20160616102032-O-3.xtr";
        alaw = card / "20160616102033-O-4.xtr";
        tiny = card / "20160616102034-O-5.xtr";
        gone = card / "20160616102035-O-6.xtr";
        test::WriteFile(wav, BuildWavRecording(Tone(8000 * 2)));
        test::WriteFile(gsm, BuildXtrRecording(kFormatGsm, Tone(8000 * 2)));
        test::WriteFile(ima, BuildXtrRecording(kFormatImaAdpcm, Tone(8000 * 3)));
        // An encoding without a WAV form.
        test::WriteFile(alaw, BuildXtrImage(2, std::vector<std::uint8_t>(4000, 0x55)));
        std::vector<std::uint8_t> small(1440 + 20, 0);
        test::WriteFile(tiny, small);
    }
};

TEST(MailAttachments, FollowTheRecordingsAndTheCommand) {
    MailFiles f;
    const std::vector<CallRecord> records{
        Record(Incoming, u"1", u"", 1, f.wav),
        Record(Incoming, u"2", u"", 1, f.gsm),
        Record(Outgoing, u"3", u"", 1, f.ima),
        Record(Outgoing, u"4", u"", 1, f.alaw),
        Record(Outgoing, u"5", u"", 1, f.tiny),
        Record(Outgoing, u"6", u"", 1, f.gone),
        Record(Note, u"", u"", 1),
        Record(Missed, u"7", u"", 1, f.card / "20160616102036-I-7.xtr"),
    };
    const auto gsmCopy = f.scratch / "20160616102031-I-2.wav";
    const auto imaCopy = f.scratch / "20160616102032-O-3.wav";

    // As WAV: the .wav itself, converted copies of the .xtr recordings; the
    // one without a WAV form, the too small one and the deleted one are left out.
    auto asWav = PrepareMailAttachments(records, false, f.scratch.path());
    EXPECT_EQ(asWav.files, (std::vector<fs::path>{f.wav, gsmCopy, imaCopy}));
    EXPECT_EQ(asWav.temporary, (std::vector<fs::path>{gsmCopy, imaCopy}));
    // Each recording left out is named with its reason; the note and the
    // missed call name none.
    const auto leftOut = [](const MailAttachments& a) {
        std::vector<std::pair<fs::path, std::string>> list;
        for (const auto& l : a.leftOut)
            list.emplace_back(l.recording, l.reason);
        return list;
    };
    EXPECT_EQ(leftOut(asWav), (std::vector<std::pair<fs::path, std::string>>{
                                  {f.alaw, "its encoding has no WAV form"},
                                  {f.tiny, "too short to hold a recording"},
                                  {f.gone, "the file is missing"}}));
    test::TempDir reference;
    for (const auto& [source, copy] : {std::pair{f.gsm, gsmCopy}, std::pair{f.ima, imaCopy}}) {
        ASSERT_EQ(ConvertXtrToWav(source, reference / "r.wav"), ConvertResult::Converted);
        EXPECT_EQ(test::ReadFile(copy), test::ReadFile(reference / "r.wav")) << copy;
    }
    RemoveTemporaryFiles(asWav.temporary);
    EXPECT_FALSE(fs::exists(gsmCopy));
    EXPECT_FALSE(fs::exists(imaCopy));
    EXPECT_TRUE(fs::exists(f.gsm));

    // As recorded: every file that exists, unchanged, and nothing made.
    auto asRecorded = PrepareMailAttachments(records, true, f.scratch.path());
    EXPECT_EQ(asRecorded.files, (std::vector<fs::path>{f.wav, f.gsm, f.ima, f.alaw, f.tiny}));
    EXPECT_TRUE(asRecorded.temporary.empty());
    EXPECT_EQ(leftOut(asRecorded),
              (std::vector<std::pair<fs::path, std::string>>{{f.gone, "the file is missing"}}));
    // A folder in place of a recording is not attached either way.
    fs::create_directory(f.card / "dir.xtr");
    for (const bool asIs : {false, true}) {
        const auto folder = PrepareMailAttachments(
            {Record(Incoming, u"8", u"", 1, f.card / "dir.xtr")}, asIs, f.scratch.path());
        EXPECT_TRUE(folder.files.empty());
        EXPECT_EQ(leftOut(folder), (std::vector<std::pair<fs::path, std::string>>{
                                       {f.card / "dir.xtr", "not a regular file"}}));
    }
    // The store's empty marker of a call without a recording is no attachment.
    test::WriteText(f.card / "20160616102031-I-2.wav.tmp", "");
    for (const bool asIs : {false, true}) {
        const auto marker = PrepareMailAttachments(
            {Record(Incoming, u"9", u"", 1, f.card / "20160616102031-I-2.wav.tmp")}, asIs,
            f.scratch.path());
        EXPECT_TRUE(marker.files.empty());
        EXPECT_TRUE(marker.leftOut.empty());
    }
    EXPECT_TRUE(fs::is_empty(f.scratch.path()));
}

TEST(MailAttachments, CompactCopiesOfEveryRecordingThatDecodes) {
    MailFiles f;
    const std::vector<CallRecord> records{
        Record(Incoming, u"1", u"", 1, f.wav),
        Record(Incoming, u"2", u"", 1, f.gsm),
        Record(Outgoing, u"3", u"", 1, f.ima),
        Record(Outgoing, u"6", u"", 1, f.gone),
    };
    for (const auto as : {MailAttachAs::Mp3, MailAttachAs::Opus}) {
        const std::string ext = as == MailAttachAs::Mp3 ? ".mp3" : ".opus";
        SCOPED_TRACE(ext);
        const auto got = PrepareMailAttachments(records, as, f.scratch.path());
        const std::vector<fs::path> want{f.scratch / ("20160616102030-I-1" + ext),
                                         f.scratch / ("20160616102031-I-2" + ext),
                                         f.scratch / ("20160616102032-O-3" + ext)};
        EXPECT_EQ(got.files, want);
        EXPECT_EQ(got.temporary, want);
        for (const auto& file : want)
            EXPECT_GT(fs::file_size(file), 100u);
        ASSERT_EQ(got.leftOut.size(), 1u);
        EXPECT_EQ(got.leftOut[0].recording, f.gone);
        // Mailed again: the copies of the mail before give way to new ones.
        EXPECT_EQ(PrepareMailAttachments(records, as, f.scratch.path()).files, want);
        RemoveTemporaryFiles(got.temporary);
    }
    EXPECT_EQ(MailAttachAsByName("opus"), MailAttachAs::Opus);
    EXPECT_EQ(MailAttachAsByName("nonsense"), MailAttachAs::Wav);
}

TEST(MailAttachments, AStaleCopyIsReplaced) {
    MailFiles f;
    const auto copy = f.scratch / "20160616102031-I-2.wav";
    test::WriteText(copy, "stale");
    const auto got =
        PrepareMailAttachments({Record(Incoming, u"2", u"", 1, f.gsm)}, false, f.scratch.path());
    ASSERT_EQ(got.files.size(), 1u);
    EXPECT_NE(test::ReadText(copy), "stale");
    // A conversion that fails removes the stale copy rather than mailing it.
    test::WriteText(copy, "stale");
    test::WriteFile(f.gsm, std::vector<std::uint8_t>(1440 + 10, 0));
    const auto none =
        PrepareMailAttachments({Record(Incoming, u"2", u"", 1, f.gsm)}, false, f.scratch.path());
    EXPECT_TRUE(none.files.empty());
    EXPECT_FALSE(fs::exists(copy));
}

TEST(MailAttachments, RecordingsOfOneNameInTwoFoldersGetACopyEach) {
    MailFiles f;
    test::TempDir other;
    const auto twin = other / "20160616102031-I-2.xtr";  // the name of f.gsm
    test::WriteFile(twin, BuildXtrRecording(kFormatImaAdpcm, Tone(8000 * 3)));
    const auto got = PrepareMailAttachments(
        {Record(Incoming, u"2", u"", 1, f.gsm), Record(Incoming, u"2", u"", 1, twin)}, false,
        f.scratch.path());
    const std::vector<fs::path> copies{f.scratch / "20160616102031-I-2.wav",
                                       f.scratch / "20160616102031-I-2_2.wav"};
    ASSERT_EQ(got.files, copies);
    EXPECT_EQ(got.temporary, copies);
    test::TempDir reference;
    for (const auto& [source, copy] : {std::pair{f.gsm, copies[0]}, std::pair{twin, copies[1]}}) {
        ASSERT_EQ(ConvertXtrToWav(source, reference / "r.wav"), ConvertResult::Converted);
        EXPECT_EQ(test::ReadFile(copy), test::ReadFile(reference / "r.wav")) << copy;
    }
}

// The draft read back by Python's email package, an independent MIME parser.
constexpr char kReadDraftScript[] = R"PY(
import email, email.policy, json, sys, hashlib
raw = open(sys.argv[1], 'rb').read()
msg = email.message_from_bytes(raw, policy=email.policy.default)
parts = list(msg.iter_parts())
body = parts[0].get_payload(decode=True).decode('utf-8')
out = {"subject": str(msg["subject"]), "unsent": msg["X-Unsent"],
       "type": msg.get_content_type(), "body": body,
       "bodyType": parts[0].get_content_type(), "attachments": []}
for p in parts[1:]:
    data = p.get_payload(decode=True)
    out["attachments"].append({"name": p.get_filename(), "type": p.get_content_type(),
                               "disposition": p.get_content_disposition(),
                               "bytes": data.hex()})
print(json.dumps(out))
)PY";

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string s;
    for (const auto b : bytes) {
        s += kHex[b >> 4];
        s += kHex[b & 15];
    }
    return s;
}

TEST(EmlDraft, ParsesBackToTheSameMessage) {
    MailFiles f;
    const auto odd = f.card / "Anruf \"Müller\".wav";
    test::WriteFile(odd, BuildWavRecording(Tone(8001)));
    struct Case {
        const char* what;
        std::string subject, body;
        std::vector<fs::path> attachments;
    } const cases[] = {
        {"the mail of two calls",
         kMailSubject,
         BuildMailBody({Record(Incoming, u"1", u"Zoë", 65), Record(Note, u"", u"", 3)}, Labels()),
         {f.wav, f.gsm}},
        {"no attachment at all", kMailSubject, "Date:2016/06/16\r\n\r\nend", {}},
        {"a non-ASCII subject and file name", "Aufnahmen für Zoë", "x\r\ny", {odd}},
        {"a line beyond the line limit", kMailSubject, std::string(3000, 'a') + "\r\nb", {}},
    };
    for (const auto& c : cases) {
        test::TempDir out;
        MailMessage m;
        m.subject = c.subject;
        m.body = c.body;
        m.attachments = c.attachments;
        ASSERT_EQ(WriteEmlDraft(out / "d.eml", m), EmlResult::Written) << c.what;
        const auto run = test::RunPython(kReadDraftScript, {(out / "d.eml").string()});
        ASSERT_EQ(run.exitCode, 0) << c.what << ": " << run.err;
        const auto j = nlohmann::json::parse(run.out);
        EXPECT_EQ(j["subject"], c.subject) << c.what;
        EXPECT_EQ(j["unsent"], "1") << c.what;
        EXPECT_EQ(j["type"], "multipart/mixed") << c.what;
        EXPECT_EQ(j["bodyType"], "text/plain") << c.what;
        // The body keeps its CR LF line ends exactly.
        std::string body = j["body"];
        if (body.size() == c.body.size() + 2 && body.ends_with("\r\n")) body.resize(c.body.size());
        EXPECT_EQ(body, c.body) << c.what;
        ASSERT_EQ(j["attachments"].size(), c.attachments.size()) << c.what;
        for (std::size_t i = 0; i < c.attachments.size(); ++i) {
            const auto& a = j["attachments"][i];
            EXPECT_EQ(a["name"], c.attachments[i].filename().string()) << c.what;
            EXPECT_EQ(a["disposition"], "attachment") << c.what;
            EXPECT_EQ(a["bytes"], Hex(test::ReadFile(c.attachments[i]))) << c.what;
        }
    }
}

TEST(EmlDraft, AnUnreadableAttachmentWritesNothing) {
    test::TempDir out;
    MailMessage m;
    m.body = "b";
    m.attachments = {out / "missing.wav"};
    EXPECT_EQ(WriteEmlDraft(out / "d.eml", m), EmlResult::AttachmentUnreadable);
    EXPECT_TRUE(fs::is_empty(out.path()));
    m.attachments.clear();
    test::WriteText(out / "file", "x");
    EXPECT_EQ(WriteEmlDraft(out / "file" / "d.eml", m), EmlResult::WriteFailed);
}

TEST(EmlDraft, Base64LinesAndHeaderWords) {
    struct Case {
        std::string in, out;
    } const cases[] = {
        {"", ""},
        {"f", "Zg==\r\n"},
        {"fo", "Zm8=\r\n"},
        {"foo", "Zm9v\r\n"},
        {std::string(57, '\0'), std::string(76, 'A') + "\r\n"},
        {std::string(58, '\0'), std::string(76, 'A') + "\r\nAA==\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Base64Lines(c.in), c.out) << c.in.size();
    EXPECT_EQ(HeaderText("Zuze Vavazo Records"), "Zuze Vavazo Records");
    EXPECT_EQ(HeaderText("Zoë"), "=?UTF-8?B?Wm/Dqw==?=");
}

}  // namespace
}  // namespace lk
