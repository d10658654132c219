#pragma once
// A window's binding to one table of a database, with a current row.
//
// The cursor is kept by rowid, so moves, add-new, update and delete are
// one-row statements however large the table is; the record count is counted
// once, when first asked, and kept up to date by this record source's own
// additions and deletions.
#include "Engine.h"

#include <QObject>
#include <QPointer>
#include <QVariant>
#include <QVector>
#include <memory>
#include <optional>

class QWidget;

namespace platform {

enum class EditMode { None, Adding, Editing };

// Why a store or an opening was refused.
struct SourceError {
    enum Kind {
        None,
        // opening
        NotFound, IsFolder, NotReadable, NotDatabase, NoTable, WrongShape, ReadOnlyFile, Locked,
        // storing
        TooLong, OutOfRange, NotWhole, NotNumber, NotDate, BadCharacter, NoCurrentRow, Engine,
        // the row changed or deleted is no longer in the file
        RowGone
    };
    Kind kind = None;
    QString column;      // the column concerned, for the storing kinds
    QString detail;      // the engine's own description, when it gave one
    int code = 0;        // the engine's result code, when it gave one
    bool isSet() const { return kind != None; }
    EngineError engine() const { return EngineError{detail, code}; }
};

class RecordSource : public QObject
{
    Q_OBJECT
public:
    explicit RecordSource(QObject *parent = nullptr);
    ~RecordSource() override;

    // Settings.
    void setConnect(const QString &c) { m_connect = c; }
    QString connect() const { return m_connect; }
    void setDatabaseName(const QString &path) { m_databaseName = path; }
    QString databaseName() const { return m_databaseName; }
    void setRecordSource(const QString &table) { m_table = table; }
    QString recordSource() const { return m_table; }
    void setReadOnly(bool r) { m_readOnly = r; }
    bool readOnly() const { return m_readOnly; }
    void setVisible(bool v);
    bool isVisible() const { return m_visible; }
    void setCaption(const QString &c);
    QString caption() const { return m_caption; }
    // Columns the table must have for an opening to be accepted.
    void setRequiredColumns(const QStringList &names) { m_required = names; }

    // Opens the database name and its record source, closing the file opened
    // before. When the new file cannot be used, the previous one stays open,
    // the database name goes back to it, and false is returned with error().
    bool refresh();
    bool isOpen() const { return m_connection != nullptr; }
    void close();

    // Cursor.
    qint64 recordCount();
    // True when the table holds at least n rows; cheaper than recordCount().
    bool hasAtLeast(int n);
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    bool hasCurrent() const { return m_current.has_value() && !m_currentDeleted; }
    bool moveFirst();
    bool moveLast();
    bool moveNext();
    bool movePrevious();

    // Changes.
    EditMode editMode() const { return m_editMode; }
    bool addNew();
    bool edit();
    // Stores the pending row from the bound controls. On refusal nothing is
    // written, the row stays pending and error() names the column. A change
    // of a row that another program has deleted meanwhile is refused with
    // RowGone.
    bool update();
    // Turns a pending change into a pending addition of the values the bound
    // controls hold, as if add-new had been called on the last row.
    bool editToAddNew();
    void cancelUpdate();
    bool deleteCurrent();

    // Columns and values of the current row.
    QVector<ColumnDef> columns() const { return m_columns; }
    QVariant value(const QString &column) const;
    QVariantList currentRow() const { return m_row; }
    std::optional<qint64> currentRowid() const { return m_current; }

    // Text shown for a stored value in a bound control.
    static QString displayText(const ColumnDef &column, const QVariant &value);
    // Converts a control's text to the value stored in a column; nullopt and
    // *error when the column's rules refuse it.
    static std::optional<QVariant> storedValue(const ColumnDef &column, const QString &text,
                                               SourceError *error);

    // Bound controls: a QLineEdit, an editable QComboBox or a QLabel.
    void bind(QWidget *control, const QString &column);

    // The open database, for a separate read-only query.
    Connection *database() const { return m_connection.get(); }

    SourceError error() const { return m_error; }
    void clearError() { m_error = {}; }

signals:
    // The current row changed (a move, an opening, a store, a cancel).
    void currentChanged();
    void captionChanged(const QString &caption);
    void visibleChanged(bool visible);

private:
    struct Binding {
        QPointer<QWidget> control;
        QString column;
        int index = -1;
    };
    bool loadRow(const QString &sql, const QVariantList &params);
    bool damagedOrder(qint64 from, const QVariantList &row);
    void showRow();
    void showEmpty();
    void resolveBindings();
    QString selectList() const;
    QString controlText(QWidget *w) const;
    int columnIndex(const QString &name) const;
    void setEngineError(SourceError::Kind kind = SourceError::Engine);
    // Runs one changing statement in a transaction of its own: the number of
    // rows it changed, or -1 on failure (error() set).
    int writeOne(const QString &sql, const QVariantList &values);

    QString m_connect = QStringLiteral("Access");
    QString m_databaseName;
    QString m_table;
    QString m_caption;
    QStringList m_required;
    bool m_visible = true;
    bool m_readOnly = false;

    std::unique_ptr<Connection> m_connection;
    QString m_openName;
    QVector<ColumnDef> m_columns;
    QVector<Binding> m_bindings;

    std::optional<qint64> m_current;
    bool m_currentDeleted = false;
    QVariantList m_row;
    bool m_bof = true;
    bool m_eof = true;
    qint64 m_count = -1;

    EditMode m_editMode = EditMode::None;
    std::optional<qint64> m_beforeAdd;
    bool m_beforeAddBof = true, m_beforeAddEof = true;

    SourceError m_error;
};

} // namespace platform
