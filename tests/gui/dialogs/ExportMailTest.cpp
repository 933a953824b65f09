// Export to Spreadsheet and E-mail from the window, on a generated card:
// the sheet read back with openpyxl, the mail through a stand-in portal on a
// private bus and through stand-in ways that record what they were given.

#include <signal.h>

#include <QDate>
#include <QProcess>
#include <QStatusBar>
#include <atomic>

#include "GuiFixture.h"
#include "app/ExeDir.h"
#include "dialogs/MailSender.h"
#include "dialogs/ProgressDialog.h"
#include "dialogs/SheetExport.h"
#include "export/ConvertXtrToWav.h"
#include "export/RecordingWriter.h"
#include "mail/EmlDraft.h"
#include "mail/MailMessage.h"
#include "platform/TextCodec.h"
#include "playback/XtrFormat.h"
#include "support/Commands.h"
#include "support/GuiText.h"
#include "support/Icons.h"
#include "support/MailPortal.h"
#include "support/SheetReadBack.h"
#include "widgets/CSortListCtrl.h"

namespace lk::gui::test {
namespace {

namespace fs = std::filesystem;

const std::vector<CardCall> kCalls = {
    {Incoming, 0, 1}, {Missed, 1, 2},  {Outgoing, 0, 3},
    {Note, 0, 4},     {Message, 1, 5}, {Incoming, 0, 6, 10, u"00123", false},
};

class ExportMail : public WindowTest {
  protected:
    void LoadCard() {
        WriteCard(card.path(), kCalls);
        ASSERT_TRUE(StartWithCard());
        ASSERT_EQ(rows(1), static_cast<int>(kCalls.size()));
    }

    // Exports with the save dialog answered by `target`; waits for the end.
    bool Export(const fs::path& target, int command = CmdExportSheet) {
        SheetExport* e = view().SheetExporter();
        chooserCalls = 0;
        e->SetPathChooser([this, target](QWidget*, const QString& proposed) {
            ++chooserCalls;
            proposedPath = proposed;
            return QString::fromStdString(target.string());
        });
        e->SetOpener([this](const QString& path) {
            opened.push_back(path);
            return openerAnswer;
        });
        finished = false;
        QObject::connect(
            e, &SheetExport::Finished, e, [this] { finished = true; }, Qt::SingleShotConnection);
        view().OnCommand(command);
        if (chooserCalls == 0) return false;
        return WaitFor([this] { return finished; });
    }

    // The list as the sheet must hold it.
    std::vector<std::vector<std::string>> ExpectedGrid(const CSortListCtrl* list) {
        std::vector<std::vector<std::string>> grid;
        std::vector<std::string> head;
        for (int c = 0; c < list->ColumnCount(); ++c)
            head.push_back(list->ColumnHeading(c).toStdString());
        grid.push_back(head);
        for (int r = 0; r < list->RowCount(); ++r) {
            std::vector<std::string> row;
            for (int c = 0; c < list->ColumnCount(); ++c)
                row.push_back(list->CellText(r, c).toStdString());
            row[0] = list->CellImage(r, 0) == IconMarked ? Lang(17).toStdString() : "";
            row[1] = "";
            grid.push_back(row);
        }
        return grid;
    }

