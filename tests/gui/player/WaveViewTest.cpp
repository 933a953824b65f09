// The waveform control on its own: selection, position line, strip, seek.

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <thread>

#include "player/CTimeRuler.h"
#include "player/CWaveView.h"

namespace lk::gui::test {
namespace {

// A view whose waveform area is `width` pixels wide, holding `total` seconds
// with a recognisable picture (a loud second every other second).
struct Wave {
    CWaveView view;
    Wave(int width, int total) {
        view.resize(width, 160);
        view.Clear();
        view.SetTotal(total);
        std::vector<std::int16_t> loud(8000), quiet(8000, 0);
        for (std::size_t i = 0; i < loud.size(); ++i)
            loud[i] = static_cast<std::int16_t>(i % 2 ? 20000 : -20000);
        for (int i = 0; i < total; ++i)
            view.AddSecond(i % 2 ? loud : quiet, i, total);
        QCoreApplication::processEvents();
        view.Redraw();
    }
    void Press(int x) { QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(x, 40)); }
    void Move(int x) {
        QMouseEvent e(QEvent::MouseMove, QPointF(x, 40), view.mapToGlobal(QPointF(x, 40)),
                      Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&view, &e);
    }
    void Release(int x) { QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(x, 40)); }
    void Drag(int from, std::initializer_list<int> through) {
        Press(from);
        int last = from;
        for (int x : through) {
            Move(x);
            last = x;
        }
        Release(last);
    }
    // Columns of the window's waveform area: 0 as the image, 1 inverse, 2 other.
    int ColumnState(int x) {
        const QImage screen = view.ScreenImage(), wave = view.WaveImage();
        bool same = true, inverse = true;
        for (int y = 0; y < wave.height(); ++y) {
            const QRgb w = wave.pixel(x, y) & 0xFFFFFF, s = screen.pixel(x, y) & 0xFFFFFF;
            same = same && s == w;
            inverse = inverse && s == (~w & 0xFFFFFF);
        }
        return same ? 0 : inverse ? 1 : 2;
    }
};

TEST(WaveView, NothingLoadedIgnoresTheMouse) {
    CWaveView view;
    view.resize(400, 160);
    view.Clear();
    QSignalSpy seeks(&view, &CWaveView::WaveSeek);
    const QImage before = view.ScreenImage();
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(50, 30));
    QTest::mouseMove(&view, QPoint(300, 30));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(300, 30));
    QTest::mouseDClick(&view, Qt::LeftButton, {}, QPoint(100, 30));
    EXPECT_EQ(seeks.count(), 0);
    EXPECT_EQ(view.SelectionStart(), 0);
    EXPECT_EQ(view.SelectionEnd(), 0);
    EXPECT_EQ(view.ScreenImage(), before);
}

TEST(WaveView, DragDirectionGivesTheSameSeconds) {
    struct Case {
        int width, total, a, b, start, end;
    };
    const Case cases[] = {
        {900, 90, 100, 400, 10, 40},
        {900, 90, 455, 456, 45, 45},
        {600, 3725, 0, 599, 0, 3718},
        {300, 7, 10, 290, 0, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " px, " << c.total << " s");
        Wave ltr(c.width, c.total), rtl(c.width, c.total);
        ltr.Drag(c.a, {c.b});
        rtl.Drag(c.b, {c.a});
        EXPECT_EQ(ltr.view.SelectionStart(), c.start);
        EXPECT_EQ(ltr.view.SelectionEnd(), c.end);
        EXPECT_EQ(rtl.view.SelectionStart(), c.start);
        EXPECT_EQ(rtl.view.SelectionEnd(), c.end);
    }
}

