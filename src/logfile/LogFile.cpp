#include "LogFile.h"
#include "LogIndex.h"
#include "Messages.h"
#include "SaveFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <cstdio>
#include <QHash>

using platform::ColumnDef;
using platform::ColumnType;
using platform::SourceError;

namespace logfile {

const platform::TableDef &transmission()
{
    static const platform::TableDef def{
        kTable,
        {
            ColumnDef{QStringLiteral("Date"), ColumnType::DateTime, 0},
            ColumnDef{QStringLiteral("Sequanel"), ColumnType::Text, 6},
            ColumnDef{QStringLiteral("RST"), ColumnType::Text, 5},
            ColumnDef{QStringLiteral("Mhertz"), ColumnType::SmallInt, 0},
            ColumnDef{QStringLiteral("Hertz"), ColumnType::SmallInt, 0},
            ColumnDef{QStringLiteral("Bande"), ColumnType::Text, 5},
            ColumnDef{QStringLiteral("Préfixe"), ColumnType::SmallInt, 0},
            ColumnDef{QStringLiteral("Qrz1"), ColumnType::Text, 15},
            ColumnDef{QStringLiteral("Qrz2"), ColumnType::Text, 15},
            ColumnDef{QStringLiteral("Qrz3"), ColumnType::Text, 15},
            ColumnDef{QStringLiteral("N°"), ColumnType::SmallInt, 0},
            ColumnDef{QStringLiteral("BP"), ColumnType::Text, 10},
            ColumnDef{QStringLiteral("Ville"), ColumnType::Text, 20},
            ColumnDef{QStringLiteral("CP"), ColumnType::Text, 10},
            ColumnDef{QStringLiteral("Pays"), ColumnType::Text, 20},
            ColumnDef{QStringLiteral("Opérateur"), ColumnType::Text, 20},
        }};
    return def;
}

QStringList columnNames()
{
    QStringList out;
    for (const ColumnDef &c : transmission().columns)
        out << c.name;
    return out;
}

namespace {
// A new log; a shared log also gets the indexes its serial numbers are read
// from (without them it works all the same, reading the whole table).
bool createLog(const QString &path, platform::EngineError *e)
{
    if (!platform::Connection::create(path, transmission(), e))
        return false;
    if (platform::isServerAddress(path))
        if (auto db = platform::Connection::open(path, platform::OpenMode::ReadWrite, e))
            indexSerials(db.get());
    return true;
}
} // namespace

bool createEmpty(const QString &path, QString *message, const QString &shownAs)
{
    platform::EngineError e;
    if (createLog(path, &e))
        return true;
    if (message)
        *message = msg::cannotCreateFile().arg(QDir::toNativeSeparators(shownAs.isEmpty() ? path : shownAs),
                                               platform::describe(e));
    return false;
}

bool replaceFile(const QString &from, const QString &to, QString *message, platform::FilePlacement *placement)
{
    const bool placed = placement ? placement->place(from, to) : platform::placeFile(from, to, true);
    if (placed) {
        // A journal left by the file replaced would be read as the new one's.
        QFile::remove(to + QStringLiteral("-journal"));
        return true;
    }
    if (message)
        *message = msg::cannotReplaceFile().arg(QDir::toNativeSeparators(to),
                                                platform::describe(platform::systemError(errno)));
    return false;
}

QString newFileProblem(const QString &path)
{
    if (QFileInfo(path).isDir())
        return msg::newFileIsFolder().arg(QDir::toNativeSeparators(path));
    // A folder without any write permission bit is read only even for a user
    // (root) whom the system would let write it, as a log file is.
    const QFileInfo folder(QFileInfo(path).absolutePath());
    const auto writeBits = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (folder.isDir() && (!folder.isWritable() || !(folder.permissions() & writeBits)))
        return msg::newFileFolderReadOnly().arg(QDir::toNativeSeparators(path),
                                                QDir::toNativeSeparators(folder.absoluteFilePath()));
    return nameProblem(path);
}

QString temporaryBeside(const QString &path)
{
    return QFileInfo(path).absolutePath() + QStringLiteral("/.sequanel-%1.adb").arg(QCoreApplication::applicationPid());
}

QString nameProblem(const QString &path)
{
    const QFileInfo info(path);
    long max = ::pathconf(QFile::encodeName(info.absolutePath()).constData(), _PC_NAME_MAX);
    if (max <= 0)
        max = 255;
    if (QFile::encodeName(info.fileName()).size() + qsizetype(sizeof("-journal") - 1) <= max)
        return QString();
    return msg::newFileNameTooLong().arg(QDir::toNativeSeparators(path));
}

std::optional<qint64> copyLog(const QString &from, const QString &to, QString *message, const QString &shownFrom,
                              const QString &shownTo, const std::function<bool()> &carryOn)
{
    using platform::Identifier;
    using platform::Sql;
    auto failed = [&](const QString &text) -> std::optional<qint64> {
        if (message)
            *message = text;
        return std::nullopt;
    };
    platform::EngineError e;
    auto source = platform::Connection::open(from, platform::OpenMode::ReadOnly, &e);
    if (!source)
        return failed(msg::copyCannotRead().arg(shownFrom, platform::describe(e)));
    bool ok = false;
    const QVector<ColumnDef> found = source->tableColumns(Identifier(kTable), &ok);
    if (!ok)
        return failed(msg::copyCannotRead().arg(shownFrom, platform::describe(source->lastError())));
    for (const QString &name : columnNames())
        if (std::none_of(found.begin(), found.end(), [&](const ColumnDef &c) { return c.name == name; }))
            return failed(msg::copyNotALog().arg(shownFrom, kTable));
    if (!createLog(to, &e))
        return failed(msg::copyCannotCreate().arg(shownTo, platform::describe(e)));

    // The contacts are read in the old log's order and inserted in the same
    // order, which the new log's rowids keep, kBatch to a statement: a
    // server's round trips and triggers come once for them all.
    QVector<Sql> names;
    for (const QString &name : columnNames())
        names << Identifier(name);
    const Sql list = Sql::join(names, ", ");
    auto insertOf = [&](qsizetype rows) {
        QVector<Sql> tuples, marks;
        for (qsizetype r = 0; r < rows; ++r, marks.clear()) {
            for (qsizetype c = 0; c < names.size(); ++c)
                marks << Sql::parameter(int(r * names.size() + c + 1));
            tuples << Sql("(%1)").arg(Sql::join(marks, ", "));
        }
        return Sql("INSERT INTO %1 (%2) VALUES %3").arg(Identifier(kTable), list, Sql::join(tuples, ", "));
    };
    constexpr qsizetype kBatch = 64;
    const Sql insertBatch = insertOf(kBatch);
    qint64 copied = 0;
    QString why;
    {
        auto target = platform::Connection::open(to, platform::OpenMode::ReadWrite, &e);
        if (!target || !target->begin()) {
            why = platform::describe(target ? target->lastError() : e);
        } else {
            auto rows = source->openQuery(Sql("SELECT %1 FROM %2 ORDER BY rowid").arg(list, Identifier(kTable)));
            QVariantList values;
            auto flush = [&] {
                const qsizetype n = values.size() / names.size();
                if (n && !target->exec(n == kBatch ? insertBatch : insertOf(n), values))
                    why = platform::describe(target->lastError());
                copied += n;
                values.clear();
                return why.isEmpty();
            };
            for (bool more = rows->isValid() && !rows->eof(); more; more = rows->moveNext()) {
                if (carryOn && !carryOn()) {
                    why = msg::copyStopped();
                    break;
                }
                for (int i = 0; i < names.size(); ++i)
                    values << rows->value(i);
                if (values.size() == kBatch * names.size() && !flush())
                    break;
            }
            if (why.isEmpty())
                flush();
            if (why.isEmpty() && rows->error().isSet())
                why = msg::copyCannotRead().arg(shownFrom, platform::describe(rows->error()));
            const qint64 held = why.isEmpty()
                                    ? target->scalar(Sql("SELECT count(*) FROM %1").arg(Identifier(kTable)), {}, &ok)
                                          .toLongLong()
                                    : -1;
            if (why.isEmpty() && (!ok || held != copied))
                why = platform::describe(target->lastError());
            if (why.isEmpty() && !target->commit())
                why = platform::describe(target->lastError());
            // A server plans its statements on figures it gathers now and
            // then: gathered at once, the serial numbers' indexes serve.
            if (why.isEmpty() && target->indexesSerials())
                target->exec(Sql("ANALYZE %1").arg(Identifier(kTable)));
            if (!why.isEmpty())
                target->rollback();
        }
    }
    if (!why.isEmpty()) {
        platform::Connection::remove(to);
        return failed(msg::copyFailed().arg(shownTo, why));
    }
    return copied;
}

void configure(platform::RecordSource &source, const QString &path)
{
    source.setRecordSource(kTable);
    source.setRequiredColumns(columnNames());
    source.setDatabaseName(path);
}

namespace {
// A whole number from 0 to 999 with three digits; any other value as stored.
QString threeDigits(const QVariant &stored)
{
    bool whole = false;
    const qlonglong n = stored.toString().toLongLong(&whole);
    if (whole && n >= 0 && n <= 999)
        return QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'));
    return stored.toString();
}
} // namespace

QString hertzText(const QVariant &stored) { return threeDigits(stored); }

bool shownWithThreeDigits(const QString &column)
{
    return column == QLatin1String("Hertz") || column == QStringLiteral("N°");
}

QString shownText(const QString &column, const QVariant &stored)
{
    if (stored.isNull())
        return QString();
    return shownWithThreeDigits(column) ? threeDigits(stored) : stored.toString();
}

QString fieldLabel(const QString &column)
{
    static const QHash<QString, QString> labels{
        {QStringLiteral("Date"), QStringLiteral("Date")},
        {QStringLiteral("Sequanel"), QStringLiteral("N° de Sequ")},
        {QStringLiteral("RST"), QStringLiteral("R.S.T")},
        {QStringLiteral("Mhertz"), QStringLiteral("Mhertz")},
        {QStringLiteral("Hertz"), QStringLiteral("Hertz")},
        {QStringLiteral("Bande"), QStringLiteral("Bande")},
        {QStringLiteral("Préfixe"), QStringLiteral("Préfixe du QRZ")},
        {QStringLiteral("Qrz1"), QStringLiteral("QRZ (premier mot)")},
        {QStringLiteral("Qrz2"), QStringLiteral("QRZ (deuxième mot)")},
        {QStringLiteral("Qrz3"), QStringLiteral("QRZ (troisième mot)")},
        {QStringLiteral("N°"), QStringLiteral("Numéro du QRZ")},
        {QStringLiteral("BP"), QStringLiteral("B.p")},
        {QStringLiteral("Ville"), QStringLiteral("Ville")},
        {QStringLiteral("CP"), QStringLiteral("Code Postal")},
        {QStringLiteral("Pays"), QStringLiteral("Pays")},
        {QStringLiteral("Opérateur"), QStringLiteral("Prénom Opérateur")},
    };
    return labels.value(column, column);
}

QString besideLog(const QString &log, const QString &suffix)
{
    if (platform::isServerAddress(log))
        return QDir::homePath() + QLatin1Char('/') + platform::logDisplayName(log).section(QLatin1Char('/'), -1) + suffix;
    const QFileInfo info(log);
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + suffix;
}

QString openFailureMessage(const SourceError &error, const QString &path)
{
    const QString file = QDir::toNativeSeparators(path);
    QString why;
    switch (error.kind) {
    case SourceError::NotFound: why = msg::logMissing(); break;
    case SourceError::IsFolder: why = msg::isFolder(); break;
    case SourceError::NotReadable: why = msg::logNotReadable(); break;
    case SourceError::NoTable: why = msg::logWithoutTable(); break;
    case SourceError::WrongShape:
        why = msg::logWithoutColumn().arg(error.detail);
        break;
    case SourceError::ReadOnlyFile: why = msg::logReadOnly(); break;
    case SourceError::Locked: why = msg::fileLocked(); break;
    case SourceError::NotDatabase:
    default:
        // A disk, a permission or a server that failed is named; anything
        // else is a file that is not a log, or a damaged one.
        switch (platform::faultOf(error.engine())) {
        case platform::EngineFault::Full:
        case platform::EngineFault::IoError:
        case platform::EngineFault::CannotOpen:
        case platform::EngineFault::Permission:
        case platform::EngineFault::Unreachable:
            why = platform::describe(error.engine());
            break;
        default:
            why = msg::notALog();
            break;
        }
        break;
    }
    if (platform::isServerAddress(path))
        return msg::cannotOpenShared().arg(platform::logDisplayName(path), why);
    return msg::cannotOpenFile().arg(file, why);
}

namespace {
// The rule of the field that the file refused; empty for a refusal that is
// not a field's.
QString fieldRule(const SourceError &error)
{
    const QString field = fieldLabel(error.column);
    int size = 0;
    for (const ColumnDef &c : transmission().columns)
        if (c.name == error.column)
            size = c.size;
    switch (error.kind) {
    case SourceError::TooLong: return msg::fieldTooLong().arg(field).arg(size);
    case SourceError::OutOfRange: return msg::fieldOutOfRange().arg(field);
    case SourceError::NotWhole: return msg::fieldNotWhole().arg(field);
    case SourceError::NotNumber: return msg::fieldNotNumber().arg(field);
    case SourceError::NotDate: return msg::fieldNotDate().arg(field);
    case SourceError::BadCharacter: return msg::fieldBadCharacter().arg(field);
    default: return QString();
    }
}
} // namespace

QString storeFailureReason(const SourceError &error, const QString &path)
{
    if (const QString rule = fieldRule(error); !rule.isEmpty())
        return rule;
    // A file renamed or deleted under the engine is one it will not write:
    // the user is told it is no longer where it was, and which file.
    if (!path.isEmpty() && platform::faultOf(error.engine()) == platform::EngineFault::Moved)
        return msg::logMoved().arg(QDir::toNativeSeparators(path));
    return platform::describe(error.engine());
}

QString storeFailureMessage(const SourceError &error, const QString &path)
{
    if (const QString rule = fieldRule(error); !rule.isEmpty())
        return rule;
    const QString why = storeFailureReason(error, path);
    return why.isEmpty() ? msg::contactNotStored() : msg::contactNotStored() + QLatin1Char('\n') + why;
}

} // namespace logfile
