#pragma once

// Draws the scope's state into four image layers and composes them:
//   background  margins, plot background, frames, grid, tick labels, unit text, titles
//   trace       the channel polylines over a (5, 0, 0) fill of the plot rectangle, a held
//               reference dimmed beneath them
//   selection   the rubber band during a drag: white frame, black inside, (5, 0, 0) elsewhere
//   compose     background, then the trace layer's plot rectangle and (while dragging) the
//               selection layer ORed in bit by bit, so only the traces and the band's frame show
// Grid, labels and traces are drawn only when data or view change; a paint just composes. The
// background is kept while what it shows (size, ranges, colours, texts, shown channels) stays the
// same, so a new capture of unchanged ranges draws only its traces.

#include "ScopeLayout.h"
#include "ScopeState.h"
#include "ScopeView.h"

#include <QFont>
#include <QImage>
#include <QSize>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

class QPainter;

namespace kestova {

class ScopeRenderer {
public:
    // The picture is defined up to this client size; the layers follow the client below it.
    static constexpr int kMaxLayerWidth = 2000;
    static constexpr int kMaxLayerHeight = 3000;

    ScopeRenderer();

    // Creates the layers for a client of this size. Nothing is drawn before this.
    void CreateLayers(QSize client);
    bool HasLayers() const { return !compose_.isNull(); }

    // Device pixels per unit of the client's coordinates (2 on a doubled screen). The layers hold
    // that many pixels per unit, so lines and text stay sharp instead of being stretched; all
    // coordinates stay in client units. Layers already made are made again at the new ratio and
    // are blank until the next Redraw.
    void SetDevicePixelRatio(qreal ratio);
    qreal DevicePixelRatio() const { return ratio_; }
    // The layers' size in client units.
    QSize LayerSize() const;
    // A client rectangle in the layers' own pixels.
    QRect DevicePixels(const QRect& r) const;

    // Places the picture for a client of this size (layers grow when it outgrows them): writes
    // the titles and range texts into `state` and returns the view the next Draw shows, which
    // View() keeps. Cheap; nothing is drawn. Without layers the view has no scales.
    ScopeView Layout(ScopeState& state, QSize client);
    // Draws the background and trace layers as the last Layout placed them and writes the tick
    // values into `state`. The background is drawn again only when what it shows changed.
    void Draw(ScopeState& state);
    // Layout, then Draw.
    ScopeView Redraw(ScopeState& state, QSize client);
    // How often Draw has drawn the traces, and the background with them.
    int Draws() const { return draws_; }
    int BackgroundDraws() const { return backgroundDraws_; }
    const ScopeView& View() const { return view_; }

    // The band over the plain (5, 0, 0) fill of the selection layer.
    void DrawSelection(const ScopeRect& band);
    // The selection layer without a band, so a paint before the first move shows no old one.
    void ClearSelection();

    // The composed picture; its top-left ClientSize() part (in client units) is what the window
    // shows.
    const QImage& Compose(bool dragging);

    // Kept until the next Redraw, which takes the client size it is given.
    void SetClientRect(const ScopeRect& client) { client_ = client; }

    const ScopeRect& ClientRect() const { return client_; }
    const ScopeRect& PlotRect() const { return plot_; }
    const ScopeMargins& Margins() const { return margins_; }
    QSize CharSize() const { return {charWidth_, charHeight_}; }
    int XDivisionsShown() const { return xDivisions_; }
    int YDivisionsShown() const { return yDivisions_; }
    // Width of channel 2's label column, which places channel 3's labels.
    int Column2Width() const { return column2_; }
    // The 11 time labels as drawn, left to right.
    const QStringList& TimeLabels() const { return timeLabels_; }
    // Decimals of the channel labels at the current zoom level (time labels have none).
    int ChannelDecimals() const { return channelDecimals_; }

    const QImage& BackgroundLayer() const { return background_; }
    const QImage& TraceLayer() const { return trace_; }
    const QImage& SelectionLayer() const { return selection_; }
    const QImage& ComposeLayer() const { return compose_; }
    qsizetype LayerBytes() const;

    const QFont& LabelFont() const { return labelFont_; }

    // Drawing colours that never change.
    static QColor MinorGridColour() { return {0, 60, 0}; }
    static QColor MajorGridColour() { return {0, 130, 0}; }
    static QColor MarginColour() { return {255, 255, 255}; }
    static QColor TraceFillColour() { return {5, 0, 0}; }
    // A reference trace: the channel's colour at 40 %.
    static QColor ReferenceColour(const QColor& colour);

private:
    // Everything the background layer shows; equal keys draw equal backgrounds.
    struct BackgroundKey {
        struct Channel {
            bool shown = false;
            QColor colour;
            QString title;
            float min = 0.0f;
            float max = 0.0f;
            bool operator==(const Channel&) const = default;
        };
        ScopeRect client;
        ScopeRect plot;
        QSize layers;
        qreal ratio = 1.0;
        int level = 0;
        float timeMin = 0.0f;
        float timeMax = 0.0f;
        QString unit;
        QColor background;
        int yDivisions = 0; // both as the drawing left them, which the next one starts from
        int column2 = 0;
        std::array<Channel, kScopeChannels> channels{};
        bool operator==(const BackgroundKey&) const = default;
    };
    BackgroundKey KeyOf(const ScopeState& state) const;

    void EnsureLayers(QSize client);
    void MeasureLayout(ScopeState& state);
    void DrawBackground(ScopeState& state);
    void DrawTimeLabels(QPainter& p, const ScopeState& state);
    void DrawChannelLabels(QPainter& p, ScopeState& state, int channel);
    void DrawTraces(const ScopeState& state);
    void DrawReference(QPainter& p, const ScopeState& state);
    // Text with its top-left corner at (x, y).
    void DrawTextAt(QPainter& p, int x, int y, const QString& text) const;
    int TextWidth(const QString& text) const;
    QRect LayerClip(const QRect& r) const;
    // One polyline: offsets right and up from the plot's bottom-left corner in client units,
    // before truncation. Placing may overwrite them.
    void DrawPolyline(QPainter& p, std::vector<QPointF>& offsets);

    QFont labelFont_; // tick labels, unit text and all measuring
    QFont titleFont_; // channel titles
    int ascent_ = 0;

    QImage trace_;
    QImage background_;
    QImage selection_;
    QImage compose_;

    ScopeRect client_;
    ScopeRect plot_;
    ScopeMargins margins_;
    int charWidth_ = 0;
    int charHeight_ = 0;
    int channelDecimals_ = 0;
    int xDivisions_ = 1;
    int yDivisions_ = 2; // kept when a span has no fitting divisor
    int column2_ = 0;    // 0 until channel 2's labels are first drawn
    QStringList timeLabels_;
    ScopeRect lastBand_; // the only part of the selection layer that is not plain fill
    ScopeView view_;
    std::vector<QPointF> offsets_; // a polyline's points from the plot's corner, reused
    std::vector<QPoint> points_;   // the same placed on whole pixels, at a ratio of 1
    qreal ratio_ = 1.0;
    std::optional<BackgroundKey> drawnBackground_; // none: the background layer is not drawn
    std::array<std::array<float, kTickLabels>, kScopeChannels> ticks_{}; // as last drawn
    int draws_ = 0;
    int backgroundDraws_ = 0;
};

} // namespace kestova
