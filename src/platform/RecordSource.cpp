#include "RecordSource.h"
#include "Regional.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
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
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].name == name)
            return i;
    return -1;
}

QString RecordSource::selectList() const
{
    QStringList cols{QStringLiteral("rowid")};
    for (const ColumnDef &c : m_columns)
        cols << quoteIdentifier(c.name);
    return cols.join(QStringLiteral(", "));
}

void RecordSource::setEngineError(SourceError::Kind kind)
{
    const EngineError e = m_connection ? m_connection->lastError() : EngineError{};
    m_error = SourceError{kind, QString(), e.text, e.code};
}

void RecordSource::close()
{
    m_connection.reset();
    m_openName.clear();
    m_columns.clear();
    m_current.reset();
    m_currentDeleted = false;
    m_row.clear();
    m_bof = m_eof = true;
    m_count = -1;
    m_editMode = EditMode::None;
    resolveBindings();
}

bool RecordSource::refresh()
{
    m_error = {};
    const QString name = m_databaseName;
    auto refuse = [&](SourceError::Kind kind, const QString &detail = QString(), int code = 0) {
        m_error = SourceError{kind, QString(), detail, code};
        m_databaseName = m_openName; // the previous file stays the one in use
        return false;
    };
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
        return refuse(kind, e.text, e.code);
    };
    auto notUsable = [&](const EngineError &e) { return refuseFor(e, SourceError::NotDatabase); };

    EngineError engineError;
    const OpenMode mode = m_readOnly ? OpenMode::ReadOnly : OpenMode::ReadWrite;
    const QFileInfo info(name);
    if (name.isEmpty() || !info.exists())
        return refuse(SourceError::NotFound);
    if (info.isDir())
        return refuse(SourceError::IsFolder);
    if (!info.isReadable())
        return refuse(SourceError::NotReadable);
    if (!m_readOnly) {
        // The rollback journal is written beside the file: both the file and
        // its folder must be writable for a store to succeed.
        // A file without any write permission bit is read only even for a
        // user (root) whom the system would let write it.
        const QFileInfo folder(info.absolutePath());
        const auto writeBits = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
        if (!info.isWritable() || !(info.permissions() & writeBits) || !folder.isWritable())
            return refuse(SourceError::ReadOnlyFile);
    }
    std::unique_ptr<Connection> c = Connection::open(name, mode, &engineError);
    if (!c)
        return notUsable(engineError);
    if (!c->hasTable(m_table)) {
        if (c->lastError().isSet() && c->lastError().code != 0)
            return notUsable(c->lastError());
        return refuse(SourceError::NoTable);
    }
    bool ok = false;
    const QVector<ColumnDef> cols = c->tableColumns(m_table, &ok);
    if (!ok)
        return notUsable(c->lastError());
    for (const QString &req : m_required) {
        bool found = false;
        for (const ColumnDef &col : cols)
            found = found || col.name == req;
        if (!found)
            return refuse(SourceError::WrongShape, req);
    }
    // The cursor walks the table by rowid; a table without one cannot be used.
    c->scalar(QStringLiteral("SELECT rowid FROM %1 LIMIT 1").arg(quoteIdentifier(m_table)), {}, &ok);
    if (!ok)
        return notUsable(c->lastError());
    if (!m_readOnly) {
        // Another program holding the file for writing would make every store
        // fail later; find out now.
        if (!c->begin())
            return refuseFor(c->lastError(), SourceError::ReadOnlyFile);
        c->rollback();
    }

    // The previous file's state is kept until the new file has shown that its
    // rows can be read.
    std::unique_ptr<Connection> previousConnection = std::move(m_connection);
    const QString previousName = m_openName;
    const QVector<ColumnDef> previousColumns = m_columns;
    const std::optional<qint64> previousCurrent = m_current;
    const bool previousDeleted = m_currentDeleted;
    const QVariantList previousRow = m_row;
    const bool previousBof = m_bof, previousEof = m_eof;
    const qint64 previousCount = m_count;

    m_connection = std::move(c);
    m_openName = name;
    m_columns = cols;
    m_count = -1;
    m_editMode = EditMode::None;
    m_current.reset();
    m_currentDeleted = false;
    m_row.clear();
    m_bof = m_eof = true;
    resolveBindings();
    if (!moveFirst()) {
        if (m_error.isSet()) {
            // The table cannot be read: give the file back and go on with
            // the previous one, where it was.
            const SourceError e = m_error;
            m_connection = std::move(previousConnection);
            m_openName = previousName;
            m_columns = previousColumns;
            m_current = previousCurrent;
            m_currentDeleted = previousDeleted;
            m_row = previousRow;
            m_bof = previousBof;
            m_eof = previousEof;
            m_count = previousCount;
            resolveBindings();
            if (m_current && !m_currentDeleted)
                showRow();
            else
                showEmpty();
            refuse(SourceError::NotDatabase, e.detail, e.code);
            return false;
        }
        showEmpty();
        emit currentChanged();
    }
    return true;
}

