#pragma once
// A read-only table model over one table of an open database that fetches
// rows on demand, a block at a time, so that a log of a million contacts
// opens at once and scrolls to its end without reading the whole table.
//
// Rows are shown in rowid order. Row r is the r-th rowid: when the rowids
// have no gaps (no contact ever deleted) that is simply min(rowid) + r;
// otherwise the first rowid of each block is found by stepping from the
// nearest known block start, or back from the end of the table, and kept.
#include "Engine.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QHash>
#include <QList>
#include <QMap>
#include <optional>

namespace listing {

class ContactTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int kBlockRows = 256;

    // rowCount is the exact count of rows, counted once by the caller.
    ContactTableModel(platform::Connection *database, const QString &table,
                      const QVector<platform::ColumnDef> &columns, qint64 rowCount,
                      QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // The stored value of a cell; null when the row cannot be read.
    QVariant storedValue(int row, int column) const;
    // The rowid shown at a row.
    std::optional<qint64> rowidAt(int row) const;
    // True when the rowids have no gaps and rows map to rowids directly.
    bool isDense() const { return m_dense; }

    // The row marked in the record selectors.
    void setCurrentRow(int row);

    void setCellFont(const QFont &font) { m_cellFont = font; }
    void setHeadingFont(const QFont &font) { m_headingFont = font; }

private:
    struct Block {
        QVector<qint64> rowids;
        QVector<QVariantList> values;
    };
    const Block *block(int index) const;
    std::optional<qint64> blockStart(int index) const;
    std::optional<qint64> rowidAtOffset(const platform::Sql &sql, const QVariantList &params) const;

    platform::Connection *m_db;
    QString m_table;
    QVector<platform::ColumnDef> m_columns;
    platform::Sql m_selectBlock = "";
    int m_rows = 0;
    bool m_dense = false;
    qint64 m_minRowid = 0;
    int m_currentRow = -1;
    QFont m_cellFont;
    QFont m_headingFont;

    // Cache of recently read blocks, least recently used first in m_lru.
    mutable QHash<int, Block> m_blocks;
    mutable QList<int> m_lru;
    // First rowid of the blocks found so far (sparse rowids only).
    mutable QMap<int, qint64> m_starts;
};

} // namespace listing
