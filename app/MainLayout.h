#pragma once

// Where the main window's frames and pages go for a given client size. Plain arithmetic so it can
// be checked without a window.

#include <QList>
#include <QRect>
#include <QSize>

namespace kestova {

struct MainLayout {
    QRect navigation;  // the button column
    QRect title;       // the strip that shows the page title
    QRect pageArea;    // the frame the pages fill
    QRect pages;       // the pages' rectangle inside the frame
    QRect connectPage; // the connection page: its own size, centred in the client area
};

// client: the main window's client rectangle; navigationWidth and titleHeight are the sizes the
// frames keep; connectSize is the connection page's own size.
MainLayout ComputeMainLayout(const QRect& client, int navigationWidth, int titleHeight,
                             const QSize& connectSize);

// The smallest client in which the navigation column still holds its lowest button with the
// margin it has above the first (buttonsBottom: that button's bottom edge, exclusive) and the
// connection page fits beside the column.
QSize MinimumClientSize(int navigationWidth, int buttonsTop, int buttonsBottom,
                        const QSize& connectSize);

// Whether a window put at `frame` (its outer rectangle, title bar included) can be taken by its
// title bar: enough of the strip along its top lies on one of the screens. A place saved on a
// screen that is gone fails, and the window then opens where the desktop puts it.
bool PlaceIsOnAScreen(const QRect& frame, const QList<QRect>& screens);

} // namespace kestova