bool RecordSource::loadRow(const QString &where, const QVariantList &params)
{
    m_error = {};
    if (!m_connection)
        return false;
    bool ok = false;
    const auto rs = m_connection->rows(
        QStringLiteral("SELECT %1 FROM %2 %3 LIMIT 1").arg(selectList(), quoteIdentifier(m_table), where),
        params, &ok);
    if (!ok) {
        setEngineError();
        return false;
    }
    if (rs.isEmpty())
        return false;
    m_current = rs.first().value(0).toLongLong();
    m_row = rs.first().mid(1);
    m_currentDeleted = false;
    m_bof = m_eof = false;
    return true;
}

bool RecordSource::moveFirst()
{
    m_editMode = EditMode::None;
    if (loadRow(QStringLiteral("ORDER BY rowid"), {})) {
        showRow();
        emit currentChanged();
        return true;
    }
    if (!m_error.isSet()) {
        // The table is empty: no row to show, not even the one just deleted.
        m_current.reset();
        m_currentDeleted = false;
        m_bof = m_eof = true;
        showEmpty();
    }
    return false;
}

bool RecordSource::moveLast()
{
    m_editMode = EditMode::None;
    if (loadRow(QStringLiteral("ORDER BY rowid DESC"), {})) {
        showRow();
        emit currentChanged();
        return true;
    }
    if (!m_error.isSet()) {
        // The table is empty: no row to show, not even the one just deleted.
        m_current.reset();
        m_currentDeleted = false;
        m_bof = m_eof = true;
        showEmpty();
    }
    return false;
}

// A damaged file can give back, for the next or previous row, one that is
// not past the current one: the cursor would go round in circles. The move is
// refused as an engine error and the cursor stays on the row it was on.
bool RecordSource::damagedOrder(qint64 from, const QVariantList &row)
{
    m_current = from;
    m_row = row;
    m_error = SourceError{SourceError::Engine, QString(), QStringLiteral("database disk image is malformed"), 11};
    return false;
}

bool RecordSource::moveNext()
{
    m_editMode = EditMode::None;
    if (!m_connection || m_eof)
        return false;
    if (!m_current) // before the first row
        return moveFirst();
    const qint64 from = *m_current;
    const QVariantList row = m_row;
    if (loadRow(QStringLiteral("WHERE rowid > ?1 ORDER BY rowid"), {from})) {
        if (*m_current <= from)
            return damagedOrder(from, row);
        showRow();
        emit currentChanged();
        return true;
    }
    if (m_error.isSet())
        return false;
    // Past the last row: no current row; the controls keep what they showed.
    m_current.reset();
    m_currentDeleted = false;
    m_eof = true;
    m_bof = false;
    return true;
}

bool RecordSource::movePrevious()
{
    m_editMode = EditMode::None;
    if (!m_connection || m_bof)
        return false;
    if (!m_current) // past the last row
        return moveLast();
    const qint64 from = *m_current;
    const QVariantList row = m_row;
    if (loadRow(QStringLiteral("WHERE rowid < ?1 ORDER BY rowid DESC"), {from})) {
        if (*m_current >= from)
            return damagedOrder(from, row);
        showRow();
        emit currentChanged();
        return true;
    }
    if (m_error.isSet())
        return false;
    m_current.reset();
    m_currentDeleted = false;
    m_bof = true;
    m_eof = false;
    return true;
}

