#include "Export.h"
#include "Messages.h"
#include "RowWriter.h"

#include "Engine.h"
#include "LogFile.h"
#include "Regional.h"
#include "SaveFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <iterator>
#include <memory>

namespace exchange {

namespace {

constexpr qsizetype kChunk = 1 << 20; // bytes handed to the file at a time

QString shown(const QString &path) { return QDir::toNativeSeparators(platform::logDisplayName(path)); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Digits among the signs and separators that numbers and dates are written
// with ("01000", "5/9", "59+", "-5,5", "+33 6 12").
bool looksNumeric(QByteArrayView t)
{
    static constexpr QByteArrayView kSigns(" +-/.,:%()eE");
    bool digit = false;
    for (const char c : t) {
        if (isDigit(c))
            digit = true;
        else if (!kSigns.contains(c))
            return false;
    }
    return digit;
}

// A whole number that a spreadsheet shows again with the same digits.
bool isPlainWhole(QByteArrayView t)
{
    if (t.startsWith('-'))
        t = t.sliced(1);
    if (t.isEmpty() || t.size() > 15 || (t[0] == '0' && t.size() > 1))
        return false;
    return std::all_of(t.begin(), t.end(), isDigit);
}

// A spreadsheet takes such a text for a number or a date: a postal code
// "01000" loses its zero, a report "5/9" becomes a day of September, "59+"
// becomes 59. It is written as the formula ="5/9", which spreadsheets show
// as that very text.
bool readAsNumberOrDate(QByteArrayView t) { return looksNumeric(t) && !isPlainWhole(t); }

// A spreadsheet runs a cell that begins with "=", "@", "+" or "-" as a
// formula, and a formula can fetch a web address or start a program. Such a
// text is written behind an apostrophe, so that the cell shows it as text;
// so is a text that begins with an apostrophe, which the spreadsheet would
// otherwise hide (and the import take away).
bool readAsFormula(QByteArrayView t)
{
    if (t.isEmpty())
        return false;
    switch (t[0]) {
    case '=':
    case '@':
    case '\'':
        return true;
    case '+':
    case '-':
        return t.size() > 1 && !looksNumeric(t);
    default:
        return false;
    }
}

// keepText: the value of a text column, to be shown as text whatever it holds.
void appendText(QByteArray &out, QByteArrayView text, bool keepText)
{
    if (!isUtf8(text)) {
        appendText(out, QString::fromUtf8(text).toUtf8(), keepText); // invalid bytes become U+FFFD
        return;
    }
    if (keepText && readAsNumberOrDate(text)) {
        out += "\"=\"\"";
        out += text;
        out += "\"\"\"";
        return;
    }
    const bool formula = readAsFormula(text);
    bool quote = false;
    for (const char c : text)
        if (c == ';' || c == '"' || c == '\n' || c == '\r') {
            quote = true;
            break;
        }
    if (!quote) {
        if (formula)
            out += '\'';
        out += text;
        return;
    }
    out += '"';
    if (formula)
        out += '\'';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// The stored "yyyy-mm-dd hh:mm:ss" as "dd/mm/yyyy hh:mm:ss"; any other form
// the log may hold is read as a date when it can be, and written as stored
// when it cannot.
void appendDate(QByteArray &out, QByteArrayView s)
{
    static constexpr int kDigits[] = {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18};
    bool plain = s.size() == 19 && s[4] == '-' && s[7] == '-' && s[10] == ' ' && s[13] == ':' && s[16] == ':';
    for (int i = 0; plain && i < int(std::size(kDigits)); ++i)
        plain = isDigit(s[kDigits[i]]);
    if (plain) {
        const char text[] = {s[8], s[9],  '/',   s[5], s[6],  '/',   s[0], s[1],  s[2],  s[3],
                             ' ',  s[11], s[12], ':',  s[14], s[15], ':',  s[17], s[18]};
        out.append(text, sizeof text);
        return;
    }
    if (const auto value = platform::fromStorage(QString::fromUtf8(s))) {
        out += value->toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")).toLatin1();
        return;
    }
    appendText(out, s, true);
}

class CsvWriter : public RowWriter
{
public:
    CsvWriter()
    {
        for (const platform::ColumnDef &c : logfile::transmission().columns)
            m_isText << (c.type == platform::ColumnType::Text);
    }
    void begin(QByteArray &out) override
    {
        out += "\xEF\xBB\xBF";
        out += logfile::columnNames().join(QLatin1Char(';')).toUtf8();
        out += "\r\n";
    }
    bool write(const platform::RowText &row, qint64, QByteArray &out, QString *) override
    {
        for (int i = 0; i < m_isText.size(); ++i) {
            if (i)
                out += ';';
            if (row.isNull(i))
                continue;
            if (i == 0)
                appendDate(out, row.text(i));
            else
                appendText(out, row.text(i), m_isText[i]);
        }
        out += "\r\n";
        return true;
    }
    void end(QByteArray &) override {}
    QString nothingWritten() const override { return msg::exportNothing(); }

private:
    QVector<bool> m_isText;
};

// Why the log file cannot be read, or an empty text. On success *db is open.
QString openLog(const QString &logPath, std::unique_ptr<platform::Connection> *db)
{
    const QFileInfo log(logPath);
    const QString name = shown(logPath);
    const bool file = !platform::isServerAddress(logPath); // (a shared log is the server's to refuse)
    if (file && !log.exists())
        return msg::exportLogMissing().arg(name);
    if (file && log.isDir())
        return msg::exportLogIsFolder().arg(name);
    if (file && !log.isReadable())
        return msg::exportLogNotReadable().arg(name);
    platform::EngineError error;
    // A journal left beside the log by a writer that was stopped midway holds
    // what the log must be put back to before it can be read: the engine does
    // that on the first reading of a connection that may write.
    const bool hotJournal = file && QFileInfo(logPath + QStringLiteral("-journal")).size() > 0 && log.isWritable();
    *db = platform::Connection::open(logPath, hotJournal ? platform::OpenMode::ReadWrite : platform::OpenMode::ReadOnly,
                                     &error);
    bool ok = false;
    const QVector<platform::ColumnDef> columns = *db ? (*db)->tableColumns(platform::Identifier(logfile::kTable), &ok)
                                                     : QVector<platform::ColumnDef>();
    if (!ok) {
        if (*db)
            error = (*db)->lastError();
        QString why = platform::describe(error);
        why.chop(why.endsWith(QLatin1Char('.')) ? 1 : 0);
        why = why.left(1).toLower() + why.mid(1);
        if (!file) // (whatever the server says: the journal could not be read)
            return msg::exportSharedUnreadable().arg(name, why);
        switch (platform::faultOf(error)) {
        case platform::EngineFault::Busy:
        case platform::EngineFault::Locked: return msg::exportLogBusy().arg(name);
        case platform::EngineFault::IoError:
        case platform::EngineFault::Unreachable:
        case platform::EngineFault::Permission: return msg::exportLogUnreadable().arg(name, why);
        default: return msg::exportNotALog().arg(name);
        }
    }
    if (columns.isEmpty())
        return msg::exportWithoutTable().arg(name);
    for (const QString &wanted : logfile::columnNames()) {
        const bool there = std::any_of(columns.begin(), columns.end(),
                                       [&](const platform::ColumnDef &c) { return c.name == wanted; });
        if (!there)
            return msg::exportWithoutColumn().arg(name, wanted);
    }
    return QString();
}

ExportOutcome failed(const QString &why, const QString &outPath)
{
    return {false, 0, msg::exportFailed().arg(why, shown(outPath))};
}

} // namespace

bool isUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        const int more = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : -1;
        if (more < 0 || end - p <= more)
            return false;
        for (int i = 1; i <= more; ++i)
            if ((p[i] & 0xC0) != 0x80)
                return false;
        // (no overlong forms, surrogates or code points beyond U+10FFFF)
        if ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] >= 0xA0) || (c == 0xF0 && p[1] < 0x90)
            || (c == 0xF4 && p[1] >= 0x90))
            return false;
        p += more + 1;
    }
    return true;
}

