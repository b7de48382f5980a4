#include "Cscope.h"

#include "Presenter.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace kestova {

Cscope::Cscope(Presenter& presenter, QWidget* parent) : QWidget(parent), presenter_(presenter) {
    // Every pixel comes from the composed layers.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize Cscope::sizeHint() const {
    // The page's placeholder, 356 x 167 dialog units of its 8-point font.
    return {534, 271};
}

void Cscope::SetXUnit(const QString& unit) {
    state_.SetXUnit(unit);
}

void Cscope::SetYUnit(const QString& text) {
    state_.SetYUnit(text);
}

void Cscope::SetSampleCount(std::uint16_t count) {
    state_.SetSampleCount(count);
}

void Cscope::SetXRange(float min, float max, int decimals) {
    state_.SetXRange(min, max, decimals);
}

void Cscope::SetTimeRange(int tmin, int tmax) {
    state_.SetTimeRange(tmin, tmax);
}

void Cscope::SetCh1Range(float min, float max, int decimals) {
    state_.SetChannelRange(1, min, max);
    state_.ch1Decimals = decimals;
}

void Cscope::SetCh2Range(float min, float max) {
    state_.SetChannelRange(2, min, max);
}

void Cscope::SetCh3Range(float min, float max) {
    state_.SetChannelRange(3, min, max);
}

void Cscope::SetCh4Range(float min, float max) {
    state_.SetChannelRange(4, min, max);
}

void Cscope::SetChannelSources(std::uint32_t c1, std::uint32_t c2, std::uint32_t c3,
                               std::uint32_t c4) {
    state_.SetChannelSources(c1, c2, c3, c4);
}

void Cscope::Enable(int channel, std::uint8_t enabled) {
    state_.Channel(channel).enabled = enabled;
    Redraw();
}

void Cscope::EnableCh1(std::uint8_t enabled) {
    Enable(1, enabled);
}

void Cscope::EnableCh2(std::uint8_t enabled) {
    Enable(2, enabled);
}

void Cscope::EnableCh3(std::uint8_t enabled) {
    Enable(3, enabled);
}

void Cscope::EnableCh4(std::uint8_t enabled) {
    Enable(4, enabled);
}

void Cscope::AddPoint(int channel, int index, float value) {
    if (state_.AddPoint(channel, index, value)) {
        Redraw();
    }
}

void Cscope::AddCh1Point(int index, float value) {
    AddPoint(1, index, value);
}

void Cscope::AddCh2Point(int index, float value) {
    AddPoint(2, index, value);
}

void Cscope::AddCh3Point(int index, float value) {
    AddPoint(3, index, value);
}

void Cscope::AddCh4Point(int index, float value) {
    AddPoint(4, index, value);
}

void Cscope::InitScope() {
    state_.Clear();
    renderer_.SetDevicePixelRatio(devicePixelRatioF());
    renderer_.CreateLayers(size());
}

void Cscope::InitEmpty() {
    SetYUnit("Current mA");
    SetXUnit("ms");
    SetSampleCount(200);
    SetXRange(0.0F, 200.0F, 2);
    SetTimeRange(0, 200);
    SetCh1Range(-5.0F, 5.0F, 1);
    SetCh2Range(-5.0F, 5.0F);
    SetCh3Range(-5.0F, 5.0F);
    SetCh4Range(-5.0F, 5.0F);
    InitScope();
    ClearScope();
}

void Cscope::BeginSweep(const std::array<std::uint32_t, 4>& sources, int n, const QString& unit,
                        int span) {
    SetXUnit(unit);
    SetChannelSources(sources[0], sources[1], sources[2], sources[3]);
    SetCh1Range(-5.0F, 5.0F, 1);
    SetCh2Range(-5.0F, 5.0F);
    SetCh3Range(-5.0F, 5.0F);
    SetCh4Range(-5.0F, 5.0F);
    SetXRange(0.0F, static_cast<float>(n), 2);
    SetSampleCount(static_cast<std::uint16_t>(n));
    SetTimeRange(0, span);
    ClearScope();
}

void Cscope::ClearScope() {
    state_.Clear();
    Redraw();
}

void Cscope::SetClientRect(int left, int top, int right, int bottom) {
    renderer_.SetClientRect({left, top, right, bottom});
}

void Cscope::Redraw() {
    renderer_.SetDevicePixelRatio(devicePixelRatioF());
    view_ = renderer_.Layout(state_, PictureSize());
    drawPending_ = true;
    update();
}

void Cscope::DrawPending() {
    if (drawPending_) {
        drawPending_ = false;
        renderer_.Draw(state_);
    }
}

const ScopeRenderer& Cscope::Renderer() {
    DrawPending();
    return renderer_;
}