qint64 RecordSource::recordCount()
{
    if (!m_connection)
        return 0;
    if (m_count < 0) {
        bool ok = false;
        const QVariant v = m_connection->scalar(
            QStringLiteral("SELECT count(*) FROM %1").arg(quoteIdentifier(m_table)), {}, &ok);
        if (!ok) {
            setEngineError();
            return 0;
        }
        m_count = v.toLongLong();
    }
    return m_count;
}

bool RecordSource::hasAtLeast(int n)
{
    if (!m_connection)
        return n <= 0;
    if (m_count >= 0)
        return m_count >= n;
    bool ok = false;
    const QVariant v = m_connection->scalar(
        QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM %1 LIMIT ?1)").arg(quoteIdentifier(m_table)),
        {n}, &ok);
    if (!ok) {
        setEngineError();
        return false;
    }
    return v.toLongLong() >= n;
}

bool RecordSource::addNew()
{
    m_error = {};
    if (!m_connection || m_readOnly)
        return false;
    if (m_editMode == EditMode::Adding)
        return true;
    m_beforeAdd = hasCurrent() ? m_current : std::nullopt;
    m_beforeAddBof = m_bof;
    m_beforeAddEof = m_eof;
    m_editMode = EditMode::Adding;
    showEmpty();
    return true;
}

bool RecordSource::edit()
{
    m_error = {};
    if (!m_connection || m_readOnly)
        return false;
    if (!hasCurrent()) {
        m_error = SourceError{SourceError::NoCurrentRow, {}, {}};
        return false;
    }
    m_editMode = EditMode::Editing;
    return true;
}

std::optional<QVariant> RecordSource::storedValue(const ColumnDef &column, const QString &text,
                                                  SourceError *error)
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
        const auto v = parseDateTime(text);
        if (!v)
            return refuse(SourceError::NotDate);
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

