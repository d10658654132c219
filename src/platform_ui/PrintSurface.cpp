#include "PrintSurface.h"
#include "Messages.h"

#include "SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QFont>
#include <QFontMetricsF>
#include <optional>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace platform {

namespace {

// Outer optional: is the default printer overridden; inner: by which printer,
// none meaning "no printer installed".
std::optional<std::optional<PrintTarget>> &printerOverride()
{
    static std::optional<std::optional<PrintTarget>> o;
    return o;
}

// The typeface of printed documents, standing for a printer's own condensed
// fixed-pitch face: Liberation Mono (the metrics of Courier New) narrowed to
// 80 %. Fixed pitch makes every character exactly one print column wide, so a
// value cut to its width never runs into the next column; condensed, 178
// columns of 9 pt fit across a landscape A4 page. A proportional face cannot
// do both: its digits are a quarter wider than its average character.
QFont printerFont()
{
    QFont f(QStringLiteral("Liberation Mono"));
    f.setStyleHint(QFont::Monospace);
    f.setStretch(80);
    return f;
}

// Glyph advances and column widths are rounded separately; a position this
// close to a column's start is at that start.
constexpr qreal kColumnTolerance = 0.05;

// True when a PDF file reads back whole: its cross-reference table is where
// the file's end says, and every object it lists begins where it says. A
// write lost on the way shifts or cuts what follows it, and shows here.
bool pdfIsWhole(const QByteArray &pdf)
{
    const qsizetype tail = pdf.lastIndexOf("startxref");
    if (tail < 0 || !pdf.trimmed().endsWith("%%EOF"))
        return false;
    bool ok = false;
    const qsizetype xref = pdf.mid(tail + 9, 24).trimmed().split('\n').value(0).trimmed().toLongLong(&ok);
    if (!ok || xref <= 0 || xref >= tail || !pdf.mid(xref).startsWith("xref"))
        return false;
    qsizetype at = pdf.indexOf('\n', xref) + 1;
    int objects = 0;
    while (at > 0 && at < tail && !pdf.mid(at).startsWith("trailer")) {
        const QList<QByteArray> head = pdf.mid(at, 32).split('\n').value(0).trimmed().split(' ');
        bool a = false, b = false;
        const qint64 first = head.value(0).toLongLong(&a), count = head.value(1).toLongLong(&b);
        if (head.size() != 2 || !a || !b || count < 0)
            return false;
        at = pdf.indexOf('\n', at) + 1;
        for (qint64 i = 0; i < count; ++i, at += 20) {
            const QByteArray entry = pdf.mid(at, 20);
            if (entry.size() != 20)
                return false;
            if (entry[17] != 'n')
                continue;
            const qsizetype offset = entry.left(10).toLongLong(&ok);
            if (!ok || !pdf.mid(offset, 32).startsWith(QByteArray::number(first + i) + " 0 obj"))
                return false;
            ++objects;
        }
    }
    return objects > 0;
}

// Why a PDF file could not be finished: a full disk, or another failure.
QString pdfFailure(const QString &path)
{
    const QStorageInfo disk(QFileInfo(path).absolutePath());
    if (disk.isValid() && disk.bytesAvailable() < 256 * 1024)
        return msg::pdfDiskFull().arg(QDir::toNativeSeparators(path));
    return msg::pdfNotWritten().arg(QDir::toNativeSeparators(path));
}

} // namespace

void setDefaultPrinterOverride(std::optional<PrintTarget> printer) { printerOverride() = printer; }
void clearDefaultPrinterOverride() { printerOverride().reset(); }

bool PrintSurface::defaultPrinterInstalled()
{
    if (printerOverride())
        return printerOverride()->has_value();
    return !QPrinterInfo::defaultPrinter().isNull();
}

struct PrintSurface::Impl {
    QPrinter printer{QPrinter::HighResolution};
    QPainter painter;
    QFont font = printerFont();
    QString pdfPath;          // the file asked for, when printing to PDF
    QString pdfTemp;          // where it is written until it is whole
    int blockColumns = 0;     // the widest line, for the margins of a PDF page
    double blockPoints = 0;
    int gap = 0;              // blank columns kept before a text printed at a column
    bool started = false;     // painter begun
    bool ended = false;
    bool failed = false;
    QString error;
    int pages = 0;
    qreal x = 0;              // current position on the line, device pixels
    qreal y = 0;              // top of the current line

    // Measuring a font on the printer is costly: kept until the font changes.
    mutable std::optional<QFontMetricsF> cachedMetrics;
    const QFontMetricsF &metrics() const
    {
        if (!cachedMetrics)
            cachedMetrics.emplace(font, const_cast<QPrinter *>(&printer));
        return *cachedMetrics;
    }

    void fail(const QString &text)
    {
        if (!failed)
            error = text;
        failed = true;
    }

    bool ensureStarted()
    {
        if (failed || ended)
            return false;
        if (started)
            return true;
        started = true;
        if (!pdfPath.isEmpty() && blockColumns > 0)
            balanceMargins();
        if (!painter.begin(&printer)) {
            fail(msg::printNotStarted());
            return false;
        }
        pages = 1;
        painter.setFont(font);
        return true;
    }

