#include "Conversion.h"
#include "Messages.h"

#include "Converter.h"
#include "JetFile.h"
#include "LogFile.h"
#include "RecordSource.h"

#include <QDate>
#include <QTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMap>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace legacy {

namespace {

QString quoted(const QString &name) { return QStringLiteral("« %1 »").arg(name); }

QString quotedList(const QStringList &names)
{
    QStringList q;
    for (const QString &n : names)
        q << quoted(n);
    return q.join(QStringLiteral(", "));
}

QString fileName(const QString &path) { return quoted(QDir::toNativeSeparators(path)); }

Outcome refused(const QString &message) { return Outcome{Outcome::Refused, 0, message}; }

// What a Jet value becomes in an SQLite file: dates in the stored form of
// log files (the day count itself when it is not a date), yes/no as 1 or 0,
// everything else as it is.
QVariant stored(int jetType, const QVariant &v)
{
    if (v.isNull())
        return v;
    if (jetType == JetDateTime) {
        const double days = v.toDouble();
        const QString text = jetDateText(days);
        if (!text.isEmpty())
            return text;
        return std::isfinite(days) ? v : QVariant(QString::number(days));
    }
    if (jetType == JetBool)
        return v.toBool() ? 1 : 0;
    return v;
}

// The table the output file holds, and the Jet column feeding each of its columns.
struct Plan {
    platform::TableDef table;
    QVector<int> from;
};

// What the reading of a Jet table hands over to the thread that writes the
// rows: batches of rows, then whether what was written is to be kept.
struct Handoff {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QVector<QVariantList>> batches;
    bool read = false;     // every batch is handed over
    bool keep = false;     // then: commit (else roll back)
    bool opened = true;    // the new file could be opened for writing
    bool written = true;   // every row handed over was written
    bool committed = false;
    bool done = false;     // the writing thread is over
};

// Writes the rows of the open Jet table into target, through one prepared
// insert in one transaction, on a thread of its own while the next rows are
// read. check() tells whether a value passes the target column's rules; the
// others are counted by column. A damaged table gives Partial with the rows
// that could be read, or Damaged when there were none. Messages name the new
// file shown.
Outcome copyRows(JetDatabase &db, const Plan &plan, const QString &target, const QString &shown,
                 const Progress &progress, const std::function<QVariant(int col, const QVariant &)> &convert,
                 QMap<QString, int> *carried)
{
    const QVector<JetColumn> jetColumns = db.columns();
    // A log file is made as the New command makes one.
    platform::EngineError error;
    const bool created = plan.table.name == logfile::kTable ? logfile::createEmpty(target, nullptr)
                                                            : platform::Connection::create(target, plan.table, &error);
    if (!created)
        return refused(msg::convertCannotCreate().arg(fileName(shown)));
    auto fail = [&](Outcome o) {
        QFile::remove(target);
        QFile::remove(target + QStringLiteral("-journal"));
        return o;
    };
    QVector<platform::Sql> names, marks;
    for (int i = 0; i < plan.table.columns.size(); ++i) {
        names << platform::Identifier(plan.table.columns[i].name);
        marks << platform::Sql::parameter(i + 1);
    }
    const platform::Sql insert = platform::Sql("INSERT INTO %1 (%2) VALUES (%3)")
                                     .arg(platform::Identifier(plan.table.name), platform::Sql::join(names, ", "),
                                          platform::Sql::join(marks, ", "));

    Handoff h;
    QMap<QString, int> refusedValues; // by the writing thread
    // The Jet table's columns are those of the new table, in its order, and
    // more after them, or none.
    bool inOrder = true;
    for (int i = 0; i < plan.from.size(); ++i)
        inOrder = inOrder && plan.from[i] == i;
    std::thread writer([&] {
        platform::EngineError e;
        // (a page cache that holds the whole new file: none is written before the commit)
        auto out = platform::Connection::open(target, platform::OpenMode::ReadWrite, &e);
        const bool opened = out && out->exec("PRAGMA cache_size = -262144") && out->begin();
        bool written = opened, keep = false;
        QVector<QVariantList> batch, params;
        {
            std::unique_lock lock(h.mutex);
            h.opened = opened;
            for (;;) {
                h.written = written;
                h.changed.notify_all();
                h.changed.wait(lock, [&] { return !h.batches.empty() || h.read; });
                if (h.batches.empty())
                    break;
                batch = std::move(h.batches.front());
                h.batches.pop_front();
                if (!written)
                    continue;
                lock.unlock();
                // The values changed where they stand (most are kept as
                // they are), in the new table's order.
                params.clear();
                for (QVariantList &row : batch) {
                    QVariantList values;
                    if (!inOrder)
                        values.resize(plan.from.size());
                    for (int i = 0; i < plan.from.size(); ++i) {
                        QVariant &v = row[plan.from[i]];
                        const int type = jetColumns[plan.from[i]].type;
                        if (!v.isNull() && (type == JetDateTime || type == JetBool || convert))
                            v = convert ? convert(i, stored(type, v)) : stored(type, v);
                        if (carried && !fitsColumn(plan.table.columns[i], v))
                            ++refusedValues[plan.table.columns[i].name];
                        if (!inOrder)
                            values[i] = v;
                    }
                    if (inOrder)
                        row.resize(plan.from.size()); // (extra columns after the table's own)
                    params << (inOrder ? std::move(row) : values);
                }
                written = out->execRows(insert, params);
                lock.lock();
            }
            keep = h.keep && written;
        }
        bool committed = false;
        if (keep)
            committed = out->commit();
        else if (out)
            out->rollback();
        out.reset();
        const std::lock_guard lock(h.mutex);
        h.written = written;
        h.committed = committed;
        h.done = true;
        h.changed.notify_all();
    });

    Outcome outcome{Outcome::Done, 0, {}};
    const qint64 total = db.statedRows();
    progress(0, total);
    constexpr int kBatch = 1024;
    QVector<QVariantList> batch;
    auto handOver = [&] {
        std::unique_lock lock(h.mutex);
        // (a few batches ahead of the writing at most)
        h.changed.wait(lock, [&] { return h.batches.size() < 8 || !h.written || !h.opened; });
        h.batches.push_back(std::move(batch));
        batch.clear();
        h.changed.notify_all();
        return h.written && h.opened;
    };
    const JetDatabase::Reading read = db.readRows([&](const QVariantList &row) {
        batch << row;
        if (++outcome.rows % 1000 == 0)
            progress(outcome.rows, std::max(total, outcome.rows));
        return batch.size() < kBatch || handOver();
    });
    const bool damaged = read == JetDatabase::Reading::Damaged;
    outcome.stated = total;
    if (!batch.isEmpty())
        handOver();
    {
        std::unique_lock lock(h.mutex);
        h.read = true;
        h.keep = !(damaged && outcome.rows == 0);
        h.changed.notify_all();
        // The commit writes the whole file to the disk, which may take a
        // while on a slow one: the child keeps telling it is alive meanwhile.
        while (!h.changed.wait_for(lock, std::chrono::seconds(1), [&] { return h.done; })) {
            lock.unlock();
            progress(outcome.rows, std::max(total, outcome.rows));
            lock.lock();
        }
    }
    writer.join();
    if (carried)
        for (auto it = refusedValues.cbegin(); it != refusedValues.cend(); ++it)
            (*carried)[it.key()] += it.value();
    if (!h.opened)
        return fail(refused(msg::convertCannotWrite().arg(fileName(shown))));
    if (!h.written)
        return fail(refused(msg::convertDiskFull().arg(fileName(shown))));
    if (damaged && outcome.rows == 0)
        return fail(Outcome{Outcome::Damaged, 0, {}, total});
    if (!h.committed)
        return fail(refused(msg::convertDiskFull().arg(fileName(shown))));
    if (damaged)
        outcome.status = Outcome::Partial;
    progress(outcome.rows, outcome.rows);
    return outcome;
}

// Opens source and its table; Damaged or Refused when that cannot be done.
// A file without the table but with another holding every column of shape
// is that file with a damaged catalog.
std::optional<Outcome> openTable(JetDatabase &db, const QString &source, const QString &table,
                                 const QString &refusal, const QVector<platform::ColumnDef> &shape = {})
{
    const QFileInfo info(source);
    if (!info.exists())
        return refused(msg::convertSourceMissing().arg(fileName(source)));
    QFile probe(source);
    if (info.isDir() || !probe.open(QIODevice::ReadOnly))
        return refused(msg::convertSourceUnreadable().arg(fileName(source)));
    probe.close();
    if (!db.open(source))
        return Outcome{Outcome::Damaged, 0, {}};
    if (db.openTable(table))
        return std::nullopt;
    // Named in the catalog, yet no table that can be read: a damaged file.
    if (db.hasObject(table))
        return Outcome{Outcome::Damaged, 0, {}};
    for (const QString &other : shape.isEmpty() ? QStringList() : db.tables()) {
        QStringList names;
        for (const JetColumn &c : db.openTable(other) ? db.columns() : QVector<JetColumn>())
            names << c.name;
        if (std::all_of(shape.cbegin(), shape.cend(),
                        [&](const platform::ColumnDef &c) { return names.contains(c.name, Qt::CaseInsensitive); }))
            return Outcome{Outcome::Damaged, 0, {}};
    }
    QString text = refusal.arg(fileName(source), quoted(table));
    if (!db.tables().isEmpty())
        text += msg::convertTablesFound().arg(quotedList(db.tables()));
    return refused(text);
}

} // namespace

