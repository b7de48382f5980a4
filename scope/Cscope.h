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
// Range and axis setters write the current zoom level and never redraw.
//
// To its parent it posts WM_SCOPE_COLOR (wParam channel 1..4, lParam 0x00BBGGRR) after a
// channel colour changed, and WM_SCOPE_NCLBUTTONDOWN (wParam HTCAPTION, lParam 0) after every
// left-button release.

#include "ScopeIds.h"
#include "ScopeRenderer.h"
#include "ScopeState.h"
#include "ScopeZoom.h"

#include <QCursor>
#include <QWidget>

#include <cstdint>

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
    // Level 0, empty lists, redraw.
    void ClearScope();
    void SetClientRect(int left, int top, int right, int bottom);
    void Redraw();

    // A context-menu command (ID_SCOPE_BGCOLOR .. ID_SCOPE_CH4COLOR).
    void OnCommand(int id);

    const ScopeState& State() const { return state_; }
    const ScopeRenderer& Renderer() const { return renderer_; }
    const ScopeDrag& Drag() const { return drag_; }
    int ZoomLevel() const { return state_.level; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void Enable(int channel, std::uint8_t enabled);
    void AddPoint(int channel, int index, float value);
    void ZoomInto(const ScopeRect& band);
    void RestorePointer();
    void Post(unsigned message, quintptr wParam, qintptr lParam);

    Presenter& presenter_;
    ScopeState state_;
    ScopeRenderer renderer_;
    ScopeDrag drag_;
    QCursor savedCursor_;
    bool hadCursor_ = false;
};

} // namespace kestova
