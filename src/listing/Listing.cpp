#include "Listing.h"
#include "Messages.h"

#include "Engine.h"
#include "LogFile.h"
#include "PrintSurface.h"
#include "Prompts.h"
#include "Regional.h"

#include <QDir>
#include <QFileInfo>
#include <QWidget>

using platform::MessageButtons;
using platform::MessageIcon;

namespace listing {

const QVector<PrintColumn> &printColumns()
{
    static const QVector<PrintColumn> columns{
        {QStringLiteral("N°Sequ"), 1, QStringLiteral("Sequanel"), 8},
        {QStringLiteral("Date et heure"), 9, QStringLiteral("Date"), 0},
        {QStringLiteral("Préf."), 32, QStringLiteral("Préfixe"), 6},
        {QStringLiteral("Qrz1"), 39, QStringLiteral("Qrz1"), 7},
        {QStringLiteral("Qrz2"), 47, QStringLiteral("Qrz2"), 7},
        {QStringLiteral("Qrz3"), 55, QStringLiteral("Qrz3"), 7},
        {QStringLiteral("N°"), 63, QStringLiteral("N°"), 5},
        {QStringLiteral("Opéra."), 69, QStringLiteral("Opérateur"), 13},
        {QStringLiteral("BP"), 83, QStringLiteral("BP"), 9},
        {QStringLiteral("Ville"), 93, QStringLiteral("Ville"), 20},
        {QStringLiteral("Pays"), 114, QStringLiteral("Pays"), 29},
        {QStringLiteral("Bande"), 144, QStringLiteral("Bande"), 6},
        {QStringLiteral("Fréquence"), 151, QString(), 13},
        {QStringLiteral("CP"), 166, QStringLiteral("CP"), 5},
        {QStringLiteral("RST"), 172, QStringLiteral("RST"), 6},
    };
    return columns;
}

namespace {

// The first character of a format that is not part of a field: the locale's
// separator between the parts of a date or of a time.
QString separatorOf(const QString &format, const QString &fallback)
{
    bool quoted = false;
    for (QChar ch : format) {
        if (ch == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (!quoted && !ch.isLetter() && !ch.isSpace())
            return QString(ch);
    }
    return fallback;
}

QString valueText(const PrintColumn &column, const platform::Cursor &cursor)
{
    QString text;
    if (column.field.isEmpty())
        text = formatFrequency(cursor.value(QStringLiteral("Mhertz")), cursor.value(QStringLiteral("Hertz")));
    else if (column.field == QLatin1String("Date"))
        return formatListingDate(cursor.value(column.field));
    else {
        const QVariant v = cursor.value(column.field);
        text = v.isNull() ? QString() : v.toString();
    }
    return column.width > 0 ? text.left(column.width) : text;
}

// Puts the window's caption back however printing ends.
class CaptionScope
{
public:
    CaptionScope(QWidget *window, const QString &caption)
        : m_window(window), m_previous(window ? window->windowTitle() : QString())
    {
        if (m_window)
            m_window->setWindowTitle(caption);
    }
    ~CaptionScope()
    {
        if (m_window)
            m_window->setWindowTitle(m_previous);
    }

private:
    QWidget *m_window;
    QString m_previous;
};

} // namespace

QString formatListingDate(const QVariant &stored, const QLocale &locale)
{
    if (stored.isNull())
        return QString();
    const auto value = platform::fromStorage(stored.toString());
    if (!value)
        return stored.toString();
    const QString d = separatorOf(locale.dateFormat(QLocale::ShortFormat), QStringLiteral("/"));
    const QString t = separatorOf(locale.timeFormat(QLocale::ShortFormat), QStringLiteral(":"));
    const QDate date = value->date();
    const QTime time = value->time();
    auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    return two(date.day()) + d + two(date.month()) + d + two(date.year() % 100) + QLatin1Char(' ')
           + two(time.hour()) + t + two(time.minute()) + t + two(time.second());
}

QString formatFrequency(const QVariant &mhertz, const QVariant &hertz)
{
    // A part that holds nothing prints as nothing, and the point stands only
    // between two parts.
    const QString m = mhertz.isNull() ? QString() : mhertz.toString();
    const QString h = hertz.isNull() ? QString() : logfile::hertzText(hertz);
    if (m.isEmpty() || h.isEmpty())
        return m + h;
    return m + QLatin1Char('.') + h;
}

bool printListing(QWidget *window, const QString &databaseName)
{
    CaptionScope caption(window, kPrintingCaption);

    // Where the listing goes: the default printer or, when there is none and
    // the user agrees, a PDF file.
    platform::PrintTarget target = platform::PrintTarget::defaultPrinter();
    if (!platform::PrintSurface::defaultPrinterInstalled()) {
        const auto answer
            = platform::showMessage(window, msg::noPrinterSavePdf(), MessageIcon::Question, MessageButtons::YesNo);
        if (answer != platform::Answer::Yes)
            return false;
        const QString path = platform::askSaveFile(window, msg::listingSaveTitle(), QStringLiteral("Document PDF"),
                                                   QStringLiteral("pdf"),
                                                   logfile::besideLog(databaseName, QStringLiteral(".pdf")));
        if (path.isEmpty())
            return false;
        target = platform::PrintTarget::pdfFile(QDir::fromNativeSeparators(path));
    }

    // The listing reads the file through an opening of its own, not through
    // the grid, so it holds every row whatever the grid shows. It is opened
    // before the document starts: a file that cannot be read prints nothing.
    platform::EngineError openError;
    auto database = platform::Connection::open(databaseName, platform::OpenMode::ReadOnly, &openError);
    std::unique_ptr<platform::Cursor> cursor;
    if (database) {
        cursor = database->openTable(platform::Identifier(logfile::kTable));
        if (!cursor->isValid())
            openError = cursor->error();
    }
    if (!cursor || !cursor->isValid()) {
        platform::showMessage(
            window, msg::listingCannotRead().arg(QDir::toNativeSeparators(databaseName), platform::describe(openError)),
            MessageIcon::Critical, MessageButtons::Ok);
        return false;
    }

    platform::PrintSurface surface(target, kTitle);
    surface.setLandscape(true);
    const PrintColumn &last = printColumns().last();
    surface.setBlockWidth(last.column - 1 + last.width, 9);
    surface.setBold(true);
    surface.setFontSize(16);
    surface.printAt(15, kTitle);
    surface.print(QStringLiteral("\n"));
    surface.endLine();
    surface.setBold(false);
    surface.setFontSize(9);
    for (const PrintColumn &c : printColumns())
        surface.printAt(c.column, c.heading);
    surface.endLine();
    surface.print(QStringLiteral("\n"));
    surface.endLine();

    for (; !cursor->eof(); cursor->moveNext()) {
        for (const PrintColumn &c : printColumns())
            surface.printAt(c.column, valueText(c, *cursor));
        surface.endLine();
    }

    QString failure;
    if (cursor->error().isSet())
        failure = msg::listingReadInterrupted().arg(platform::describe(cursor->error()));
    // Released before the document is handed over, so that the file is not
    // held while the printer takes its time.
    cursor.reset();
    database.reset();
    if (failure.isEmpty() && !surface.endDocument())
        failure = surface.errorText();
    if (!failure.isEmpty()) {
        platform::showMessage(window, msg::listingNotPrinted().arg(failure), MessageIcon::Critical, MessageButtons::Ok);
        return false;
    }
    return true;
}

} // namespace listing
