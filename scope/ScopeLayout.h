#pragma once

// Layout arithmetic of the scope picture: rectangles with exclusive right and bottom edges, the
// plot rectangle inside the label margins, the data-dependent grid subdivisions, and the label
// number format.

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

class QFontMetrics;

namespace kestova {

// left/top inclusive, right/bottom exclusive.
struct ScopeRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(QPoint p) const {
        return p.x() >= left && p.x() < right && p.y() >= top && p.y() < bottom;
    }
    QRect ToQRect() const { return QRect(left, top, Width(), Height()); }
    bool operator==(const ScopeRect&) const = default;
};

struct ScopeMargins {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The client shrunk by the margins, its top then lowered by 10 + (height mod 10) so that the
// height is a whole number of grid rows.
ScopeRect PlotRect(const ScopeRect& client, const ScopeMargins& margins);

// Truncation toward zero that cannot overflow: NaN gives 0, out-of-range values saturate at
// +-kTruncLimit, far beyond any picture yet inside what the painter's fixed-point coordinates hold.
constexpr int kTruncLimit = 1 << 24;
int TruncToInt(double v);

// Minor divisions per major column for a time span a - b: the largest divisor of span/10 in 2..7.
int XDivisions(float a, float b);

// Minor divisions per major row for a value span a - b. A span/10 with no divisor in 3..7 keeps
// `previous` (the count of the last drawing); 7 is shown as 2.
int YDivisions(float a, float b, int previous);

// A label: fixed-point with the given number of decimals, as "%.Nf" prints it, except that a
// value rounding to zero never shows a minus sign.
QString FormatFixed(double v, int decimals);

// A read-out line broken at spaces into lines no wider than `width`, the continuations indented
// by two spaces. A word that cannot fit alone is elided.
QStringList WrapToWidth(const QString& text, const QFontMetrics& metrics, int width);

} // namespace kestova
