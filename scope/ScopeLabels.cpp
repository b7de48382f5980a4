// The scope's text: time labels under the plot, each channel's value labels beside it in the
// channel's colour, and the channel titles in the corners.

#include "ScopeRenderer.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace kestova {

int ScopeRenderer::TextWidth(const QString& text) const {
    return QFontMetrics(labelFont_).horizontalAdvance(text);
}

void ScopeRenderer::DrawTextAt(QPainter& p, int x, int y, const QString& text) const {
    p.drawText(x, y + ascent_, text);
}

void ScopeRenderer::DrawTimeLabels(QPainter& p, const ScopeState& state) {
    const ScopeRange& time = state.axis.time[static_cast<std::size_t>(state.level)];
    const int half = charHeight_ / 2;
    p.setFont(labelFont_);
    p.setPen(Qt::black);

    const QString& unit = state.axis.unit;
    DrawTextAt(p, plot_.left + plot_.Width() / 2 - TextWidth(unit) / 2, plot_.bottom + half * 3,
               unit);

    // Whole time units at every zoom level; the rightmost label is centred on the right edge,
    // the others stand a little left of their grid line.
    const QString last = FormatFixed(time.max, 0);
    DrawTextAt(p, plot_.right - TextWidth(last) / 2, plot_.bottom + half, last);
    timeLabels_ = QStringList(kTickLabels, QString());
    timeLabels_[10] = last;
    const double step = (static_cast<double>(time.max) - time.min) / 10.0;
    const double px = plot_.Width() / 10.0;
    double value = time.max;
    for (int i = 9; i >= 0; --i) {
        value -= step;
        const QString text = FormatFixed(value, 0);
        timeLabels_[i] = text;
        DrawTextAt(p, TruncToInt(plot_.left + i * px - TextWidth(text) / 1.4), plot_.bottom + half,
                   text);
    }
}

void ScopeRenderer::DrawChannelLabels(QPainter& p, ScopeState& state, int channel) {
    ScopeChannel& c = state.Channel(channel);
    const ScopeRange& range = c.range[static_cast<std::size_t>(state.level)];
    const int half = charHeight_ / 2;
    p.setFont(labelFont_);
    p.setPen(c.colour);

    // Channels 1 and 4 stand left of the plot (1 right-aligned against it), 2 and 3 right of
    // it, 3 beyond channel 2's column.
    auto labelX = [&](const QString& text) {
        switch (channel) {
        case 1:
            return plot_.left - TextWidth(text) - 5;
        case 2:
            return plot_.right + 8;
        case 3:
            return plot_.right + 10 + column2_;
        default:
            return client_.left + 5;
        }
    };

    const QString top = FormatFixed(range.max, channelDecimals_);
    DrawTextAt(p, labelX(top), plot_.top - half, top);
    c.tickValues[10] = range.max;
    const double step = std::fabs(static_cast<double>(range.max) - range.min) / 10.0;
    const double py = plot_.Height() / 10.0;
    double value = range.max;
    QString text;
    for (int i = 9; i >= 0; --i) {
        value -= step;
        c.tickValues[static_cast<std::size_t>(i)] = static_cast<float>(value);
        text = FormatFixed(value, channelDecimals_);
        DrawTextAt(p, labelX(text), TruncToInt(plot_.top + (10 - i) * py - half), text);
    }
    if (channel == 2) {
        column2_ = TextWidth(text) + 8;
    }

    p.setFont(titleFont_);
    const int tw = QFontMetrics(titleFont_).horizontalAdvance(c.title);
    switch (channel) {
    case 1:
        DrawTextAt(p, plot_.left - tw / 3, 3, c.title);
        break;
    case 2:
        DrawTextAt(p, client_.right - tw - 15, 3, c.title);
        break;
    case 3:
        DrawTextAt(p, client_.right - tw - 5, plot_.bottom + 20, c.title);
        break;
    default:
        DrawTextAt(p, client_.left + 5, plot_.bottom + 20, c.title);
        break;
    }
}

} // namespace kestova