    void balanceMargins()
    {
        QFont body = font;
        body.setPointSizeF(blockPoints);
        const qreal column = QFontMetricsF(body, &printer).averageCharWidth() * 72.0 / printer.resolution();
        const QRectF page = printer.pageLayout().fullRect(QPageLayout::Point);
        const qreal margin = qMax<qreal>(0, (page.width() - blockColumns * column) / 2);
        printer.setPageMargins(QMarginsF(margin, margin, margin, margin), QPageLayout::Point);
    }

    // Before drawing on the current line: a line that does not fit above the
    // bottom of the page goes to the top of the next one.
    bool placeLine()
    {
        if (!ensureStarted())
            return false;
        const qreal height = metrics().lineSpacing();
        if (y > 0 && y + height > printer.height()) {
            if (!printer.newPage()) {
                fail(msg::printerRefusedPage());
                return false;
            }
            ++pages;
            y = 0;
        }
        return true;
    }

    // The finished PDF file, checked, synced and put in its place.
    void placePdf()
    {
        QFile file(pdfTemp);
        if (!file.open(QIODevice::ReadOnly) || !pdfIsWhole(file.readAll())) {
            fail(pdfFailure(pdfPath));
            return;
        }
        file.close();
        if (!syncFile(pdfTemp) || !placeFile(pdfTemp, pdfPath, true)) {
            fail(pdfFailure(pdfPath));
            return;
        }
        pdfTemp.clear();
    }

    void newLine()
    {
        y += metrics().lineSpacing();
        x = 0;
    }

    void draw(const QString &segment)
    {
        if (segment.isEmpty() || !placeLine())
            return;
        const QFontMetricsF &m = metrics();
        painter.setFont(font);
        painter.drawText(QPointF(x, y + m.ascent()), segment);
        x += m.horizontalAdvance(segment);
    }
};

PrintSurface::PrintSurface(const PrintTarget &target, const QString &documentName)
    : d(std::make_unique<Impl>())
{
    PrintTarget t = target;
    if (t.kind == PrintTarget::DefaultPrinter && printerOverride()) {
        if (printerOverride()->has_value())
            t = **printerOverride();
        else
            d->fail(msg::noPrinter());
    }
    if (t.kind == PrintTarget::PdfFile) {
        // Written under a hidden name beside the file asked for, and put in its
        // place once it reads back whole: a file already there stays as it was
        // until then.
        d->printer.setOutputFormat(QPrinter::PdfFormat);
        d->pdfPath = t.pdfPath;
        d->pdfTemp = hiddenBeside(t.pdfPath, "pdf");
        d->printer.setOutputFileName(d->pdfTemp);
    } else if (!d->failed && QPrinterInfo::defaultPrinter().isNull()) {
        // Without a printer a default QPrinter quietly becomes a PDF printer
        // with no file; refuse instead.
        d->fail(msg::noPrinter());
    }
    if (!documentName.isEmpty())
        d->printer.setDocName(documentName);
}

PrintSurface::~PrintSurface()
{
    if (d->started && !d->ended && d->painter.isActive()) {
        d->printer.abort();
        d->painter.end();
    }
    if (!d->pdfTemp.isEmpty())
        QFile::remove(d->pdfTemp);
}

void PrintSurface::setLandscape(bool landscape)
{
    d->printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

void PrintSurface::setBlockWidth(int columns, double points)
{
    d->blockColumns = columns;
    d->blockPoints = points;
}

void PrintSurface::setFontSize(double points)
{
    d->font.setPointSizeF(points);
    d->cachedMetrics.reset();
}
void PrintSurface::setBold(bool bold)
{
    d->font.setBold(bold);
    d->cachedMetrics.reset();
}

void PrintSurface::setColumnGap(int columns) { d->gap = qMax(columns, 0); }

void PrintSurface::printAt(int column, const QString &text)
{
    if (!d->ensureStarted())
        return;
    const qreal width = d->metrics().averageCharWidth();
    const qreal start = (qMax(column, 1) - 1) * width;
    // Already past the column's start, or the text before it would touch
    // it: the text goes to that column of the next line.
    if (d->x > 0 && d->x > start - d->gap * width + kColumnTolerance * width)
        d->newLine();
    d->x = start;
    print(text);
}

void PrintSurface::print(const QString &text)
{
    const QStringList segments = text.split(QLatin1Char('\n'));
    for (int i = 0; i < segments.size(); ++i) {
        if (i > 0) {
            if (!d->placeLine())
                return;
            d->newLine();
        }
        d->draw(segments[i]);
    }
}

void PrintSurface::endLine()
{
    if (!d->placeLine())
        return;
    d->newLine();
}

bool PrintSurface::endDocument()
{
    if (d->ended)
        return !d->failed;
    d->ensureStarted();
    d->ended = true;
    if (d->painter.isActive() && !d->painter.end())
        d->fail(msg::printNotSent());
    if (!d->failed && d->printer.printerState() == QPrinter::Error)
        d->fail(msg::printerError());
    if (!d->failed && !d->pdfTemp.isEmpty())
        d->placePdf();
    return !d->failed;
}

QString PrintSurface::errorText() const { return d->error; }
int PrintSurface::pageCount() const { return d->pages; }

} // namespace platform
