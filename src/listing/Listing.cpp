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
        {QStringLiteral("N°Sequ"), 1, QStringLiteral("Sequanel"), 6},
        {QStringLiteral("Date et heure"), 9, QStringLiteral("Date"), 17},
        {QStringLiteral("Préf."), 28, QStringLiteral("Préfixe"), 5},
        {QStringLiteral("Qrz1"), 35, QStringLiteral("Qrz1"), 9},
        {QStringLiteral("Qrz2"), 46, QStringLiteral("Qrz2"), 9},
        {QStringLiteral("Qrz3"), 57, QStringLiteral("Qrz3"), 9},
        {QStringLiteral("N°"), 68, QStringLiteral("N°"), 5},
        {QStringLiteral("Opéra."), 75, QStringLiteral("Opérateur"), 13},
        {QStringLiteral("BP"), 90, QStringLiteral("BP"), 10},
        {QStringLiteral("Ville"), 102, QStringLiteral("Ville"), 20},
        {QStringLiteral("Pays"), 124, QStringLiteral("Pays"), 20},
        {QStringLiteral("Bande"), 146, QStringLiteral("Bande"), 5},
        {QStringLiteral("Fréquence"), 153, QString(), 9},
        {QStringLiteral("CP"), 164, QStringLiteral("CP"), 6},
        {QStringLiteral("RST"), 172, QStringLiteral("RST"), 5},
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

QString printedValue(const PrintColumn &column, const QVariant &value, const QVariant &mhertz, const QVariant &hertz)
{
    if (column.field.isEmpty())
        return formatFrequency(mhertz, hertz);
    if (column.field == QLatin1String("Date"))
        return formatListingDate(value);
    return logfile::shownText(column.field, value);
}

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
        const QString text = platform::isServerAddress(databaseName)
                                 ? msg::listingCannotReadShared().arg(platform::logDisplayName(databaseName))
                                 : msg::listingCannotRead().arg(QDir::toNativeSeparators(databaseName));
        platform::showMessage(window, text.arg(platform::describe(openError)), MessageIcon::Critical, MessageButtons::Ok);
        return false;
    }

    platform::PrintSurface surface(target, kTitle);
    surface.setLandscape(true);
    const PrintColumn &last = printColumns().last();
    surface.setBlockWidth(last.column - 1 + last.width, 9);
    surface.setColumnGap(kColumnGap);
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
        // (a value that holds nothing prints nothing, and never starts a line)
        for (const PrintColumn &c : printColumns())
            if (const QString text = printedValue(c, c.field.isEmpty() ? QVariant() : cursor->value(c.field),
                                                  cursor->value(QStringLiteral("Mhertz")), cursor->value(QStringLiteral("Hertz")));
                !text.isEmpty())
                surface.printAt(c.column, text);
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
