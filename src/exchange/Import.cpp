#include "Import.h"
#include "Adif.h"
#include "Messages.h"
#include "Readers.h"
#include "RowWriter.h"

#include "CallSigns.h"
#include "Engine.h"
#include "LogFile.h"
#include "LogIndex.h"
#include "Regional.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cmath>
#include <unordered_set>

namespace exchange {

namespace {

enum Column { Date, Serial, Rst, Mhertz, Hertz, Mode, Prefix, Word1, Word2, Word3, Number, Box, Town, PostCode,
              Country, Operator, kColumns };

constexpr int kSerialDigits = 6; // the size of column Sequanel

// A value as the messages show it.
QString shown(QByteArrayView bytes)
{
    QString s = QString::fromUtf8(bytes).simplified();
    return s.size() > 40 ? s.left(40) + QStringLiteral("…") : s;
}

QString quotedName(const QString &path) { return QDir::toNativeSeparators(platform::logDisplayName(path)); }

// A record on its way to a row: the values of the columns as read, before
// the columns' rules are checked.
struct Candidate {
    RowStore::Values values;
    quint32 tooLong = 0; // columns whose value was cut while it was read
    bool sequanel = false; // written by Sequanel (its application fields)
    void set(int column, const SourceField *f)
    {
        if (!f)
            return;
        values[size_t(column)] = f->value;
        if (f->tooLong)
            tooLong |= 1u << column;
    }
    void set(int column, const QByteArray &value) { values[size_t(column)] = value; }
};

// ---------------------------------------------------------------- ADIF

// What an ADIF record gives a log.
class AdifMapping
{
public:
    // The fields read, in the order of their slots: the standard ones, then
    // one application field for each column.
    enum Slot { QsoDate, TimeOn, Call, Freq, AdifMode, Submode, RstSent, Stx, StxString, AdifOperator, Qth, QthIntl,
                AdifCountry, CountryIntl, kApp };
    static QList<QByteArray> wanted()
    {
        QList<QByteArray> names{"QSO_DATE", "TIME_ON", "CALL",     "FREQ", "MODE",    "SUBMODE",      "RST_SENT",
                                "STX",      "STX_STRING", "OPERATOR", "QTH", "QTH_INTL", "COUNTRY", "COUNTRY_INTL"};
        for (const QString &name : adif::appFieldNames())
            names << QByteArray(adif::kAppPrefix) + name.toLatin1().toUpper();
        return names;
    }