std::unique_ptr<RowWriter> csvWriter() { return std::make_unique<CsvWriter>(); }

std::optional<Format> formatNamed(const QString &name)
{
    if (name == QLatin1String("csv"))
        return Format::Csv;
    if (name == QLatin1String("adi"))
        return Format::Adi;
    if (name == QLatin1String("adx"))
        return Format::Adx;
    return std::nullopt;
}

std::optional<Format> formatOfFile(const QString &path)
{
    return formatNamed(QFileInfo(path).suffix().toLower());
}

ExportOutcome exportLog(const QString &logPath, const QString &outPath, Format format)
{
    const QFileInfo target(outPath);
    if (target.exists() && target.canonicalFilePath() == QFileInfo(logPath).canonicalFilePath())
        return failed(msg::exportOverLog(), outPath);

    std::unique_ptr<platform::Connection> db;
    if (const QString why = openLog(logPath, &db); !why.isEmpty())
        return failed(why, outPath);

    QVector<platform::Sql> select;
    for (const QString &n : logfile::columnNames())
        select << platform::Identifier(n);
    const platform::Sql sql = platform::Sql("SELECT %1 FROM %2 ORDER BY rowid")
                                  .arg(platform::Sql::join(select, ", "), platform::Identifier(logfile::kTable));

    platform::SaveFile file(outPath);
    if (!file.open())
        return failed(file.errorText(), outPath);

    const std::unique_ptr<RowWriter> writer = format == Format::Csv ? csvWriter() : adifWriter(format == Format::Adx);
    QByteArray out;
    out.reserve(kChunk + 4096);
    writer->begin(out);
    qint64 count = 0;
    // The rows are counted and read in one reading of the file, and the count
    // written must be the count the table holds.
    bool counted = false;
    db->exec("BEGIN");
    const qint64 stated = db->scalar(platform::Sql("SELECT count(*) FROM %1").arg(platform::Identifier(logfile::kTable)),
                                     {}, &counted)
                              .toLongLong();
    bool written = true;
    QString refused;
    const bool read = counted && db->forEachRow(sql, [&](const platform::RowText &row) {
        if (!writer->write(row, ++count, out, &refused))
            return false;
        if (out.size() >= kChunk) {
            written = file.write(out);
            out.truncate(0); // (its room kept for the next chunk)
        }
        return written;
    });
    if (!refused.isEmpty())
        return failed(refused, outPath);
    if (!written)
        return failed(file.errorText(), outPath);
    if (!read || count != stated || !db->exec("COMMIT")) {
        if (platform::faultOf(db->lastError()) == platform::EngineFault::Busy)
            return failed(msg::exportLogBusy().arg(shown(logPath)), outPath);
        return failed((platform::isServerAddress(logPath) ? msg::exportSharedReadInterrupted() : msg::exportReadInterrupted())
                          .arg(shown(logPath)),
                      outPath);
    }
    writer->end(out);
    if (!file.write(out) || !file.commit())
        return failed(file.errorText(), outPath);
    const QString name = shown(outPath);
    if (count == 0)
        return {true, 0, writer->nothingWritten().arg(name)};
    return {true, count, count == 1 ? msg::exportedOne().arg(name) : msg::exportedMany().arg(count).arg(name)};
}

} // namespace exchange
