#pragma once
// A window's binding to one table of a database, with a current row.
//
// The cursor is kept by rowid, so moves, add-new, update and delete are
// one-row statements however large the table is; the record count is counted
// once, when first asked, and kept up to date by this record source's own
// additions and deletions.
#include "Engine.h"

#include <QDateTime>
#include <QObject>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

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

// A column of an addition whose value is worked out inside the store's own
// write transaction, once the file is locked for writing, in place of the
// typed one: what other writers stored up to then is seen, and nobody stores
// in between. value() gets the connection inside the transaction and gives
// the text of the value (checked by the column's rules like a typed one), or
// nothing when it cannot work it out: the store is then refused with the
// connection's error and nothing is written.
// inStatement, when given, says how the engine itself works the value out
// inside the statement that stores the row: an expression, and a condition
// under which it equals what value() would give. On a shared log the row is
// then stored in one exchange with the server, nothing coming back to the
// program while the journal is locked; when the condition does not hold,
// nothing is stored that way and value() settles the value.
struct SettledColumn {
    struct InStatement {
        Sql value;
        Sql condition;
    };
    QString column;
    std::function<std::optional<QString>(Connection &)> value;
    std::function<InStatement(Connection &)> inStatement = nullptr;
};

// What shows the current row and gives back what the user typed for a
// pending row: the controls bound to a record source (BoundControls).
class RowView
{
public:
    virtual ~RowView() = default;
    // Shows a row of the given columns; an empty row clears every control.
    virtual void showRow(const QVector<ColumnDef> &columns, const QVariantList &row) = 0;
    // The text typed for each bound column, by column name.
    virtual QVector<std::pair<QString, QString>> typedTexts() const = 0;
};

class RecordSource : public QObject
{
    Q_OBJECT
public:
    explicit RecordSource(QObject *parent = nullptr);
    ~RecordSource() override;

    // Settings.
    void setDatabaseName(const QString &path) { m_databaseName = path; }
    QString databaseName() const { return m_databaseName; }
    void setRecordSource(const QString &table) { m_table = table; }
    QString recordSource() const { return m_table; }
    // Asks for the next opening to be read only.
    void setReadOnly(bool r) { m_readOnly = r; }
    bool readOnly() const { return m_readOnly; }
    // True when the open log is read only: asked so, or a file (or its
    // folder) that cannot be written, or a shared log the user may only
    // read. Browsing works; adding, changing and deleting are refused.
    bool isReadOnly() const { return m_cursor.readOnly; }
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
    bool isOpen() const { return m_cursor.connection != nullptr; }
    void close();

    // Cursor.
    qint64 recordCount();
    // True when the table holds at least n rows; cheaper than recordCount().
    bool hasAtLeast(int n) { return countUpTo(n) >= n; }
    // The table's count of rows, or n when it holds more (one statement).
    int countUpTo(int n);
    bool bof() const { return m_cursor.bof; }
    bool eof() const { return m_cursor.eof; }
    bool hasCurrent() const { return m_cursor.current.has_value() && !m_cursor.currentDeleted; }
    bool moveFirst();
    bool moveLast();
    bool moveNext();
    bool movePrevious();
    // Moves to the first row, in the table's order, whose text in column
    // begins with prefix, whatever the case and the accents; false when none does.
    bool moveToStartOf(const QString &column, const QString &prefix);

    // Changes.
    EditMode editMode() const { return m_editMode; }
    bool addNew();
    bool edit();
    // Stores the pending row from the bound controls. On refusal nothing is
    // written, the row stays pending and error() names the column. A change
    // of a row that another program has deleted meanwhile is refused with
    // RowGone. With settled, an addition takes that column's value from it
    // (settledText() then gives the text stored).
    bool update(const SettledColumn *settled = nullptr);
    QString settledText() const { return m_settledText; }
    // The rowid of the row the last addition stored (or found stored by an
    // earlier try), when the engine tells it.
    std::optional<qint64> addedRowid() const { return m_addedRowid; }
    // On a shared log, the unique key the pending addition is stored with:
    // the same for every try, so that a try whose answer was lost (the
    // contact stored all the same) is found by the next, not stored twice.
    QString storeKey() const { return m_storeKey; }
    // Turns a pending change into a pending addition of the values the bound
    // controls hold, as if add-new had been called on the last row.
    bool editToAddNew();
    void cancelUpdate();
    bool deleteCurrent();
    // Puts back the row the last deleteCurrent() removed, every value as it
    // was stored, and makes it the current row. On a file it takes its old
    // place in the table's order when no row has taken it since, the end of
    // the table otherwise (on a shared log, always the end). Once only: false
    // when there is nothing to put back (another file was opened since), or
    // when it is refused (error()).
    bool restoreDeleted();

