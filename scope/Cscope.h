#pragma once

// Cscope: the four-channel oscilloscope of the motion test page. It shows the sweeps the host
// feeds it, ranges them itself, and lets the user zoom with the mouse (drag: zoom into the
// band; click: back one level, up to 14 levels deep) and pick colours from its context menu.
// It never talks to the drive.
//
// How the host drives it, in this order:
//   once:        SetYUnit("Current mA"); SetXUnit("ms"); SetSampleCount(200);
//                SetXRange(0.0, 200.0, 2); SetTimeRange(0, 200); SetCh1Range(-5.0, 5.0, 1);
//                SetCh2Range..SetCh4Range(-5.0, 5.0); InitScope(); ClearScope();
//   test start/stop:  SetClientRect(...); Redraw();
//   show box toggled: EnableChN(1 or 0)                       (redraws)
//   every sweep of n samples lasting T time units:
//                SetChannelSources(c1, c2, c3, c4); SetCh1Range(-5.0, 5.0, 1);
//                SetCh2Range..SetCh4Range(-5.0, 5.0); SetXRange(0.0, n, 2); SetSampleCount(n);
//                SetTimeRange(0, T); ClearScope(); EnableCh1..EnableCh4(box);
//                then per channel with a source: AddChNPoint(i, sample i) for i = 0 .. n-1
//                (the last index unifies the scales and redraws).
// Range and axis setters write the current zoom level and never redraw. A redraw places the
// picture at once (View() has the new scales) and draws the layers when the control is next
// painted, so the eleven redraws of one sweep draw once.
//
// Measuring aids, offered by a host that asks for them (OfferAids) and then all off until
// chosen from the context menu below the colours: two cursors
// dragged by their handles at the plot's top with a read-out in a column right of the picture,
// step figures the host computes for a chosen channel (stepChannelChanged), a reference capture
// drawn dimmed under the live one, and saving the capture as CSV or the picture as PNG.
//
// To its parent it posts WM_SCOPE_COLOR (wParam channel 1..4, lParam 0x00BBGGRR) after a
// channel colour changed, and WM_SCOPE_NCLBUTTONDOWN (wParam HTCAPTION, lParam 0) after every
// left-button release.

#include "ScopeCursors.h"
#include "ScopeIds.h"
#include "ScopeRenderer.h"
#include "ScopeState.h"
#include "ScopeZoom.h"

#include <QCursor>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>

class QMenu;
class QPainter;

namespace kestova {

class Presenter;

class Cscope : public QWidget {
    Q_OBJECT
public:
    using tagDISFORCE = kestova::tagDISFORCE;

    // Message boxes and the colour dialog go through `presenter`.
    explicit Cscope(Presenter& presenter, QWidget* parent = nullptr);

    void SetXUnit(const QString& unit);
    // Channel 1's title until the next redraw, which names every channel by its source.
    void SetYUnit(const QString& text);
    void SetSampleCount(std::uint16_t count);
    // `decimals` is accepted and kept; label precision follows the zoom level.
    void SetXRange(float min, float max, int decimals);
    // A sample count of 0 becomes 1; the time per sample is the level-0 maximum / sample count.
    void SetTimeRange(int tmin, int tmax);
    // At level 0 a span under 10 is widened by 5 each side; min > max is kept as given.
    void SetCh1Range(float min, float max, int decimals);
    void SetCh2Range(float min, float max);
    void SetCh3Range(float min, float max);
    void SetCh4Range(float min, float max);
    void SetChannelSources(std::uint32_t c1, std::uint32_t c2, std::uint32_t c3, std::uint32_t c4);

    // 1 shows the channel, anything else hides it; redraws.
    void EnableCh1(std::uint8_t enabled);
    void EnableCh2(std::uint8_t enabled);
    void EnableCh3(std::uint8_t enabled);
    void EnableCh4(std::uint8_t enabled);

