// Bad files given to the open path: the Open command of the main window
// (ChargerFichier) and record sources opened read-write and read-only. Each
// file is either shown safely, with only the changes the rules accept
// written, or refused with a French message while the previous log stays bound.
#include "Engine.h"
#include "LogFile.h"
#include "Regional.h"
#include "Reliability.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <unistd.h>

using platform::ColumnDef;
using platform::ColumnType;

namespace {

enum Kind { Missing, Empty, Folder, Truncated, RandomBytes, HeaderThenRandom, Flipped, FlippedHeader,
            TruncatedFlipped, Shape, ReadOnlyBits, Immutable, Unreadable, Locked };

// A database written by another tool: the table Transmission as columns
// defines it (or as sql creates it), holding three good contacts and then
// the row `last`, bound value by value.
void writeOther(const QString &path, const QVector<ColumnDef> &columns, const QStringList &sql = {},
                const QVariantList &last = {})
{
    QVERIFY(platform::Connection::create(path, platform::TableDef{QStringLiteral("Autre"), {ColumnDef{QStringLiteral("x")}}}, nullptr));
    platform::EngineError e;
    auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, &e);
    QVERIFY(c);
    QStringList defs, names, marks;
    for (const ColumnDef &col : columns) {
        defs << platform::quoteIdentifier(col.name) + QLatin1Char(' ')
                    + (col.type == ColumnType::Other ? QStringLiteral("INTEGER") : platform::declaredType(col));
        names << platform::quoteIdentifier(col.name);
        marks << QStringLiteral("?%1").arg(marks.size() + 1);
    }
    if (!columns.isEmpty())
        QVERIFY(testsupport::rawExec(path, QStringLiteral("CREATE TABLE Transmission (%1)").arg(defs.join(','))));
    for (const QString &s : sql)
        QVERIFY(testsupport::rawExec(path, s));
    if (columns.isEmpty())
        return;
    const QString insert = QStringLiteral("INSERT INTO Transmission (%1) VALUES (%2)").arg(names.join(','), marks.join(','));
    const QStringList std = logfile::columnNames();
    QVector<QVariantList> rows;
    for (int n = 1; n <= 3; ++n) {
        QVariantList r;
        const QStringList s = reliability::storedFor(n);
        for (const ColumnDef &col : columns)
            r << (std.indexOf(col.name) >= 0 ? QVariant(s[std.indexOf(col.name)]) : QVariant(QStringLiteral("extra")));
        rows << r;
    }
    if (!last.isEmpty())
        rows << last;
    for (const QVariantList &r : rows)
        QVERIFY(testsupport::rawExec(path, insert, r));
}

QVector<ColumnDef> standard() { return logfile::transmission().columns; }

struct Special {
    QString name;
    std::function<void(const QString &)> make;
    bool opens;
    QString column;     // a column whose stored value breaks the rules
    QString shownStart; // what its control shows, at least at the start
    bool storeWorks = true;
};

