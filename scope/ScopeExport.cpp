#include "ScopeExport.h"

#include "ScopeChannels.h"

#include <QStringList>

#include <algorithm>
#include <limits>
#include <vector>

namespace kestova {

namespace {

// Enough digits to read a float back unchanged.
QString Exact(double v) {
    return QString::number(v, 'g', 9);
}

} // namespace

QString CaptureCsv(const ScopeState& state) {
    std::vector<const ScopeChannel*> shown;
    std::size_t rows = std::numeric_limits<std::size_t>::max();
    QStringList header{QStringLiteral("Time (%1)").arg(state.axis.unit)};
    for (const ScopeChannel& c : state.channels) {
        if (!c.Shown()) {
            continue;
        }
        shown.push_back(&c);
        header << ChannelName(c.source);
        rows = std::min({rows, c.samples.size(), static_cast<std::size_t>(state.axis.sampleCount)});
    }
    if (shown.empty()) {
        rows = 0;
    }
    QString text = header.join(QLatin1Char(',')) + QLatin1Char('\n');
    const double k = state.axis.timePerSample;
    for (std::size_t i = 0; i < rows; ++i) {
        QStringList row{Exact(static_cast<double>(i) * k)};
        for (const ScopeChannel* c : shown) {
            row << Exact(c->samples[i].y);
        }
        text += row.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return text;
}

} // namespace kestova
