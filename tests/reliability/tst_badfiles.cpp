// Bad files given to the Open command of the main window (read-write) and to
// a record source bound to a good log: missing, a folder, read-only,
// unreadable, locked, of another shape, or damaged. Each file is either shown safely (read
// only when it cannot be written), with
// only the changes the rules accept written, or refused with a French message
// while the previous log stays bound where it was. A few seeded damaged files
// run here; fuzz_open goes on from there for as long as one likes.
#include "Engine.h"
#include "LogFile.h"
#include "Messages.h"
#include "Reliability.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {

enum Kind { Truncated, Flipped, RandomAfterHeader, Empty, LostPage, Shape, Unreadable, Locked, Missing, Folder, ReadOnly };
constexpr Kind kDamages[] = {Truncated, Flipped, RandomAfterHeader};

// The column definitions of the table Transmission as the program makes it.
QStringList standard()
{
    QStringList defs;
    for (const platform::ColumnDef &c : logfile::transmission().columns)
        defs << platform::quoteIdentifier(c.name) + QLatin1Char(' ') + platform::declaredType(c);
    return defs;
}

// A log written by another tool: the table Transmission as `shape` edits the
// standard definitions (left with none: no such table), then `sql`, then three
// good contacts and, when `column` is named, contact 4 with `value` there.
struct Special {
    QString name;
    bool opens;
    std::function<void(QStringList &)> shape;
    QString sql = {};
    QString column = {};
    QVariant value = {};
    QString shownStart = {}; // what its control shows, at least at the start
};

void writeOther(const QString &path, const Special &s)
{
    QStringList defs = standard(), names;
    s.shape(defs);
    QVERIFY(testsupport::rawExec(path, QStringLiteral("CREATE TABLE Autre (x)")));
    if (!defs.isEmpty())
        QVERIFY(testsupport::rawExec(path, QStringLiteral("CREATE TABLE Transmission (%1)").arg(defs.join(','))));
    if (!s.sql.isEmpty())
        QVERIFY(testsupport::rawExec(path, s.sql));
    for (const QString &d : defs)
        if (logfile::columnNames().contains(d.section(QLatin1Char('"'), 1, 1)))
            names << d.section(QLatin1Char('"'), 1, 1);
    const QString insert = QStringLiteral("INSERT INTO Transmission (\"%1\") VALUES (?%2)")
                               .arg(names.join(QStringLiteral("\",\"")), QStringLiteral(",?").repeated(names.size() - 1));
    for (int n = 1; !defs.isEmpty() && n <= (s.column.isEmpty() ? 3 : 4); ++n) {
        QVariantList row;
        for (const QString &name : names)
            row << (n == 4 && name == s.column ? s.value
                                               : QVariant(reliability::storedFor(n)[logfile::columnNames().indexOf(name)]));
        QVERIFY(testsupport::rawExec(path, insert, row));
    }
}

QVector<Special> specials()
{
    const QStringList names = logfile::columnNames();
    const auto keep = [](QStringList &) {};
    const auto none = [](QStringList &d) { d.clear(); };
    QVector<Special> out{
        {"another program's database, left in write-ahead-log mode", false, none, "PRAGMA journal_mode=WAL"},
        {"a view named Transmission", false, none, "CREATE VIEW Transmission AS SELECT 1 AS Date"},
        {"without rowid", false, none,
         "CREATE TABLE Transmission (" + standard().join(',') + ", PRIMARY KEY(\"Date\")) WITHOUT ROWID"},
        {"extra column first", true, [](QStringList &d) { d.prepend(QStringLiteral("Remarque VARCHAR(50)")); }},
        {"columns reversed, the serial number first", true, [](QStringList &d) { std::reverse(d.begin(), d.end()), d.move(14, 0); }},
        {"numbers declared as INTEGER", true,
         [](QStringList &d) { d.replaceInStrings(QStringLiteral("SMALLINT"), QStringLiteral("INTEGER")); }},
        {"a rule of its own against changes", true, keep, "CREATE TRIGGER non BEFORE UPDATE ON Transmission BEGIN SELECT RAISE(ABORT, 'non'); END"}};
    for (int i : {0, 1, 10, 15}) { // first, the serial, a name beyond ASCII, last
        out << Special{"missing column " + names[i], false, [i](QStringList &d) { d.removeAt(i); }};
        out << Special{"renamed column " + names[i], false,
                       [i](QStringList &d) { d[i].replace(QStringLiteral("\" "), QStringLiteral("_ancien\" ")); }};
    }
    // Values that break the column rules, in the last row: the one shown after the opening.
    const QString longText = QStringLiteral("x").repeated(300);
    const struct { const char *column; QVariant value; QString shown; } rules[] = {
        {"Ville", longText, longText}, {"Qrz1", QByteArray("ab\xff\xfe\xc3(\x80z", 8), "ab"}, {"Mhertz", "abc", "abc"},
        {"N°", 99999, "99999"}, {"Date", "2024-13-45 25:61:00", "2024-13-45"}, {"Date", 45123.5, "45123.5"},
        {"Date", QVariant(), ""}, {"Sequanel", "99999999999999999999999", "99999999999999999999999"}, {"Sequanel", "1e300", "1e300"}};
    for (const auto &r : rules)
        out << Special{QStringLiteral("%1 = %2").arg(QString::fromUtf8(r.column), r.value.toString().left(24)), true, keep,
                       {}, QString::fromUtf8(r.column), r.value, r.shown};
    return out;
}