TEST(WaveView, DragAcrossTheAnchorLeavesNoShadingBehind) {
    struct Case {
        const char* name;
        int anchor;
        std::vector<int> moves;
        int shadedFrom, shadedTo;  // [from, to) inverse at the end
    };
    const Case cases[] = {
        {"right, then left across", 300, {350, 420, 250, 200}, 200, 300},
        {"left, then right across", 300, {250, 180, 340, 380}, 301, 380},
        {"right, back a little", 300, {450, 400}, 301, 400},
        {"left, back a little", 300, {150, 220}, 220, 300},
        {"back onto the anchor", 300, {400, 300}, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Wave w(600, 60);
        w.Press(c.anchor);
        for (int x : c.moves)
            w.Move(x);
        w.Release(c.moves.back());
        for (int x = 0; x < 600; ++x) {
            if (x == c.anchor) continue;  // the dashed anchor line
            const bool shaded = x >= c.shadedFrom && x < c.shadedTo;
            EXPECT_EQ(w.ColumnState(x), shaded ? 1 : 0) << "column " << x;
        }
    }
}

TEST(WaveView, DoubleClickSeeksTheSecondUnderTheMouse) {
    Wave w(900, 90);
    // Before any drag the selection items read zero.
    const QString strip = w.view.StripText();
    EXPECT_TRUE(strip.contains(QStringLiteral(" 00:00:00")));
    EXPECT_TRUE(strip.endsWith(QStringLiteral(" 00:01:30.0"))) << strip.toStdString();
    EXPECT_EQ(w.view.SelectionStart(), 0);
    EXPECT_EQ(w.view.SelectionEnd(), 0);
    QSignalSpy seeks(&w.view, &CWaveView::WaveSeek);
    QTest::mouseDClick(&w.view, Qt::LeftButton, {}, QPoint(455, 40));
    ASSERT_EQ(seeks.count(), 1);
    EXPECT_EQ(seeks.last().at(0).toInt(), 45);
}

TEST(WaveView, StripShowsHoursMinutesAndSeconds) {
    CWaveView view;
    view.resize(800, 160);
    view.Clear();
    view.SetTotal(3725);
    view.SetPosition(61, 3725);
    const QString text = view.StripText();
    EXPECT_TRUE(text.endsWith(QStringLiteral(" 01:02:05.0"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral(" 00:01:01.0"))) << text.toStdString();
    // Between ticks the position moves on in tenths.
    view.SetPositionTenths(617, 3725);
    EXPECT_TRUE(view.StripText().contains(QStringLiteral(" 00:01:01.7")))
        << view.StripText().toStdString();
    EXPECT_EQ(view.Position(), 61);
    // Five items, six blanks between each two.
    EXPECT_EQ(text.count(QStringLiteral("      ")), 4);
}

// Zoomed in, the view shows a stretch around the position, follows playback
// page by page, maps the mouse to the stretch and comes back whole.
TEST(WaveView, ZoomShowsAStretchAroundThePositionAndFollowsPlayback) {
    Wave w(600, 120);
    const QImage whole = w.view.WaveImage();
    QSignalSpy views(&w.view, &CWaveView::ViewChanged);
    w.view.SetPosition(30, 120);
    w.view.ZoomIn();
    w.view.ZoomIn();  // a quarter: 30 seconds
    EXPECT_EQ(w.view.Zoom(), 4);
    EXPECT_DOUBLE_EQ(w.view.ViewFrom(), 15.0);
    EXPECT_DOUBLE_EQ(w.view.ViewTo(), 45.0);
    ASSERT_FALSE(views.isEmpty());
    EXPECT_EQ(views.last().at(1).toDouble(), 45.0);
    // A second is 20 columns now: loud seconds are odd ones.
    const QImage zoomed = w.view.WaveImage();
    const auto lit = [&](int x) {
        int green = 0;
        for (int y = 0; y < zoomed.height(); ++y)
            green += (zoomed.pixel(x, y) & 0xFFFFFF) == 0x00FF00;
        return green > 10;
    };
    EXPECT_TRUE(lit(w.view.ColumnOf(17) + 10));   // second 17: loud
    EXPECT_FALSE(lit(w.view.ColumnOf(18) + 10));  // second 18: quiet
    EXPECT_EQ(w.view.SecondOf(300), 30);
    QSignalSpy seeks(&w.view, &CWaveView::WaveSeek);
    QTest::mouseDClick(&w.view, Qt::LeftButton, {}, QPoint(310, 40));
    ASSERT_EQ(seeks.count(), 1);
    EXPECT_EQ(seeks.last().at(0).toInt(), 30);
    // Playback nearing the right edge turns the page.
    w.view.SetPositionTenths(440, 120);
    EXPECT_NEAR(w.view.ViewFrom(), 41.0, 0.01);
    EXPECT_TRUE(w.view.StripText().contains(QStringLiteral(" 00:00:44.0")));
    // Ctrl+wheel zooms too; the deepest zoom still shows a few seconds.
    for (int i = 0; i < 20; ++i)
        w.view.ZoomIn();
    EXPECT_GE(w.view.ViewTo() - w.view.ViewFrom(), 2.0);
    w.view.ZoomAll();
    EXPECT_EQ(w.view.Zoom(), 1);
    EXPECT_EQ(w.view.WaveImage(), whole);
    QWheelEvent wheel(QPointF(100, 40), w.view.mapToGlobal(QPointF(100, 40)), {}, {0, 120},
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&w.view, &wheel);
    EXPECT_EQ(w.view.Zoom(), 2);
}

// The ruler's labels stay apart at any length and zoom, and read as times.
TEST(TimeRuler, LabelsKeepApartAndReadAsTimes) {
    const struct {
        double span;
        int width, minPixels, step;
    } steps[] = {
        {10, 1000, 60, 1},     {60, 1000, 60, 5},         {240, 1000, 60, 15},
        {3600, 1200, 60, 300}, {3600 * 5, 600, 60, 1800}, {0, 600, 60, 3600},
    };
    for (const auto& c : steps)
        EXPECT_EQ(CTimeRuler::LabelStep(c.span, c.width, c.minPixels), c.step) << c.span;
    EXPECT_EQ(CTimeRuler::Label(0), QStringLiteral("0:00"));
    EXPECT_EQ(CTimeRuler::Label(605), QStringLiteral("10:05"));
    EXPECT_EQ(CTimeRuler::Label(3725), QStringLiteral("1:02:05"));
    EXPECT_EQ(CWaveView::TenthsText(37257), QStringLiteral("01:02:05.7"));
}

// A strip too wide for the window is cut only with the whole line as a tip.
TEST(WaveView, AStripCutByANarrowWindowIsWholeInTheTooltip) {
    const struct {
        int width;
        bool cut;
    } cases[] = {{1400, false}, {260, true}};
    for (const auto& c : cases) {
        CWaveView view;
        view.resize(c.width, 160);
        view.Clear();
        view.SetTotal(3725);
        view.SetPosition(61, 3725);
        EXPECT_EQ(view.toolTip(), c.cut ? view.StripText() : QString()) << c.width;
    }
    // The hint of an empty player keeps its own tip.
    CWaveView view;
    view.resize(260, 160);
    view.SetHint(QStringLiteral("Double-click a call to play it"));
    view.SetTotal(3725);
    view.SetPosition(61, 3725);
    EXPECT_EQ(view.toolTip(), QStringLiteral("Double-click a call to play it"));
}

TEST(WaveView, PositionLineIsRestoredColumnByColumn) {
    Wave w(600, 60);
    const QImage plain = w.view.ScreenImage();
    w.view.SetPosition(10, 60);
    EXPECT_EQ(w.view.ScreenImage().pixel(100, 5) & 0xFFFFFF, 0x0000FFu);
    w.view.SetPosition(11, 60);
    EXPECT_EQ(w.ColumnState(100), 0);
    EXPECT_EQ(w.view.ScreenImage().pixel(110, 5) & 0xFFFFFF, 0x0000FFu);
    // Second 0 leaves the earlier line until the next redraw.
    w.view.SetPosition(0, 60);
    EXPECT_EQ(w.view.ScreenImage().pixel(110, 5) & 0xFFFFFF, 0x0000FFu);
    w.view.Redraw();
    EXPECT_EQ(w.ColumnState(110), 0);
    EXPECT_EQ(w.ColumnState(0), 0);
    (void)plain;
}

TEST(WaveView, SecondsAreDrawnAsColumnEnvelopesOverTheMarkedBand) {
    CWaveView view;
    view.resize(200, 125);  // area 100 high, image 98
    view.Clear();
    view.SetTotal(10);
    view.SetMarkedSegment(2, 4);
    std::vector<std::int16_t> loud(8000);
    for (std::size_t i = 0; i < loud.size(); ++i)
        loud[i] = static_cast<std::int16_t>(i % 2 ? 32767 : -32768);
    view.AddSecond(loud, 3, 10);
    const QImage img = view.WaveImage();
    const QRgb band = QColor(128, 100, 100).rgb(), wave = QColor(0, 255, 0).rgb();
    const QRgb black = QColor(0, 0, 0).rgb();
    EXPECT_EQ(img.pixel(45, 5), band);   // second 2, nothing drawn: the band
    EXPECT_EQ(img.pixel(90, 5), black);  // past the band
    for (int x = 60; x < 80; ++x) {
        EXPECT_EQ(img.pixel(x, 2), wave) << x;  // loud both ways: the full height
        EXPECT_EQ(img.pixel(x, 90), wave) << x;
    }
    EXPECT_EQ(img.pixel(80, 50), band);  // column(4) closes the band
    EXPECT_EQ(img.pixel(81, 50), black);
}

// The column envelopes must be those of a walk over every sample, whatever
// the scale: many samples per column, a column per few samples, and second
// starts between columns.
TEST(WaveView, ColumnEnvelopesMatchASampleBySampleWalk) {
    struct Case {
        std::size_t samples;
        double x0, width;
    };
    const Case cases[] = {
        {8000, 0.0, 1200.0},         // a one-second recording on a wide view
        {8000, 399.6, 0.333333333},  // an hour on 1200 pixels
        {8000, 17.25, 7.5},
        {8000, 3.0, 9000.0},  // fewer samples than columns
        {7999, 100.0 / 3.0, 100.0 / 3.0},
        {1, 5.5, 2.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.samples << " at " << c.x0 << " over " << c.width);
        std::vector<std::int16_t> s(c.samples);
        std::uint32_t seed = 7;
        for (auto& v : s) {
            seed = seed * 1103515245u + 12345u;
            v = static_cast<std::int16_t>(seed >> 16);
        }
        // Sample by sample: a new column starts from the previous sample.
        const double step = c.width / static_cast<double>(c.samples);
        std::vector<CWaveView::Extremes> want;
        for (std::size_t k = 0; k < s.size(); ++k) {
            const int col = static_cast<int>(c.x0 + static_cast<double>(k) * step);
            if (want.empty() || want.back().column != col) {
                const auto from = k == 0 ? s[0] : s[k - 1];
                want.push_back({col, std::min(from, s[k]), std::max(from, s[k])});
            } else {
                want.back().low = std::min(want.back().low, s[k]);
                want.back().high = std::max(want.back().high, s[k]);
            }
        }
        const auto got = CWaveView::ColumnExtremes(s, c.x0, c.width);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].column, want[i].column) << i;
            EXPECT_EQ(got[i].low, want[i].low) << i;
            EXPECT_EQ(got[i].high, want[i].high) << i;
        }
    }
}

