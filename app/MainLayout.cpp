#include "MainLayout.h"

#include <algorithm>

namespace kestova {

MainLayout ComputeMainLayout(const QRect& client, int navigationWidth, int titleHeight,
                             const QSize& connectSize) {
    MainLayout l;
    // Rectangles are taken as left/top/right/bottom with an exclusive right and bottom edge.
    const int left = client.left();
    const int top = client.top();
    const int right = client.left() + client.width();
    const int bottom = client.top() + client.height();

    l.navigation =
        QRect(QPoint(left + 5, top + 5), QPoint(left + 5 + navigationWidth - 1, bottom - 5 - 1));
    const int navRight = left + 5 + navigationWidth;
    l.title =
        QRect(QPoint(navRight + 8, top + 5), QPoint(right - 8 - 1, top + 5 + titleHeight - 1));
    const int titleBottom = top + 5 + titleHeight;
    l.pageArea = QRect(QPoint(navRight + 8, titleBottom), QPoint(right - 8 - 1, bottom - 5 - 1));
    // One pixel in at the left and top, two at the right and bottom.
    l.pages = QRect(QPoint(l.pageArea.left() + 1, l.pageArea.top() + 1),
                    QPoint(l.pageArea.right() - 2, l.pageArea.bottom() - 2));
    l.connectPage = QRect(QPoint(left + (client.width() - connectSize.width()) / 2,
                                 top + (client.height() - connectSize.height()) / 2),
                          connectSize);
    return l;
}

QSize MinimumClientSize(int navigationWidth, int buttonsTop, int buttonsBottom,
                        const QSize& connectSize) {
    // The column starts 5 in and ends 5 short of the bottom; its buttons sit buttonsTop - 5
    // below its top edge, and keep as much below the last.
    const int columnMargin = buttonsTop - 5;
    const int height = std::max(buttonsBottom + columnMargin + 5, connectSize.height());
    // The connection page is centred in the whole client: clear of the column on both sides.
    const int navRight = 5 + navigationWidth + 8;
    const int width = std::max(2 * navRight + connectSize.width(), navRight + 8);
    return {width, height};
}

bool PlaceIsOnAScreen(const QRect& frame, const QList<QRect>& screens) {
    // The top strip of a title bar, and how much of it must be seen to grab it.
    constexpr int kStripHeight = 30;
    constexpr int kGrabWidth = 100;
    constexpr int kGrabHeight = 20;
    const QRect strip(frame.topLeft(), QSize(frame.width(), kStripHeight));
    for (const QRect& screen : screens) {
        const QRect seen = strip.intersected(screen);
        if (seen.width() >= std::min(kGrabWidth, frame.width()) && seen.height() >= kGrabHeight) {
            return true;
        }
    }
    return false;
}

} // namespace kestova
