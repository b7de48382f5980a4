#pragma once

// The picture button of the navigation column: one of three pictures, chosen by whether the mouse
// rests on it and whether the left button is held down. Otherwise an ordinary push button.

#include <QPushButton>
#include <QTimer>

namespace kestova {

class CButtonExt : public QPushButton {
    Q_OBJECT
public:
    explicit CButtonExt(QWidget* parent = nullptr);

    // Picture ids (0: none). Takes effect at the next repaint.
    void SetBitmaps(int normal, int hover, int pressed);

    int NormalBitmap() const { return normal_; }
    int HoverBitmap() const { return hover_; }
    int PressedBitmap() const { return pressed_; }
    // The picture a repaint shows now.
    int CurrentBitmap() const;
    bool IsHovering() const { return hovering_; }

    // How long the mouse must rest on the button before it counts as hovering.
    static constexpr int kHoverMs = 50;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void OnHover();

    int normal_ = 0;
    int hover_ = 0;
    int pressed_ = 0;
    bool hovering_ = false;
    bool pressedDown_ = false;
    bool tracking_ = false;
    QTimer hoverTimer_;
};

} // namespace kestova