    void AddCh1Point(int index, float value);
    void AddCh2Point(int index, float value);
    void AddCh3Point(int index, float value);
    void AddCh4Point(int index, float value);

    // Empty lists, level 0, and the drawing layers. Nothing is drawn before it.
    void InitScope();
    // The "once" steps above with their usual values (200 samples over 200 ms, +-5 on every
    // channel), then InitScope and ClearScope.
    void InitEmpty();
    // The steps of a new sweep up to its points: the channels' sources, +-5 ranges that the
    // points then widen, n samples over `span` of `unit`, and ClearScope.
    void BeginSweep(const std::array<std::uint32_t, 4>& sources, int n, const QString& unit,
                    int span);
    // Level 0, empty lists, redraw.
    void ClearScope();
    void SetClientRect(int left, int top, int right, int bottom);
    // Places the picture now; the layers are drawn at the next paint.
    void Redraw();

    // A context-menu command (ID_SCOPE_BGCOLOR .. ID_SCOPE_CH4COLOR, or one of ScopeAidIds.h).
    void OnCommand(int id);

    // The aids. The read-out column is this wide while the cursors or the step figures are on.
    static constexpr int kReadoutWidth = 190;
    // Lists the aids' commands in the context menu (they are not by default).
    void OfferAids(bool offered) { aidsOffered_ = offered; }
    bool AidsOffered() const { return aidsOffered_; }
    void SetCursorsOn(bool on);
    // Cursor 1 or 2 to the sample nearest a time.
    void PlaceCursor(int cursor, double time);
    const ScopeCursors& Cursors() const { return cursors_; }
    // 0: off, else the channel whose figures the host is asked for.
    void SetStepChannel(int channel);
    int StepChannel() const { return stepChannel_; }
    // The host's answer to stepChannelChanged and to every new sweep; shown under the read-out.
    void SetStepFigures(const QStringList& lines);
    const QStringList& StepFiguresText() const { return stepLines_; }
    // The read-out as shown (empty while the cursors are off).
    QStringList ReadoutText() const;
    // False (nothing held) without a shown sweep.
    bool KeepReference();
    void ClearReference();
    // Through the file dialog; false when cancelled or the file could not be written (said).
    bool SaveCaptureCsv();
    bool SavePicturePng();
    // The part of the control the picture takes: all of it but the read-out column.
    QSize PictureSize() const;

    const ScopeState& State() const { return state_; }
    // With the layers drawn as the next paint would show them.
    const ScopeRenderer& Renderer();
    // The view of the last redraw, which zoom and cursors work from.
    const ScopeView& View() const { return view_; }
    const ScopeDrag& Drag() const { return drag_; }
    int ZoomLevel() const { return state_.level; }

    QSize sizeHint() const override;

signals:
    // The user chose the channel for the step figures (0: none).
    void stepChannelChanged(int channel);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void Enable(int channel, std::uint8_t enabled);
    void DrawPending();
    void AddPoint(int channel, int index, float value);
    void ZoomInto(const ScopeRect& band);
    void RestorePointer();
    void Post(unsigned message, quintptr wParam, qintptr lParam);
    bool ReadoutShown() const;
    void AddAidCommands(QMenu& menu);
    bool OnAidCommand(int id);
    bool PressHandle(QPoint p);
    void PaintAids(QPainter& p);
    void PaintCursors(QPainter& p);
    void PaintReadout(QPainter& p);
    QString AskSavePath(const QString& title, const QString& filter, const QString& suffix);
    bool SaveFailed(const QString& path);

    Presenter& presenter_;
    ScopeState state_;
    ScopeRenderer renderer_;
    ScopeDrag drag_;
    QCursor savedCursor_;
    bool hadCursor_ = false;
    ScopeView view_;
    bool drawPending_ = false;
    ScopeCursors cursors_;
    int stepChannel_ = 0;
    bool aidsOffered_ = false;
    QStringList stepLines_;
};

} // namespace kestova
