#include "RecordSource.h"

#include <QUuid>
#include "Clock.h"
#include "Regional.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>

namespace platform {

RecordSource::RecordSource(QObject *parent) : QObject(parent) {}
RecordSource::~RecordSource() = default;

void RecordSource::setVisible(bool v)
{
    if (v == m_visible)
        return;
    m_visible = v;
    emit visibleChanged(v);
}

void RecordSource::setCaption(const QString &c)
{
    if (c == m_caption)
        return;
    m_caption = c;
    emit captionChanged(c);
}

int RecordSource::columnIndex(const QString &name) const
{
    for (int i = 0; i < m_cursor.columns.size(); ++i)
        if (m_cursor.columns[i].name == name)
            return i;
    return -1;
}

Sql RecordSource::selectList() const
{
    QVector<Sql> cols{"rowid"};
    for (const ColumnDef &c : m_cursor.columns)
        cols << Identifier(c.name);
    return Sql::join(cols, ", ");
}

void RecordSource::setEngineError(SourceError::Kind kind)
{
    const EngineError e = m_cursor.connection ? m_cursor.connection->lastError() : EngineError{};
    m_error = SourceError{kind, QString(), e.text, e.code};
}

void RecordSource::close()
{
    m_cursor = CursorState{};
    m_editMode = EditMode::None;
    m_deleted.reset();
}

bool RecordSource::refuse(SourceError::Kind kind, const QString &detail, int code)
{
    m_error = SourceError{kind, QString(), detail, code};
    m_databaseName = m_cursor.openName; // the previous file stays the one in use
    return false;
}

std::optional<RecordSource::Checked> RecordSource::checkFile(const QString &name, bool readOnly)
{
    // A file that another program holds (busy or locked) or that cannot be
    // written is told apart from one that cannot be used at all.
    auto refuseFor = [&](const EngineError &e, SourceError::Kind otherwise) {
        SourceError::Kind kind = otherwise;
        switch (faultOf(e)) {
        case EngineFault::Busy:
        case EngineFault::Locked: kind = SourceError::Locked; break;
        case EngineFault::ReadOnly: kind = SourceError::ReadOnlyFile; break;
        default: break;
        }
        refuse(kind, e.text, e.code);
        return std::nullopt;
    };
    auto refused = [&](SourceError::Kind kind, const QString &detail = QString()) {
        refuse(kind, detail);
        return std::nullopt;
    };
    auto notUsable = [&](const EngineError &e) { return refuseFor(e, SourceError::NotDatabase); };

    // A shared log's server tells its own refusals when it is opened.
    if (!isServerAddress(name)) {
        const QFileInfo info(name);
        if (name.isEmpty() || !info.exists())
            return refused(SourceError::NotFound);
        if (info.isDir())
            return refused(SourceError::IsFolder);
        if (!info.isReadable())
            return refused(SourceError::NotReadable);
        if (!readOnly) {
            // The rollback journal is written beside the file: both the file and
            // its folder must be writable for a store to succeed; otherwise
            // (a CD, a write-protected stick) the log is opened read only.
            // A file or a folder without any write permission bit is read only
            // even for a user (root) whom the system would let write it.
            const QFileInfo folder(info.absolutePath());
            const auto writeBits = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
            readOnly = !info.isWritable() || !(info.permissions() & writeBits) || !folder.isWritable()
                       || !(folder.permissions() & writeBits);
        }
    }
    EngineError engineError;
    Checked out;
    out.readOnly = readOnly;
    out.connection = Connection::open(name, readOnly ? OpenMode::ReadOnly : OpenMode::ReadWrite, &engineError);
    Connection *c = out.connection.get();
    if (!c && !readOnly && faultOf(engineError) == EngineFault::ReadOnly)
        return checkFile(name, true);
    if (!c)
        return notUsable(engineError);
    if (!c->hasTable(Identifier(m_table))) {
        if (c->lastError().isSet() && c->lastError().code != 0)
            return notUsable(c->lastError());
        return refused(SourceError::NoTable);
    }
    bool ok = false;
    out.columns = c->tableColumns(Identifier(m_table), &ok);
    if (!ok)
        return notUsable(c->lastError());
    for (const QString &req : m_required) {
        bool found = false;
        for (const ColumnDef &col : out.columns)
            found = found || col.name == req;
        if (!found)
            return refused(SourceError::WrongShape, req);
    }
    // The cursor walks the table by rowid; a table without one cannot be used.
    c->scalar(Sql("SELECT rowid FROM %1 LIMIT 1").arg(Identifier(m_table)), {}, &ok);
    if (!ok)
        return notUsable(c->lastError());
    if (!readOnly) {
        // Another program holding the file for writing would make every store
        // fail later; find out now. A log that refuses to be written (a file
        // the system keeps read only, a shared log the user may only read)
        // is opened read only.
        if (!c->begin()) {
            if (faultOf(c->lastError()) == EngineFault::ReadOnly) {
                out.connection.reset();
                return checkFile(name, true);
            }
            return refuseFor(c->lastError(), SourceError::ReadOnlyFile);
        }
        c->rollback();
    }
    return out;
}

bool RecordSource::refresh()
{
    m_error = {};
    std::optional<Checked> checked = checkFile(m_databaseName, m_readOnly);
    if (!checked)
        return false;

    // The previous file's state is kept until the new file has shown that its
    // rows can be read.
    CursorState previous = std::move(m_cursor);
    m_cursor = CursorState{};
    m_cursor.connection = std::move(checked->connection);
    m_cursor.openName = m_databaseName;
    m_cursor.columns = checked->columns;
    m_cursor.readOnly = checked->readOnly;
    m_editMode = EditMode::None;
    m_deleted.reset();
    if (moveFirst())
        return true;
    if (!m_error.isSet()) { // an empty table
        showEmpty();
        emit currentChanged();
        return true;
    }
    // The table cannot be read: give the file back and go on with the
    // previous one, where it was.
    const SourceError e = m_error;
    m_cursor = std::move(previous);
    if (hasCurrent())
        showRow();
    else
        showEmpty();
    return refuse(SourceError::NotDatabase, e.detail, e.code);
}

bool RecordSource::loadRow(const Sql &where, const QVariantList &params)
{
    m_error = {};
    if (!m_cursor.connection)
        return false;
    bool ok = false;
    const auto rs = m_cursor.connection->rows(
        Sql("SELECT %1 FROM %2 %3 LIMIT 1").arg(selectList(), Identifier(m_table), where),
        params, &ok);
    if (!ok) {
        setEngineError();
        return false;
    }
    if (rs.isEmpty())
        return false;
    m_cursor.current = rs.first().value(0).toLongLong();
    m_cursor.row = rs.first().mid(1);
    m_cursor.currentDeleted = false;
    m_cursor.bof = m_cursor.eof = false;
    return true;
}

bool RecordSource::moveFirst() { return moveEnd(false); }
bool RecordSource::moveLast() { return moveEnd(true); }

bool RecordSource::moveEnd(bool last)
{
    m_editMode = EditMode::None;
    if (loadRow(last ? Sql("ORDER BY rowid DESC") : Sql("ORDER BY rowid"), {})) {
        showRow();
        emit currentChanged();
        return true;
    }
    if (!m_error.isSet()) {
        // The table is empty: no row to show, not even the one just deleted.
        m_cursor.current.reset();
        m_cursor.currentDeleted = false;
        m_cursor.bof = m_cursor.eof = true;
        showEmpty();
    } else if (m_cursor.currentDeleted) {
        showEmpty(); // the file cannot be read: the row just deleted is not shown
    }
    return false;
}

// A damaged file can give back, for the next or previous row, one that is
// not past the current one: the cursor would go round in circles. The move is
// refused as an engine error and the cursor stays on the row it was on.
bool RecordSource::damagedOrder(qint64 from, const QVariantList &row)
{
    m_cursor.current = from;
    m_cursor.row = row;
    m_error = SourceError{SourceError::Engine, QString(), QStringLiteral("database disk image is malformed"), 11};
    return false;
}

bool RecordSource::moveNext() { return moveStep(true); }
bool RecordSource::movePrevious() { return moveStep(false); }

bool RecordSource::moveStep(bool forward)
{
    m_editMode = EditMode::None;
    if (!m_cursor.connection || (forward ? m_cursor.eof : m_cursor.bof))
        return false;
    if (!m_cursor.current) // before the first row or past the last one
        return forward ? moveFirst() : moveLast();
    const qint64 from = *m_cursor.current;
    const QVariantList row = m_cursor.row;
    if (loadRow(forward ? Sql("WHERE rowid > ?1 ORDER BY rowid") : Sql("WHERE rowid < ?1 ORDER BY rowid DESC"),
                {from})) {
        if (forward ? *m_cursor.current <= from : *m_cursor.current >= from)
            return damagedOrder(from, row);
        showRow();
        emit currentChanged();
        return true;
    }
    if (m_error.isSet())
        return false;
    // Past either end: no current row; the controls keep what they showed.
    m_cursor.current.reset();
    m_cursor.currentDeleted = false;
    m_cursor.eof = forward;
    m_cursor.bof = !forward;
    return true;
}

namespace {
// A text as compared by a search: accents removed, case folded.
QString searchForm(const QString &text)
{
    QString out;
    for (const QChar c : text.normalized(QString::NormalizationForm_D))
        if (c.category() != QChar::Mark_NonSpacing)
            out += c;
    return out.toCaseFolded();
}
} // namespace

bool RecordSource::moveToStartOf(const QString &column, const QString &prefix)
{
    m_error = {};
    if (!m_cursor.connection || columnIndex(column) < 0 || m_editMode != EditMode::None)
        return false;
    bool ok = false;
    const auto rows = m_cursor.connection->rows(
        Sql("SELECT rowid, %1 FROM %2 ORDER BY rowid").arg(Identifier(column), Identifier(m_table)), {}, &ok);
    if (!ok) {
        setEngineError();
        return false;
    }
    const QString wanted = searchForm(prefix);
    for (const QVariantList &r : rows)
        if (searchForm(r.value(1).toString()).startsWith(wanted) && loadRow("WHERE rowid = ?1", {r.value(0)})) {
            showRow();
            emit currentChanged();
            return true;
        }
    return false;
}

qint64 RecordSource::recordCount()
{
    if (!m_cursor.connection)
        return 0;
    if (m_cursor.count < 0) {
        bool ok = false;
        const QVariant v = m_cursor.connection->scalar(
            Sql("SELECT count(*) FROM %1").arg(Identifier(m_table)), {}, &ok);
        if (!ok) {
            setEngineError();
            return 0;
        }
        m_cursor.count = v.toLongLong();
    }
    return m_cursor.count;
}

int RecordSource::countUpTo(int n)
{
    if (!m_cursor.connection || n <= 0)
        return 0;
    if (m_cursor.count >= 0)
        return int(std::min<qint64>(m_cursor.count, n));
    bool ok = false;
    const QVariant v = m_cursor.connection->scalar(
        Sql("SELECT count(*) FROM (SELECT 1 FROM %1 LIMIT ?1) AS few").arg(Identifier(m_table)),
        {n}, &ok);
    if (!ok) {
        setEngineError();
        return 0;
    }
    return int(v.toLongLong());
}

bool RecordSource::addNew()
{
    m_error = {};
    if (!m_cursor.connection || m_cursor.readOnly)
        return false;
    if (m_editMode == EditMode::Adding)
        return true;
    m_beforeAdd = hasCurrent() ? m_cursor.current : std::nullopt;
    m_beforeAddBof = m_cursor.bof;
    m_beforeAddEof = m_cursor.eof;
    m_editMode = EditMode::Adding;
    m_storeKey = m_cursor.connection->storeKeyColumn().isEmpty() ? QString()
                                                                 : QUuid::createUuid().toString(QUuid::WithoutBraces);
    showEmpty();
    return true;
}

// A time typed alone means the last time the clock showed it: for an
// addition, at its latest occurrence up to now (yesterday evening when it is
// past midnight); for a change, on the row's own day (today when it has none).
QDateTime RecordSource::timeAloneUpTo(int column) const
{
    if (m_cursor.columns.value(column).type != ColumnType::DateTime)
        return {};
    const QDateTime clock = now();
    if (m_editMode != EditMode::Editing)
        return clock;
    QDate day = clock.date();
    if (column < m_cursor.row.size())
        if (const auto stored = fromStorage(m_cursor.row[column].toString()))
            day = stored->date();
    return QDateTime(day, QTime(23, 59, 59, 999));
}

bool RecordSource::edit()
{
    m_error = {};
    if (!m_cursor.connection || m_cursor.readOnly)
        return false;
    if (!hasCurrent()) {
        m_error = SourceError{SourceError::NoCurrentRow, {}, {}};
        return false;
    }
    m_editMode = EditMode::Editing;
    return true;
}

std::optional<QVariant> RecordSource::storedValue(const ColumnDef &column, const QString &text,
                                                  SourceError *error, const QDateTime &timeAloneUpTo)
{
    auto refuse = [&](SourceError::Kind k) -> std::optional<QVariant> {
        if (error)
            *error = SourceError{k, column.name, {}};
        return std::nullopt;
    };
    if (text.isEmpty())
        return QVariant(); // an empty control stores a null
    switch (column.type) {
    case ColumnType::DateTime: {
        auto v = parseDateTime(text);
        if (!v)
            return refuse(SourceError::NotDate);
        if (v->date() == timeOnlyDate() && timeAloneUpTo.isValid()) {
            const QDateTime sameDay(timeAloneUpTo.date(), v->time());
            v = sameDay <= timeAloneUpTo ? sameDay : QDateTime(timeAloneUpTo.date().addDays(-1), v->time());
        }
        return QVariant(toStorage(*v));
    }
    case ColumnType::SmallInt: {
        const auto v = parseNumber(text);
        if (!v)
            return refuse(SourceError::NotNumber);
        if (std::floor(*v) != *v)
            return refuse(SourceError::NotWhole);
        if (*v < -32768 || *v > 32767)
            return refuse(SourceError::OutOfRange);
        return QVariant(static_cast<int>(*v));
    }
    case ColumnType::Text:
        if (!fitsWindows1252(text))
            return refuse(SourceError::BadCharacter);
        if (text.size() > column.size)
            return refuse(SourceError::TooLong);
        return QVariant(text);
    case ColumnType::Other:
        break;
    }
    return QVariant(text);
}

bool RecordSource::update(const SettledColumn *settled)
{
    m_error = {};
    m_settledText.clear();
    if (!m_cursor.connection || m_editMode == EditMode::None || m_cursor.readOnly)
        return false;

    // Every value is checked before anything is written.
    QStringList names;
    QVariantList values;
    const QVector<std::pair<QString, QString>> typed = m_view ? m_view->typedTexts() : decltype(typed){};
    for (const auto &[column, text] : typed) {
        const int index = columnIndex(column);
        if (index < 0 || names.contains(column))
            continue;
        const ColumnDef &col = m_cursor.columns[index];
        SourceError e;
        const auto v = storedValue(col, text, &e, timeAloneUpTo(index));
        if (!v) {
            m_error = e;
            return false;
        }
        names << col.name;
        values << *v;
    }

    // The settled column takes its place among the values; its value comes
    // inside the transaction.
    int settledIndex = -1;
    std::function<bool(QVariantList &)> settle;
    if (settled && m_editMode == EditMode::Adding) {
        const int index = columnIndex(settled->column);
        if (index < 0) {
            m_error = SourceError{SourceError::WrongShape, settled->column, {}};
            return false;
        }
        settledIndex = int(names.indexOf(settled->column));
        if (settledIndex < 0) {
            settledIndex = int(names.size());
            names << settled->column;
            values << QVariant();
        }
        settle = [&, col = m_cursor.columns[index]](QVariantList &vals) {
            const std::optional<QString> text = settled->value(*m_cursor.connection);
            if (!text) {
                setEngineError();
                return false;
            }
            SourceError e;
            const auto v = storedValue(col, *text, &e);
            if (!v) {
                m_error = e;
                return false;
            }
            vals[settledIndex] = *v;
            m_settledText = *text;
            return true;
        };
    }

    // On a shared log, an addition carries its key; a try that finds it
    // stored already (its answer was lost) stores nothing more and shows
    // what was stored. The key is looked for only when the row is refused
    // for it: most tries are first tries.
    const QString keyColumn = m_cursor.connection->storeKeyColumn();
    const bool keyed = m_editMode == EditMode::Adding && !keyColumn.isEmpty() && !m_storeKey.isEmpty();
    if (keyed) {
        names << keyColumn;
        values << m_storeKey;
    }

    const Identifier table(m_table);
    std::optional<Sql> sql;
    if (m_editMode == EditMode::Adding) {
        QVector<Sql> cols, marks;
        for (int i = 0; i < names.size(); ++i) {
            cols << Identifier(names[i]);
            marks << Sql::parameter(i + 1);
        }
        sql = names.isEmpty() ? Sql("INSERT INTO %1 DEFAULT VALUES").arg(table)
                              : Sql("INSERT INTO %1 (%2) VALUES (%3)%4")
                                    .arg(table, Sql::join(cols, ", "), Sql::join(marks, ", "),
                                         keyed ? Sql(" ON CONFLICT (%1) DO NOTHING RETURNING rowid").arg(Identifier(keyColumn))
                                               : Sql(""));
    } else {
        if (!hasCurrent()) {
            m_error = SourceError{SourceError::NoCurrentRow, {}, {}};
            return false;
        }
        QVector<Sql> sets;
        for (int i = 0; i < names.size(); ++i)
            sets << Sql("%1 = %2").arg(Identifier(names[i]), Sql::parameter(i + 1));
        if (sets.isEmpty()) {
            m_editMode = EditMode::None;
            return true;
        }
        sql = Sql("UPDATE %1 SET %2 WHERE rowid = %3")
                  .arg(table, Sql::join(sets, ", "), Sql::parameter(names.size() + 1));
        values << *m_cursor.current;
    }

    m_addedRowid.reset();
    // Its key stored already: what was stored is shown (1); not stored (0).
    auto storedBefore = [&]() -> int {
        bool ok = false;
        const Sql find = Sql("SELECT rowid, %1 FROM %2 WHERE %3 = ?1")
                             .arg(settled ? Sql(Identifier(settled->column)) : Sql("NULL"), table,
                                  Identifier(keyColumn));
        const QVector<QVariantList> found = m_cursor.connection->rows(find, {m_storeKey}, &ok);
        if (!ok) {
            setEngineError();
            return -1;
        }
        if (found.isEmpty())
            return 0;
        m_addedRowid = found[0].value(0).toLongLong();
        if (settled)
            m_settledText = found[0].value(1).toString();
        return 1;
    };
    std::optional<int> changed;
    if (keyed && settle && settled->inStatement) {
        // The settled value worked out by the engine in the store's own
        // statement, its text given back with the rowid; stored only when
        // the condition holds.
        const SettledColumn::InStatement in = settled->inStatement(*m_cursor.connection);
        QVector<Sql> cols, picked;
        QVariantList bound;
        for (int i = 0; i < names.size(); ++i) {
            cols << Identifier(names[i]);
            if (i == settledIndex) {
                picked << in.value;
            } else {
                bound << values[i];
                picked << Sql::parameter(int(bound.size()));
            }
        }
        const Sql insert = Sql("INSERT INTO %1 (%2) SELECT %3 WHERE %4 ON CONFLICT (%5) DO NOTHING RETURNING rowid, %6")
                               .arg(table, Sql::join(cols, ", "), Sql::join(picked, ", "), in.condition,
                                    Identifier(keyColumn), Identifier(settled->column));
        QVector<QVariantList> returned;
        const int stored = writeOne(insert, bound, {}, &returned);
        if (stored > 0) {
            m_addedRowid = returned[0].value(0).toLongLong();
            m_settledText = returned[0].value(1).toString();
            changed = 1;
        } else if (stored < 0) {
            changed = -1;
        } else if (const int before = storedBefore(); before != 0) {
            changed = before;
        } // else the condition did not hold: settled below
    }
    if (!changed) {
        QVector<QVariantList> returned;
        changed = writeOne(*sql, values, settle, keyed ? &returned : nullptr);
        if (*changed > 0 && keyed)
            m_addedRowid = returned[0].value(0).toLongLong();
        else if (*changed == 0 && keyed) {
            changed = storedBefore();
            if (*changed == 0) {
                setEngineError();
                changed = -1;
            }
        } else if (*changed > 0 && m_editMode == EditMode::Adding)
            m_addedRowid = m_cursor.connection->lastInsertedRowid();
    }
    if (*changed < 0) {
        m_settledText.clear();
        return false;
    }
    if (*changed == 0 && m_editMode == EditMode::Editing) {
        // Another program deleted the row meanwhile.
        m_error = SourceError{SourceError::RowGone, {}, {}};
        m_cursor.count = -1; // the file changed behind this record source
        return false;
    }

    if (m_editMode == EditMode::Adding) {
        if (m_cursor.count >= 0)
            ++m_cursor.count;
        m_editMode = EditMode::None;
        // The controls keep the stored row when there was none before.
        backToBeforeAdd();
    } else {
        m_editMode = EditMode::None;
        if (loadRow("WHERE rowid = ?1", {*m_cursor.current}))
            showRow();
    }
    m_error = {};
    emit currentChanged();
    return true;
}

int RecordSource::writeOne(const Sql &sql, QVariantList values,
                           const std::function<bool(QVariantList &)> &inTransaction,
                           QVector<QVariantList> *returned)
{
    if (!m_cursor.connection->begin()) {
        setEngineError();
        return -1;
    }
    if (inTransaction && !inTransaction(values)) {
        m_cursor.connection->rollback();
        return -1;
    }
    if (!m_cursor.connection->execAndCommit(sql, values, returned)) {
        setEngineError();
        m_cursor.connection->rollback();
        return -1;
    }
    return returned ? int(returned->size()) : m_cursor.connection->changes();
}

bool RecordSource::editToAddNew()
{
    if (m_editMode != EditMode::Editing)
        return false;
    m_cursor.current.reset();
    m_cursor.currentDeleted = false;
    if (!loadRow("ORDER BY rowid DESC", {})) {
        m_cursor.current.reset();
        m_cursor.bof = m_cursor.eof = true;
    }
    m_beforeAdd = m_cursor.current;
    m_beforeAddBof = m_cursor.bof;
    m_beforeAddEof = m_cursor.eof;
    m_editMode = EditMode::Adding;
    return true;
}

// The row that was current before add-new is current again (true), or the
// position before or past the rows where the source stood then (false).
bool RecordSource::backToBeforeAdd()
{
    if (m_beforeAdd && loadRow("WHERE rowid = ?1", {*m_beforeAdd})) {
        showRow();
        return true;
    }
    m_cursor.current.reset();
    m_cursor.bof = m_beforeAddBof;
    m_cursor.eof = m_beforeAddEof;
    return false;
}

void RecordSource::cancelUpdate()
{
    const EditMode was = m_editMode;
    m_editMode = EditMode::None;
    if (was == EditMode::Adding) {
        if (!backToBeforeAdd())
            showEmpty();
    } else if (was == EditMode::Editing && m_cursor.current) {
        if (loadRow("WHERE rowid = ?1", {*m_cursor.current}))
            showRow();
    }
    emit currentChanged();
}

bool RecordSource::deleteCurrent()
{
    m_error = {};
    if (!m_cursor.connection || m_cursor.readOnly || m_editMode != EditMode::None)
        return false;
    if (!hasCurrent()) {
        m_error = SourceError{SourceError::NoCurrentRow, {}, {}};
        return false;
    }
    const int changed = writeOne(Sql("DELETE FROM %1 WHERE rowid = ?1").arg(Identifier(m_table)), {*m_cursor.current});
    if (changed < 0)
        return false;
    if (changed == 0) {
        // Another program deleted the row meanwhile.
        m_error = SourceError{SourceError::RowGone, {}, {}};
        m_cursor.count = -1;
        m_cursor.currentDeleted = true;
        return false;
    }
    if (m_cursor.count >= 0)
        --m_cursor.count;
    m_cursor.currentDeleted = true;
    m_deleted = Deleted{*m_cursor.current, m_cursor.row};
    return true;
}

bool RecordSource::restoreDeleted()
{
    m_error = {};
    if (!m_cursor.connection || m_cursor.readOnly || m_editMode != EditMode::None || !m_deleted)
        return false;
    const Deleted deleted = *std::exchange(m_deleted, std::nullopt);
    QVector<Sql> columns, marks;
    QVariantList values;
    for (int i = 0; i < m_cursor.columns.size() && i < deleted.row.size(); ++i) {
        columns << Identifier(m_cursor.columns[i].name);
        marks << Sql::parameter(i + 1);
        values << deleted.row[i];
    }
    const Identifier table(m_table);
    int stored = 0;
    // A file's rowid may be chosen: the row goes back to its place unless
    // another row took it since. (A shared log numbers its rows itself.)
    if (!isServerAddress(m_cursor.openName)) {
        // (each parameter appears once: the rowid is bound twice)
        stored = writeOne(Sql("INSERT INTO %1 (%2, rowid) SELECT %3, %4 WHERE NOT EXISTS (SELECT 1 FROM %1 WHERE rowid = %5)")
                              .arg(table, Sql::join(columns, ", "), Sql::join(marks, ", "),
                                   Sql::parameter(int(values.size()) + 1), Sql::parameter(int(values.size()) + 2)),
                          values + QVariantList{deleted.rowid, deleted.rowid});
    }
    if (stored == 0)
        stored = writeOne(Sql("INSERT INTO %1 (%2) VALUES (%3)").arg(table, Sql::join(columns, ", "), Sql::join(marks, ", ")),
                          values);
    if (stored <= 0) {
        m_deleted = deleted; // (refused: it may be tried again)
        return false;
    }
    if (m_cursor.count >= 0)
        ++m_cursor.count;
    const std::optional<qint64> rowid = m_cursor.connection->lastInsertedRowid();
    if (rowid && loadRow("WHERE rowid = ?1", {*rowid}))
        showRow();
    else
        moveLast();
    emit currentChanged();
    return true;
}

QVariant RecordSource::value(const QString &column) const
{
    const int i = columnIndex(column);
    if (i < 0 || !hasCurrent() || i >= m_cursor.row.size())
        return {};
    return m_cursor.row[i];
}

QString RecordSource::displayText(const ColumnDef &column, const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        return QString();
    if (column.type == ColumnType::DateTime) {
        if (auto v = fromStorage(value.toString()))
            return formatDateTime(*v);
    }
    // A number with a fraction is written in the user's notation, as it is
    // read back.
    if (column.type != ColumnType::Text && value.typeId() == QMetaType::Double) {
        QLocale locale;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return locale.toString(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    }
    return value.toString();
}

void RecordSource::showRow()
{
    if (m_view)
        m_view->showRow(m_cursor.columns, m_cursor.row);
}

void RecordSource::showEmpty()
{
    if (m_view)
        m_view->showRow(m_cursor.columns, {});
}

} // namespace platform
