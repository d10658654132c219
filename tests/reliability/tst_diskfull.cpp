// Storing when the disk is full or the file can no longer be written: the
// message, the entry kept with everything typed, the file intact, and the
// store going through once the fault is gone. Also names the system cannot
// hold, and odd ones it can.
#include "Engine.h"
#include "Reliability.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

namespace {
enum Fault { FileSizeLimit, FullFileSystem, ImmutableFile, ImmutableFolder };

bool chattr(const QString &flag, const QString &path)
{
    return QProcess::execute(QStringLiteral("chattr"), {flag, path}) == 0;
}
} // namespace

class TestDiskFull : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { std::signal(SIGXFSZ, SIG_IGN); }
    void storeRefusedThenAccepted_data();
    void storeRefusedThenAccepted();
    void oddPaths_data();
    void oddPaths();
};

void TestDiskFull::storeRefusedThenAccepted_data()
{
    QTest::addColumn<int>("fault");
    for (const auto &[name, fault] : {std::pair{"file size limit", FileSizeLimit}, {"full file system", FullFileSystem},
                                      {"file made immutable", ImmutableFile}, {"folder made immutable", ImmutableFolder}})
        QTest::newRow(name) << int(fault);
}

void TestDiskFull::storeRefusedThenAccepted()
{
    QFETCH(int, fault);
    QTemporaryDir dir(QStringLiteral("/tmp/sequanel-full-XXXXXX"));
    const QString folder = dir.filePath(QStringLiteral("disque"));
    QVERIFY(QDir().mkpath(folder));
    const bool ownFs = fault == FullFileSystem;
    if (ownFs && ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=256k") != 0)
        QSKIP("cannot mount a small file system here (not root, or no right to mount)");
    const auto unmount = qScopeGuard([&] {
        if (ownFs)
            ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
    });

    const QString path = folder + QStringLiteral("/concours été.adb");
    testsupport::makeLogFile(path, {testsupport::sampleRow(1), testsupport::sampleRow(2), testsupport::sampleRow(3)});
    const auto before = testsupport::readRows(path);
    QCOMPARE(before.size(), 3);

    testsupport::PromptRecorder prompts;
    frmMain w;
    w.show();
    QVERIFY(w.ChargerFichier(path));
    w.controls().cmdNouveau->click();
    QCOMPARE(w.controls().txtNrSequanel->text(), QStringLiteral("4"));
    reliability::type(w, 4);
    const QStringList typed = reliability::shown(w);

    // The fault.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small{1024, saved.rlim_max};
    const QString filler = folder + QStringLiteral("/remplissage");
    QFile f(filler);
    if (fault == FileSizeLimit)
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    if (fault == FullFileSystem && f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        while (f.write(QByteArray(4096, 'x')) == 4096) {
        }
    if ((fault == ImmutableFile || fault == ImmutableFolder) && !chattr(QStringLiteral("+i"), fault == ImmutableFile ? path : folder))
        QSKIP("chattr +i is not available on this file system");

    prompts.clear();
    w.controls().cmdNouveau->click(); // Valider
    const auto during = testsupport::readRows(path);

    // The fault goes away.
    setrlimit(RLIMIT_FSIZE, &saved);
    f.close();
    QFile::remove(filler);
    chattr(QStringLiteral("-i"), path);
    chattr(QStringLiteral("-i"), folder);

    const QString text = prompts.messages.value(0).text;
    QCOMPARE(prompts.messages.size(), 1);
    QVERIFY2(text.startsWith(QStringLiteral("Le contact n'a pas pu être enregistré dans le fichier.")), qPrintable(text));
    QVERIFY2(testsupport::englishIn(text).isEmpty(), qPrintable(text));
    QCOMPARE(prompts.messages[0].icon, platform::MessageIcon::Critical);
    QCOMPARE(w.controls().cmdNouveau->text(), QStringLiteral("&Valider"));
    QCOMPARE(reliability::shown(w), typed);
    // Read while the fault was there. A file that cannot be written at all
    // keeps the journal of the failed store beside it, which no reader can
    // roll back until the file is writable again: it then reads as nothing
    // rather than half stored.
    if (fault != ImmutableFile || !during.isEmpty())
        QCOMPARE(during, before);
    {
        platform::EngineError e;
        auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, &e);
        QVERIFY2(c, qPrintable(e.text));
        QCOMPARE(c->scalar("PRAGMA integrity_check").toString(), QStringLiteral("ok"));
    }

    // The same entry is stored once there is room again.
    prompts.clear();
    w.controls().cmdNouveau->click();
    QVERIFY2(prompts.messages.isEmpty(), prompts.messages.isEmpty() ? "" : qPrintable(prompts.messages[0].text));
    QCOMPARE(w.controls().cmdNouveau->text(), QStringLiteral("&Nouveau"));
    const auto after = testsupport::readRows(path);
    QCOMPARE(after.size(), 4);
    QCOMPARE(after.mid(0, 3), before);
    QCOMPARE(reliability::asText(after[3]), reliability::storedFor(4));
    w.close();
}

void TestDiskFull::oddPaths_data()
{
    QTest::addColumn<QString>("relative"); // below the test folder
    QTest::addColumn<bool>("usable");      // the system can hold such a file
    QTest::newRow("accents and quotes") << QStringLiteral("Été à l'Île/\"guillemets\" « final » – Noël.adb") << true;
    QTest::newRow("SQL and placeholders") << QStringLiteral("x'); DROP TABLE Transmission;--/%1 ?1 :a @b $c.adb") << true;
    // The longest name leaves room for the engine's "-journal" beside it.
    QTest::newRow("name of 247 bytes") << QStringLiteral("é").repeated(121) + QStringLiteral("e.adb") << true;
    QTest::newRow("name of 248 bytes") << QStringLiteral("n").repeated(244) + QStringLiteral(".adb") << false;
    QTest::newRow("path of 3900 bytes") << (QStringLiteral("d").repeated(240) + QLatin1Char('/')).repeated(16) + QStringLiteral("log.adb") << false;
}

// New over the path, a contact stored, then opened again; or, when the system
// refuses the name, a French message naming the file and nothing changed.
void TestDiskFull::oddPaths()
{
    QFETCH(QString, relative);
    QFETCH(bool, usable);
    QTemporaryDir dir(QStringLiteral("/tmp/sequanel-paths-XXXXXX"));
    const QString path = dir.filePath(relative), previous = dir.filePath(QStringLiteral("précédent.adb"));
    QDir().mkpath(QFileInfo(path).absolutePath());
    testsupport::makeLogFile(previous, {testsupport::sampleRow(1)});
    testsupport::PromptRecorder prompts;
    frmMain w;
    w.show();
    QVERIFY(w.ChargerFichier(previous));
    const QString title = w.windowTitle();
    const QStringList files = QFileInfo(path).dir().entryList(QDir::Files | QDir::Hidden);
    prompts.queuedFiles = {path};
    w.controls().mnuNouveau->trigger();
    if (!usable) {
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY2(prompts.messages[0].text.startsWith(QStringLiteral("Impossible de créer le fichier « %1 »").arg(path)),
                 qPrintable(prompts.messages[0].text));
        QCOMPARE(w.windowTitle(), title);
        QCOMPARE(w.controls().Data1->databaseName(), previous);
        QCOMPARE(QFileInfo(path).dir().entryList(QDir::Files | QDir::Hidden), files);
        return;
    }
    QVERIFY(prompts.messages.isEmpty());
    QCOMPARE(w.controls().Data1->databaseName(), path);
    w.controls().cmdNouveau->click();
    reliability::type(w, 1);
    w.controls().cmdNouveau->click();
    QVERIFY(w.ChargerFichier(previous));
    prompts.queuedFiles = {path};
    w.controls().mnuOuvrir->trigger();
    QVERIFY(prompts.messages.isEmpty());
    QCOMPARE(reliability::shown(w).at(12), QStringLiteral("Saint-Étienne"));
    const auto rows = testsupport::readRows(path);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(reliability::asText(rows[0]), reliability::storedFor(1));
}

QTEST_MAIN(TestDiskFull)
#include "tst_diskfull.moc"