QString jetDateText(double days)
{
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6)
        return QString();
    const double whole = std::trunc(days);
    qint64 day = qint64(whole);
    qint64 seconds = std::llround(std::fabs(days - whole) * 86400.0);
    if (seconds >= 86400) { // rounded up to the next midnight, counting forward
        seconds -= 86400;
        ++day;
    }
    const QDate date = QDate(1899, 12, 30).addDays(day);
    if (!date.isValid() || date.year() < 100 || date.year() > 9999)
        return QString();
    // (written digit by digit: a formatted print costs more than the rest of the row)
    char text[19];
    auto put = [&text](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = char('0' + value % 10);
    };
    put(0, date.year(), 4);
    put(5, date.month(), 2);
    put(8, date.day(), 2);
    put(11, int(seconds / 3600), 2);
    put(14, int(seconds / 60 % 60), 2);
    put(17, int(seconds % 60), 2);
    text[4] = text[7] = '-';
    text[10] = ' ';
    text[13] = text[16] = ':';
    return QString::fromLatin1(text, 19);
}

bool fitsColumn(const platform::ColumnDef &column, const QVariant &value)
{
    if (value.isNull())
        return true;
    switch (column.type) {
    case platform::ColumnType::DateTime: {
        // The stored form exactly, "YYYY-MM-DD HH:MM:SS", a real day and time.
        if (value.typeId() != QMetaType::QString)
            return false;
        const QString t = value.toString();
        if (t.size() != 19 || t[4] != QLatin1Char('-') || t[7] != QLatin1Char('-') || t[10] != QLatin1Char(' ')
            || t[13] != QLatin1Char(':') || t[16] != QLatin1Char(':'))
            return false;
        auto number = [&](int at, int len) { return QStringView(t).mid(at, len).toInt(); };
        return QDate::isValid(number(0, 4), number(5, 2), number(8, 2))
               && QTime::isValid(number(11, 2), number(14, 2), number(17, 2));
    }
    case platform::ColumnType::SmallInt:
        // Whole numbers, by far the most common, without reading them back as text.
        if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong)
            return value.toLongLong() >= -32768 && value.toLongLong() <= 32767;
        break;
    case platform::ColumnType::Text:
        // A text, by far the most common, checked as the entry form checks one.
        if (value.typeId() == QMetaType::QString) {
            const QString &text = *static_cast<const QString *>(value.constData());
            return text.size() <= column.size && platform::fitsWindows1252(text);
        }
        break;
    default:
        break;
    }
    // Otherwise the rules a value typed in the entry form meets.
    return value.typeId() != QMetaType::QByteArray
           && platform::RecordSource::storedValue(column, value.toString(), nullptr).has_value();
}

