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

void ScopeRenderer::SetDevicePixelRatio(qreal ratio) {
    if (!(ratio > 0.0) || ratio == ratio_) {
        return;
    }
    const QSize size = LayerSize();
    ratio_ = ratio;
    if (HasLayers()) {
        CreateLayers(size);
    }
}

QSize ScopeRenderer::LayerSize() const {
    return compose_.deviceIndependentSize().toSize();
}

QRect ScopeRenderer::DevicePixels(const QRect& r) const {
    if (ratio_ == 1.0) {
        return r;
    }
    const int left = static_cast<int>(std::floor(r.left() * ratio_));
    const int top = static_cast<int>(std::floor(r.top() * ratio_));
    const int right = static_cast<int>(std::ceil((r.left() + r.width()) * ratio_));
    const int bottom = static_cast<int>(std::ceil((r.top() + r.height()) * ratio_));
    return QRect(left, top, right - left, bottom - top);
}

void ScopeRenderer::EnsureLayers(QSize client) {
    const int wanted = std::clamp(client.width(), 1, kMaxLayerWidth);
    const int wantedHeight = std::clamp(client.height(), 1, kMaxLayerHeight);
    const QSize now = LayerSize();
    if (HasLayers() && wanted <= now.width() && wantedHeight <= now.height()) {
        return;
    }
    // Grow only: a window that shrinks and grows back keeps its layers.
    const QSize size(std::max(wanted, now.width()), std::max(wantedHeight, now.height()));
    const QSize pixels(static_cast<int>(std::ceil(size.width() * ratio_)),
                       static_cast<int>(std::ceil(size.height() * ratio_)));
    auto make = [&](QImage& layer, const QColor& fill) {
        layer = QImage(pixels, QImage::Format_RGB32);
        layer.setDevicePixelRatio(ratio_);
        layer.fill(fill);
    };
    make(trace_, Qt::black);
    make(background_, MarginColour());
    make(selection_, TraceFillColour());
    lastBand_ = {};
    make(compose_, MarginColour());
    drawnBackground_.reset();
}

qsizetype ScopeRenderer::LayerBytes() const {
    return trace_.sizeInBytes() + background_.sizeInBytes() + selection_.sizeInBytes() +
           compose_.sizeInBytes();
}

QRect ScopeRenderer::LayerClip(const QRect& r) const {
    return r.intersected(QRect(QPoint(0, 0), LayerSize()));
}

ScopeView ScopeRenderer::Redraw(ScopeState& state, QSize client) {
    Layout(state, client);
    Draw(state);
    return view_;
}

ScopeView ScopeRenderer::Layout(ScopeState& state, QSize client) {
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
    view_ = ViewOf(state, plot_);
    return view_;
}

ScopeRenderer::BackgroundKey ScopeRenderer::KeyOf(const ScopeState& state) const {
    const auto L = static_cast<std::size_t>(state.level);
    BackgroundKey key;
    key.client = client_;
    key.plot = plot_;
    key.layers = LayerSize();
    key.ratio = ratio_;
    key.level = state.level;
    key.timeMin = state.axis.time[L].min;
    key.timeMax = state.axis.time[L].max;
    key.unit = state.axis.unit;
    key.background = state.background;
    key.yDivisions = yDivisions_;
    key.column2 = column2_;
    for (std::size_t c = 0; c < state.channels.size(); ++c) {
        const ScopeChannel& channel = state.channels[c];
        key.channels[c] = {channel.Shown(), channel.colour, channel.title, channel.range[L].min,
                           channel.range[L].max};
    }
    return key;
}

