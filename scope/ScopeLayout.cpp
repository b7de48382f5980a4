#include "ScopeLayout.h"

#include <QFontMetrics>

#include <cmath>
#include <cstdio>

namespace kestova {

ScopeRect PlotRect(const ScopeRect& client, const ScopeMargins& margins) {
    ScopeRect plot{client.left + margins.left, client.top + margins.top,
                   client.right - margins.right, client.bottom - margins.bottom};
    plot.top += 10 + plot.Height() % 10;
    return plot;
}

int TruncToInt(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    if (v >= kTruncLimit) {
        return kTruncLimit;
    }
    if (v <= -kTruncLimit) {
        return -kTruncLimit;
    }
    return static_cast<int>(v);
}

int XDivisions(float a, float b) {
    int n = 0;
    const int v = TruncToInt((static_cast<double>(a) - b) / 10.0);
    if (v > 2) {
        for (int d = 2; d <= 7; ++d) {
            if (v % d == 0) {
                n = d;
            }
        }
    } else {
        n = 1;
    }
    return n == 0 ? 2 : n;
}

int YDivisions(float a, float b, int previous) {
    const int v = TruncToInt(std::fabs((static_cast<double>(a) - b) / 10.0));
    int n = previous;
    if (v >= 50) {
        n = 2;
    } else if (v > 2) {
        for (int d = 3; d <= 7; ++d) {
            if (v % d == 0) {
                n = d;
            }
        }
    } else {
        n = 1;
    }
    return n == 7 ? 2 : n;
}

QString FormatFixed(double v, int decimals) {
    char text[64];
    // Longer numbers are cut off; the picture has no room for them anyway.
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    // A label reached by subtracting steps can land a hair below zero; it still reads 0.
    const char* digits = text[0] == '-' ? text + 1 : text;
    bool zero = true;
    for (const char* c = digits; *c != '\0'; ++c) {
        zero = zero && (*c == '0' || *c == '.');
    }
    return QString::fromLatin1(zero ? digits : text);
}

QStringList WrapToWidth(const QString& text, const QFontMetrics& metrics, int width) {
    static const QString kIndent = QStringLiteral("  ");
    QStringList lines;
    QString rest = text;
    while (metrics.horizontalAdvance(rest) > width) {
        // The last space that leaves a fitting first part; never one inside the indent.
        const qsizetype floor = lines.isEmpty() ? 0 : kIndent.size();
        qsizetype cut = rest.lastIndexOf(' ');
        while (cut > floor && metrics.horizontalAdvance(rest.left(cut)) > width) {
            cut = rest.lastIndexOf(' ', cut - 1);
        }
        if (cut <= floor) {
            break;
        }
        lines.append(rest.left(cut));
        rest = kIndent + rest.mid(cut + 1).trimmed();
    }
    lines.append(metrics.elidedText(rest, Qt::ElideRight, width));
    return lines;
}

} // namespace kestova
