#pragma once
// The database engine used directly: creating a database with one table,
// opening a database, and cursors over a table or a select statement.
//
// A database is a SQLite file, or a shared log on a PostgreSQL server named by
// its address (postgresql://user@server:port/base?journal=NAME): the table
// lives in the schema named after the journal. Callers speak to both alike;
// the statements they write are of the SQL both engines read, and on a
// server the table's column rowid (an identity, in insertion order) stands
// for SQLite's rowid.
//
// Statements are Sql values, made only of text written in the program and of
// quoted identifiers. A QString does not turn into one, so a value joined into
// a statement does not compile: values reach the engine as bound parameters.
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QThread;

namespace platform {

enum class ColumnType { DateTime, Text, SmallInt, Other };

struct ColumnDef {
    QString name;
    ColumnType type = ColumnType::Text;
    int size = 0; // maximum length in characters, for text columns
};

struct TableDef {
    QString name;
    QVector<ColumnDef> columns;
};

// Declared type in the file for a column definition, and back.
QString declaredType(const ColumnDef &column);
ColumnDef columnFromDeclaredType(const QString &name, const QString &declared);

// Quotes an identifier for SQL ("a""b").
QString quoteIdentifier(const QString &name);

// The name of a table or a column.
class Identifier
{
public:
    explicit Identifier(QString name) : m_name(std::move(name)) {}
    const QString &name() const { return m_name; }

private:
    QString m_name;
};

// The text of a statement, or a piece of one.
class Sql
{
public:
    // Text written in the program (a string literal).
    template <std::size_t N>
    Sql(const char (&literal)[N]) : m_text(QString::fromUtf8(literal, N - 1)) {}
    // An identifier, quoted.
    Sql(const Identifier &name) : m_text(quoteIdentifier(name.name())) {}

    // Puts the pieces in the places %1, %2... in one pass: the text of a piece
    // (an identifier may hold a %) is never read for places.
    template <class... Pieces>
    Sql arg(const Pieces &...pieces) const
    {
        return substitute({piece(pieces)...});
    }
    // The pieces one after the other, separated by the separator.
    static Sql join(const QVector<Sql> &pieces, const Sql &separator);
    // The n-th bound parameter: ?n.
    static Sql parameter(int n) { return Sql(QStringLiteral("?%1").arg(n)); }
    // A whole number written in the statement.
    static Sql number(qint64 n) { return Sql(QString::number(n)); }
    // INSERT INTO table (columns) VALUES (?1, ?2...), (...): rows rows of
    // parameters, numbered in order.
    static Sql insertValues(const Identifier &table, const QVector<Sql> &columns, qint64 rows);

