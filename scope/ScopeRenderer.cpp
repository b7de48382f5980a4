#include "ScopeRenderer.h"

#include "ScopeChannels.h"

#include <QFontMetrics>
#include <QLine>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <vector>

namespace kestova {

namespace {

// Cell height of the label font, top of the tallest letter to the bottom of the deepest.
constexpr int kFontCellHeight = 14;

// The labels' face at its cell height. Where that face is missing, the system's sans-serif at
// the largest pixel size that keeps the same cell height, so text extents size the margins
// as they would there. The face has a single regular cut, so the thin weight one might ask
// for draws as regular anyway.
QFont ScopeFont() {
    QFont font(QStringLiteral("Microsoft Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    int pixels = kFontCellHeight;
    for (; pixels > 6; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).height() <= kFontCellHeight) {
            break;
        }
    }
    font.setPixelSize(pixels);
    return font;
}

// One-pixel pen for the frames and grid lines, which leave out their last pixel.
QPen LinePen(const QColor& colour) {
    return QPen(colour, 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
}

// One-pixel pen for the traces. Square ends, because with flat ones the painter leaves out
// the first pixel of a steep segment: every sample is to be seen, the first and last too.
QPen TracePen(const QColor& colour) {
    return QPen(colour, 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}

bool UsableScale(float scale) {
    return scale != 0.0f && std::isfinite(scale);
}

} // namespace

ScopeRenderer::ScopeRenderer() : labelFont_(ScopeFont()), titleFont_(labelFont_) {
    ascent_ = QFontMetrics(labelFont_).ascent();
}

void ScopeRenderer::CreateLayers(QSize client) {
    trace_ = QImage();
    background_ = QImage();
    selection_ = QImage();
    compose_ = QImage();
    EnsureLayers(client);
}

void ScopeRenderer::EnsureLayers(QSize client) {
    const int wanted = std::clamp(client.width(), 1, kMaxLayerWidth);
    const int wantedHeight = std::clamp(client.height(), 1, kMaxLayerHeight);
    if (HasLayers() && wanted <= compose_.width() && wantedHeight <= compose_.height()) {
        return;
    }
    // Grow only: a window that shrinks and grows back keeps its layers.
    const QSize size(std::max(wanted, compose_.width()), std::max(wantedHeight, compose_.height()));
    trace_ = QImage(size, QImage::Format_RGB32);
    trace_.fill(Qt::black);
    background_ = QImage(size, QImage::Format_RGB32);
    background_.fill(MarginColour());
    selection_ = QImage(size, QImage::Format_RGB32);
    selection_.fill(TraceFillColour());
    lastBand_ = {};
    compose_ = QImage(size, QImage::Format_RGB32);
    compose_.fill(MarginColour());
}

qsizetype ScopeRenderer::LayerBytes() const {
    return trace_.sizeInBytes() + background_.sizeInBytes() + selection_.sizeInBytes() +
           compose_.sizeInBytes();
}

QRect ScopeRenderer::LayerClip(const QRect& r) const {
    return r.intersected(compose_.rect());
}

ScopeView ScopeRenderer::Redraw(ScopeState& state, QSize client) {
    if (!HasLayers()) {
        view_ = ViewOf(state, {});
        return view_;
    }
    EnsureLayers(client);
    client_ = {0, 0, client.width(), client.height()};
    for (ScopeChannel& c : state.channels) {
        c.title = ChannelName(c.source);
    }
    MeasureLayout(state);
    DrawBackground(state);
    view_ = ViewOf(state, plot_);
    DrawTraces(state);
    return view_;
}

void ScopeRenderer::MeasureLayout(ScopeState& state) {
    const auto L = static_cast<std::size_t>(state.level);
    channelDecimals_ = std::min(state.level, 3);

    const QFontMetrics fm(labelFont_);
    std::array<int, kScopeChannels> w{};
    for (int ch = 1; ch <= kScopeChannels; ++ch) {
        ScopeChannel& c = state.Channel(ch);
        c.maxText = FormatFixed(c.range[L].max, channelDecimals_);
        c.minText = FormatFixed(c.range[L].min, channelDecimals_);
        w[static_cast<std::size_t>(ch - 1)] =
            std::max(fm.horizontalAdvance(c.maxText), fm.horizontalAdvance(c.minText));
    }
    charWidth_ = fm.horizontalAdvance(QStringLiteral("0"));
    charHeight_ = fm.height();

    // Room for all four channels' labels, shown or not, so the plot keeps its place. Below
    // the plot: the time labels, the unit text and one row to spare.
    const int textHeight = fm.height();
    margins_ = {w[0] + w[3] + 3 * charWidth_, charHeight_, w[1] + w[2] + 5 * charWidth_,
                textHeight + textHeight + charHeight_};
    plot_ = kestova::PlotRect(client_, margins_);
}

void ScopeRenderer::DrawBackground(ScopeState& state) {
    const auto L = static_cast<std::size_t>(state.level);
    QPainter p(&background_);
    p.fillRect(LayerClip(client_.ToQRect()), MarginColour());
    p.fillRect(LayerClip(plot_.ToQRect()), state.background);

    const QColor major = MajorGridColour();
    p.setPen(LinePen(major));
    const QPoint frame[] = {{client_.left, client_.top},
                            {client_.right - 1, client_.top},
                            {client_.right - 1, client_.bottom - 1},
                            {client_.left, client_.bottom - 1},
                            {client_.left, client_.top}};
    p.drawPolyline(frame, 5);
    const QPoint plotFrame[] = {{plot_.left, plot_.top},
                                {plot_.right, plot_.top},
                                {plot_.right, plot_.bottom},
                                {plot_.left, plot_.bottom},
                                {plot_.left, plot_.top}};
    p.drawPolyline(plotFrame, 5);

    // Always 10 x 10 major cells; the minor lines subdivide them to suit the ranges.
    const int dx = plot_.Width() / 10;
    const int dy = plot_.Height() / 10;
    const ScopeChannel& ch1 = state.channels[0];
    yDivisions_ = YDivisions(ch1.range[L].max, ch1.range[L].min, yDivisions_);
    xDivisions_ = XDivisions(state.axis.time[L].max, state.axis.time[L].min);
    const double fx = static_cast<double>(dx) / xDivisions_;
    const double fy = static_cast<double>(dy) / yDivisions_;
    const int cX = 10 * xDivisions_;
    const int cY = 10 * yDivisions_;

    std::vector<QLine> lines;
    lines.reserve(static_cast<std::size_t>(cX + cY));
    for (int i = 1; i < cX; ++i) {
        const int x = TruncToInt(plot_.left + i * fx);
        lines.emplace_back(x, plot_.top + 1, x, plot_.bottom);
    }
    for (int j = 1; j < cY; ++j) {
        const int y = TruncToInt(plot_.top + j * fy);
        lines.emplace_back(plot_.left + 1, y, plot_.right, y);
    }
    p.setPen(LinePen(MinorGridColour()));
    p.drawLines(lines.data(), static_cast<int>(lines.size()));

    lines.clear();
    for (int m = 1; m <= 9; ++m) {
        const int x = plot_.left + m * dx;
        const int y = plot_.top + m * dy;
        lines.emplace_back(x, plot_.top + 1, x, plot_.bottom);
        lines.emplace_back(plot_.left + 1, y, plot_.right, y);
    }
    p.setPen(LinePen(major));
    p.drawLines(lines.data(), static_cast<int>(lines.size()));

    DrawTimeLabels(p, state);
    for (int ch = 1; ch <= kScopeChannels; ++ch) {
        if (state.Channel(ch).Shown()) {
            DrawChannelLabels(p, state, ch);
        }
    }
}

void ScopeRenderer::DrawTraces(const ScopeState& state) {
    QPainter p(&trace_);
    p.fillRect(LayerClip(plot_.ToQRect()), TraceFillColour());

    const float hs = view_.hScale;
    // A zero scale (an empty range, or no plot yet) places nothing.
    if (!UsableScale(hs)) {
        return;
    }
    if (state.reference.Held()) {
        DrawReference(p, state);
    }
    const double xmin = view_.index.min;
    std::vector<QPoint>& points = points_;
    for (int ch = 1; ch <= kScopeChannels; ++ch) {
        const ScopeChannel& c = state.Channel(ch);
        const ChannelView& cv = view_.Channel(ch);
        if (!c.Shown() || !UsableScale(cv.scale)) {
            continue;
        }
        const double ymin = cv.min;
        const std::size_t count = std::min<std::size_t>(c.samples.size(), state.axis.sampleCount);
        points.clear();
        points.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            const tagDISFORCE& s = c.samples[i];
            points.emplace_back(TruncToInt((s.x - xmin) / hs) + plot_.left,
                                plot_.bottom - TruncToInt((s.y - ymin) / cv.scale));
        }
        if (points.size() >= 2) {
            p.setPen(TracePen(c.colour));
            p.drawPolyline(points.data(), static_cast<int>(points.size()));
        }
    }
}

QColor ScopeRenderer::ReferenceColour(const QColor& colour) {
    return {colour.red() * 2 / 5, colour.green() * 2 / 5, colour.blue() * 2 / 5};
}

// The reference's samples sit where their time falls in the live sweep's index window, so a
// reference taken at another sampling interval still lines up in time.
void ScopeRenderer::DrawReference(QPainter& p, const ScopeState& state) {
    const ScopeReference& ref = state.reference;
    const double k = view_.timePerSample;
    if (!UsableScale(static_cast<float>(k)) || !UsableScale(ref.timePerSample)) {
        return;
    }
    const double stretch = ref.timePerSample / k;
    const double hs = view_.hScale;
    const double xmin = view_.index.min;
    for (int ch = 1; ch <= kScopeChannels; ++ch) {
        const auto c = static_cast<std::size_t>(ch - 1);
        const ScopeChannel& live = state.Channel(ch);
        const ChannelView& cv = view_.Channel(ch);
        if (!live.Shown() || ref.sources[c] != live.source || !UsableScale(cv.scale)) {
            continue;
        }
        points_.clear();
        points_.reserve(ref.samples[c].size());
        for (const tagDISFORCE& s : ref.samples[c]) {
            points_.emplace_back(TruncToInt((s.x * stretch - xmin) / hs) + plot_.left,
                                 plot_.bottom - TruncToInt((s.y - cv.min) / cv.scale));
        }
        if (points_.size() >= 2) {
            p.setPen(TracePen(ReferenceColour(live.colour)));
            p.drawPolyline(points_.data(), static_cast<int>(points_.size()));
        }
    }
}

void ScopeRenderer::ClearSelection() {
    if (HasLayers()) {
        selection_.fill(TraceFillColour());
        lastBand_ = {};
    }
}

void ScopeRenderer::DrawSelection(const ScopeRect& band) {
    if (!HasLayers()) {
        return;
    }
    QPainter p(&selection_);
    // Everything but the last band is still the plain fill, so only that needs wiping.
    p.fillRect(LayerClip(lastBand_.ToQRect()), TraceFillColour());
    lastBand_ = band;
    if (band.IsEmpty()) {
        return;
    }
    // Black inside, so the OR leaves the picture as it is; a white one-pixel frame on top.
    const QRect r = band.ToQRect();
    p.fillRect(r, Qt::black);
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), Qt::white);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), Qt::white);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), Qt::white);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), Qt::white);
}

const QImage& ScopeRenderer::Compose(bool dragging) {
    if (!HasLayers()) {
        return compose_;
    }
    const QRect area = LayerClip(client_.ToQRect());
    QPainter p(&compose_);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(area.topLeft(), background_, area);
    p.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    const QRect plot = LayerClip(plot_.ToQRect());
    if (!plot.isEmpty()) {
        p.drawImage(plot.topLeft(), trace_, plot);
    }
    if (dragging) {
        p.drawImage(area.topLeft(), selection_, area);
    }
    return compose_;
}

} // namespace kestova