bool RecordSource::update()
{
    m_error = {};
    if (!m_connection || m_editMode == EditMode::None)
        return false;

    // Every value is checked before anything is written.
    QStringList names;
    QVariantList values;
    for (const Binding &b : m_bindings) {
        if (!b.control || b.index < 0)
            continue;
        const ColumnDef &col = m_columns[b.index];
        if (names.contains(col.name))
            continue;
        SourceError e;
        const auto v = storedValue(col, controlText(b.control), &e);
        if (!v) {
            m_error = e;
            return false;
        }
        names << col.name;
        values << *v;
    }

    const QString table = quoteIdentifier(m_table);
    QString sql;
    if (m_editMode == EditMode::Adding) {
        QStringList cols, marks;
        for (int i = 0; i < names.size(); ++i) {
            cols << quoteIdentifier(names[i]);
            marks << QStringLiteral("?%1").arg(i + 1);
        }
        sql = names.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                              : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                    .arg(table, cols.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    } else {
        if (!hasCurrent()) {
            m_error = SourceError{SourceError::NoCurrentRow, {}, {}};
            return false;
        }
        QStringList sets;
        for (int i = 0; i < names.size(); ++i)
            sets << QStringLiteral("%1 = ?%2").arg(quoteIdentifier(names[i])).arg(i + 1);
        if (sets.isEmpty()) {
            m_editMode = EditMode::None;
            return true;
        }
        sql = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?%3")
                  .arg(table, sets.join(QStringLiteral(", ")))
                  .arg(names.size() + 1);
        values << *m_current;
    }

    const int changed = writeOne(sql, values);
    if (changed < 0)
        return false;
    if (changed == 0 && m_editMode == EditMode::Editing) {
        // Another program deleted the row meanwhile.
        m_error = SourceError{SourceError::RowGone, {}, {}};
        m_count = -1; // the file changed behind this record source
        return false;
    }

    if (m_editMode == EditMode::Adding) {
        if (m_count >= 0)
            ++m_count;
        m_editMode = EditMode::None;
        // The row that was current before add-new is current again.
        if (m_beforeAdd && loadRow(QStringLiteral("WHERE rowid = ?1"), {*m_beforeAdd})) {
            showRow();
        } else {
            m_current.reset();
            m_bof = m_beforeAddBof;
            m_eof = m_beforeAddEof;
        }
    } else {
        m_editMode = EditMode::None;
        if (loadRow(QStringLiteral("WHERE rowid = ?1"), {*m_current}))
            showRow();
    }
    m_error = {};
    emit currentChanged();
    return true;
}

int RecordSource::writeOne(const QString &sql, const QVariantList &values)
{
    if (!m_connection->begin()) {
        setEngineError();
        return -1;
    }
    if (!m_connection->exec(sql, values)) {
        setEngineError();
        m_connection->rollback();
        return -1;
    }
    const int changed = m_connection->changes();
    if (!m_connection->commit()) {
        setEngineError();
        m_connection->rollback();
        return -1;
    }
    return changed;
}

bool RecordSource::editToAddNew()
{
    if (m_editMode != EditMode::Editing)
        return false;
    m_current.reset();
    m_currentDeleted = false;
    if (!loadRow(QStringLiteral("ORDER BY rowid DESC"), {})) {
        m_current.reset();
        m_bof = m_eof = true;
    }
    m_beforeAdd = m_current;
    m_beforeAddBof = m_bof;
    m_beforeAddEof = m_eof;
    m_editMode = EditMode::Adding;
    return true;
}

void RecordSource::cancelUpdate()
{
    const EditMode was = m_editMode;
    m_editMode = EditMode::None;
    if (was == EditMode::Adding) {
        if (m_beforeAdd && loadRow(QStringLiteral("WHERE rowid = ?1"), {*m_beforeAdd})) {
            showRow();
        } else {
            m_current.reset();
            m_bof = m_beforeAddBof;
            m_eof = m_beforeAddEof;
            showEmpty();
        }
    } else if (was == EditMode::Editing && m_current) {
        if (loadRow(QStringLiteral("WHERE rowid = ?1"), {*m_current}))
            showRow();
    }
    emit currentChanged();
}

bool RecordSource::deleteCurrent()
{
    m_error = {};
    if (!m_connection || m_readOnly || m_editMode != EditMode::None)
        return false;
    if (!hasCurrent()) {
        m_error = SourceError{SourceError::NoCurrentRow, {}, {}};
        return false;
    }
    const int changed = writeOne(QStringLiteral("DELETE FROM %1 WHERE rowid = ?1").arg(quoteIdentifier(m_table)),
                                 {*m_current});
    if (changed < 0)
        return false;
    if (changed == 0) {
        // Another program deleted the row meanwhile.
        m_error = SourceError{SourceError::RowGone, {}, {}};
        m_count = -1;
        m_currentDeleted = true;
        return false;
    }
    if (m_count >= 0)
        --m_count;
    m_currentDeleted = true;
    return true;
}

QVariant RecordSource::value(const QString &column) const
{
    const int i = columnIndex(column);
    if (i < 0 || !hasCurrent() || i >= m_row.size())
        return {};
    return m_row[i];
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

void RecordSource::bind(QWidget *control, const QString &column)
{
    m_bindings.append(Binding{control, column, columnIndex(column)});
}

void RecordSource::resolveBindings()
{
    for (Binding &b : m_bindings)
        b.index = columnIndex(b.column);
}

QString RecordSource::controlText(QWidget *w) const
{
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    return QString();
}

static void setControlText(QWidget *w, const QString &text)
{
    if (auto *e = qobject_cast<QLineEdit *>(w)) {
        e->setText(text);
        e->setCursorPosition(0);
    } else if (auto *c = qobject_cast<QComboBox *>(w)) {
        if (c->isEditable())
            c->setEditText(text);
        else
            c->setCurrentText(text);
    } else if (auto *l = qobject_cast<QLabel *>(w)) {
        l->setText(text);
    }
}

void RecordSource::showRow()
{
    for (const Binding &b : m_bindings) {
        if (!b.control)
            continue;
        const QVariant v = (b.index >= 0 && b.index < m_row.size()) ? m_row[b.index] : QVariant();
        setControlText(b.control, b.index >= 0 ? displayText(m_columns[b.index], v) : QString());
    }
}

void RecordSource::showEmpty()
{
    for (const Binding &b : m_bindings)
        if (b.control)
            setControlText(b.control, QString());
}

} // namespace platform
