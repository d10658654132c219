// Stores that go wrong: a writer killed at random moments, and names the
// system cannot hold. Whatever happens, the file keeps every contact whose
// store had returned and no partial one. (A disk that fails under a store:
// tests/faults.)
//
// SEQUANEL_CRASH_KILLS sets the number of kills (200 by default).
#include "Engine.h"
#include "Reliability.h"
#include "TestSupport.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>

namespace {
QString integrity(const QString &path)
{
    platform::EngineError e;
    auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, &e);
    return c ? c->scalar("PRAGMA integrity_check").toString() : e.text;
}
} // namespace

class TestCrash : public QObject
{
    Q_OBJECT
private slots:

    // A child stores contacts through the main window's store path and is killed
    // with SIGKILL; reopening rolls back whatever the killed store left half done.
    void killedWriterLosesNothing()
    {
        const QByteArray setting = qgetenv("SEQUANEL_CRASH_KILLS");
        const int kills = setting.isEmpty() ? 200 : setting.toInt();
        QTemporaryDir dir(QStringLiteral("/tmp/sequanel-crash-XXXXXX"));
        const QString path = dir.filePath(QStringLiteral("concours.adb"));
        testsupport::makeLogFile(path);
        QRandomGenerator rng(20240601);
        int returned = 0; // highest serial whose store had returned
        for (int k = 0; k < kills; ++k) {
            QProcess child;
            child.start(QCoreApplication::applicationDirPath() + QStringLiteral("/reliability_writer"), {path});
            QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
            // One kill in ten lands while the window is still starting or opening
            // the file; the others while contacts are being stored, every other
            // one after a first store has returned (so that, however loaded the
            // machine, the writer gets work done between kills).
            if (rng.bounded(10) != 0) {
                const QRegularExpression awaited(k % 2 ? QStringLiteral("^[1-9]") : QStringLiteral("^ready$"),
                                                 QRegularExpression::MultilineOption);
                while (!awaited.match(QString::fromLatin1(child.peek(1 << 20))).hasMatch() && child.state() == QProcess::Running)
                    child.waitForReadyRead(5000);
            }
            QThread::usleep(rng.bounded(40000));
            ::kill(child.processId(), SIGKILL);
            QVERIFY(child.waitForFinished(10000));
            QVERIFY2(child.exitStatus() == QProcess::CrashExit, child.readAllStandardError().constData());
            for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
                if (line.toInt() > 0) { // a serial; "ready" reads as 0
                    QCOMPARE(line.toInt(), returned + 1);
                    returned = line.toInt();
                }
            }
            QCOMPARE(integrity(path), QStringLiteral("ok"));
            // The contact being stored at the kill may be there (its commit
            // reached the file before the serial was written) or not; nothing else.
            const auto rows = testsupport::readRows(path);
            QVERIFY2(rows.size() == returned || rows.size() == returned + 1,
                     qPrintable(QStringLiteral("kill %1: %2 rows, %3 stores returned").arg(k).arg(rows.size()).arg(returned)));
            returned = rows.size(); // the next writer goes on after it
            for (int i = 0; i < rows.size(); ++i)
                QCOMPARE(reliability::asText(rows[i]), reliability::storedFor(i + 1));
        }
        QVERIFY(returned > kills / 4); // the writer did get work done between kills
    }

    void store_data()
    {
        QTest::addColumn<QString>("relative"); // below the test folder
        QTest::addColumn<bool>("usable");      // the system can hold such a file
        QTest::newRow("accents and quotes") << "Été à l'Île/\"guillemets\" « final » – Noël.adb" << true;
        QTest::newRow("SQL and placeholders") << "x'); DROP TABLE Transmission;--/%1 ?1 :a @b $c.adb" << true;
        // The longest name leaves room for the engine's "-journal" beside it.
        QTest::newRow("name of 247 bytes") << QStringLiteral("é").repeated(121) + QStringLiteral("e.adb") << true;
        QTest::newRow("name of 248 bytes") << QStringLiteral("n").repeated(244) + QStringLiteral(".adb") << false;
        QTest::newRow("path of 3900 bytes") << (QStringLiteral("d").repeated(240) + '/').repeated(16) + QStringLiteral("log.adb") << false;
    }

    // New over the path, then a contact stored and the file opened again; or,
    // when the system refuses the name, a French message naming the file and
    // nothing changed. (Quotes and placeholders in a path stay text.)
    void store()
    {
        QFETCH(QString, relative);
        QFETCH(bool, usable);
        QTemporaryDir dir(QStringLiteral("/tmp/sequanel-store-XXXXXX"));
        const QString path = dir.filePath(relative), previous = dir.filePath(QStringLiteral("précédent.adb"));
        const QString folder = QFileInfo(path).absolutePath();
        QDir().mkpath(folder);
        testsupport::makeLogFile(previous, {testsupport::sampleRow(1)});
        testsupport::PromptRecorder prompts;
        frmMain w;
        QVERIFY(w.ChargerFichier(previous));
        const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        prompts.queuedFiles = {path};
        w.controls().mnuNouveau->trigger();
        if (!usable) {
            QCOMPARE(prompts.messages.size(), 1);
            QVERIFY2(prompts.messages[0].text.startsWith(QStringLiteral("Impossible de créer le fichier « %1 »").arg(path)),
                     qPrintable(prompts.messages[0].text));
            QCOMPARE(w.controls().Data1->databaseName(), previous);
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), files);
            return;
        }
        QVERIFY(prompts.messages.isEmpty());
        w.controls().cmdNouveau->click();
        reliability::type(w, 1);
        w.controls().cmdNouveau->click(); // Valider
        QVERIFY2(prompts.messages.isEmpty(), qPrintable(prompts.messages.value(0).text));
        QVERIFY(w.ChargerFichier(previous) && w.ChargerFichier(path));
        QCOMPARE(reliability::shown(w).at(12), QStringLiteral("Saint-Étienne"));
        const auto rows = testsupport::readRows(path);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(reliability::asText(rows[0]), reliability::storedFor(1));
    }
};

QTEST_MAIN(TestCrash)
#include "tst_crash.moc"
