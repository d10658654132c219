// Crash safety: a child stores contacts through the main window's store path
// and is killed with SIGKILL at random moments. After every kill the file
// holds every contact whose store had returned, no partial contact, and
// passes the engine's integrity check.
//
// SEQUANEL_CRASH_KILLS sets the number of kills (200 by default).
#include "Engine.h"
#include "LogFile.h"
#include "Reliability.h"
#include "TestSupport.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>

class TestCrash : public QObject
{
    Q_OBJECT
private slots:
    void killedWriterLosesNothing();
};

void TestCrash::killedWriterLosesNothing()
{
    const int kills = qEnvironmentVariableIsSet("SEQUANEL_CRASH_KILLS")
                          ? qEnvironmentVariableIntValue("SEQUANEL_CRASH_KILLS")
                          : 200;
    QTemporaryDir dir(QStringLiteral("/tmp/sequanel-crash-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("concours.adb"));
    testsupport::makeLogFile(path);
    const QString writer = QCoreApplication::applicationDirPath() + QStringLiteral("/reliability_writer");
    QRandomGenerator rng(20240601);

    int returned = 0;      // highest serial whose store had returned
    int midStore = 0;      // kills that left a committed but unreported contact
    for (int k = 0; k < kills; ++k) {
        QProcess child;
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.start(writer, {QStringLiteral("store"), path});
        QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
        // One kill in ten lands while the window is still starting or
        // opening the file; the others while contacts are being stored.
        if (rng.bounded(10) != 0) {
            QByteArray seen;
            while (!seen.contains("ready\n") && child.state() == QProcess::Running) {
                child.waitForReadyRead(5000);
                seen += child.peek(1 << 20);
            }
        }
        QThread::usleep(rng.bounded(40000));
        ::kill(child.processId(), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        const QByteArray err = child.readAllStandardError();
        QVERIFY2(child.exitStatus() == QProcess::CrashExit, err.constData());

        for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
            bool ok = false;
            const int n = line.toInt(&ok);
            if (ok) {
                QCOMPARE(n, returned + 1);
                returned = n;
            }
        }

        // Reopening rolls back whatever the killed store left half done.
        platform::EngineError e;
        auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, &e);
        QVERIFY2(c, qPrintable(e.text));
        QCOMPARE(c->scalar("PRAGMA integrity_check").toString(), QStringLiteral("ok"));
        const auto rows = testsupport::readRows(path);
        // The contact being stored at the kill may be there (its commit
        // reached the file before the serial was written) or not; nothing else.
        QVERIFY2(rows.size() == returned || rows.size() == returned + 1,
                 qPrintable(QStringLiteral("kill %1: %2 rows, %3 stores returned").arg(k).arg(rows.size()).arg(returned)));
        if (rows.size() == returned + 1) {
            ++midStore;
            ++returned; // the next writer goes on after it
        }
        for (int i = 0; i < rows.size(); ++i)
            QCOMPARE(reliability::asText(rows[i]), reliability::storedFor(i + 1));
    }
    qInfo("%d kills, %d contacts stored, %d kills between commit and report", kills, returned, midStore);
    QVERIFY(returned > kills / 4); // the writer did get work done between kills
}

QTEST_GUILESS_MAIN(TestCrash)
#include "tst_crash.moc"