void ScopeRenderer::Draw(ScopeState& state) {
    if (!HasLayers()) {
        return;
    }
    if (drawnBackground_ == KeyOf(state)) {
        for (int ch = 1; ch <= kScopeChannels; ++ch) {
            if (state.Channel(ch).Shown()) {
                state.Channel(ch).tickValues = ticks_[static_cast<std::size_t>(ch - 1)];
            }
        }
    } else {
        DrawBackground(state);
        for (std::size_t c = 0; c < state.channels.size(); ++c) {
            ticks_[c] = state.channels[c].tickValues;
        }
        // Taken after the drawing, which may change the divisions and channel 2's column that
        // the next drawing starts from.
        drawnBackground_ = KeyOf(state);
        ++backgroundDraws_;
    }
    DrawTraces(state);
    ++draws_;
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
    for (int ch = 1; ch <= kScopeChannels; ++ch) {
        const ScopeChannel& c = state.Channel(ch);
        const ChannelView& cv = view_.Channel(ch);
        if (!c.Shown() || !UsableScale(cv.scale)) {
            continue;
        }
        const double ymin = cv.min;
        const std::size_t count = std::min<std::size_t>(c.samples.size(), state.axis.sampleCount);
        offsets_.clear();
        offsets_.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            const tagDISFORCE& s = c.samples[i];
            offsets_.emplace_back((s.x - xmin) / hs, (s.y - ymin) / cv.scale);
        }
        p.setPen(TracePen(c.colour));
        DrawPolyline(p, offsets_);
    }
}

// Offsets from the plot's bottom-left corner, truncated to whole device pixels: whole units at a
// ratio of 1, half units on a doubled screen.
void ScopeRenderer::DrawPolyline(QPainter& p, std::vector<QPointF>& offsets) {
    if (offsets.size() < 2) {
        return;
    }
    if (ratio_ == 1.0) {
        points_.clear();
        for (const QPointF& e : offsets) {
            points_.emplace_back(TruncToInt(e.x()) + plot_.left, plot_.bottom - TruncToInt(e.y()));
        }
        p.drawPolyline(points_.data(), static_cast<int>(points_.size()));
        return;
    }
    for (QPointF& e : offsets) {
        e = QPointF(TruncToInt(e.x() * ratio_) / ratio_ + plot_.left,
                    plot_.bottom - TruncToInt(e.y() * ratio_) / ratio_);
    }
    p.drawPolyline(offsets.data(), static_cast<int>(offsets.size()));
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
        p.setPen(TracePen(ReferenceColour(live.colour)));
        offsets_.clear();
        offsets_.reserve(ref.samples[c].size());
        for (const tagDISFORCE& s : ref.samples[c]) {
            offsets_.emplace_back((s.x * stretch - xmin) / hs, (s.y - cv.min) / cv.scale);
        }
        DrawPolyline(p, offsets_);
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

// Works on the layers' own pixels: the background copied, then the traces and the band ORed in
// word by word, which no scaling can blur.
const QImage& ScopeRenderer::Compose(bool dragging) {
    if (!HasLayers()) {
        return compose_;
    }
    const QRect area = DevicePixels(LayerClip(client_.ToQRect())).intersected(compose_.rect());
    const QRect plot = DevicePixels(LayerClip(plot_.ToQRect())).intersected(compose_.rect());
    const auto row = [](const QImage& image, int y, int x) {
        return reinterpret_cast<const quint32*>(image.constScanLine(y)) + x;
    };
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto* out = reinterpret_cast<quint32*>(compose_.scanLine(y)) + area.left();
        std::copy_n(row(background_, y, area.left()), area.width(), out);
        if (y >= plot.top() && y <= plot.bottom() && !plot.isEmpty()) {
            const quint32* trace = row(trace_, y, plot.left());
            quint32* o = out + (plot.left() - area.left());
            for (int x = 0; x < plot.width(); ++x) {
                o[x] |= trace[x];
            }
        }
        if (dragging) {
            const quint32* band = row(selection_, y, area.left());
            for (int x = 0; x < area.width(); ++x) {
                out[x] |= band[x];
            }
        }
    }
    return compose_;
}

} // namespace kestova