    // Columns and values of the current row.
    QVector<ColumnDef> columns() const { return m_cursor.columns; }
    QVariant value(const QString &column) const;
    QVariantList currentRow() const { return m_cursor.row; }
    std::optional<qint64> currentRowid() const { return m_cursor.current; }

    // Text shown for a stored value in a bound control.
    static QString displayText(const ColumnDef &column, const QVariant &value);
    // Converts a control's text to the value stored in a column; nullopt and
    // *error when the column's rules refuse it.
    // A time alone in a date column is put at its latest occurrence not after
    // timeAloneUpTo, when that is valid (the day before when the time is
    // later than timeAloneUpTo's own).
    static std::optional<QVariant> storedValue(const ColumnDef &column, const QString &text,
                                               SourceError *error, const QDateTime &timeAloneUpTo = {});

    // What shows the rows and gives the typed values back; not owned.
    void setView(RowView *view) { m_view = view; }

    // The open database, for a separate read-only query.
    Connection *database() const { return m_cursor.connection.get(); }

    SourceError error() const { return m_error; }
    void clearError() { m_error = {}; }

signals:
    // The current row changed (a move, an opening, a store, a cancel).
    void currentChanged();
    void captionChanged(const QString &caption);
    void visibleChanged(bool visible);

private:
    // Where the cursor stands in the open file. Kept whole while another file
    // is tried, and put back in one assignment when that file cannot be used.
    struct CursorState {
        std::unique_ptr<Connection> connection;
        QString openName;
        QVector<ColumnDef> columns;
        std::optional<qint64> current;
        bool currentDeleted = false;
        QVariantList row;
        bool bof = true;
        bool eof = true;
        qint64 count = -1; // -1 until counted
        bool readOnly = false;
    };
    struct Checked {
        std::unique_ptr<Connection> connection;
        QVector<ColumnDef> columns;
        bool readOnly = false;
    };
    // Opens the file named and checks that its table can be used; nullopt
    // and m_error set when it cannot. A file that cannot be written is opened
    // read only.
    std::optional<Checked> checkFile(const QString &name, bool readOnly);
    bool refuse(SourceError::Kind kind, const QString &detail = QString(), int code = 0);
    bool loadRow(const Sql &where, const QVariantList &params);
    bool moveEnd(bool last);
    bool moveStep(bool forward);
    bool backToBeforeAdd();
    QDateTime timeAloneUpTo(int column) const;
    bool damagedOrder(qint64 from, const QVariantList &row);
    void showRow();
    void showEmpty();
    Sql selectList() const;
    int columnIndex(const QString &name) const;
    void setEngineError(SourceError::Kind kind = SourceError::Engine);
    // Runs one changing statement in a transaction of its own: the number of
    // rows it changed, or -1 on failure (error() set).
    // inTransaction, when given, runs once the transaction has begun and may
    // complete the values; false refuses (error() set, nothing written).
    // returned, when given, takes the rows the statement returns (it ends
    // with RETURNING), and their count is the count of rows changed.
    int writeOne(const Sql &sql, QVariantList values,
                 const std::function<bool(QVariantList &)> &inTransaction = {},
                 QVector<QVariantList> *returned = nullptr);

    QString m_databaseName;
    QString m_table;
    QString m_caption;
    QStringList m_required;
    bool m_visible = true;
    bool m_readOnly = false;
    RowView *m_view = nullptr;

    CursorState m_cursor;

    EditMode m_editMode = EditMode::None;
    std::optional<qint64> m_beforeAdd;
    bool m_beforeAddBof = true, m_beforeAddEof = true;

    SourceError m_error;
    QString m_settledText;
    QString m_storeKey;         // see storeKey()
    std::optional<qint64> m_addedRowid; // see addedRowid()
    // The row the last deletion removed, for restoreDeleted().
    struct Deleted {
        qint64 rowid;
        QVariantList row;
    };
    std::optional<Deleted> m_deleted;
};

} // namespace platform
