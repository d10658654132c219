// Bad files given to the open path: the Open command of the main window
// (ChargerFichier) and record sources opened read-write and read-only. Each
// file is either shown safely, with only the changes the rules accept
// written, or refused with a French message while the previous log stays bound.
// A few seeded damaged files of each kind run here; SEQUANEL_FUZZ_CORPUS=<folder>
// writes a long run of them there instead, as a starting corpus for fuzz_open.
#include "Engine.h"
#include "LogFile.h"
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

namespace {

// (missing, folder, read-only and plainly foreign files: tests/entry)
enum Kind { Empty, Truncated, RandomBytes, HeaderThenRandom, Flipped, FlippedHeader, TruncatedFlipped, Shape, Immutable,
            Unreadable, Locked };

// The column definitions of the table Transmission as the program makes it.
QStringList standard()
{
    QStringList defs;
    for (const ColumnDef &c : logfile::transmission().columns)
        defs << platform::quoteIdentifier(c.name) + QLatin1Char(' ') + platform::declaredType(c);
    return defs;
}

struct Special {
    QString name;
    bool opens;
    std::function<void(QStringList &)> shape; // edits the standard column definitions
    QString sql = {};        // run after the table is made
    QString column = {};     // a column of contact 4 whose stored value breaks the rules
    QVariant value = {};
    QString shownStart = {}; // what its control shows, at least at the start
    bool storeWorks = true;
};

// A database written by another tool: the table Transmission as the special
// shapes it (no definitions: no such table), holding three good contacts and,
// when it names a column, contact 4 with the value in that column.
void writeOther(const QString &path, const Special &s)
{
    QStringList defs = standard(), names, marks;
    s.shape(defs);
    QVERIFY(testsupport::rawExec(path, QStringLiteral("CREATE TABLE Autre (x)")));
    if (!defs.isEmpty())
        QVERIFY(testsupport::rawExec(path, QStringLiteral("CREATE TABLE Transmission (%1)").arg(defs.join(','))));
    if (!s.sql.isEmpty())
        QVERIFY(testsupport::rawExec(path, s.sql));
    for (const QString &d : defs)
        if (logfile::columnNames().contains(d.section(QLatin1Char('"'), 1, 1)))
            names << d.section(QLatin1Char('"'), 1, 1);
    for (int n = 1; !defs.isEmpty() && n <= (s.column.isEmpty() ? 3 : 4); ++n) {
        QVariantList row;
        for (const QString &name : names)
            row << (n == 4 && name == s.column ? s.value : QVariant(reliability::storedFor(n)[logfile::columnNames().indexOf(name)]));
        QVERIFY(testsupport::rawExec(path, QStringLiteral("INSERT INTO Transmission (\"%1\") VALUES (?%2)")
                                               .arg(names.join(QStringLiteral("\",\"")), QStringLiteral(",?").repeated(names.size() - 1)), row));
    }
}

QVector<Special> specials()
{
    const QStringList names = logfile::columnNames();
    const auto keep = [](QStringList &) {};
    const auto none = [](QStringList &d) { d.clear(); };
    QVector<Special> out{
        {"a view named Transmission", false, none, "CREATE VIEW Transmission AS SELECT 1 AS Date"},
        {"without rowid", false, none, "CREATE TABLE Transmission (" + standard().join(',') + ", PRIMARY KEY(\"Date\")) WITHOUT ROWID"},
        {"extra column first", true, [](QStringList &d) { d.prepend(QStringLiteral("Remarque VARCHAR(50)")); }},
        {"extra column last", true, [](QStringList &d) { d.append(QStringLiteral("Remarque INTEGER")); }},
        {"columns reversed", true, [](QStringList &d) { std::reverse(d.begin(), d.end()); }},
        {"numbers declared as INTEGER", true, [](QStringList &d) { d.replaceInStrings(QStringLiteral("SMALLINT"), QStringLiteral("INTEGER")); }},
        {"a trigger refuses every change", true, keep,
         "CREATE TRIGGER non BEFORE UPDATE ON Transmission BEGIN SELECT RAISE(ABORT, 'interdit'); END", {}, {}, {}, false}};
    for (int i : {0, 1, 10, 15}) { // first, the serial, a name beyond ASCII, last
        out << Special{"missing column " + names[i], false, [i](QStringList &d) { d.removeAt(i); }};
        out << Special{"renamed column " + names[i], false, [i](QStringList &d) { d[i].replace(QStringLiteral("\" "), QStringLiteral("_ancien\" ")); }};
    }
    // Values written by another tool that break the column rules; the row is
    // the last one, so it is the one shown after the opening.
    const QString longText = QStringLiteral("x").repeated(300);
    const struct { const char *column; QVariant value; QString shown; } rules[] = {
        {"Ville", longText, longText}, {"Qrz1", QByteArray("ab\xff\xfe\xc3(\x80z", 8), "ab"}, {"Opérateur", QStringLiteral("東京"), "東京"},
        {"Mhertz", "abc", "abc"}, {"N°", 99999, "99999"}, {"Hertz", 3.5, "3.5"},
        {"Préfixe", Q_INT64_C(9223372036854775807), "9223372036854775807"}, {"Date", "demain matin", "demain matin"},
        {"Date", "2024-13-45 25:61:00", "2024-13-45 25:61:00"}, {"Date", 45123.5, "45123.5"},
        {"Sequanel", "9223372036854775807", "9223372036854775807"}, {"Sequanel", "99999999999999999999999", "99999999999999999999999"},
        {"Sequanel", "1e300", "1e300"}, {"Date", QVariant(), ""}};
    for (const auto &r : rules)
        out << Special{QStringLiteral("%1 = %2").arg(QString::fromUtf8(r.column), r.value.toString().left(24)), true, keep, {},
                       QString::fromUtf8(r.column), r.value, r.shown};
    return out;
}

// The good file damaged the way kind says, with param as the seed.
QByteArray damaged(QByteArray bytes, Kind kind, int param)
{
    QRandomGenerator rng(kind * 100003u + param);
    auto flip = [&](int count, int span) {
        for (int i = 0; i < count; ++i)
            bytes[rng.bounded(span)] = char(bytes[rng.bounded(span)] ^ (1 << rng.bounded(8)));
    };
    switch (kind) {
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
    case Empty: bytes.clear(); break;
    default: break;
    }
    return bytes;
}

const struct { Kind kind; const char *name; } kRandom[] = {{Truncated, "truncated"}, {RandomBytes, "random bytes"},
    {HeaderThenRandom, "header then random"}, {Flipped, "flipped bytes"}, {FlippedHeader, "flipped header bytes"},
    {TruncatedFlipped, "truncated and flipped"}};

} // namespace