// Load threads may draw seconds at once and in any order.
TEST(WaveView, SecondsDrawnFromSeveralThreadsGiveThePictureOfOne) {
    constexpr int kTotal = 40;
    std::vector<std::vector<std::int16_t>> seconds;
    for (int i = 0; i < kTotal; ++i) {
        std::vector<std::int16_t> v(8000);
        for (std::size_t k = 0; k < v.size(); ++k)
            v[k] = static_cast<std::int16_t>((k % 50) * (i + 1) * 30 - 15000);
        seconds.push_back(std::move(v));
    }
    const auto draw = [&](CWaveView& view, bool threads) {
        view.resize(333, 160);
        view.Clear();
        view.SetTotal(kTotal);
        if (!threads) {
            for (int i = 0; i < kTotal; ++i)
                view.AddSecond(seconds[static_cast<std::size_t>(i)], i, kTotal);
            return;
        }
        std::vector<std::thread> t;
        for (int part = 0; part < 4; ++part)
            t.emplace_back([&, part] {
                for (int i = kTotal - 1 - part; i >= 0; i -= 4)
                    view.AddSecond(seconds[static_cast<std::size_t>(i)], i, kTotal);
            });
        for (auto& x : t)
            x.join();
    };
    CWaveView one, many;
    draw(one, false);
    draw(many, true);
    QCoreApplication::processEvents();
    EXPECT_EQ(one.WaveImage(), many.WaveImage());
}

}  // namespace
}  // namespace lk::gui::test
