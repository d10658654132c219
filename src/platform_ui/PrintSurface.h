#pragma once
// The printer, driven as a document of text lines in print columns.
//
// A print column is as wide as the average character of the font in use at
// that moment; column n begins (n - 1) widths from the left edge of the
// printable area. Text printed at a column left of the current position (or
// nearer to it than the column gap) goes to that column on the next line. A line that does not fit above the bottom
// of the page goes to the top of a new page. Nothing reaches the printer until
// endDocument(), which hands the whole document over as one job.
#include <QString>
#include <memory>
#include <optional>

namespace platform {

// Where a document goes: the default printer, or a PDF file.
struct PrintTarget {
    enum Kind { DefaultPrinter, PdfFile };
    Kind kind = DefaultPrinter;
    QString pdfPath;

    static PrintTarget defaultPrinter() { return {}; }
    static PrintTarget pdfFile(const QString &path) { return {PdfFile, path}; }
};

class PrintSurface
{
public:
    explicit PrintSurface(const PrintTarget &target = PrintTarget::defaultPrinter(),
                          const QString &documentName = QString());
    // A document not ended is abandoned: nothing is printed.
    ~PrintSurface();
    PrintSurface(const PrintSurface &) = delete;
    PrintSurface &operator=(const PrintSurface &) = delete;

    // True when the system has a default printer to print on.
    static bool defaultPrinterInstalled();

    // Takes effect for the pages not yet started (set it before printing).
    void setLandscape(bool landscape);
    // The widest line of the document, in columns of a font of this size.
    // A PDF page, which has no printer margins of its own, then gets equal
    // margins left and right of that line, and the same at the top and
    // bottom, as the block would sit on paper. Set it before printing.
    void setBlockWidth(int columns, double points);
    void setFontSize(double points);
    void setBold(bool bold);
    // Blank columns a text printed at a column keeps from the text before it
    // on the line: a text that ends nearer goes to that column of the next
    // line, as one already past the column does. 0 at first.
    void setColumnGap(int columns);

    // Prints text at column (1-based) without ending the line.
    void printAt(int column, const QString &text);
    // Prints text at the current position without ending the line. A line
    // feed inside the text starts a new line.
    void print(const QString &text);
    // Ends the line: the next one begins at the left edge, one line height
    // (of the current font) lower.
    void endLine();
    // Hands the document to the printer; false when it could not be printed.
    bool endDocument();

    // What went wrong, in French, when something did.
    QString errorText() const;
    // Pages started so far.
    int pageCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Test seam: what stands for the default printer. A target of kind PdfFile
// makes the "default printer" write that file; std::nullopt inside means "no
// printer installed". Clear it with clearDefaultPrinterOverride().
void setDefaultPrinterOverride(std::optional<PrintTarget> printer);
void clearDefaultPrinterOverride();

} // namespace platform