    int chooserCalls = 0;
    QString proposedPath;
    std::vector<QString> opened;
    bool openerAnswer = true;
    bool finished = false;
};

bool HaveOpenpyxl() {
    static const bool have = lk::test::PythonHasModule("openpyxl");
    return have;
}

TEST_F(ExportMail, SheetHoldsTheListInItsSortedOrder) {
    if (!HaveOpenpyxl()) GTEST_SKIP() << "python3-openpyxl is not installed";
    LoadCard();
    CSortListCtrl* list = pane(1).List();
    list->SortByColumn(4, true);  // the user sorted by number
    const auto out = backup / "sheet.xlsx";
    ASSERT_TRUE(Export(out));
    EXPECT_TRUE(proposedPath.endsWith(
        QStringLiteral("Calls %1.xlsx").arg(QDate::currentDate().toString("yyyy-MM-dd"))));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toStdString(), out.string());
    // One summary: the rows written and where.
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("%1 6").arg(Lang(351))));
    EXPECT_TRUE(messages[0].text.contains(QString::fromStdString(out.string())));
    EXPECT_TRUE(frame().Progress()->isHidden());
    EXPECT_EQ(frame().Progress()->Text(), "6/6");

    const auto sheet = lk::test::ReadSheetBack(out);
    ASSERT_FALSE(sheet.contains("error")) << sheet["error"];
    const auto expected = ExpectedGrid(list);
    ASSERT_EQ(sheet["rows"], static_cast<int>(expected.size()));
    ASSERT_EQ(sheet["cols"], 9);
    for (std::size_t r = 0; r < expected.size(); ++r)
        for (std::size_t c = 0; c < 9; ++c)
            EXPECT_EQ(sheet["cells"][r][c], expected[r][c]) << r << "," << c;
    // The remark column is there although the list hides it (family 0).
    EXPECT_EQ(sheet["cells"][0][7], Lang(214).toStdString());
    // Leading zeros, the marked rows.
    int zeros = 0, marks = 0;
    for (const auto& row : sheet["cells"]) {
        if (row[4].get<std::string>().starts_with("00123 ")) ++zeros;
        if (row[0] == Lang(17).toStdString()) ++marks;
    }
    EXPECT_EQ(zeros, 1);
    EXPECT_EQ(marks, 2);
    EXPECT_EQ(sheet["formats"], nlohmann::json::array({"@"}));
    EXPECT_EQ(sheet["align"], nlohmann::json::array({"center/center"}));
}

TEST_F(ExportMail, PagesWithoutAListExportTheFirstPage) {
    LoadCard();
    struct Case {
        int page;
        int rows;  // data rows expected; 0: nothing is asked or written
    } const cases[] = {{PageWeb, 6}, {PageDevice, 6}, {PageMarked, 2}, {PageTriggered, 0}};
    for (const auto& c : cases) {
        view().ShowPage(c.page);
        const auto out = backup / ("page" + std::to_string(c.page) + ".csv");
        const bool ran = Export(out);
        EXPECT_EQ(ran, c.rows > 0) << c.page;
        if (c.rows == 0) {
            EXPECT_EQ(chooserCalls, 0) << "an empty list asks nothing";
            EXPECT_FALSE(fs::exists(out));
            continue;
        }
        const std::string text = lk::test::ReadText(out);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), c.rows + 1) << c.page;
        EXPECT_TRUE(text.starts_with("\xEF\xBB\xBF")) << c.page;
    }
    EXPECT_EQ(messages.size(), 3u);  // a summary per file written
}

TEST_F(ExportMail, SheetFailuresAreReported) {
    LoadCard();
    lk::test::WriteText(backup / "plain", "x");
    ASSERT_TRUE(Export(backup / "plain" / "sheet.xlsx"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(Lang(107)));
    EXPECT_TRUE(messages[0].text.contains("sheet.xlsx"));
    EXPECT_EQ(messages[0].caption, Lang(97));
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(backup.path()), fs::directory_iterator()), 1);

    // No program for the file: said, with an offer to show its folder; when
    // nothing shows the folder either, the path is all that is left.
    messages.clear();
    openerAnswer = false;
    answer = QMessageBox::Yes;
    ASSERT_TRUE(Export(backup / "sheet.xlsx"));
    EXPECT_TRUE(frame().statusBar()->currentMessage().contains("sheet.xlsx"));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[0].text.contains(Lang(353)));
    EXPECT_TRUE(messages[1].text.contains("sheet.xlsx"));
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1].toStdString(), backup.path().string());
    // Answered No: the question is all.
    messages.clear();
    answer = QMessageBox::No;
    ASSERT_TRUE(Export(backup / "sheet2.xlsx"));
    EXPECT_EQ(messages.size(), 1u);
}

// A way to the mail program that records what it was handed.
struct RecordingWay {
    std::mutex lock;
    std::vector<MailMessage> seen;
    std::vector<std::vector<std::string>> bytes;  // attachments, read during the call
    HandoverResult answer = HandoverResult::Accepted;
    std::atomic<bool> hold{false};
    MailSender::Way Way(bool readsLater = true) {
        return {[this](const MailMessage& m) {
                    while (hold)
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    std::lock_guard<std::mutex> g(lock);
                    seen.push_back(m);
                    std::vector<std::string> files;
                    for (const auto& a : m.attachments)
                        files.push_back(lk::test::ReadText(a));
                    bytes.push_back(files);
                    return answer;
                },
                readsLater};
    }
};