// The good file damaged the way kind says, with seed for the random choices.
QByteArray damaged(QByteArray bytes, Kind kind, int seed)
{
    QRandomGenerator rng(kind * 100003u + seed);
    switch (kind) {
    case Truncated: bytes.truncate(rng.bounded(bytes.size())); break;
    case Flipped:
        for (int i = 1 + rng.bounded(8); i > 0; --i)
            bytes[rng.bounded(bytes.size())] ^= char(1 << rng.bounded(8));
        break;
    case RandomAfterHeader:
        for (int i = 100 + rng.bounded(bytes.size() - 100); i < bytes.size(); ++i)
            bytes[i] = char(rng.bounded(256));
        break;
    case Empty: bytes.clear(); break;
    default: break;
    }
    return bytes;
}

} // namespace

class TestBadFiles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_good = m_dir.filePath(QStringLiteral("bon.adb"));
        writeOther(m_good, Special{{}, true, [](QStringList &) {}});
        m_goodBytes = testsupport::fileBytes(m_good);
        m_w.show();
    }
    void init() { QVERIFY(m_w.ChargerFichier(m_good)); }

    void openBadFile_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("param");
        QTest::newRow("empty") << int(Empty) << 0;
        QTest::newRow("the first contact's overflow page lost") << int(LostPage) << 0;
        QTest::newRow("unreadable") << int(Unreadable) << 0;
        QTest::newRow("locked by another connection") << int(Locked) << 0;
        QTest::newRow("missing") << int(Missing) << 0;
        QTest::newRow("folder") << int(Folder) << 0;
        QTest::newRow("read-only, even to root") << int(ReadOnly) << 0;
        for (int i = 0; i < m_specials.size(); ++i)
            QTest::newRow(qPrintable(m_specials[i].name)) << int(Shape) << i;
        for (Kind k : kDamages)
            for (int i = 0; i < 6; ++i)
                QTest::addRow("damage %d, seed %d", k, i) << int(k) << i;
    }

    void openBadFile()
    {
        QFETCH(int, kind);
        QFETCH(int, param);
        const QString path = m_dir.filePath(QStringLiteral("mauvais %1-%2.adb").arg(kind).arg(param));
        const Special *special = kind == Shape ? &m_specials[param] : nullptr;
        if (special) {
            writeOther(path, *special);
        } else if (kind == LostPage) { // the table's first page reads, its first row does not:
            // pages of 4096 bytes; 1 the schema, 2 Autre, 3 Transmission, 4 the first row's first overflow page
            writeOther(path, Special{{}, true, [](QStringList &) {}, "INSERT INTO Transmission (Ville) VALUES (hex(randomblob(4500)))"});
            testsupport::writeFile(path, testsupport::fileBytes(path).replace(3 * 4096, 4096, QByteArray(4096, '\xff')));
        } else if (kind == Folder) {
            QDir().mkpath(path);
        } else if (kind != Missing) {
            testsupport::writeFile(path, damaged(m_goodBytes, Kind(kind), param));
            if (kind == ReadOnly)
                QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        }
        const QByteArray bytes = testsupport::fileBytes(path);
        // Permission bits do not stop root: the file is then opened under another
        // user id (real and effective: access() checks the real one).
        const bool otherUser = kind == Unreadable && geteuid() == 0;
        if (kind == Unreadable) {
            QFile::setPermissions(path, {});
            QFile::setPermissions(m_dir.path(), QFileDevice::Permissions(0x7755));
        }
        std::unique_ptr<platform::Connection> locker;
        if (kind == Locked) {
            locker = platform::Connection::open(path, platform::OpenMode::ReadWrite, nullptr);
            QVERIFY(locker && locker->exec("BEGIN EXCLUSIVE"));
        }

        platform::RecordSource rs;
        logfile::configure(rs, m_good);
        QVERIFY(rs.refresh() && rs.moveLast());
        const QVariantList goodRow = rs.currentRow();
        const QStringList before = reliability::shown(m_w);
        rs.setDatabaseName(path);
        m_prompts.clear();
        m_prompts.queuedFiles = {path};
        QVERIFY(!otherUser || setresuid(65534, 65534, 0) == 0);
        const bool opened = rs.refresh();
        m_w.controls().mnuOuvrir->trigger();
        QVERIFY(!otherUser || setresuid(0, 0, 0) == 0);
        locker.reset();

        const int expected = special ? special->opens : kind == ReadOnly ? 1 : kind >= Empty ? 0 : -1; // damaged files: either
        QVERIFY2(expected < 0 || opened == bool(expected), opened ? "this file must be refused" : "a usable file was refused");
        if (!opened) {
            // The window's own source given it, as when it is damaged between the window's look and the opening.
            QVERIFY(kind != LostPage || (m_w.controls().Data1->setDatabaseName(path), !m_w.controls().Data1->refresh()));
            QCOMPARE(rs.databaseName() + m_w.controls().Data1->databaseName(), m_good + m_good);
            QCOMPARE(rs.currentRow(), goodRow);
            QCOMPARE(m_prompts.messages.size(), 1);
            const QString text = m_prompts.messages[0].text, why = QMap<int, QString>{
                {Locked, msg::fileLocked()}, {Unreadable, msg::logNotReadable()}, {Missing, msg::logMissing()},
                {Folder, msg::isFolder()}, {ReadOnly, msg::logReadOnly()}}.value(kind);
            QVERIFY2(why.isEmpty() ? text.startsWith(msg::cannotOpenFile().arg(path, QString())) : text == msg::cannotOpenFile().arg(path, why),
                     qPrintable(text));
            QCOMPARE(testsupport::englishIn(text), QString());
            QCOMPARE(reliability::shown(m_w), before);
            // The refused file is left as it was, with nothing beside it.
            QCOMPARE(kind == Unreadable && geteuid() != 0 ? bytes : testsupport::fileBytes(path), bytes);
            for (const char *suffix : {"-journal", "-wal", "-shm"})
                QVERIFY2(!QFile::exists(path + QLatin1String(suffix)), suffix);
            // Nor is a file that is none, or none at all, copied: said, and no copy left.
            QString message;
            const QString copy = m_dir.filePath(QStringLiteral("copie.adb"));
            QVERIFY(!(kind == Missing || kind == Folder || kind == Empty || special)
                    || (!logfile::copyLog(path, copy, &message, path, copy) && !message.isEmpty() && !QFile::exists(copy)));
            return;
        }
        QVERIFY(m_prompts.messages.isEmpty());
        // Every row, both ways: a damaged page ends the walk, it never crashes it.
        for (bool more = rs.moveFirst(); more && !rs.eof(); more = rs.moveNext()) {}
        for (bool more = rs.moveLast(); more && !rs.bof(); more = rs.movePrevious()) {}
        // A file that cannot be written is browsed read only (the window's
        // side of it: test_mainwindow's readOnlyLog); it is left as it was.
        if (kind == ReadOnly) {
            QVERIFY(rs.isReadOnly() && !rs.addNew() && !rs.edit() && !rs.deleteCurrent());
            QCOMPARE(testsupport::fileBytes(path), bytes);
            return;
        }
        if (special && !special->column.isEmpty()) {
            const QString text = reliability::shown(m_w)[logfile::columnNames().indexOf(special->column)];
            QVERIFY2(text.startsWith(special->shownStart), qPrintable(text.left(80)));
        }
        // Start a contact (the serial number lookup reads every stored serial): none,
        // and the reason said, once the numbering is full. Damaged files go no
        // further (fuzz_open stores into them, tests/faults refuses stores): it is
        // cancelled. Odd-shaped files take it, then a change of the contact shown.
        m_w.controls().cmdNouveau->click();
        QStringList added;
        if (m_w.controls().cmdNouveau->text() == QLatin1String("&Valider")) {
            const QString serial = m_w.controls().txtNrSequanel->text();
            if (special && serial.toLongLong() > 0)
                (added = reliability::storedFor(8))[1] = serial, reliability::type(m_w, 8);
            (added.isEmpty() ? m_w.controls().cmdSupprimer : m_w.controls().cmdNouveau)->click();
            QVERIFY2(m_prompts.messages.size() == (serial.toLongLong() > 0 ? 0 : 1), qPrintable(serial + m_prompts.messages.value(0).text));
        }
        m_prompts.clear();
        if (!special)
            return;
        m_w.controls().cmdModifier->click();
        reliability::type(m_w, 9);
        m_w.controls().txtNrSequanel->setText(QStringLiteral("9"));
        m_w.controls().cmdModifier->click();
        if (!special->sql.isEmpty()) // refused by the file's own rule, said so, and given up
            m_w.controls().cmdSupprimer->click();
        QCOMPARE(m_prompts.messages.value(0).text, special->sql.isEmpty() ? QString() : msg::contactNotStored() + '\n' + msg::changeRefusedByRule());
        const QVector<testsupport::Row> rows = testsupport::readRows(path);
        const int changed = int(rows.size()) - (added.isEmpty() ? 1 : 2);
        QCOMPARE(reliability::asText(rows.value(changed)) + reliability::asText(rows.value(changed + 1)),
                 reliability::storedFor(special->sql.isEmpty() ? 9 : 3) + added);
    }

private:
    QTemporaryDir m_dir{QStringLiteral("/tmp/sequanel-badfiles-XXXXXX")};
    QString m_good;
    QByteArray m_goodBytes;
    testsupport::PromptRecorder m_prompts;
    frmMain m_w;
    const QVector<Special> m_specials = specials();
};

QTEST_MAIN(TestBadFiles)
#include "tst_badfiles.moc"