class TestBadFiles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void openBadFile_data();
    void openBadFile();
    void writeCorpus();

private:
    void openThroughWindow(const QString &path, Kind kind, const Special *special);
    void openThroughSource(const QString &path, bool readOnly, bool sound);
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
    testsupport::PromptRecorder m_prompts;
    frmMain m_w;
    const QVector<Special> m_specials = specials();
};

void TestBadFiles::initTestCase()
{
    m_good = m_dir.filePath(QStringLiteral("bon.adb"));
    writeOther(m_good, Special{{}, true, [](QStringList &) {}});
    QFile f(m_good);
    QVERIFY(f.open(QIODevice::ReadOnly));
    m_goodBytes = f.readAll();
    m_w.show();
    QVERIFY(m_w.ChargerFichier(m_good));
}

void TestBadFiles::openBadFile_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("param");
    auto add = [](const QString &name, Kind k, int p) { QTest::newRow(qPrintable(name)) << int(k) << p; };
    for (const auto &[name, kind] : {std::pair{"empty", Empty}, {"immutable", Immutable}, {"unreadable", Unreadable},
                                     {"locked by another process", Locked}})
        add(QString::fromLatin1(name), kind, 0);
    for (int i = 0; i < m_specials.size(); ++i)
        add(m_specials[i].name, Shape, i);
    for (const auto &r : kRandom)
        for (int i = 0; i < 5; ++i)
            add(QStringLiteral("%1 #%2").arg(QLatin1String(r.name)).arg(i), r.kind, i);
}

void TestBadFiles::writeCorpus()
{
    const QString folder = qEnvironmentVariable("SEQUANEL_FUZZ_CORPUS");
    if (folder.isEmpty())
        QSKIP("SEQUANEL_FUZZ_CORPUS names no folder to write the damaged files to");
    QVERIFY(QDir().mkpath(folder));
    for (const auto &r : kRandom)
        for (int i = 0; i < 200; ++i) {
            QFile f(QDir(folder).filePath(QStringLiteral("%1-%2.adb").arg(int(r.kind)).arg(i)));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(damaged(m_goodBytes, r.kind, i)) >= 0);
        }
}