Outcome convertLog(const QString &source, const QString &target, const Progress &progress,
                   const QString &shownTarget)
{
    JetDatabase db;
    if (auto o = openTable(db, source, logfile::kTable, msg::convertWithoutTable(), logfile::transmission().columns))
        return *o;

    // The sixteen columns are found by name, wherever they stand.
    const QVector<JetColumn> jetColumns = db.columns();
    Plan plan{logfile::transmission(), {}};
    QStringList missing;
    QVector<bool> used(jetColumns.size(), false);
    for (const platform::ColumnDef &c : plan.table.columns) {
        int found = -1;
        for (int j = 0; j < jetColumns.size() && found < 0; ++j)
            if (jetColumns[j].name == c.name)
                found = j;
        for (int j = 0; j < jetColumns.size() && found < 0; ++j)
            if (jetColumns[j].name.compare(c.name, Qt::CaseInsensitive) == 0)
                found = j;
        if (found < 0)
            missing << c.name;
        else
            used[found] = true;
        plan.from << found;
    }
    // A missing column for which stands one whose name differs by a single
    // character is a damaged definition, not another kind of file.
    auto oneOff = [&](const QString &name) {
        return std::any_of(jetColumns.cbegin(), jetColumns.cend(), [&](const JetColumn &c) {
            int differ = 0;
            for (int i = 0; c.name.size() == name.size() && i < name.size(); ++i)
                differ += c.name[i] != name[i];
            return c.name.size() == name.size() && differ == 1;
        });
    };
    if (!missing.isEmpty() && std::all_of(missing.cbegin(), missing.cend(), oneOff))
        return Outcome{Outcome::Damaged, 0, {}};
    if (!missing.isEmpty())
        return refused(msg::convertWithoutColumns().arg(
            fileName(source), quoted(logfile::kTable),
            missing.size() == 1 ? msg::convertOneColumn() : msg::convertColumns(), quotedList(missing)));
    QStringList extra;
    for (int j = 0; j < jetColumns.size(); ++j)
        if (!used[j])
            extra << jetColumns[j].name;

    QMap<QString, int> carried;
    Outcome o = copyRows(db, plan, target, shownTarget.isEmpty() ? target : shownTarget, progress, {}, &carried);
    if (o.status == Outcome::Partial)
        o.message = msg::convertedPartial().arg(fileName(source), damageCounts(o.rows, o.stated));
    else if (o.status != Outcome::Done)
        return o;
    else if (o.rows == 0)
        o.message = msg::convertedNone().arg(fileName(source));
    else if (o.rows == 1)
        o.message = msg::convertedOne().arg(fileName(source));
    else
        o.message = msg::convertedMany().arg(o.rows).arg(fileName(source));
    int values = 0;
    QStringList where;
    for (auto it = carried.cbegin(); it != carried.cend(); ++it) {
        values += it.value();
        where << QStringLiteral("%1 (%2)").arg(quoted(it.key())).arg(it.value());
    }
    if (values == 1)
        o.message += msg::convertKeptOneValue().arg(where.join(QStringLiteral(", ")));
    else if (values > 1)
        o.message += msg::convertKeptValues().arg(values).arg(where.join(QStringLiteral(", ")));
    if (extra.size() == 1)
        o.message += msg::convertDroppedColumn().arg(quotedList(extra));
    else if (extra.size() > 1)
        o.message += msg::convertDroppedColumns().arg(quotedList(extra));
    return o;
}

