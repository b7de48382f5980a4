// A capture saved as CSV reads back as it was, and a held reference outlives new sweeps.

#include "ScopeExport.h"
#include "ScopeChannels.h"
#include "ScopeState.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

kestova::ScopeState TwoShownOfThree() {
    kestova::ScopeState s;
    s.SetXUnit("ms");
    s.SetSampleCount(3);
    s.SetXRange(0, 3, 2);
    s.SetTimeRange(0, 1); // a third of a ms per sample
    s.SetChannelSources(kestova::SRC_VELOCITY_FEEDBACK, kestova::SRC_POSITION_ERROR,
                        kestova::SRC_A_PHASE_CURRENT, 0);
    const float v[3][3] = {{0.1F, -2.75F, 1e6F}, {1.0F / 3.0F, 0.0F, -7.5F}, {9, 9, 9}};
    for (int i = 0; i < 3; ++i) {
        s.AddPoint(1, i, v[0][i]);
        s.AddPoint(2, i, v[1][i]);
        s.AddPoint(3, i, v[2][i]);
    }
    s.Channel(1).enabled = 1;
    s.Channel(2).enabled = 0;
    s.Channel(3).enabled = 1;
    return s;
}

TEST(CaptureCsv, RoundTripsTheShownChannelsWithTheirUnits) {
    const kestova::ScopeState s = TwoShownOfThree();
    const QStringList lines = kestova::CaptureCsv(s).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "Time (ms),Velocity Feedback (RPM),A Phase Current (mA)");
    for (int i = 0; i < 3; ++i) {
        const QStringList cells = lines[i + 1].split(',');
        ASSERT_EQ(cells.size(), 3);
        EXPECT_FLOAT_EQ(cells[0].toFloat(), static_cast<float>(i) / 3.0F);
        EXPECT_EQ(cells[1].toFloat(), s.Channel(1).samples[static_cast<std::size_t>(i)].y);
        EXPECT_EQ(cells[2].toFloat(), 9.0F);
    }
}

TEST(Reference, HoldsTheShownSweepsThroughAClearUntilLetGo) {
    kestova::ScopeState s = TwoShownOfThree();
    ASSERT_TRUE(s.KeepReference());
    s.Clear();
    EXPECT_EQ(s.reference.sources[0], kestova::SRC_VELOCITY_FEEDBACK);
    EXPECT_EQ(s.reference.sources[1], 0u); // hidden, not held
    EXPECT_EQ(s.reference.samples[0][1].y, -2.75F);
    EXPECT_FALSE(s.KeepReference()); // no samples now: the old one stays
    EXPECT_TRUE(s.reference.Held());
    s.ClearReference();
    EXPECT_FALSE(s.reference.Held());
}

} // namespace