void TestBadFiles::openBadFile()
{
    QFETCH(int, kind);
    QFETCH(int, param);
    const QString path = m_dir.filePath(QStringLiteral("mauvais %1-%2.adb").arg(kind).arg(param));
    const QByteArray bytes = damaged(m_goodBytes, Kind(kind), param);
    const Special *special = kind == Shape ? &m_specials[param] : nullptr;
    std::unique_ptr<QProcess> locker;
    QFile f(path);
    if (special)
        writeOther(path, *special);
    else
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    f.close();
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
    openThroughSource(path, false, special);
    openThroughSource(path, true, special);

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
    frmMain &w = m_w;
    const QString title = w.windowTitle();
    const QStringList before = reliability::shown(w);
    m_prompts.clear();
    m_prompts.queuedFiles = {path};
    asUser([&] { w.controls().mnuOuvrir->trigger(); });
    if (!m_prompts.messages.isEmpty()) {
        QVERIFY2(!special || !special->opens, "a usable file was refused");
        const QString text = m_prompts.messages[0].text;
        QCOMPARE(m_prompts.messages.size(), 1);
        QCOMPARE(m_prompts.messages[0].icon, platform::MessageIcon::Critical);
        QVERIFY2(text.startsWith(QStringLiteral("Impossible d'ouvrir le fichier « %1 ».").arg(path)), qPrintable(text));
        QCOMPARE(testsupport::englishIn(text), QString());
        QVERIFY2(kind != Locked || text.contains(QStringLiteral("verrouillé")), qPrintable(text));
        QVERIFY2(kind != Unreadable || text.contains(QStringLiteral("droit de lire")), qPrintable(text));
        QCOMPARE(w.windowTitle(), title);
        QCOMPARE(reliability::shown(w), before);
        QCOMPARE(w.controls().Data1->databaseName(), m_good);
        QVERIFY(w.controls().Data1->isOpen());
        return;
    }
    QVERIFY2(!special || special->opens, "a file that breaks the table's shape was opened");
    QVERIFY2(kind != Empty && kind != Locked && kind != Unreadable, "this file must be refused");
    QVERIFY(w.windowTitle().endsWith(path.right(24) + QLatin1Char(']')));
    if (special && !special->column.isEmpty()) {
        const int i = logfile::columnNames().indexOf(special->column);
        const QString text = reliability::shown(w)[i];
        QVERIFY2(text.startsWith(special->shownStart), qPrintable(text.left(80)));
    }
    // Opened on the last contact: a walk to the first and back comes to it
    // again, through every row of a sound file.
    const QStringList atOpening = reliability::shown(w);
    int back = 0, forth = 0;
    for (; back < 100 && w.controls().cmdPrécédent->isEnabled(); ++back)
        w.controls().cmdPrécédent->click();
    for (; forth < 100 && w.controls().cmdSuivant->isEnabled(); ++forth)
        w.controls().cmdSuivant->click();
    QCOMPARE(forth, back);
    QCOMPARE(reliability::shown(w), atOpening);
    if (special)
        QCOMPARE(forth, testsupport::readRows(path).size()); // (one step past each end)
    // Start a contact (the serial number lookup reads every stored serial) and cancel it.
    w.controls().cmdNouveau->click();
    if (w.controls().cmdNouveau->text() == QLatin1String("&Valider")) {
        // (none, and the reason said, once the numbering is full)
        QVERIFY2(w.controls().txtNrSequanel->text().toLongLong() > 0 || m_prompts.messages.size() == 1, qPrintable(w.controls().txtNrSequanel->text()));
        w.controls().cmdSupprimer->click();
    }
    m_prompts.clear();

    if (w.controls().cmdModifier->isEnabled()) {
        // A change the rules accept is written, or, in a damaged file or one
        // whose trigger refuses it, refused with a message and kept on screen.
        w.controls().cmdModifier->click();
        w.controls().txtNrSequanel->setText(QStringLiteral("9"));
        reliability::type(w, 9);
        w.controls().cmdModifier->click();
        const bool stored = w.controls().cmdModifier->text() == QLatin1String("&Modifier");
        QVERIFY(!special || stored == special->storeWorks);
        QCOMPARE(m_prompts.messages.size(), stored ? 0 : 1);
        if (stored && special) {
            const auto rows = testsupport::readRows(path);
            QCOMPARE(reliability::asText(rows.value(rows.size() - 1)), reliability::storedFor(9));
        } else if (!stored) {
            QVERIFY(m_prompts.messages[0].text.startsWith(QStringLiteral("Le contact n'a pas pu être enregistré")));
            QCOMPARE(testsupport::englishIn(m_prompts.messages[0].text), QString());
            QCOMPARE(w.controls().txtVille->text(), QStringLiteral("Saint-Étienne"));
            w.controls().cmdSupprimer->click();
        }
    }
    if (special)
        QCOMPARE(platform::Connection::open(path, platform::OpenMode::ReadOnly, nullptr)
                     ->scalar("PRAGMA integrity_check").toString(), QStringLiteral("ok"));
    // Back to the good log for the next case.
    m_prompts.clear();
    QVERIFY(w.ChargerFichier(m_good));
}

// A record source bound to the good file is asked to open the bad one.
void TestBadFiles::openThroughSource(const QString &path, bool readOnly, bool sound)
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
    int forth = 0, back = 0;
    for (bool more = rs.moveFirst(); more && !rs.eof() && forth < 10000; more = rs.moveNext())
        ++forth;
    for (bool more = rs.moveLast(); more && !rs.bof() && back < 10000; more = rs.movePrevious())
        ++back;
    // (a damaged file may count rows it cannot read)
    QCOMPARE(back, forth);
    if (sound)
        QCOMPARE(rs.recordCount(), forth);
}

QTEST_MAIN(TestBadFiles)
#include "tst_badfiles.moc"