Outcome copyTable(const QString &source, const QString &target, const QString &table, const Progress &progress)
{
    JetDatabase db;
    if (auto o = openTable(db, source, table, msg::convertNoTable()))
        return *o;
    Plan plan{{table, {}}, {}};
    const QVector<JetColumn> jetColumns = db.columns();
    for (int j = 0; j < jetColumns.size(); ++j) {
        const JetColumn &c = jetColumns[j];
        platform::ColumnDef def{c.name, platform::ColumnType::Other, 0};
        if (c.type == JetDateTime)
            def.type = platform::ColumnType::DateTime;
        else if (c.type == JetText)
            def = {c.name, platform::ColumnType::Text, c.size};
        else if (c.type == JetInt || c.type == JetByte)
            def.type = platform::ColumnType::SmallInt;
        plan.table.columns << def;
        plan.from << j;
    }
    const QLocale locale;
    Outcome o = copyRows(db, plan, target, target, progress,
                    [&](int, const QVariant &v) -> QVariant {
                        if (v.typeId() != QMetaType::Double)
                            return v;
                        const double d = v.toDouble();
                        if (std::floor(d) == d && std::fabs(d) < 1e15)
                            return qint64(d);
                        return locale.toString(d, 'g', 15);
                    },
                    nullptr);
    // A table read in part is no use to the window that asked for it.
    if (o.status == Outcome::Partial) {
        QFile::remove(target);
        o.status = Outcome::Damaged;
    }
    return o;
}

} // namespace legacy