QVector<Special> specials()
{
    QVector<Special> out;
    const QStringList names = logfile::columnNames();
    // Shapes.
    out << Special{QStringLiteral("no Transmission"), [](const QString &p) { writeOther(p, {}); }, false, {}, {}};
    out << Special{QStringLiteral("a view named Transmission"),
                   [](const QString &p) { writeOther(p, {}, {QStringLiteral("CREATE VIEW Transmission AS SELECT 1 AS Date")}); }, false, {}, {}};
    out << Special{QStringLiteral("without rowid"), [](const QString &p) {
                       QStringList defs;
                       for (const ColumnDef &c : standard())
                           defs << platform::quoteIdentifier(c.name) + QLatin1Char(' ') + platform::declaredType(c);
                       writeOther(p, {}, {QStringLiteral("CREATE TABLE Transmission (%1, PRIMARY KEY(\"Date\")) WITHOUT ROWID").arg(defs.join(','))});
                   }, false, {}, {}};
    for (int i = 0; i < names.size(); ++i) {
        out << Special{QStringLiteral("missing column %1").arg(names[i]), [i](const QString &p) {
                           auto cols = standard();
                           cols.remove(i);
                           writeOther(p, cols);
                       }, false, {}, {}};
        out << Special{QStringLiteral("renamed column %1").arg(names[i]), [i](const QString &p) {
                           auto cols = standard();
                           cols[i].name += QStringLiteral("_ancien");
                           writeOther(p, cols);
                       }, false, {}, {}};
    }
    out << Special{QStringLiteral("extra column first"), [](const QString &p) {
                       auto cols = standard();
                       cols.prepend(ColumnDef{QStringLiteral("Remarque"), ColumnType::Text, 50});
                       writeOther(p, cols);
                   }, true, {}, {}};
    out << Special{QStringLiteral("extra column last"), [](const QString &p) {
                       auto cols = standard();
                       cols.append(ColumnDef{QStringLiteral("Remarque"), ColumnType::Other, 0});
                       writeOther(p, cols);
                   }, true, {}, {}};
    out << Special{QStringLiteral("columns reversed"), [](const QString &p) {
                       auto cols = standard();
                       std::reverse(cols.begin(), cols.end());
                       writeOther(p, cols);
                   }, true, {}, {}};
    out << Special{QStringLiteral("numbers declared as INTEGER"), [](const QString &p) {
                       auto cols = standard();
                       for (ColumnDef &c : cols)
                           if (c.type == ColumnType::SmallInt)
                               c.type = ColumnType::Other;
                       writeOther(p, cols);
                   }, true, {}, {}};
    out << Special{QStringLiteral("a trigger refuses every change"), [](const QString &p) {
                       writeOther(p, standard(), {QStringLiteral("CREATE TRIGGER non BEFORE UPDATE ON Transmission BEGIN SELECT RAISE(ABORT, 'interdit'); END")});
                   }, true, {}, {}, false};
    // Values written by another tool that break the column rules; the row is
    // the last one, so it is the one shown after the opening.
    auto rule = [&](const QString &name, const QString &column, const QVariant &value, const QString &shown) {
        out << Special{name, [column, value](const QString &p) {
                           QVariantList last;
                           const QStringList s = reliability::storedFor(4);
                           for (int i = 0; i < s.size(); ++i)
                               last << (logfile::columnNames()[i] == column ? value : QVariant(s[i]));
                           writeOther(p, standard(), {}, last);
                       }, true, column, shown};
    };
    for (const ColumnDef &c : standard()) {
        if (c.type == ColumnType::Text) {
            const QString longText = QStringLiteral("x").repeated(300);
            rule(QStringLiteral("overlong %1").arg(c.name), c.name, longText, longText);
            rule(QStringLiteral("invalid UTF-8 in %1").arg(c.name), c.name, QByteArray("ab\xff\xfe\xc3(\x80z", 8), QStringLiteral("ab"));
            rule(QStringLiteral("outside Windows-1252 in %1").arg(c.name), c.name, QStringLiteral("東京"), QStringLiteral("東京"));
        } else if (c.type == ColumnType::SmallInt) {
            rule(QStringLiteral("text in %1").arg(c.name), c.name, QStringLiteral("abc"), QStringLiteral("abc"));
            rule(QStringLiteral("out of range in %1").arg(c.name), c.name, 99999, QStringLiteral("99999"));
            rule(QStringLiteral("fraction in %1").arg(c.name), c.name, 3.5, QStringLiteral("3.5"));
            rule(QStringLiteral("huge in %1").arg(c.name), c.name, Q_INT64_C(9223372036854775807), QStringLiteral("9223372036854775807"));
        }
    }
    rule(QStringLiteral("Date not a date"), QStringLiteral("Date"), QStringLiteral("demain matin"), QStringLiteral("demain matin"));
    rule(QStringLiteral("Date impossible"), QStringLiteral("Date"), QStringLiteral("2024-13-45 25:61:00"), QStringLiteral("2024-13-45 25:61:00"));
    rule(QStringLiteral("Date as a number"), QStringLiteral("Date"), 45123.5, QStringLiteral("45123.5"));
    rule(QStringLiteral("huge serial"), QStringLiteral("Sequanel"), QStringLiteral("9223372036854775807"), QStringLiteral("9223372036854775807"));
    rule(QStringLiteral("serial past 64 bits"), QStringLiteral("Sequanel"), QStringLiteral("99999999999999999999999"), QStringLiteral("99999999999999999999999"));
    rule(QStringLiteral("serial 1e300"), QStringLiteral("Sequanel"), QStringLiteral("1e300"), QStringLiteral("1e300"));
    rule(QStringLiteral("empty row"), QStringLiteral("Date"), QVariant(), QString());
    return out;
}

} // namespace

