#include "ContactTableModel.h"

#include "LogFile.h"
#include "RecordSource.h"

#include <QColor>
#include <climits>

using platform::Identifier;
using platform::Sql;

namespace listing {

namespace {
constexpr int kCachedBlocks = 64;
}

ContactTableModel::ContactTableModel(platform::Connection *database, const QString &table,
                                     const QVector<platform::ColumnDef> &columns, qint64 rowCount,
                                     QObject *parent)
    : QAbstractTableModel(parent), m_db(database), m_table(table), m_columns(columns)
{
    m_rows = static_cast<int>(qBound(qint64(0), rowCount, qint64(INT_MAX)));
    QVector<Sql> list{"rowid"};
    for (const platform::ColumnDef &c : m_columns)
        list << Identifier(c.name);
    const Identifier name(m_table);
    // One row more than a block (?2), to learn where the next block starts.
    m_selectBlock = Sql("SELECT %1 FROM %2 WHERE rowid >= ?1 ORDER BY rowid LIMIT ?2")
                        .arg(Sql::join(list, ", "), name);
    if (!m_db || m_rows == 0)
        return;
    // min and max of the rowid are read from the ends of the table's tree.
    bool ok = false;
    const auto ends = m_db->rows(Sql("SELECT (SELECT min(rowid) FROM %1), (SELECT max(rowid) FROM %1)").arg(name), {}, &ok);
    if (!ok || ends.isEmpty())
        return;
    m_minRowid = ends.first().value(0).toLongLong();
    const qint64 maxRowid = ends.first().value(1).toLongLong();
    m_dense = maxRowid - m_minRowid + 1 == rowCount;
    m_starts.insert(0, m_minRowid);
}

int ContactTableModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_rows; }
int ContactTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns.size();
}

Qt::ItemFlags ContactTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

std::optional<qint64> ContactTableModel::rowidAtOffset(const Sql &sql, const QVariantList &params) const
{
    bool ok = false;
    const QVariant v = m_db->scalar(sql, params, &ok);
    if (!ok || v.isNull())
        return std::nullopt;
    return v.toLongLong();
}

std::optional<qint64> ContactTableModel::blockStart(int index) const
{
    if (m_dense)
        return m_minRowid + qint64(index) * kBlockRows;
    if (auto it = m_starts.constFind(index); it != m_starts.constEnd())
        return *it;
    if (m_starts.isEmpty())
        return std::nullopt;

    // Three ways to reach the block's first row; take the one that steps over
    // the fewest rows: forward from the nearest known start below, backward
    // from the nearest known start above, or backward from the last row.
    const Identifier table(m_table);
    const qint64 first = qint64(index) * kBlockRows; // row number wanted
    auto above = m_starts.upperBound(index);
    auto below = std::prev(above); // block 0 is always known
    const qint64 forward = first - qint64(below.key()) * kBlockRows;
    const qint64 fromEnd = m_rows - 1 - first;
    const qint64 backward = above == m_starts.end() ? LLONG_MAX : qint64(above.key()) * kBlockRows - first;

    std::optional<qint64> start;
    if (forward <= backward && forward <= fromEnd) {
        start = rowidAtOffset(
            Sql("SELECT rowid FROM %1 WHERE rowid >= ?1 ORDER BY rowid LIMIT 1 OFFSET ?2").arg(table),
            {below.value(), forward});
    } else if (backward <= fromEnd) {
        start = rowidAtOffset(
            Sql("SELECT rowid FROM %1 WHERE rowid < ?1 ORDER BY rowid DESC LIMIT 1 OFFSET ?2").arg(table),
            {above.value(), backward - 1});
    } else {
        start = rowidAtOffset(Sql("SELECT rowid FROM %1 ORDER BY rowid DESC LIMIT 1 OFFSET ?1").arg(table),
                              {fromEnd});
    }
    if (start)
        m_starts.insert(index, *start);
    return start;
}

const ContactTableModel::Block *ContactTableModel::block(int index) const
{
    if (auto it = m_blocks.find(index); it != m_blocks.end()) {
        if (m_lru.last() != index) {
            m_lru.removeOne(index);
            m_lru.append(index);
        }
        return &it.value();
    }
    if (!m_db)
        return nullptr;
    const auto start = blockStart(index);
    if (!start)
        return nullptr;
    bool ok = false;
    auto rows = m_db->rows(m_selectBlock, {*start, kBlockRows + 1}, &ok);
    if (!ok)
        return nullptr;
    if (rows.size() > kBlockRows) {
        if (!m_dense)
            m_starts.insert(index + 1, rows.last().value(0).toLongLong());
        rows.removeLast();
    }
    Block b;
    b.rowids.reserve(rows.size());
    b.values.reserve(rows.size());
    for (QVariantList &r : rows) {
        b.rowids << r.takeFirst().toLongLong();
        b.values << r;
    }
    if (m_blocks.size() >= kCachedBlocks)
        m_blocks.remove(m_lru.takeFirst());
    m_lru.append(index);
    return &m_blocks.insert(index, std::move(b)).value();
}

QVariant ContactTableModel::storedValue(int row, int column) const
{
    if (row < 0 || row >= m_rows || column < 0 || column >= m_columns.size())
        return {};
    const Block *b = block(row / kBlockRows);
    const int r = row % kBlockRows;
    if (!b || r >= b->values.size())
        return {};
    return b->values[r].value(column);
}

std::optional<qint64> ContactTableModel::rowidAt(int row) const
{
    if (row < 0 || row >= m_rows)
        return std::nullopt;
    const Block *b = block(row / kBlockRows);
    const int r = row % kBlockRows;
    if (!b || r >= b->rowids.size())
        return std::nullopt;
    return b->rowids[r];
}

QVariant ContactTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const platform::ColumnDef &c = m_columns[index.column()];
    switch (role) {
    case Qt::DisplayRole: {
        // The kilohertz and the call sign's number with three digits, as the form shows them.
        const QVariant v = storedValue(index.row(), index.column());
        return logfile::shownWithThreeDigits(c.name) ? logfile::shownText(c.name, v)
                                                     : platform::RecordSource::displayText(c, v);
    }
    case Qt::FontRole:
        return m_cellFont;
    case Qt::ForegroundRole:
        return QColor(Qt::black);
    case Qt::TextAlignmentRole:
        return int((c.type == platform::ColumnType::SmallInt ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant ContactTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= m_columns.size())
            return {};
        if (role == Qt::DisplayRole)
            return m_columns[section].name;
        if (role == Qt::FontRole)
            return m_headingFont;
        return {};
    }
    // Record selectors: an arrow marks the current row.
    if (role == Qt::DisplayRole)
        return section == m_currentRow ? QStringLiteral("▶") : QString();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    return {};
}

void ContactTableModel::setCurrentRow(int row)
{
    if (row == m_currentRow)
        return;
    const int old = m_currentRow;
    m_currentRow = row;
    if (old >= 0 && old < m_rows)
        emit headerDataChanged(Qt::Vertical, old, old);
    if (row >= 0 && row < m_rows)
        emit headerDataChanged(Qt::Vertical, row, row);
}

} // namespace listing
