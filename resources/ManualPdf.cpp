// kestova-manual IN.md OUT.pdf: typesets the user manual with Qt's own text engine and PDF writer,
// so the build needs no other tool. The markdown's pictures (`![caption](../screenshots/x.png)`,
// relative to the .md file) are embedded at their full resolution, scaled to the text width and
// captioned; tables span the text width; each chapter (`## `) starts a new page and every page
// carries its number.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Layout units are those of a 96 dpi screen; the painter scales them to the writer's resolution,
// so a picture keeps all its pixels in the PDF however small it is drawn.
constexpr double kLayoutDpi = 96.0;
constexpr double kMarginMm = 20.0;
constexpr double kFooterMm = 8.0;

double MmToLayout(double mm) {
    return mm / 25.4 * kLayoutDpi;
}

struct Picture {
    int position;
    QString caption;
};

// Every picture loaded into the document, sized to at most the text width, centred, and followed
// by its caption. False (with a message) when a picture cannot be read: the manual would lie.
bool EmbedPictures(QTextDocument& document, const QString& baseDir, double textWidth) {
    std::vector<Picture> pictures;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat()) {
                continue;
            }
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            const QString path = QDir::cleanPath(baseDir + '/' + format.name());
            const QImage image(path);
            if (image.isNull()) {
                std::fprintf(stderr, "cannot read the picture %s\n", qPrintable(path));
                return false;
            }
            document.addResource(QTextDocument::ImageResource, QUrl(format.name()), image);
            const double width = std::min(textWidth, static_cast<double>(image.width()));
            format.setWidth(width);
            format.setHeight(width * image.height() / image.width());
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
            QTextBlockFormat centred = block.blockFormat();
            centred.setAlignment(Qt::AlignHCenter);
            centred.setPageBreakPolicy(QTextFormat::PageBreak_Auto);
            cursor.setBlockFormat(centred);
            pictures.push_back({fragment.position() + fragment.length(),
                                format.property(QTextFormat::ImageAltText).toString()});
        }
    }
    // From the last picture back, so the earlier positions stay valid.
    for (auto it = pictures.rbegin(); it != pictures.rend(); ++it) {
        if (it->caption.isEmpty()) {
            continue;
        }
        QTextCursor cursor(&document);
        cursor.setPosition(it->position);
        QTextCharFormat italic;
        italic.setFontItalic(true);
        cursor.insertText(QString(QChar::LineSeparator), QTextCharFormat());
        cursor.insertText(it->caption, italic);
    }
    return true;
}

// Every chapter starts on a new page; the title page keeps the introduction.
void BreakBeforeChapters(QTextDocument& document) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() != 2) {
            continue;
        }
        QTextCursor cursor(block);
        QTextBlockFormat format = block.blockFormat();
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        cursor.setBlockFormat(format);
    }
}

// Tables span the text width with thin rules, so that long cells wrap instead of squeezing their
// neighbours, and their header rows are shaded.
void FormatTables(QTextDocument& document) {
    for (QTextFrame* frame : document.rootFrame()->childFrames()) {
        auto* table = qobject_cast<QTextTable*>(frame);
        if (table == nullptr) {
            continue;
        }
        QTextTableFormat format = table->format();
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        format.setBorder(0.5);
        format.setBorderBrush(QColor(0x90, 0x90, 0x90));
        format.setBorderCollapse(true);
        format.setCellPadding(3);
        format.setCellSpacing(0);
        format.setHeaderRowCount(1);
        table->setFormat(format);
        for (int column = 0; column < table->columns(); ++column) {
            QTextTableCell cell = table->cellAt(0, column);
            QTextCharFormat shaded = cell.format();
            shaded.setBackground(QColor(0xe8, 0xec, 0xf0));
            cell.setFormat(shaded);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kestova-manual IN.md OUT.pdf\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QFileInfo source(QString::fromLocal8Bit(argv[1]));
    QFile in(source.filePath());
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }

    const QSizeF a4 = QPageSize(QPageSize::A4).size(QPageSize::Millimeter);
    const QSizeF page(MmToLayout(a4.width() - 2 * kMarginMm),
                      MmToLayout(a4.height() - 2 * kMarginMm - kFooterMm));

    QTextDocument document;
    document.setDefaultStyleSheet("table { border-collapse: collapse; } th, td { padding: 3px; }");
    QFont font("DejaVu Sans");
    font.setPointSizeF(10);
    document.setDefaultFont(font);
    document.setDocumentMargin(0);
    document.setMarkdown(QString::fromUtf8(in.readAll()));
    document.setPageSize(page);
    if (!EmbedPictures(document, source.absolutePath(), page.width())) {
        return 1;
    }
    BreakBeforeChapters(document);
    FormatTables(document);

    QPdfWriter writer(QString::fromLocal8Bit(argv[2]));
    writer.setTitle("Kestova Software Manual");
    writer.setCreator("Kestova");
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                          QPageLayout::Millimeter);
    QPainter painter(&writer);
    // Screenshots are text and thin lines: keep them lossless rather than JPEG.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    const double scale = writer.logicalDpiX() / kLayoutDpi;
    painter.scale(scale, scale);

    const int pages = document.pageCount();
    // In pixels of the layout: a point size would be taken at the writer's resolution.
    QFont footer = font;
    footer.setPixelSize(11);
    for (int i = 0; i < pages; ++i) {
        if (i > 0) {
            writer.newPage();
        }
        painter.save();
        painter.translate(0, -i * page.height());
        // Clipped a hair inside the page: the next page's first line must not show in the footer.
        const QRectF body(0, i * page.height(), page.width(), page.height() - 1);
        painter.setClipRect(body);
        document.drawContents(&painter, body);
        painter.restore();
        painter.setFont(footer);
        const QRectF foot(0, page.height(), page.width(), MmToLayout(kFooterMm));
        painter.drawText(foot, Qt::AlignRight | Qt::AlignBottom,
                         QStringLiteral("Kestova Software Manual   %1 / %2").arg(i + 1).arg(pages));
    }
    return painter.end() ? 0 : 1;
}