class TestBadFiles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void openBadFile_data();
    void openBadFile();

private:
    void openThroughWindow(const QString &path, Kind kind, const Special *special);
    void openThroughSource(const QString &path, bool readOnly);
    // Runs f under another user id when the case asks for it.
    template<typename F> void asUser(F f)
    {
        // (real and effective ids both: access() checks the real one)
        if (m_otherUser)
            QVERIFY(setresuid(65534, 65534, 0) == 0);
        f();
        if (m_otherUser)
            QVERIFY(setresuid(0, 0, 0) == 0);
    }
    bool m_otherUser = false;

    QTemporaryDir m_dir{QStringLiteral("/tmp/sequanel-badfiles-XXXXXX")};
    QString m_good;
    QByteArray m_goodBytes;
    std::unique_ptr<testsupport::PromptRecorder> m_prompts;
    std::unique_ptr<frmMain> m_w;
    QVector<Special> m_specials;
    int m_opened = 0, m_refused = 0;
};

void TestBadFiles::initTestCase()
{
    m_specials = specials();
    m_good = m_dir.filePath(QStringLiteral("bon.adb"));
    writeOther(m_good, standard());
    QFile f(m_good);
    QVERIFY(f.open(QIODevice::ReadOnly));
    m_goodBytes = f.readAll();
    m_prompts = std::make_unique<testsupport::PromptRecorder>();
    m_w = std::make_unique<frmMain>();
    m_w->show();
    QVERIFY(m_w->ChargerFichier(m_good));
}

void TestBadFiles::cleanupTestCase()
{
    m_w.reset();
    m_prompts.reset();
    qInfo("%d bad files opened and shown, %d refused", m_opened, m_refused);
}

void TestBadFiles::openBadFile_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("param");
    auto add = [](const QString &name, Kind k, int p) { QTest::newRow(qPrintable(name)) << int(k) << p; };
    add(QStringLiteral("missing"), Missing, 0);
    add(QStringLiteral("empty"), Empty, 0);
    add(QStringLiteral("folder"), Folder, 0);
    add(QStringLiteral("read-only bits"), ReadOnlyBits, 0);
    add(QStringLiteral("immutable"), Immutable, 0);
    add(QStringLiteral("unreadable"), Unreadable, 0);
    add(QStringLiteral("locked by another process"), Locked, 0);
    const QVector<Special> s = specials();
    for (int i = 0; i < s.size(); ++i)
        add(s[i].name, Shape, i);
    const struct { Kind kind; const char *name; int count; } random[] = {
        {Truncated, "truncated", 180}, {RandomBytes, "random bytes", 100}, {HeaderThenRandom, "header then random", 120},
        {Flipped, "flipped bytes", 380}, {FlippedHeader, "flipped header bytes", 60}, {TruncatedFlipped, "truncated and flipped", 60}};
    for (const auto &r : random)
        for (int i = 0; i < r.count; ++i)
            add(QStringLiteral("%1 #%2").arg(QLatin1String(r.name)).arg(i), r.kind, i);
}

