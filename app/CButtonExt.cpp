#include "CButtonExt.h"

#include "ResourceIds.h"

#include <QHash>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

#include <memory>

namespace kestova {

namespace {

// Pictures are vector drawings, stretched over the whole button as a bitmap would be. Each is
// parsed once and kept for the run: buttons repaint on every hover change.
void DrawBitmap(QPainter& painter, int id, const QRect& target) {
    static QHash<int, std::shared_ptr<QSvgRenderer>> renderers;
    std::shared_ptr<QSvgRenderer>& renderer = renderers[id];
    if (!renderer) {
        renderer = std::make_shared<QSvgRenderer>(res::BitmapPath(id));
    }
    if (renderer->isValid()) {
        renderer->render(&painter, target);
    }
}

} // namespace

CButtonExt::CButtonExt(QWidget* parent) : QPushButton(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    hoverTimer_.setSingleShot(true);
    hoverTimer_.setInterval(kHoverMs);
    connect(&hoverTimer_, &QTimer::timeout, this, &CButtonExt::OnHover);
}

void CButtonExt::SetBitmaps(int normal, int hover, int pressed) {
    normal_ = normal;
    hover_ = hover;
    pressed_ = pressed;
}

int CButtonExt::CurrentBitmap() const {
    if (hovering_ && pressedDown_) {
        return pressed_;
    }
    if (hovering_) {
        return hover_;
    }
    return normal_;
}

void CButtonExt::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const int id = CurrentBitmap();
    if (id != 0) {
        DrawBitmap(painter, id, rect());
    }
    // The caption is part of the picture; the button's own text is not drawn.
}

void CButtonExt::mouseMoveEvent(QMouseEvent* event) {
    if (!tracking_) {
        hoverTimer_.start();
        tracking_ = true;
    }
    QPushButton::mouseMoveEvent(event);
}

void CButtonExt::OnHover() {
    hovering_ = true;
    tracking_ = false;
    update();
}

void CButtonExt::leaveEvent(QEvent* event) {
    hoverTimer_.stop();
    hovering_ = false;
    tracking_ = false;
    update();
    QPushButton::leaveEvent(event);
}

void CButtonExt::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressedDown_ = true;
        update();
    }
    QPushButton::mousePressEvent(event);
}

void CButtonExt::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressedDown_ = false;
        update();
    }
    QPushButton::mouseReleaseEvent(event);
}

} // namespace kestova
