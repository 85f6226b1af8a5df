// What the main window computes without the platform: the envelope outline,
// the status texts with the clip mark, the titles and tab labels.

#include <gtest/gtest.h>

#include "app/window_logic.h"

namespace velmor {
namespace {

TEST(WindowLogic, EnvelopeOutlineStatusTitlesAndTabs) {
    // All four times at 100 end the release at the right edge when W is a
    // multiple of 4; the plateau stands at the sustain level.
    EnvelopeOutline o = envelopeOutline(200, 60, 100, 100, 100, 100, 50);
    const int xs[][2] = {{2, 50}, {3, 100}, {4, 150}, {5, 200}, {6, 199}};
    for (const auto& [point, x] : xs) EXPECT_EQ(o.p[point].x, x) << point;
    EXPECT_EQ(o.p[3].y, 30);
    EXPECT_EQ(o.p[7].y, 0);
    // Sus Lvl at the top (level 100): the plateau at y = 0; at the bottom, H.
    EXPECT_EQ(envelopeOutline(200, 60, 20, 70, 0, 10, 100).p[3].y, 0);
    EXPECT_EQ(envelopeOutline(200, 60, 20, 70, 0, 10, 0).p[4].y, 60);
    // Truncating divisions: 203 * 10 / 400 = 5.
    o = envelopeOutline(203, 61, 10, 10, 0, 10, 33);
    EXPECT_EQ(o.p[2].x, 5);
    EXPECT_EQ(o.p[3].x, 10);
    EXPECT_EQ(o.p[5].x, 15);
    EXPECT_EQ(o.p[3].y, 61 - 33 * 61 / 100);

    // The status line, the title after a load and the tab labels.
    AudioOutput out;
    EngineState e;
    out.cpuLoad = 12;
    e.levelLeft = 50;
    e.levelRight = 7;
    StatusTexts t = refreshStatus(out, e);
    EXPECT_EQ(t.cpu + t.left + t.right, "CPU: 12%Vol-L: 50%Vol-R: 7%");
    e.levelLeft = e.levelRight = kLevelClipped;
    t = refreshStatus(out, e);
    EXPECT_EQ(t.left + t.right, "CLIPCLIP");
    EXPECT_EQ(e.levelLeft, 0) << "the shown mark is cleared";
    out.cpuLoad = 0xFFFF;
    EXPECT_EQ(refreshStatus(out, e).cpu, "CPU: -1%") << "taken as a signed 16-bit number";

    EXPECT_EQ(titleAfterLoad("D:\\songs\\acid\\line.pat"), "Velmor V1.05 - line.pat");
    EXPECT_EQ(titleAfterLoad("plain.pat"), "Velmor V1.05 - plain.pat");
    EXPECT_EQ(unitTabLabel(0), "Velmor #1");
    EXPECT_EQ(unitTabLabel(3), "Velmor #4");
}

}  // namespace
}  // namespace velmor