class MailFromWindow : public ExportMail {
  protected:
    // Selects the rows of page 1 whose record day is in `days` and mails them.
    bool Mail(const std::vector<int>& days, int command = CmdMail) {
        CSortListCtrl* list = pane(1).List();
        list->clearSelection();
        for (int r = 0; r < list->RowCount(); ++r)
            if (std::find(days.begin(), days.end(), list->RowData(r)->time.day) != days.end())
                list->SelectRow(r, true);
        done = false;
        QObject::connect(
            view().Mailer(), &MailSender::Finished, view().Mailer(), [this] { done = true; },
            Qt::SingleShotConnection);
        view().OnCommand(command);
        return WaitFor([this] { return done; });
    }
    bool done = false;
    MailMessage sent;
};

TEST_F(MailFromWindow, MessageCarriesBodyAndRecordings) {
    LoadCard();
    RecordingWay way;
    view().Mailer()->SetWays({way.Way()});
    ASSERT_TRUE(Mail({1, 3, 6}));
    ASSERT_EQ(way.seen.size(), 1u);
    const MailMessage& m = way.seen[0];
    EXPECT_EQ(m.subject, "Zuze Vavazo Records");
    // Rows in list order (newest first): days 6, 3, 1. Day 6 has no recording.
    std::vector<CallRecord> records;
    for (int day : {6, 3, 1})
        for (const auto& r : app().State().records.Card())
            if (r->time.day == day) records.push_back(*r);
    EXPECT_EQ(m.body, BuildMailBody(records, MailLabels::Load(0)));
    EXPECT_NE(m.body.find("\r\n"), std::string::npos);
    ASSERT_EQ(m.attachments.size(), 2u);
    for (const auto& a : m.attachments)
        EXPECT_EQ(a.parent_path().parent_path(), card.path()) << "wav recordings go unchanged";
    // The mail is one recording short: the user is told which.
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("These recordings are not in the mail:\n"
                                               "20160106100600-I-6.wav: the file is missing"));
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
}

TEST_F(MailFromWindow, OutcomesOfTheWays) {
    LoadCard();
    struct Case {
        const char* what;
        std::vector<HandoverResult> answers;
        int message;  // 0: none
        int calls;    // ways that were asked
    } const cases[] = {
        {"first way takes it", {HandoverResult::Accepted, HandoverResult::Accepted}, 0, 1},
        {"user cancels", {HandoverResult::Cancelled, HandoverResult::Accepted}, 0, 1},
        {"first missing, second takes it",
         {HandoverResult::Unavailable, HandoverResult::Accepted},
         0,
         2},
        {"none available", {HandoverResult::Unavailable, HandoverResult::Unavailable}, 113, 2},
        {"chosen way fails", {HandoverResult::Failed, HandoverResult::Accepted}, 116, 1},
    };
    for (const auto& c : cases) {
        std::vector<std::unique_ptr<RecordingWay>> ways;
        std::vector<MailSender::Way> list;
        for (const auto reply : c.answers) {
            ways.push_back(std::make_unique<RecordingWay>());
            ways.back()->answer = reply;
            list.push_back(ways.back()->Way());
        }
        view().Mailer()->SetWays(list);
        messages.clear();
        ASSERT_TRUE(Mail({1})) << c.what;
        int calls = 0;
        for (const auto& w : ways)
            calls += static_cast<int>(w->seen.size());
        EXPECT_EQ(calls, c.calls) << c.what;
        if (c.message == 0) {
            EXPECT_TRUE(messages.empty()) << c.what;
        } else {
            ASSERT_EQ(messages.size(), 1u) << c.what;
            EXPECT_EQ(messages[0].text, Lang(c.message)) << c.what;
            EXPECT_EQ(messages[0].caption, Lang(112)) << c.what;
            EXPECT_EQ(messages[0].icon, QMessageBox::Critical) << c.what;
        }
    }
}

