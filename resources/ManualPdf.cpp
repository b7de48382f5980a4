// kestova-manual IN.md OUT.pdf: typesets the user manual with Qt's own text engine and PDF writer,
// so the build needs no other tool.

#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kestova-manual IN.md OUT.pdf\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument document;
    document.setDefaultStyleSheet("table { border-collapse: collapse; } th, td { padding: 3px; }");
    QFont font("DejaVu Sans");
    font.setPointSizeF(10);
    document.setDefaultFont(font);
    document.setMarkdown(QString::fromUtf8(in.readAll()));

    QPdfWriter writer(QString::fromLocal8Bit(argv[2]));
    writer.setTitle("Kestova Software Manual");
    writer.setCreator("Kestova");
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter);
    document.print(&writer);
    return 0;
}
