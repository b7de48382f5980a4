#pragma once

// The scope's data: four channels with their sweeps and per-zoom-level ranges, the shared time
// axis, and the automatic ranging that runs while samples arrive. No drawing happens here; the
// renderer fills in the titles and label texts it computes.

#include <QColor>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace kestova {

constexpr int kScopeChannels = 4;
constexpr int kZoomLevels = 15;
constexpr int kMaxZoomLevel = kZoomLevels - 1;
constexpr int kTickLabels = 11;

// One sample as the host feeds it: the index within the sweep and the raw value.
struct tagDISFORCE {
    float x;
    float y;
};

struct ScopeRange {
    float min = 0.0f;
    float max = 0.0f;
};

// One range per zoom level; entry 0 is the unzoomed view, deeper entries are the zoom history.
using RangeStack = std::array<ScopeRange, kZoomLevels>;

struct ScopeChannel {
    std::uint32_t source = 0;
    std::uint8_t enabled = 0; // 1 = drawn, anything else hidden
    QColor colour;
    QString title;
    RangeStack range{};
    std::vector<tagDISFORCE> samples;
    std::array<float, kTickLabels> tickValues{};
    QString maxText; // formatted range of the current level
    QString minText;

    bool Shown() const { return source != 0 && enabled == 1; }
};

struct TimeAxis {
    std::uint16_t sampleCount = 0;
    RangeStack index{}; // sample-index range per level
    RangeStack time{};  // the same window in time units, for the labels
    float timePerSample = 0.0f;
    QString unit;
    int decimals = 0; // accepted from the host; the labels follow the zoom level instead
};

// A capture held for comparison. It is drawn dimmed under the live traces of channels that show
// the same source, and stays through new sweeps until it is let go.
struct ScopeReference {
    std::array<std::uint32_t, kScopeChannels> sources{};
    std::array<std::vector<tagDISFORCE>, kScopeChannels> samples;
    float timePerSample = 0.0f;
    std::uint16_t sampleCount = 0;

    bool Held() const { return sampleCount != 0; }
};

class ScopeState {
public:
    ScopeState();

    ScopeChannel& Channel(int number) { return channels[static_cast<std::size_t>(number - 1)]; }
    const ScopeChannel& Channel(int number) const {
        return channels[static_cast<std::size_t>(number - 1)];
    }

    void SetXUnit(const QString& unit) { axis.unit = unit; }
    void SetYUnit(const QString& text);
    void SetSampleCount(std::uint16_t count) { axis.sampleCount = count; }
    void SetXRange(float min, float max, int decimals);
    // Also derives the time per sample from the level-0 maximum; a sample count of 0 becomes 1.
    void SetTimeRange(int tmin, int tmax);
    // Range setting at the current level: an unzoomed span under 10 is widened by 5 each side.
    void SetChannelRange(int channel, float min, float max);
    void SetChannelSources(std::uint32_t c1, std::uint32_t c2, std::uint32_t c3, std::uint32_t c4);

    // Takes one sample, growing the channel's symmetric range in steps of 10 (100 above 100)
    // when 1.2 x |value| outgrows it. Returns true when this was the sweep's last index: the
    // scales have then been unified and the picture is due for a redraw.
    bool AddPoint(int channel, int index, float value);

    // Gives every channel of one unit group the largest symmetric level-0 range among them.
    void UnifyScales();

    // Back to the unzoomed view with empty sample lists. A held reference stays.
    void Clear();

    // Holds the shown channels' sweeps as the reference; false (nothing held) without samples.
    bool KeepReference();
    void ClearReference() { reference = {}; }

    std::array<ScopeChannel, kScopeChannels> channels;
    TimeAxis axis;
    int level = 0;
    int ch1Decimals = 0; // accepted from the host, like the time axis's
    QColor background{0, 0, 0};
    ScopeReference reference;

private:
    void SetRangeAt(ScopeChannel& channel, int atLevel, float min, float max) const;
};

} // namespace kestova