TEST_F(MailFromWindow, AnUnsentDraftIsNamedWhetherOrNotAProgramOpenedIt) {
    LoadCard();
    const fs::path scratch = ScratchDir();
    const fs::path draft = scratch / kDraftFileName;
    struct Case {
        HandoverResult opened;  // what opening the written draft gave
        int message;
        QMessageBox::Icon icon;
    };
    for (const Case c : {Case{HandoverResult::Unavailable, 370, QMessageBox::Warning},
                         Case{HandoverResult::Accepted, 372, QMessageBox::Information}}) {
        SCOPED_TRACE(c.message);
        // No portal, no xdg-email; the draft is written and opened (or not).
        view().Mailer()->SetWays(
            {{[](const MailMessage&) { return HandoverResult::Unavailable; }, true},
             {[draft, c](const MailMessage& m) {
                  EXPECT_EQ(WriteEmlDraft(draft, m), EmlResult::Written);
                  return c.opened;
              },
              true}});
        messages.clear();
        answer = QMessageBox::No;  // not the folder, here
        ASSERT_TRUE(Mail({1}));
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].text.contains(Lang(c.message))) << messages[0].text.toStdString();
        EXPECT_TRUE(messages[0].text.contains(QString::fromStdString(draft.string())));
        EXPECT_EQ(messages[0].icon, c.icon);
    }
}

TEST_F(MailFromWindow, ASecondMailWhilePreparingIsRefused) {
    LoadCard();
    RecordingWay way;
    way.hold = true;
    view().Mailer()->SetWays({way.Way()});
    CSortListCtrl* list = pane(1).List();
    list->SelectRow(0);
    view().OnCommand(CmdMail);
    ASSERT_TRUE(view().Mailer()->Running());
    view().OnCommand(CmdMail);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, Lang(207));
    EXPECT_EQ(messages[0].caption, Lang(160));
    EXPECT_EQ(messages[0].icon, QMessageBox::Information);
    way.hold = false;
    ASSERT_TRUE(WaitFor([&] { return !view().Mailer()->Running(); }));
    EXPECT_EQ(way.seen.size(), 1u);
}

// Card recordings in the recorder's own format: WAV copies are made in the
// scratch folder and kept while the mail program may still read them.
TEST_F(MailFromWindow, XtrRecordingsGoAsWavCopiesOrUnchanged) {
    LoadCard();
    // Replace two recordings by .xtr files and point their records at them.
    std::vector<fs::path> xtr;
    for (auto& r : app().State().records.Card()) {
        if (r->time.day != 1 && r->time.day != 2) continue;
        fs::path p(ToUtf8(FieldText(r->filePath)));
        fs::path x = p;
        x.replace_extension(".xtr");
        std::vector<std::int16_t> pcm(8000 * 2);
        for (std::size_t i = 0; i < pcm.size(); ++i)
            pcm[i] = static_cast<std::int16_t>((i % 40 < 20 ? 1 : -1) * 2000);
        lk::test::WriteFile(x, BuildXtrRecording(kFormatImaAdpcm, pcm));
        SetFieldText(r->filePath, FromUtf8(x.string()));
        xtr.push_back(x);
    }
    RecordingWay way;
    view().Mailer()->SetWays({way.Way(true)});
    ASSERT_TRUE(Mail({1, 2}));
    ASSERT_EQ(way.seen.size(), 1u);
    const auto& attached = way.seen[0].attachments;
    ASSERT_EQ(attached.size(), 2u);
    for (std::size_t i = 0; i < attached.size(); ++i) {
        EXPECT_EQ(attached[i].extension(), ".wav");
        EXPECT_EQ(attached[i].parent_path(), ScratchDir());
        // What the mail program read is the converted recording.
        lk::test::TempDir ref;
        const fs::path source = xtr[xtr.size() - 1 - i];  // newest first
        ASSERT_EQ(ConvertXtrToWav(source, ref / "r.wav"), ConvertResult::Converted);
        EXPECT_EQ(way.bytes[0][i], lk::test::ReadText(ref / "r.wav"));
        EXPECT_TRUE(fs::exists(attached[i])) << "kept for the mail program";
    }
    EXPECT_EQ(view().Mailer()->KeptCopies().size(), 2u);

    // As recorded (family 1 menu): the .xtr files themselves; the copies of
    // the last mail go when the next one starts.
    const auto firstCopies = attached;
    ASSERT_TRUE(Mail({1, 2}, CmdMailRecorded));
    ASSERT_EQ(way.seen.size(), 2u);
    EXPECT_EQ(way.seen[1].attachments, (std::vector<fs::path>{xtr[1], xtr[0]}));
    for (const auto& c : firstCopies)
        EXPECT_FALSE(fs::exists(c));
    EXPECT_TRUE(view().Mailer()->KeptCopies().empty());

    // A way that passes descriptors (the portal) lets the copies go at once.
    view().Mailer()->SetWays({way.Way(false)});
    ASSERT_TRUE(Mail({1}));
    EXPECT_TRUE(view().Mailer()->KeptCopies().empty());
    EXPECT_FALSE(fs::exists(way.seen[2].attachments[0]));
}

