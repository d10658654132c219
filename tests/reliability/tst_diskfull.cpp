// Storing when the disk is full or the file can no longer be written: the
// message, the entry kept with everything typed, the file intact, and the
// store going through once the fault is gone.
#include "Engine.h"
#include "Regional.h"
#include "Reliability.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
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
};

void TestDiskFull::storeRefusedThenAccepted_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("file size limit") << int(FileSizeLimit);
    QTest::newRow("full file system") << int(FullFileSystem);
    QTest::newRow("file made immutable") << int(ImmutableFile);
    QTest::newRow("folder made immutable") << int(ImmutableFolder);
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
    struct Unmount {
        QString dir;
        ~Unmount()
        {
            if (!dir.isEmpty())
                ::umount2(QFile::encodeName(dir).constData(), MNT_DETACH);
        }
    } unmount{ownFs ? folder : QString()};

    const QString path = folder + QStringLiteral("/concours été.adb");
    testsupport::makeLogFile(path, {testsupport::sampleRow(1), testsupport::sampleRow(2), testsupport::sampleRow(3)});
    const auto before = testsupport::readRows(path);
    QCOMPARE(before.size(), 3);

    testsupport::PromptRecorder prompts;
    frmMain w;
    w.show();
    QVERIFY(w.ChargerFichier(path));
    w.cmdNouveau_Click();
    QCOMPARE(w.txtNrSequanel->text(), QStringLiteral("4"));
    w.txtDateHeure->setText(platform::formatDateTime(reliability::momentOf(4)));
    reliability::type(w, reliability::typedFor(4));
    const QStringList typed = reliability::shown(w);

    // The fault.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const QString filler = folder + QStringLiteral("/remplissage");
    switch (Fault(fault)) {
    case FileSizeLimit: {
        rlimit small = saved;
        small.rlim_cur = 1024;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        break;
    }
    case FullFileSystem: {
        QFile f(filler);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (f.write(block) == block.size()) {
        }
        break;
    }
    case ImmutableFile:
        if (!chattr(QStringLiteral("+i"), path))
            QSKIP("chattr +i is not available on this file system");
        break;
    case ImmutableFolder:
        if (!chattr(QStringLiteral("+i"), folder))
            QSKIP("chattr +i is not available on this file system");
        break;
    }

    prompts.clear();
    w.cmdNouveau_Click(); // Valider
    const auto during = testsupport::readRows(path);

    // The fault goes away.
    setrlimit(RLIMIT_FSIZE, &saved);
    QFile::remove(filler);
    chattr(QStringLiteral("-i"), path);
    chattr(QStringLiteral("-i"), folder);

    QCOMPARE(prompts.messages.size(), 1);
    QVERIFY2(prompts.messages[0].text.startsWith(QStringLiteral("Le contact n'a pas pu être enregistré dans le fichier.")),
             qPrintable(prompts.messages[0].text));
    QVERIFY2(testsupport::englishIn(prompts.messages[0].text).isEmpty(), qPrintable(prompts.messages[0].text));
    QCOMPARE(prompts.messages[0].icon, platform::MessageIcon::Critical);
    QCOMPARE(w.cmdNouveau->text(), QStringLiteral("&Valider"));
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
    w.cmdNouveau_Click();
    QVERIFY2(prompts.messages.isEmpty(), prompts.messages.isEmpty() ? "" : qPrintable(prompts.messages[0].text));
    QCOMPARE(w.cmdNouveau->text(), QStringLiteral("&Nouveau"));
    const auto after = testsupport::readRows(path);
    QCOMPARE(after.size(), 4);
    QCOMPARE(after.mid(0, 3), before);
    QCOMPARE(reliability::asText(after[3]), reliability::storedFor(4));
    w.close();
}

QTEST_MAIN(TestDiskFull)
#include "tst_diskfull.moc"