void TestBadFiles::openBadFile()
{
    QFETCH(int, kind);
    QFETCH(int, param);
    const QString path = m_dir.filePath(QStringLiteral("mauvais %1-%2.adb").arg(kind).arg(param));
    QRandomGenerator rng(kind * 100003u + param);
    QByteArray bytes = m_goodBytes;
    auto flip = [&](int count, int span) {
        for (int i = 0; i < count; ++i)
            bytes[rng.bounded(span)] = char(bytes[rng.bounded(span)] ^ (1 << rng.bounded(8)));
    };
    const Special *special = nullptr;
    std::unique_ptr<QProcess> locker;
    switch (Kind(kind)) {
    case Missing: break;
    case Empty: bytes.clear(); break;
    case Folder: QVERIFY(QDir().mkpath(path)); break;
    case Truncated: bytes.truncate(rng.bounded(bytes.size())); break;
    case RandomBytes:
        bytes.resize(1 + rng.bounded(9000));
        for (char &b : bytes)
            b = char(rng.bounded(256));
        break;
    case HeaderThenRandom:
        for (int i = 100 + rng.bounded(bytes.size() - 100); i < bytes.size(); ++i)
            bytes[i] = char(rng.bounded(256));
        break;
    case Flipped: flip(1 + rng.bounded(16), bytes.size()); break;
    case FlippedHeader: flip(1 + rng.bounded(3), 100); break;
    case TruncatedFlipped:
        flip(1 + rng.bounded(8), bytes.size());
        bytes.truncate(512 + rng.bounded(bytes.size() - 512));
        break;
    case Shape:
        special = &m_specials[param];
        special->make(path);
        break;
    default: break;
    }
    if (kind != Missing && kind != Folder && !special) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    if (kind == ReadOnlyBits)
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (kind == Immutable && QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) != 0)
        QSKIP("chattr +i is not available on this file system");
    if (kind == Unreadable) {
        // Permission bits do not stop root: the file is opened under another
        // user id, which the bits do stop.
        QFile::setPermissions(path, {});
        QFile::setPermissions(m_dir.path(), QFileDevice::Permissions(0x7755));
        m_otherUser = geteuid() == 0;
    }
    if (kind == Locked) {
        locker = std::make_unique<QProcess>();
        locker->start(QCoreApplication::applicationDirPath() + QStringLiteral("/reliability_writer"),
                      {QStringLiteral("lock"), path});
        QVERIFY(locker->waitForReadyRead(10000));
        QCOMPARE(locker->readLine(), QByteArray("locked\n"));
    }

    openThroughWindow(path, Kind(kind), special);
    openThroughSource(path, false);
    openThroughSource(path, true);

    m_otherUser = false;
    if (locker) {
        locker->closeWriteChannel();
        locker->waitForFinished();
    }
    if (kind == Immutable)
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
}