// A recording that cannot be converted is named in a message; the mail
// still carries the others.
TEST_F(MailFromWindow, RecordingsLeftOutAreListed) {
    LoadCard();
    fs::path broken;
    for (auto& r : app().State().records.Card()) {
        if (r->time.day != 1) continue;
        broken = fs::path(ToUtf8(FieldText(r->filePath))).replace_extension(".xtr");
        lk::test::WriteFile(broken, std::vector<std::uint8_t>(1440 + 10, 0));
        SetFieldText(r->filePath, FromUtf8(broken.string()));
    }
    ASSERT_FALSE(broken.empty());
    RecordingWay way;
    view().Mailer()->SetWays({way.Way()});
    ASSERT_TRUE(Mail({1, 3}));
    ASSERT_EQ(way.seen.size(), 1u);
    EXPECT_EQ(way.seen[0].attachments.size(), 1u);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              QStringLiteral("These recordings are not in the mail:\n%1: too short to hold a "
                             "recording")
                  .arg(QString::fromStdString(broken.filename().string())));
    EXPECT_EQ(messages[0].caption, Lang(112));
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
}

// The real portal client against a stand-in portal on a private session bus.
class PortalBus {
  public:
    PortalBus(const fs::path& out, int response) {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!daemon_.waitForStarted(10000) || !daemon_.waitForReadyRead(10000)) return;
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        const auto bin = lk::test::BinDir() / "lk_fake_mail_portal";
        portal_.start(QString::fromStdString(bin.string()),
                      {address_, QString::fromStdString(out.string()), QString::number(response)});
        if (!portal_.waitForStarted(10000) || !portal_.waitForReadyRead(10000)) address_.clear();
    }
    ~PortalBus() {
        for (QProcess* p : {&portal_, &daemon_}) {
            if (p->state() == QProcess::NotRunning) continue;
            p->terminate();
            if (!p->waitForFinished(5000)) p->kill();
            p->waitForFinished(5000);
        }
    }
    const QString& Address() const { return address_; }

  private:
    QProcess daemon_, portal_;
    QString address_;
};

TEST_F(MailFromWindow, PortalReceivesSubjectBodyAndDescriptors) {
    LoadCard();
    struct Case {
        int response;
        HandoverResult result;
        int message;
    } const cases[] = {{0, HandoverResult::Accepted, 0},
                       {1, HandoverResult::Cancelled, 0},
                       {2, HandoverResult::Failed, 116}};
    for (const auto& c : cases) {
        lk::test::TempDir out;
        PortalBus bus(out.path(), c.response);
        if (bus.Address().isEmpty()) GTEST_SKIP() << "dbus-daemon could not be started";
        HandoverResult got = HandoverResult::Unavailable;
        const QString address = bus.Address();
        view().Mailer()->SetWays(
            {{[address, &got](const MailMessage& m) { return got = ComposeWithPortal(m, address); },
              false}});
        QObject::connect(
            view().Mailer(), &MailSender::Finished, view().Mailer(),
            [&](HandoverResult, const MailMessage& m) { sent = m; }, Qt::SingleShotConnection);
        messages.clear();
        ASSERT_TRUE(Mail({1, 3}));
        EXPECT_EQ(got, c.result) << c.response;
        EXPECT_EQ(lk::test::ReadText(out / "call0" / "subject"), "Zuze Vavazo Records");
        EXPECT_EQ(lk::test::ReadText(out / "call0" / "body"), sent.body);
        ASSERT_EQ(sent.attachments.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i)
            EXPECT_EQ(lk::test::ReadText(out / "call0" / ("attachment" + std::to_string(i))),
                      lk::test::ReadText(sent.attachments[i]));
        EXPECT_EQ(messages.size(), c.message == 0 ? 0u : 1u) << c.response;
    }
}