void Cscope::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!renderer_.HasLayers()) {
        p.fillRect(rect(), ScopeRenderer::MarginColour());
        return;
    }
    // A window moved to a screen of another pixel ratio is drawn again at that ratio.
    if (renderer_.DevicePixelRatio() != devicePixelRatioF()) {
        renderer_.SetDevicePixelRatio(devicePixelRatioF());
        view_ = renderer_.Layout(state_, PictureSize());
        drawPending_ = true;
    }
    DrawPending();
    const QImage& picture = renderer_.Compose(drag_.InProgress());
    const QRect shown =
        QRect(QPoint(0, 0), PictureSize()).intersected(QRect(QPoint(0, 0), renderer_.LayerSize()));
    p.drawImage(QRectF(shown), picture, QRectF(renderer_.DevicePixels(shown)));
    // Beyond the largest layers the picture is not defined; keep it plain.
    if (shown != rect()) {
        p.fillRect(QRect(shown.right() + 1, 0, width() - shown.width(), height()),
                   ScopeRenderer::MarginColour());
        p.fillRect(QRect(0, shown.bottom() + 1, shown.width(), height() - shown.height()),
                   ScopeRenderer::MarginColour());
    }
    PaintAids(p);
}

void Cscope::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (renderer_.HasLayers()) {
        Redraw();
    }
}

void Cscope::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (PressHandle(event->position().toPoint())) {
        event->accept();
        return;
    }
    if (drag_.Press(renderer_.PlotRect(), event->position().toPoint())) {
        hadCursor_ = testAttribute(Qt::WA_SetCursor);
        savedCursor_ = cursor();
        setCursor(Qt::CrossCursor);
        renderer_.ClearSelection();
    }
    event->accept();
}

void Cscope::mouseMoveEvent(QMouseEvent* event) {
    if (cursors_.Grabbed() != 0 && (event->buttons() & Qt::LeftButton)) {
        cursors_.DragTo(state_, view_, event->position().toPoint().x());
        update();
        event->accept();
        return;
    }
    if (!(event->buttons() & Qt::LeftButton) || !drag_.InProgress()) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    drag_.Move(renderer_.PlotRect(), event->position().toPoint());
    renderer_.DrawSelection(drag_.Band());
    update();
    event->accept();
}

void Cscope::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    if (cursors_.Grabbed() != 0) {
        cursors_.Release();
        event->accept();
        Post(WM_SCOPE_NCLBUTTONDOWN, HTCAPTION, 0);
        return;
    }
    if (drag_.InProgress()) {
        RestorePointer();
    }
    event->accept();
    QPointer<Cscope> self(this);
    switch (drag_.Finish(renderer_.PlotRect(), event->position().toPoint())) {
    case ScopeDrag::Release::Click:
        if (ZoomOut(state_)) {
            Redraw();
        }
        break;
    case ScopeDrag::Release::ZoomIn:
        ZoomInto(drag_.Band());
        break;
    case ScopeDrag::Release::Cancelled:
        update(renderer_.PlotRect().ToQRect());
        break;
    }
    // The message box of a refused zoom runs its own event loop; the host may be gone after it.
    if (self) {
        Post(WM_SCOPE_NCLBUTTONDOWN, HTCAPTION, 0);
    }
}

void Cscope::ZoomInto(const ScopeRect& band) {
    if (ZoomIn(state_, view_, band) == ZoomOutcome::AlreadyMaximized) {
        QPointer<Cscope> self(this);
        presenter_.Message(this, QStringLiteral("Already maximized!"), QStringLiteral("Maximize"),
                           MsgIcon::None, MsgButtons::Ok);
        if (!self) {
            return;
        }
    }
    Redraw();
}

void Cscope::RestorePointer() {
    if (hadCursor_) {
        setCursor(savedCursor_);
    } else {
        unsetCursor();
    }
}

void Cscope::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    for (const ScopeColorCommand& command : kScopeColorCommands) {
        menu.addAction(QString::fromLatin1(command.text))->setData(command.id);
    }
    AddAidCommands(menu);
    QPointer<Cscope> self(this);
    const QAction* chosen = menu.exec(event->globalPos());
    if (self && chosen != nullptr) {
        OnCommand(chosen->data().toInt());
    }
}

void Cscope::OnCommand(int id) {
    if (OnAidCommand(id)) {
        return;
    }
    for (const ScopeColorCommand& command : kScopeColorCommands) {
        if (command.id != id) {
            continue;
        }
        QPointer<Cscope> self(this);
        const std::optional<QColor> chosen =
            presenter_.ChooseColor(this, QColor(command.red, command.green, command.blue));
        if (!self || !chosen || !chosen->isValid()) {
            return;
        }
        // Opaque: the layers are combined bit by bit, not blended.
        QColor colour = chosen->toRgb();
        colour.setAlpha(255);
        if (command.channel == 0) {
            state_.background = colour;
            Redraw();
        } else {
            state_.Channel(command.channel).colour = colour;
            Redraw();
            Post(WM_SCOPE_COLOR, static_cast<quintptr>(command.channel), ColorRef(colour));
        }
        return;
    }
}

void Cscope::Post(unsigned message, quintptr wParam, qintptr lParam) {
    if (QWidget* parent = parentWidget()) {
        WindowMessage::Post(parent, message, wParam, lParam);
    }
}

} // namespace kestova
