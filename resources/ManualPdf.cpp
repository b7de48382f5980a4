// kestova-manual IN.md OUT.pdf [OUT.txt]: typesets the user manual with Qt's own text engine and
// PDF writer, so the build needs no other tool. The markdown's pictures
// (`![caption](../screenshots/x.png)`, relative to the .md file) are embedded at their full
// resolution, scaled to the text width and captioned; tables span the text width; code blocks
// never wrap (a block with a line wider than the text is set smaller); each chapter (`## `)
// starts a new page and every page carries its number. OUT.txt receives the typeset text, for
// checks.

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetricsF>
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
#include <QTextLayout>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cmath>
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

// The escape that keeps a "|" inside a table cell stays in front of it within a code span; in
// print the "|" stands alone.
void DropCellEscapes(QTextDocument& document) {
    const QString escaped = QStringLiteral("\\|");
    for (QTextCursor found = document.find(escaped); !found.isNull();
         found = document.find(escaped, found)) {
        QTextCursor backslash(&document);
        backslash.setPosition(found.selectionStart() + 1);
        found.insertText(QStringLiteral("|"), backslash.charFormat());
    }
}

bool IsCode(const QTextBlock& block) {
    if (block.blockFormat().hasProperty(QTextFormat::BlockCodeFence) ||
        block.blockFormat().hasProperty(QTextFormat::BlockCodeLanguage)) {
        return true;
    }
    bool any = false;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextCharFormat format = it.fragment().charFormat();
        if (!format.fontFixedPitch() && !QFontInfo(format.font()).fixedPitch()) {
            return false;
        }
        any = true;
    }
    return any;
}

// The widest line of a block in its own fonts.
double LineWidth(const QTextBlock& block, const QFont& base) {
    double widest = 0.0;
    double line = 0.0;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const QFontMetricsF metrics(fragment.charFormat().font().resolve(base));
        const QStringList parts = fragment.text().split(QChar::LineSeparator);
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (i > 0) {
                widest = std::max(widest, line);
                line = 0.0;
            }
            line += metrics.horizontalAdvance(parts[i]);
        }
    }
    return std::max(widest, line);
}

// Code is copied from the manual into a shell: a line broken inside "--timeout" or a file name
// would be copied broken. So code lines never wrap, and a run of code blocks whose widest line is
// wider than the text is set in a smaller size, the same for the whole run. False (with a
// message) when a line would need a size too small to read.
bool KeepCodeLinesWhole(QTextDocument& document, double textWidth) {
    constexpr double kLeastScale = 0.7;
    const QFont base = document.defaultFont();
    for (QTextBlock block = document.begin(); block.isValid();) {
        if (!IsCode(block)) {
            block = block.next();
            continue;
        }
        std::vector<QTextBlock> run;
        double widest = 0.0;
        double room = textWidth;
        for (; block.isValid() && IsCode(block); block = block.next()) {
            run.push_back(block);
            widest = std::max(widest, LineWidth(block, base));
            room = std::min(room, textWidth - block.blockFormat().leftMargin() -
                                      block.blockFormat().indent() * document.indentWidth());
        }
        // A hair of room for the layout's own rounding.
        const double scale = std::min(1.0, (room - 2.0) / std::max(widest, 1.0));
        if (scale < kLeastScale) {
            std::fprintf(stderr, "a code line is too wide to print: %s\n",
                         qPrintable(run.front().text().left(60)));
            return false;
        }
        for (const QTextBlock& code : run) {
            QTextCursor cursor(code);
            QTextBlockFormat whole = code.blockFormat();
            whole.setNonBreakableLines(true);
            cursor.setBlockFormat(whole);
            if (scale >= 1.0) {
                continue;
            }
            for (auto it = code.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                QTextCharFormat smaller = fragment.charFormat();
                const QFont font = smaller.font().resolve(base);
                smaller.setFontPointSize(std::floor(font.pointSizeF() * scale * 10.0) / 10.0);
                QTextCursor part(&document);
                part.setPosition(fragment.position());
                part.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
                part.setCharFormat(smaller);
            }
        }
    }
    return true;
}

// After the layout: no code line took more than one line of print. False (with a message) when
// one did.
bool CodeLinesStayedWhole(QTextDocument& document) {
    document.documentLayout()->pageCount(); // lays the whole document out
    int code = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (!IsCode(block)) {
            continue;
        }
        ++code;
        const int lines = static_cast<int>(block.text().count(QChar::LineSeparator)) + 1;
        if (block.layout()->lineCount() > lines) {
            std::fprintf(stderr, "a code line wraps in print: %s\n", qPrintable(block.text()));
            return false;
        }
    }
    std::printf("%d code blocks, each line whole\n", code);
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
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: kestova-manual IN.md OUT.pdf [OUT.txt]\n");
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
    DropCellEscapes(document);
    if (!KeepCodeLinesWhole(document, page.width())) {
        return 1;
    }
    BreakBeforeChapters(document);
    FormatTables(document);
    if (!CodeLinesStayedWhole(document)) {
        return 1;
    }
    if (argc == 4) {
        QFile text(QString::fromLocal8Bit(argv[3]));
        if (!text.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "cannot write %s\n", argv[3]);
            return 1;
        }
        text.write(document.toPlainText().toUtf8());
    }

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