TEST_F(MailFromWindow, NoPortalOnTheBusLeavesTheNextWay) {
    lk::test::TempDir out;
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!daemon.waitForStarted(10000) || !daemon.waitForReadyRead(10000))
        GTEST_SKIP() << "dbus-daemon could not be started";
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    MailMessage m;
    m.body = "b";
    EXPECT_EQ(ComposeWithPortal(m, address, 1000), HandoverResult::Unavailable);
    EXPECT_EQ(ComposeWithPortal(m, "unix:path=/nonexistent/bus", 1000),
              HandoverResult::Unavailable);
    daemon.terminate();
    daemon.waitForFinished(5000);
}

// The whole road from the window with a longer list: progress while the sheet
// is written, the window while a mail is prepared. With LK_SCREENSHOT_DIR set
// (scripts/export_mail_screens.sh) the pictures and the sheet are kept there.
TEST_F(MailFromWindow, EndToEndWithPictures) {
    std::vector<CardCall> calls;
    for (int i = 0; i < 1500; ++i)
        calls.push_back({i % 3 == 0 ? Incoming : Outgoing, i % 7 == 0 ? 1 : 0, 1 + i % 28, i % 24,
                         u"0" + FromUtf8(std::to_string(5550000 + i)), i % 5 != 0});
    WriteCard(card.path(), calls);
    Start();
    frame().show();
    InsertCard();
    Tick(TimerStartup);
    Tick(TimerCardWatch);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(rows(1), 1500);
    const char* dirEnv = std::getenv("LK_SCREENSHOT_DIR");
    const fs::path shots = dirEnv ? fs::path(dirEnv) : backup.path();
    auto save = [&](QWidget* w, const char* name) {
        EXPECT_TRUE(w->grab().save(QString::fromStdString((shots / name).string())));
    };

    const auto sheet = shots / "sheet.xlsx";
    SheetExport* e = view().SheetExporter();
    e->SetPathChooser(
        [&](QWidget*, const QString&) { return QString::fromStdString(sheet.string()); });
    e->SetOpener([](const QString&) { return true; });
    bool exported = false, pictured = false;
    QObject::connect(
        e, &SheetExport::Finished, e, [&] { exported = true; }, Qt::SingleShotConnection);
    view().OnCommand(CmdExportSheet);
    ASSERT_TRUE(WaitFor([&] {
        ProgressDialog* p = frame().Progress();
        if (!pictured && p->isVisible() && p->Pos() > 0 && p->Pos() < p->Maximum()) {
            save(&frame(), "export-window.png");
            save(p, "export-progress.png");
            pictured = true;
        }
        return exported;
    }));
    EXPECT_TRUE(fs::exists(sheet));
    EXPECT_EQ(messages.size(), 1u);  // the export's summary
    messages.clear();

    RecordingWay way;
    way.hold = true;
    view().Mailer()->SetWays({way.Way()});
    pane(1).List()->SelectRow(1);
    pane(1).List()->SelectRow(2, true);
    view().OnCommand(CmdMail);
    ASSERT_TRUE(view().Mailer()->Running());
    save(&frame(), "mail-window.png");
    view().OnCommand(CmdMail);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, Lang(207));
    way.hold = false;
    ASSERT_TRUE(WaitFor([&] { return !view().Mailer()->Running(); }));
    ASSERT_EQ(way.seen.size(), 1u);
    EXPECT_EQ(WriteEmlDraft(shots / "mail.eml", way.seen[0]), EmlResult::Written);
}

}  // namespace
}  // namespace lk::gui::test