    // The reason the record cannot be stored, or an empty text.
    QString map(const SourceRecord &r, Candidate *c)
    {
        auto either = [&](int first, int second) { return r.field(first) ? r.field(first) : r.field(second); };
        for (int column = 0; column < kColumns; ++column)
            if (const SourceField *f = r.field(kApp + column)) {
                c->sequanel = true;
                c->set(column, f);
            }
        if (c->sequanel)
            return {};

        const SourceField *day = r.field(QsoDate), *time = r.field(TimeOn);
        if (day || time) {
            const auto wall = utc(day ? day->value : QByteArray(), time ? time->value : QByteArray());
            if (!wall)
                return msg::importBadDate().arg(shown((day ? day->value : QByteArray()) + ' '
                                                      + (time ? time->value : QByteArray())));
            c->set(Date, adif::storedText(m_zone.toLocal(*wall)));
        }
        c->set(Serial, either(Stx, StxString));
        c->set(Rst, r.field(RstSent));
        if (const SourceField *f = r.field(Freq)) {
            bool ok = false;
            const QByteArray text = f->value.trimmed();
            const double mhz = text.toDouble(&ok);
            const bool plain = ok && !text.isEmpty()
                               && std::all_of(text.begin(), text.end(), [](char ch) { return (ch >= '0' && ch <= '9') || ch == '.'; });
            if (!plain || mhz > 1e9)
                return msg::importBadFrequency().arg(shown(f->value));
            const qint64 khz = std::llround(mhz * 1000);
            c->set(Mhertz, QByteArray::number(khz / 1000));
            c->set(Hertz, QByteArray::number(khz % 1000));
        }
        c->set(Mode, either(Submode, AdifMode));
        const SourceField *call = r.field(Call);
        if (!call || call->value.trimmed().isEmpty())
            return msg::importNoCall();
        const auto parts = adif::callSignParts(QString::fromUtf8(call->value));
        if (!parts)
            return msg::importCallTooLong().arg(shown(call->value));
        for (int i = 0; i < 5; ++i)
            if (!(*parts)[i].isEmpty())
                c->set(Prefix + i, (*parts)[i].toUtf8());
        c->set(Town, either(QthIntl, Qth));
        c->set(Country, either(CountryIntl, AdifCountry));
        c->set(Operator, r.field(AdifOperator));
        return {};
    }

private:
    // QSO_DATE (YYYYMMDD) and TIME_ON (HHMM or HHMMSS) as a UTC instant.
    static std::optional<qint64> utc(const QByteArray &day, const QByteArray &time)
    {
        const bool digits = std::all_of(day.begin(), day.end(), [](char ch) { return ch >= '0' && ch <= '9'; })
                            && std::all_of(time.begin(), time.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
        if (!digits || day.size() != 8 || (time.size() != 4 && time.size() != 6))
            return std::nullopt;
        const int y = day.left(4).toInt(), mo = day.mid(4, 2).toInt(), d = day.mid(6, 2).toInt();
        const int h = time.left(2).toInt(), mi = time.mid(2, 2).toInt(), s = time.size() == 6 ? time.mid(4, 2).toInt() : 0;
        if (!QDate::isValid(y, mo, d) || !QTime::isValid(h, mi, s))
            return std::nullopt;
        return adif::daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
    }

    adif::ZoneRules m_zone;
};

// ---------------------------------------------------------------- CSV

// What a CSV record gives a log; own: the export's layout (its protections
// undone, dates as dd/mm/yyyy hh:mm:ss).
QString mapCsv(const SourceRecord &r, bool own, Candidate *c)
{
    const QVector<platform::ColumnDef> &columns = logfile::transmission().columns;
    c->sequanel = own; // (the export's own file comes back as it was)
    for (int column = 0; column < kColumns; ++column) {
        const SourceField *f = r.field(column);
        if (!f)
            continue;
        QByteArray v = f->value;
        if (v.isEmpty())
            continue;
        if (!isUtf8(v)) // (a spreadsheet may save in its own code page: it is not guessed)
            return msg::importNotUtf8().arg(columns[column].name);
        const bool text = columns[column].type == platform::ColumnType::Text;
        if (own && (text || column == Date)) {
            if (v.startsWith("=\"") && v.endsWith('"') && v.size() >= 3)
                v = v.mid(2, v.size() - 3);
            else if (v.startsWith('\''))
                v = v.mid(1);
        }
        if (column == Date) {
            const QString s = QString::fromUtf8(v);
            // (the fields apart: a local time the spring change skips is no QDateTime)
            const QDate day = QDate::fromString(s.left(10), QStringLiteral("dd/MM/yyyy"));
            const QTime time = QTime::fromString(s.mid(10), QStringLiteral(" HH:mm:ss"));
            if (day.isValid() && time.isValid()) {
                v = (day.toString(QStringLiteral("yyyy-MM-dd")) + time.toString(QStringLiteral(" HH:mm:ss"))).toUtf8();
            } else {
                std::optional<QDateTime> d = platform::fromStorage(s);
                if (!d)
                    d = platform::parseDateTime(s);
                if (!d)
                    return msg::importBadDate().arg(shown(v));
                v = platform::toStorage(*d).toUtf8();
            }
        } else if (!text && !own) {
            if (const auto n = platform::parseNumber(QString::fromUtf8(v)); n && std::floor(*n) == *n && std::fabs(*n) < 1e9)
                v = QByteArray::number(qint64(*n));
        }
        c->values[size_t(column)] = v;
        if (f->tooLong)
            c->tooLong |= 1u << column;
    }
    return {};
}

// ---------------------------------------------------------------- rules

// The columns' rules (as a store from the form meets them); the reason of
// the first one a value breaks, or an empty text. Whole numbers are put in
// their plain form.
QString check(Candidate *c)
{
    const QVector<platform::ColumnDef> &columns = logfile::transmission().columns;
    for (int i = 0; i < kColumns; ++i) {
        std::optional<QByteArray> &v = c->values[size_t(i)];
        if (!v)
            continue;
        const platform::ColumnDef &col = columns[i];
        const QString label = logfile::fieldLabel(col.name);
        switch (col.type) {
        case platform::ColumnType::DateTime:
            if (!adif::isStoredForm(*v))
                return msg::importBadDate().arg(shown(*v));
            break;
        case platform::ColumnType::SmallInt: {
            bool ok = false;
            const qint64 n = v->trimmed().toLongLong(&ok);
            if (!ok || n < -32768 || n > 32767 || (c->tooLong >> i & 1))
                return msg::importNotWhole().arg(shown(*v), label);
            if (v->size() > 6 || v->startsWith('+') || v->startsWith('0') || v->startsWith("-0") || v->contains(' '))
                *v = QByteArray::number(n); // (its plain form)
            break;
        }
        case platform::ColumnType::Text: {
            const bool ascii = std::all_of(v->cbegin(), v->cend(), [](char ch) { return uchar(ch) < 0x80; });
            const QString text = ascii ? QString() : QString::fromUtf8(*v);
            if (!ascii && !platform::fitsWindows1252(text))
                return msg::importBadCharacter().arg(shown(*v), label);
            if ((c->tooLong >> i & 1) || (ascii ? v->size() : text.size()) > col.size)
                return msg::importTooLong().arg(shown(*v), label).arg(col.size);
            break;
        }
        case platform::ColumnType::Other: break;
        }
    }
    return {};
}

// ---------------------------------------------------------------- the log

// A serial number's value as the window reads it (logfile::serialValue),
// plain digits read on the spot.
std::optional<qint64> serialNumber(QByteArrayView text)
{
    if (!text.isEmpty() && text.size() <= 18
        && std::all_of(text.begin(), text.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) {
        qint64 v = 0;
        for (const char ch : text)
            v = v * 10 + (ch - '0');
        return v;
    }
    return logfile::serialValue(QString::fromUtf8(text));
}

struct LogContents {
    std::unordered_set<qint64> numbers; // serial numbers that are numbers
    QSet<QByteArray> texts;             // and those that are not
    qint64 largest = 0;
    std::optional<logfile::CallSignSet> callSigns; // (only when asked for)
};

// Reads the serial numbers (and, withCallSigns, the call signs) of the log.
bool readLog(platform::Connection *db, bool withCallSigns, LogContents *out)
{
    using platform::Identifier;
    QVector<platform::Sql> parts;
    for (const QString &name : logfile::callSignColumns())
        parts << Identifier(name);
    const platform::Sql sql = platform::Sql("SELECT rowid, %1, %2 FROM %3")
                                  .arg(Identifier(QStringLiteral("Sequanel")), platform::Sql::join(parts, ", "),
                                       Identifier(logfile::kTable));
    logfile::CallSignReader reader;
    if (withCallSigns)
        out->callSigns.emplace();
    const bool ok = db->forEachRow(sql, [&](const platform::RowText &row) {
        if (!row.isNull(1) && !row.text(1).isEmpty()) {
            if (const auto n = serialNumber(row.text(1))) {
                out->numbers.insert(*n);
                out->largest = std::max(out->largest, *n);
            } else {
                out->texts.insert(row.text(1).toByteArray());
            }
        }
        if (withCallSigns)
            if (const auto sign = reader.read(row, 2))
                out->callSigns->append(sign->key(), row.text(0).toByteArray().toLongLong());
        return true;
    });
    if (out->callSigns)
        out->callSigns->finish();
    return ok;
}

// The rows that get a new serial number, and those for which none is left.
struct Assignment {
    std::vector<std::pair<qint64, qint64>> given;
    std::vector<qint64> full;
};

Assignment assignSerials(const ImportPlan &plan, LogContents taken)
{
    Assignment a;
    std::vector<qint64> need;
    for (qint64 row = 0; row < plan.rows.size(); ++row) {
        if (plan.rows.isNull(row, Serial) || plan.rows.value(row, Serial).isEmpty()) {
            if (!plan.keepsNoSerial[size_t(row)])
                need.push_back(row);
            continue;
        }
        const QByteArrayView text = plan.rows.value(row, Serial);
        bool free = false;
        if (const auto n = serialNumber(text)) {
            free = taken.numbers.insert(*n).second;
            if (free)
                taken.largest = std::max(taken.largest, *n);
        } else {
            free = !taken.texts.contains(text.toByteArray());
            taken.texts.insert(text.toByteArray());
        }
        if (!free)
            need.push_back(row);
    }
    qint64 next = taken.largest + 1;
    for (const qint64 row : need) {
        if (QByteArray::number(next).size() > kSerialDigits)
            a.full.push_back(row);
        else
            a.given.emplace_back(row, next++);
    }
    return a;
}

QString refusalLine(qint64 record, qint64 at, bool lines, const QString &why)
{
    return (lines ? msg::importAtLine() : msg::importAtByte()).arg(record).arg(at).arg(why);
}

void note(QStringList *lines, qint64 *count, const QString &line)
{
    if (++*count <= ImportPlan::kShown)
        *lines << line;
}

} // namespace

// ---------------------------------------------------------------- RowStore

void RowStore::add(const Values &values)
{
    // (a row holds at most 16 values of 254 bytes)
    if (m_blocks.empty() || m_blocks.back().size() > kBlock - 16 * 255) {
        m_blocks.emplace_back();
        m_blocks.back().reserve(kBlock);
    }
    QByteArray &block = m_blocks.back();
    m_start.emplace_back(quint32(m_blocks.size() - 1), quint32(block.size()));
    for (const std::optional<QByteArray> &v : values) {
        const qsizetype n = v ? std::min<qsizetype>(v->size(), kNull - 1) : 0;
        m_lengths.push_back(v ? quint8(n) : kNull);
        if (n)
            block.append(v->constData(), n);
    }
}

void RowStore::values(qint64 row, std::array<std::optional<QByteArrayView>, 16> *out) const
{
    const auto [blockIndex, at] = m_start[size_t(row)];
    const char *p = m_blocks[blockIndex].constData() + at;
    const quint8 *lengths = &m_lengths[size_t(row) * 16];
    for (int c = 0; c < 16; ++c) {
        (*out)[size_t(c)] = lengths[c] == kNull ? std::nullopt : std::optional(QByteArrayView(p, lengths[c]));
        p += lengths[c] == kNull ? 0 : lengths[c];
    }
}

QByteArrayView RowStore::value(qint64 row, int column) const
{
    std::array<std::optional<QByteArrayView>, 16> all;
    values(row, &all);
    return all[size_t(column)].value_or(QByteArrayView());
}

std::optional<QByteArray> ImportPlan::serialOf(qint64 row) const
{
    const auto it = std::lower_bound(renumbered.begin(), renumbered.end(), std::pair<qint64, qint64>(row, LLONG_MIN));
    if (it != renumbered.end() && it->first == row)
        return QByteArray::number(it->second);
    if (rows.isNull(row, Serial))
        return std::nullopt;
    return rows.value(row, Serial).toByteArray();
}

// ---------------------------------------------------------------- planning

std::optional<ImportPlan> planImport(const QString &file, const QString &logPath, QString *message,
                                     const Progress &progress)
{
    const QString name = QDir::toNativeSeparators(file);
    auto cannot = [&](const QString &why) -> std::optional<ImportPlan> {
        *message = msg::importCannotRead().arg(name, why);
        return std::nullopt;
    };
    const std::optional<Format> format = formatOfFile(file);
    if (!QFileInfo::exists(file))
        return cannot(msg::importMissing());
    if (!format)
        return cannot(msg::importUnknownFormat());
    QFile in(file);
    if (QFileInfo(file).isDir() || !in.open(QIODevice::ReadOnly))
        return cannot(msg::importUnreadable());

    platform::EngineError error;
    const auto db = platform::Connection::open(logPath, platform::OpenMode::ReadOnly, &error);
    bool hasTable = false;
    if (db)
        hasTable = !db->tableColumns(platform::Identifier(logfile::kTable), &hasTable).isEmpty() && hasTable;
    if (!db || !hasTable) {
        *message = msg::importFailed().arg(platform::describe(db ? db->lastError() : error), quotedName(logPath));
        return std::nullopt;
    }

    ImportPlan plan;
    plan.file = file;
    plan.format = *format;
    AdifMapping adif;
    std::unique_ptr<RecordReader> reader;
    CsvReader *csv = nullptr;
    if (*format == Format::Csv) {
        auto c = csvReader(&in);
        csv = c.get();
        reader = std::move(c);
    } else {
        reader = *format == Format::Adi ? adiReader(&in, AdifMapping::wanted()) : adxReader(&in, AdifMapping::wanted());
    }
    QString why;
    if (!reader->start(&why))
        return cannot(why);
    if (csv)
        plan.ignoredColumns = csv->ignoredHeadings();

    SourceRecord record;
    const qint64 size = in.size();
    while (reader->next(&record)) {
        ++plan.records;
        if (progress && plan.records % 4096 == 0 && !progress(reader->bytesRead(), size)) {
            message->clear();
            return std::nullopt;
        }
        Candidate c;
        if (record.refusal.isEmpty()) {
            why = csv ? mapCsv(record, csv->ownLayout(), &c) : adif.map(record, &c);
            if (why.isEmpty())
                why = check(&c);
        } else {
            why = record.refusal;
        }
        if (!why.isEmpty()) {
            const qint64 at = record.refusal.isEmpty() ? record.position : record.refusalPosition;
            note(&plan.refused, &plan.refusedCount, refusalLine(record.number, at, reader->countsLines(), why));
            continue;
        }
        plan.rows.add(c.values);
        plan.recordOf.push_back(record.number);
        plan.keepsNoSerial.push_back(c.sequanel);
    }
    if (reader->readFailed() || in.error() != QFileDevice::NoError)
        return cannot(msg::importUnreadable());

    // The log as it stands: serial numbers and call signs.
    LogContents log;
    const bool logHasRows = db->scalar(platform::Sql("SELECT count(*) FROM %1").arg(platform::Identifier(logfile::kTable)))
                                .toLongLong() > 0;
    if (!readLog(db.get(), logHasRows && plan.rows.size() > 0, &log)) {
        *message = msg::importFailed().arg(platform::describe(db->lastError()), quotedName(logPath));
        return std::nullopt;
    }
    const Assignment a = assignSerials(plan, log);
    plan.renumbered = a.given;
    plan.unnumbered = a.full;
    for (const qint64 row : a.full)
        note(&plan.refused, &plan.refusedCount,
             msg::importAtRecord().arg(plan.recordOf[size_t(row)]).arg(msg::importSerialsFull().arg(kSerialDigits)));
    for (const auto &[row, number] : a.given) {
        const qint64 record = plan.recordOf[size_t(row)];
        note(&plan.renumberedLines, &plan.renumberedCount,
             plan.rows.isNull(row, Serial) || plan.rows.value(row, Serial).isEmpty()
                 ? msg::importNumbered().arg(record).arg(number)
                 : msg::importRenumbered().arg(record).arg(shown(plan.rows.value(row, Serial))).arg(number));
    }
    if (log.callSigns) {
        logfile::CallSignReader reader;
        for (qint64 row = 0; row < plan.rows.size(); ++row) {
            QVariantList parts;
            QStringList words;
            for (int c = Prefix; c <= Number; ++c) {
                const QString v = plan.rows.isNull(row, c) ? QString() : QString::fromUtf8(plan.rows.value(row, c));
                parts << (v.isEmpty() ? QVariant() : QVariant(v));
                words << v;
            }
            const auto sign = reader.read(parts);
            const auto found = sign ? log.callSigns->find(sign->key()) : logfile::CallSignSet::Found{};
            if (found.count == 0)
                continue;
            QString where;
            if (plan.duplicateCount < ImportPlan::kShown) {
                const auto stored = db->rows(platform::Sql("SELECT %1, %2 FROM %3 WHERE rowid = ?1")
                                                 .arg(platform::Identifier(QStringLiteral("Sequanel")),
                                                      platform::Identifier(QStringLiteral("Date")),
                                                      platform::Identifier(logfile::kTable)),
                                             {found.latest});
                const auto date = platform::fromStorage(stored.value(0).value(1).toString());
                where = msg::importDuplicate()
                            .arg(plan.recordOf[size_t(row)])
                            .arg(adif::callSignText(words), stored.value(0).value(0).toString(),
                                 date ? platform::formatDateTime(*date) : QString());
            }
            note(&plan.duplicates, &plan.duplicateCount, where);
        }
    }
    return plan;
}

// ---------------------------------------------------------------- importing

ImportOutcome runImport(ImportPlan &plan, const QString &logPath, bool keepReadable, const Progress &progress)
{
    const QString name = quotedName(logPath);
    auto failed = [&](const QString &why) { return ImportOutcome{false, 0, msg::importFailed().arg(why, name)}; };
    if (plan.refusedCount > 0 && !keepReadable)
        return failed(msg::importPartialRefused().arg(plan.refusedCount).arg(QDir::toNativeSeparators(plan.file)));

    platform::EngineError error;
    const auto db = platform::Connection::open(logPath, platform::OpenMode::ReadWrite, &error);
    if (!db)
        return failed(platform::describe(error));
    if (!db->begin())
        return failed(platform::describe(db->lastError()));
    auto rollback = [&](const QString &why) {
        const QString text = why.isEmpty() ? platform::describe(db->lastError()) : why;
        db->rollback();
        return failed(text);
    };

    // The first statement takes the log (on a server, the journal's lock):
    // the serial numbers are then settled against the log as it stands,
    // nobody storing meanwhile.
    bool counted = false;
    const platform::Sql count = platform::Sql("SELECT count(*) FROM %1").arg(platform::Identifier(logfile::kTable));
    const qint64 held = db->scalar(count, {}, &counted).toLongLong();
    if (!counted)
        return rollback({});
    LogContents log;
    if (!readLog(db.get(), false, &log))
        return rollback({});
    const Assignment a = assignSerials(plan, log);
    if (a.full != plan.unnumbered)
        return rollback(msg::importSerialsChanged());
    plan.renumbered = a.given;
    const std::unordered_set<qint64> full(a.full.begin(), a.full.end());
    std::vector<qint64> order;
    order.reserve(size_t(plan.rows.size()));
    for (qint64 row = 0; row < plan.rows.size(); ++row)
        if (!full.count(row))
            order.push_back(row);
    auto given = plan.renumbered.cbegin();
    QByteArray serial;
    std::array<std::optional<QByteArrayView>, 16> all;
    bool stopped = false;
    const bool stored = db->insertRows(
        platform::Identifier(logfile::kTable), logfile::transmission().columns, qint64(order.size()),
        [&](qint64 i, QVector<std::optional<QByteArrayView>> &values) {
            if (progress && i % 4096 == 0 && !progress(i, qint64(order.size()))) {
                stopped = true;
                return false;
            }
            const qint64 row = order[size_t(i)];
            plan.rows.values(row, &all);
            for (int c = 0; c < kColumns; ++c)
                values[c] = all[size_t(c)];
            while (given != plan.renumbered.cend() && given->first < row)
                ++given;
            if (given != plan.renumbered.cend() && given->first == row) {
                serial = QByteArray::number(given->second);
                values[Serial] = serial;
            }
            return true;
        });
    if (stopped) {
        db->rollback();
        return {false, 0, QString()};
    }
    if (!stored)
        return rollback({});
    const qint64 after = db->scalar(count, {}, &counted).toLongLong();
    if (!counted)
        return rollback({});
    if (after != held + qint64(order.size()))
        return rollback(msg::importCountMismatch());
    if (!db->commit())
        return rollback({});

    const qint64 n = qint64(order.size());
    if (n == 0)
        return {true, 0, msg::importNothing().arg(name)};
    QString done = n == 1 ? msg::importedOne().arg(name) : msg::importedMany().arg(n).arg(name);
    if (!a.given.empty())
        done += msg::importedRenumbered().arg(a.given.size());
    if (plan.refusedCount > 0)
        done += msg::importedPartial().arg(plan.refusedCount);
    return {true, n, done};
}

} // namespace exchange