    const QString &text() const { return m_text; }

private:
    explicit Sql(QString text) : m_text(std::move(text)) {}
    // Only statement text and identifiers are pieces: a QString is neither.
    static const Sql &piece(const Sql &sql) { return sql; }
    static Sql piece(const Identifier &name) { return Sql(name); }
    Sql substitute(const QVector<Sql> &pieces) const;
    QString m_text;
};

// True when every character of text can be written in Windows-1252.
bool fitsWindows1252(const QString &text);

struct EngineError {
    QString text;  // the engine's own description
    int code = 0;  // the engine's extended result code, 0 when not known
    bool isSet() const { return !text.isEmpty(); }
};

// The kinds of failure the engine reports, read from its result code.
// Moved: the file was renamed, moved or deleted while open (the engine then
// refuses to write it, as it would a read-only file).
// Unreachable: the server does not answer, or the connection to it was lost.
enum class EngineFault { None, Busy, Locked, ReadOnly, NotDatabase, Corrupt, Full, CannotOpen, IoError, Permission,
                         Refused, Moved, Unreachable, Other };

// Which kind of failure an error is. Extended result codes count as their
// primary code (a busy file stays busy, whatever the reason the engine adds).
EngineFault faultOf(const EngineError &error);

// True when the server may have done what was asked all the same: its
// answer was lost after the request went (a commit among it).
bool answerLost(const EngineError &error);
int lostAnswerCode(); // the code of such an error
// True when a server refused a connection for its password: none was
// given, or a wrong one.
bool passwordRefused(const EngineError &error);
// True when a shared log's server says it holds no such journal.
bool journalMissing(const EngineError &error);

// A French sentence telling the user what went wrong. The engine's own text
// (English) goes to standard error, never into the sentence.
QString describe(const EngineError &error);

// The engine error that stands for a failed system call (errno).
EngineError systemError(int errnum);

class Connection;
class Backend;
class RowSource;

// How a shared log's connection to its server stands, for the window to show.
struct LinkState {
    // None: a file. Back: up again after it was lost, a short while ago.
    enum Kind { None, Up, Down, Back };
    Kind kind = None;
    int retryIn = 0;        // Down: seconds before the next try; 0: trying now
    bool encrypted = false; // Up or Back: over TLS
    bool network = false;   // over TCP (a Unix socket is neither encrypted nor not)
};

// True while a statement of this thread waits for a server's answer with
// the thread's events running (see EventsWhileWaiting): what would use the
// log from one of those events waits for the statement's end instead; a
// statement asked of the same connection meanwhile is refused at once
// (state Client), never sent.
bool waitingForServer();
// Over its life, a statement of the application's main thread that waits
// for a server's answer lets the window's events run meanwhile (painting,
// timers, queued signals; never the operator's keys and clicks, which wait
// for it): for a command of the window, which must not stop the window
// while a silent server is found lost. Not in a dialog opened since, nor
// in a statement asked from one of those events (a grid's rows asked
// while it paints, which must not paint again).
class EventsWhileWaiting
{
public:
    EventsWhileWaiting();
    ~EventsWhileWaiting();
    EventsWhileWaiting(const EventsWhileWaiting &) = delete;
    EventsWhileWaiting &operator=(const EventsWhileWaiting &) = delete;

private:
    int m_level; // the one before
};

// For tests: the connections to a server made so far on a thread.
int serverConnectionsMade(const QThread *thread);
// For tests: how many times the links' threads have woken so far.
qint64 serverLinkTurns();
// For tests: how long a statement waits without a byte from the server
// before its connection is taken as lost (5 s; 0 puts it back).
void setServerAnswerTimeout(int milliseconds);

// True when name is a shared log's address (postgresql://...) rather than a file.
bool isServerAddress(const QString &name);

// How a log is named to the user: a file by its path, a shared log as
// server/base/journal (with ":port" after the server when the address has one).
QString logDisplayName(const QString &name);
// Who connects to a shared log (its address's user; empty for a file).
QString logUserName(const QString &name);

// Where a table's rows lie and a fingerprint of each place: enough to tell,
// against an earlier survey of the same table, which rows may have changed,
// without reading a single row. In a file a place is a page of the table's
// tree and its fingerprint a hash of the page's bytes; on a server a place is
// a chunk of rowids and its fingerprint the version the journal gave it at
// its latest change.
struct TableSurvey {
    struct Part {
        quint32 place = 0;
        quint64 fingerprint = 0;
        qint64 first = 0, last = -1;   // its smallest and largest rowid (first > last: none)
        bool whole = true;             // false: a row of it goes on elsewhere, and may change unseen
    };
    quint64 layout = 0;     // what the comparison rests on: page size, the table's place, the schema...
    std::vector<Part> parts; // by place
};

struct RowidRange {
    qint64 first;
    qint64 last;
};

// The rowids whose rows may differ between two surveys of a table, sorted and
// apart; nothing when the two cannot be compared (the schema or the file's
// layout changed): then every row may differ.
std::optional<std::vector<RowidRange>> changedRowids(const TableSurvey &before, const TableSurvey &after);

// The values of one row as the engine holds them, read in place: texts as
// their UTF-8 bytes, numbers in the engine's own decimal form. Valid only
// while the row is being handed over.
class RowText
{
public:
    int columnCount() const;
    bool isNull(int column) const;
    QByteArrayView text(int column) const;

    explicit RowText(const RowSource &source) : m_source(&source) {}

private:
    const RowSource *m_source;
};

// A cursor over the rows of a table (in natural order) or of a select statement.
class Cursor
{
public:
    ~Cursor();
    Cursor(const Cursor &) = delete;
    Cursor &operator=(const Cursor &) = delete;

    bool isValid() const;
    EngineError error() const;
    bool moveFirst();
    bool moveNext();
    bool eof() const;
    // Value of a column of the current row by name; null when empty or unknown.
    QVariant value(const QString &column) const;
    QVariant value(int index) const;
    int columnCount() const;
    QStringList columnNames() const;

private:
    friend class Connection;
    Cursor();
    struct Impl;
    std::unique_ptr<Impl> d;
};

enum class OpenMode { ReadWrite, ReadOnly };

// One open database file. Each Connection has a connection name of its own,
// so several may be open on the same file at once.
class Connection
{
public:
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Opens an existing database file or shared log; nullptr and *error set
    // on failure (a missing file, a folder, a file that is not a database, a
    // server that does not answer, a journal it does not hold).
    static std::unique_ptr<Connection> open(const QString &path, OpenMode mode, EngineError *error);

    // Creates a new database file at path holding exactly one table. The file
    // must not exist. A half-written file is removed on failure. For a shared
    // log, the journal must not exist; it is made in one transaction.
    static bool create(const QString &path, const TableDef &table, EngineError *error);

    // The name opened (a server's address without its password).
    // Removes a database this program has just made and could not fill: the
    // file and its journal, or the shared log's journal with all it holds.
    static bool remove(const QString &path);

    QString path() const;
    OpenMode mode() const;