// The Open command of the main window over the bad file.
void TestBadFiles::openThroughWindow(const QString &path, Kind kind, const Special *special)
{
    frmMain &w = *m_w;
    const QString title = w.windowTitle();
    const QStringList before = reliability::shown(w);
    m_prompts->clear();
    m_prompts->queuedFiles = {path};
    asUser([&] { w.mnuOuvrir_Click(); });
    if (!m_prompts->messages.isEmpty()) {
        ++m_refused;
        QVERIFY2(!special || !special->opens, "a usable file was refused");
        QCOMPARE(m_prompts->messages.size(), 1);
        QCOMPARE(m_prompts->messages[0].icon, platform::MessageIcon::Critical);
        QVERIFY2(m_prompts->messages[0].text.startsWith(QStringLiteral("Impossible d'ouvrir le fichier « %1 ».").arg(path)),
                 qPrintable(m_prompts->messages[0].text));
        QCOMPARE(testsupport::englishIn(m_prompts->messages[0].text), QString());
        if (kind == Locked)
            QVERIFY2(m_prompts->messages[0].text.contains(QStringLiteral("verrouillé")), qPrintable(m_prompts->messages[0].text));
        if (kind == Unreadable)
            QVERIFY2(m_prompts->messages[0].text.contains(QStringLiteral("droit de lire")), qPrintable(m_prompts->messages[0].text));
        QCOMPARE(w.windowTitle(), title);
        QCOMPARE(reliability::shown(w), before);
        QCOMPARE(w.Data1->databaseName(), m_good);
        QVERIFY(w.Data1->isOpen());
        return;
    }
    ++m_opened;
    QVERIFY2(!special || special->opens, "a file that breaks the table's shape was opened");
    QVERIFY2(kind != Missing && kind != Folder && kind != Empty && kind != Locked && kind != Unreadable,
             "this file must be refused");
    QVERIFY(w.windowTitle().endsWith(path.right(24) + QLatin1Char(']')));
    if (special && !special->column.isEmpty()) {
        const int i = logfile::columnNames().indexOf(special->column);
        const QString text = reliability::shown(w)[i];
        QVERIFY2(text.startsWith(special->shownStart), qPrintable(text.left(80)));
    }
    // Walk through every contact with the buttons, both ways.
    for (QPushButton *b : {w.cmdPrécédent, w.cmdSuivant})
        for (int i = 0; i < 100 && b->isEnabled(); ++i)
            b->click();
    // Start a contact (the serial number lookup reads every stored serial) and cancel it.
    w.cmdNouveau->click();
    if (w.cmdNouveau->text() == QLatin1String("&Valider")) {
        // (none, and the reason said, once the numbering is full)
        QVERIFY2(w.txtNrSequanel->text().toLongLong() > 0 || m_prompts->messages.size() == 1, qPrintable(w.txtNrSequanel->text()));
        w.cmdSupprimer->click();
    }
    m_prompts->clear();

    const bool clean = special != nullptr;
    if (w.cmdModifier->isEnabled()) {
        // A change the rules accept is written...
        w.cmdModifier->click();
        w.txtDateHeure->setText(platform::formatDateTime(reliability::momentOf(9)));
        w.txtNrSequanel->setText(QStringLiteral("9"));
        reliability::type(w, reliability::typedFor(9));
        w.cmdModifier->click();
        const bool stored = w.cmdModifier->text() == QLatin1String("&Modifier");
        if (clean && special->storeWorks) {
            QVERIFY2(stored && m_prompts->messages.isEmpty(), qPrintable(special->name));
            const auto rows = testsupport::readRows(path);
            QVERIFY(!rows.isEmpty());
            QCOMPARE(reliability::asText(rows.last()), reliability::storedFor(9));
        } else if (clean) {
            QVERIFY(!stored);
        }
        if (!stored) {
            // ...or, in a damaged file, refused with a message and kept.
            QCOMPARE(m_prompts->messages.size(), 1);
            QVERIFY(m_prompts->messages[0].text.startsWith(QStringLiteral("Le contact n'a pas pu être enregistré")));
            QCOMPARE(testsupport::englishIn(m_prompts->messages[0].text), QString());
            QCOMPARE(w.txtVille->text(), QStringLiteral("Saint-Étienne"));
            w.cmdSupprimer->click();
        }
        // A change the rules refuse is not.
        m_prompts->clear();
        if (w.cmdModifier->isEnabled()) {
            const auto rowsBefore = clean ? testsupport::readRows(path) : QVector<testsupport::Row>();
            w.cmdModifier->click();
            w.txtRST->setText(QStringLiteral("123456"));
            w.cmdModifier->click();
            QCOMPARE(w.cmdModifier->text(), QStringLiteral("&Valider"));
            QCOMPARE(m_prompts->messages.size(), 1);
            // (a damaged row shown as it is fails the entry checks first)
            QVERIFY(m_prompts->messages[0].text.contains(QStringLiteral("trop long"))
                    || (!clean && m_prompts->messages[0].text.contains(QStringLiteral("comforme"))));
            w.cmdSupprimer->click();
            if (clean)
                QCOMPARE(testsupport::readRows(path), rowsBefore);
        }
    }
    if (clean)
        QCOMPARE(platform::Connection::open(path, platform::OpenMode::ReadOnly, nullptr)
                     ->scalar("PRAGMA integrity_check").toString(), QStringLiteral("ok"));
    // Back to the good log for the next case.
    m_prompts->clear();
    QVERIFY(w.ChargerFichier(m_good));
}

// A record source bound to the good file is asked to open the bad one.
void TestBadFiles::openThroughSource(const QString &path, bool readOnly)
{
    platform::RecordSource rs;
    logfile::configure(rs, m_good);
    rs.setReadOnly(readOnly);
    QVERIFY(rs.refresh());
    rs.moveLast();
    const QVariantList goodRow = rs.currentRow();
    rs.setDatabaseName(path);
    bool opened = false;
    asUser([&] { opened = rs.refresh(); });
    if (!opened) {
        QVERIFY(rs.error().isSet());
        QCOMPARE(rs.databaseName(), m_good);
        QVERIFY(rs.isOpen());
        QCOMPARE(rs.currentRow(), goodRow);
        QVERIFY(!logfile::openFailureMessage(rs.error(), path).isEmpty());
        return;
    }
    int n = 0;
    for (bool more = rs.moveFirst(); more && !rs.eof() && n < 10000; more = rs.moveNext())
        ++n;
    rs.recordCount();
    for (bool more = rs.moveLast(); more && !rs.bof() && n > -10000; more = rs.movePrevious())
        --n;
}

QTEST_MAIN(TestBadFiles)
#include "tst_badfiles.moc"
