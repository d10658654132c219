#include "CsvExport.h"

#include "Engine.h"
#include "LogFile.h"
#include "Prompts.h"
#include "Regional.h"
#include "SaveFile.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <iterator>
#include <memory>

namespace listing {

namespace {

constexpr qsizetype kChunk = 1 << 20; // bytes handed to the file at a time

QString shown(const QString &path) { return QDir::toNativeSeparators(path); }

// A signed number such as "-5" or "+33" is read as a number, not a formula.
bool isSignedNumber(QByteArrayView t)
{
    bool digit = false, point = false;
    for (qsizetype i = 1; i < t.size(); ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9')
            digit = true;
        else if ((c == '.' || c == ',') && !point)
            point = true;
        else
            return false;
    }
    return digit;
}

// A spreadsheet runs a cell that begins with "=", "@", "+" or "-" as a
// formula, and a formula can fetch a web address or start a program. Such a
// text is written behind an apostrophe, so that the cell shows it as text.
bool readAsFormula(QByteArrayView t)
{
    if (t.isEmpty())
        return false;
    switch (t[0]) {
    case '=':
    case '@':
        return true;
    case '+':
    case '-':
        return t.size() > 1 && !isSignedNumber(t);
    default:
        return false;
    }
}

void appendText(QByteArray &out, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    const bool formula = readAsFormula(utf8);
    bool quote = false;
    for (const char c : utf8)
        if (c == ';' || c == '"' || c == '\n' || c == '\r') {
            quote = true;
            break;
        }
    if (!quote) {
        if (formula)
            out += '\'';
        out += utf8;
        return;
    }
    out += '"';
    if (formula)
        out += '\'';
    for (const char c : utf8) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// The stored "yyyy-mm-dd hh:mm:ss" as "dd/mm/yyyy hh:mm:ss"; any other form
// the log may hold is read as a date when it can be, and written as stored
// when it cannot.
void appendDate(QByteArray &out, const QString &stored)
{
    static constexpr int kDigits[] = {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18};
    bool plain = stored.size() == 19 && stored[4] == QLatin1Char('-') && stored[7] == QLatin1Char('-')
                 && stored[10] == QLatin1Char(' ') && stored[13] == QLatin1Char(':')
                 && stored[16] == QLatin1Char(':');
    for (int i = 0; plain && i < int(std::size(kDigits)); ++i)
        plain = isDigit(stored[kDigits[i]]);
    if (plain) {
        const auto at = [&](int i) { return char(stored[i].unicode()); };
        const char text[] = {at(8),  at(9),  '/', at(5), at(6), '/', at(0),  at(1),  at(2), at(3),
                             ' ',    at(11), at(12), ':',   at(14), at(15), ':', at(17), at(18)};
        out.append(text, sizeof text);
        return;
    }
    if (const auto value = platform::fromStorage(stored)) {
        out += value->toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")).toLatin1();
        return;
    }
    appendText(out, stored);
}

void appendValue(QByteArray &out, const QVariant &value, bool isDate)
{
    if (value.isNull())
        return;
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        out += QByteArray::number(value.toLongLong());
        return;
    case QMetaType::QString:
        if (isDate)
            appendDate(out, value.toString());
        else
            appendText(out, value.toString());
        return;
    default:
        appendText(out, value.toString());
        return;
    }
}

// Why the log file cannot be read, or an empty text. On success *db is open.
QString openLog(const QString &logPath, std::unique_ptr<platform::Connection> *db)
{
    const QFileInfo log(logPath);
    const QString name = shown(logPath);
    if (!log.exists())
        return QStringLiteral("le fichier « %1 » n'existe pas").arg(name);
    if (log.isDir())
        return QStringLiteral("« %1 » est un dossier, pas un fichier de contacts").arg(name);
    if (!log.isReadable())
        return QStringLiteral("vous n'avez pas le droit de lire le fichier « %1 »").arg(name);
    platform::EngineError error;
    *db = platform::Connection::open(logPath, platform::OpenMode::ReadOnly, &error);
    bool ok = false;
    const QVector<platform::ColumnDef> columns = *db ? (*db)->tableColumns(logfile::kTable, &ok)
                                                     : QVector<platform::ColumnDef>();
    if (!ok)
        return QStringLiteral("le fichier « %1 » n'est pas un fichier de contacts, ou il est endommagé").arg(name);
    if (columns.isEmpty())
        return QStringLiteral("le fichier « %1 » n'est pas un fichier de contacts : "
                              "il ne contient pas de table « Transmission »")
            .arg(name);
    for (const QString &wanted : logfile::columnNames()) {
        const bool there = std::any_of(columns.begin(), columns.end(),
                                       [&](const platform::ColumnDef &c) { return c.name == wanted; });
        if (!there)
            return QStringLiteral("le fichier « %1 » n'est pas un fichier de contacts : "
                                  "la colonne « %2 » manque dans la table « Transmission »")
                .arg(name, wanted);
    }
    return QString();
}

QString doneMessage(qint64 n, const QString &csvPath)
{
    if (n == 0)
        return QStringLiteral("Aucun contact à exporter : le fichier « %1 » ne contient que la ligne "
                              "des noms de colonnes.")
            .arg(shown(csvPath));
    if (n == 1)
        return QStringLiteral("1 contact a été exporté dans le fichier « %1 ».").arg(shown(csvPath));
    return QStringLiteral("%1 contacts ont été exportés dans le fichier « %2 ».").arg(n).arg(shown(csvPath));
}

ExportOutcome failed(const QString &why, const QString &csvPath)
{
    return {false, 0,
            QStringLiteral("L'exportation a échoué : %1.\nLe fichier « %2 » n'a été ni créé ni modifié.")
                .arg(why, shown(csvPath))};
}

} // namespace

ExportOutcome exportContacts(const QString &logPath, const QString &csvPath)
{
    const QFileInfo target(csvPath);
    if (target.exists() && target.canonicalFilePath() == QFileInfo(logPath).canonicalFilePath())
        return failed(QStringLiteral("c'est le fichier des contacts lui-même ; choisissez un autre nom"), csvPath);

    std::unique_ptr<platform::Connection> db;
    if (const QString why = openLog(logPath, &db); !why.isEmpty())
        return failed(why, csvPath);

    const QStringList names = logfile::columnNames();
    QStringList select;
    for (const QString &n : names)
        select << platform::quoteIdentifier(n);
    const auto cursor = db->openQuery(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                                          .arg(select.join(QLatin1Char(',')),
                                               platform::quoteIdentifier(logfile::kTable)));
    const QString unreadable =
        QStringLiteral("le fichier « %1 » n'a pas pu être lu jusqu'au bout ; il est peut-être endommagé")
            .arg(shown(logPath));
    if (!cursor->isValid())
        return failed(unreadable, csvPath);

    platform::SaveFile file(csvPath);
    if (!file.open())
        return failed(file.errorText(), csvPath);

    QByteArray out;
    out.reserve(kChunk + 4096);
    out += "\xEF\xBB\xBF";
    out += names.join(QLatin1Char(';')).toUtf8();
    out += "\r\n";
    qint64 count = 0;
    const int columns = names.size();
    for (; !cursor->eof(); cursor->moveNext()) {
        for (int i = 0; i < columns; ++i) {
            if (i)
                out += ';';
            appendValue(out, cursor->value(i), i == 0);
        }
        out += "\r\n";
        ++count;
        if (out.size() >= kChunk) {
            if (!file.write(out))
                return failed(file.errorText(), csvPath);
            out.clear();
        }
    }
    if (cursor->error().isSet())
        return failed(unreadable, csvPath);
    if (!file.write(out) || !file.commit())
        return failed(file.errorText(), csvPath);
    return {true, count, doneMessage(count, csvPath)};
}

void exportCommand(QWidget *parent, const QString &logPath)
{
    const QFileInfo log(logPath);
    platform::FileRequest request;
    request.parent = parent;
    request.save = true;
    request.title = QStringLiteral("Exporter les contacts");
    request.filter = QStringLiteral("Fichier CSV (*.csv)|*.csv");
    request.confirmOverwrite = true;
    // (a name typed without an extension would not open in a spreadsheet)
    request.defaultSuffix = QStringLiteral("csv");
    request.initialPath = log.absolutePath() + QLatin1Char('/') + log.completeBaseName() + QStringLiteral(".csv");
    const QString path = platform::askFileName(request);
    if (path.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ExportOutcome outcome = exportContacts(logPath, path);
    QApplication::restoreOverrideCursor();
    platform::showMessage(parent, outcome.message,
                          outcome.ok ? platform::MessageIcon::Information : platform::MessageIcon::Critical);
}

} // namespace listing