    // Runs one statement with bound parameters; false and error() on failure.
    bool exec(const Sql &sql, const QVariantList &params = {});
    // Rows changed by the last statement that exec() ran.
    int changes() const;
    // Runs one statement once for each row of values (its parameters), as
    // exec() would, the statement prepared once and the values handed to the
    // engine as they are: for writing many rows quickly. False, with
    // lastError(), at the first row that fails.
    bool execRows(const Sql &sql, const QVector<QVariantList> &rows);
    // Runs a statement and returns the first column of its first row.
    QVariant scalar(const Sql &sql, const QVariantList &params = {}, bool *ok = nullptr);
    // Rows of a select statement, each as a list of values in column order.
    QVector<QVariantList> rows(const Sql &sql, const QVariantList &params = {}, bool *ok = nullptr);

    // A cursor over a whole table in natural (insertion) order.
    std::unique_ptr<Cursor> openTable(const Identifier &table);
    // A cursor over a select statement; read only.
    std::unique_ptr<Cursor> openQuery(const Sql &sql, const QVariantList &params = {});

    // Runs a select statement and hands its rows to onRow in order, without
    // making a QVariant or a QString of any value: for reading a whole table
    // quickly. onRow returns false to stop. False, with lastError(), when the
    // statement could not be read to its end.
    bool forEachRow(const Sql &sql, const std::function<bool(const RowText &)> &onRow);

    // Inserts count rows into a table, inside the caller's transaction, in
    // order: fill gives the values of row i in the order of columns, each as
    // its UTF-8 text (a number as its decimal text) or nothing for a null,
    // valid until the next call; it returns false to stop. False, with
    // lastError() when a row was refused, once stopped or refused.
    using RowFiller = std::function<bool(qint64 row, QVector<std::optional<QByteArrayView>> &values)>;
    bool insertRows(const Identifier &table, const QVector<ColumnDef> &columns, qint64 count, const RowFiller &fill);

    // The columns of a table as declared in the file; empty when there is no such table.
    QVector<ColumnDef> tableColumns(const Identifier &table, bool *ok = nullptr);
    bool hasTable(const Identifier &table);

    bool begin();  // BEGIN IMMEDIATE
    // BEGIN, then the file read: until commit() or rollback(), no other
    // program commits a change, and what the statements read stays as it is.
    bool beginRead();
    // Inside beginRead(): the survey of a table, read from the file itself
    // (or the server's versions of its chunks); nothing when it cannot be read
    // that way (another journal mode, a page that is not what the table's
    // tree says, a journal without versions).
    std::optional<TableSurvey> surveyTable(const Identifier &table);
    bool commit();
    void rollback();
    // Inside begin(): the statement, then the commit, in one exchange with a
    // server (the journal's lock is not held while the program waits for the
    // statement's answer). False when either failed: rollback() then. Its
    // rows in *rows when rows is given; changes() counts the rows it changed.
    bool execAndCommit(const Sql &sql, const QVariantList &params, QVector<QVariantList> *rows = nullptr);

    // A number that moves when another connection commits a change to the
    // database; -1 when it cannot be read. On a server it counts the
    // notifications of the journal's table received so far, read as the
    // connection asks for it: no event loop is needed.
    qint64 changeCount();
    // The rowid of the row the last insert of this connection made.
    std::optional<qint64> lastInsertedRowid();
    // A condition true when a text column holds a plain whole number (digits
    // alone, as the engine writes them back) that CAST(... AS BIGINT) reads.
    Sql isPlainNumber(const Identifier &column) const;
    // The column a shared log keeps each store's unique key in (a store
    // retried after its answer was lost finds its row there); empty on a file.
    QString storeKeyColumn() const;
    // True when the log keeps indexes that answer a max() of its serial
    // numbers, and a search of those that are not plain numbers, without
    // reading the table (a shared log); false: each is a scan, and one scan
    // should answer both.
    bool indexesSerials() const;

    // How the connection to a shared log's server stands (kind None on a file).
    LinkState link() const;

    // A serial number kept for this connection's session while an operator
    // gives it on the air (a shared log): reserve() gives up the number the
    // session held and takes this one; false when another session holds it,
    // nothing when the server could not be asked. The session's reservation
    // ends with releaseReservations() or with the session. A file keeps none.
    std::optional<bool> reserve(qint64 number);
    void releaseReservations();
    // Pieces of a statement: the largest number another session holds (0
    // when none), and a condition true when another session holds number.
    Sql largestReservedElsewhere() const;
    Sql reservedElsewhere(const Sql &number) const;

    EngineError lastError() const;

private:
    explicit Connection(std::unique_ptr<Backend> backend);
    std::unique_ptr<Backend> d;
    friend class Cursor;
};

// For tests: from this call on, every read of a log file the engine makes in
// this process, on connections opened afterwards, is counted (the pages a
// statement reads from the file, those the surveys read too), whatever the
// thread. The count so far; 0 before the first call.
void countFileReads();
qint64 fileReads();

} // namespace platform
