// The find box over a list of 100,000 records: milliseconds per keystroke
// while a six-letter word is typed one letter at a time, and for emptying
// the box, each including the repaint of the list shown. Also the first
// keystroke after the list was filled (it makes every row's find text) and
// a fresh look that cannot narrow the last result. Prints medians of
// several rounds, wall clock and thread CPU. Runs offscreen:
//   bench_find_box [records] [rounds]

#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "card/RecordLists.h"
#include "platform/TextCodec.h"
#include "records/RecordRow.h"
#include "widgets/CSortListCtrl.h"

using namespace lk;

namespace {

qint64 ThreadCpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// Names with and without accents, numbers, and a card remark on every
// fourth record, as a family-1 card holds them.
RecordList MakeRecords(int total) {
    static const char16_t* kNames[] = {u"Zöllner",   u"Müller", u"Ångström", u"Caller",
                                       u"Schneider", u"Dvořák", u"",         u"Weber GmbH",
                                       u"Łukasz",    u"Nguyễn"};
    static const char* kRemarks[] = {"order", "complaint", "call back", "done"};
    RecordList records;
    records.reserve(static_cast<std::size_t>(total));
    for (int i = 0; i < total; ++i) {
        auto r = std::make_unique<CallRecord>();
        r->type = Incoming + i % 3;
        SetFieldText(r->number, FromUtf8("0049" + std::to_string(100000 + i * 7)));
        std::u16string name = kNames[i % 10];
        if (!name.empty()) name += u" " + FromUtf8(std::to_string(i % 97));
        SetFieldText(r->name, name);
        if (i % 4 == 0) {
            const std::string remark = kRemarks[(i / 4) % 4];
            r->cardBytes[5] = 'R';
            r->cardBytes[6] = 'M';
            r->cardBytes[7] = ':';
            for (std::size_t k = 0; k < remark.size(); ++k)
                r->cardBytes[8 + k] = static_cast<std::uint8_t>(remark[k]);
        }
        records.push_back(std::move(r));
    }
    return records;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication qapp(argc, argv);
    const int total = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;

    RecordList records = MakeRecords(total);
    std::vector<CallRecord*> pointers;
    for (const RecordPtr& r : records)
        pointers.push_back(r.get());

    std::atomic<int> family{1};
    gui::RowLabels labels;
    labels.codePage = "CP1252";
    auto cells = std::make_shared<gui::RecordCells>(family, labels);
    gui::CSortListCtrl list;
    for (int c = 0; c < gui::kRecordColumns; ++c)
        list.InsertColumn(c, QString::number(c), 100);
    list.SetRowSource(cells);
    list.resize(1000, 700);
    list.show();
    list.AppendRecords(pointers);
    QApplication::processEvents();

    // One keystroke: the list narrowed and painted.
    const auto key = [&](const QString& text, double& cpuMs) {
        QElapsedTimer t;
        const qint64 cpu = ThreadCpuUs();
        t.start();
        list.SetFindText(text);
        list.viewport()->repaint();
        QApplication::processEvents();
        cpuMs = static_cast<double>(ThreadCpuUs() - cpu) / 1000.0;
        return static_cast<double>(t.nsecsElapsed()) / 1e6;
    };

    double cpu = 0;
    const double first = key(QStringLiteral("m"), cpu);
    std::printf(
        "records %d\nfirst keystroke after the fill (makes the find texts): %.1f ms "
        "(cpu %.1f)\n",
        total, first, cpu);
    key(QString(), cpu);

    const QString word = QStringLiteral("muller");
    std::vector<std::vector<double>> wall(word.size() + 1), cpus(word.size() + 1);
    std::vector<double> fresh, freshCpu;
    std::vector<int> shown(word.size());
    for (int round = 0; round < rounds; ++round) {
        for (int n = 1; n <= word.size(); ++n) {
            const auto i = static_cast<std::size_t>(n - 1);
            wall[i].push_back(key(word.left(n), cpu));
            cpus[i].push_back(cpu);
            shown[i] = list.RowCount();
        }
        wall.back().push_back(key(QString(), cpu));
        cpus.back().push_back(cpu);
        // A query that cannot narrow the last one looks at every row.
        key(QStringLiteral("zoll"), cpu);
        fresh.push_back(key(QStringLiteral("order"), cpu));
        freshCpu.push_back(cpu);
        key(QString(), cpu);
    }
    std::vector<double> all, allCpu;
    for (int n = 1; n <= word.size(); ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        std::printf("typed \"%s\": %d rows shown, median %.2f ms (cpu %.2f)\n",
                    word.left(n).toUtf8().constData(), shown[i], Median(wall[i]), Median(cpus[i]));
        all.insert(all.end(), wall[i].begin(), wall[i].end());
        allCpu.insert(allCpu.end(), cpus[i].begin(), cpus[i].end());
    }
    std::printf("emptied (all %d rows again): median %.2f ms (cpu %.2f)\n", total,
                Median(wall.back()), Median(cpus.back()));
    std::printf("a query not narrowing the last (all rows looked at): median %.2f ms (cpu %.2f)\n",
                Median(fresh), Median(freshCpu));
    std::printf("per keystroke while typing, over %d rounds: median %.2f ms, worst %.2f ms\n",
                rounds, Median(all), *std::max_element(all.begin(), all.end()));
    return 0;
}
