// The listing sent to a real printer: a CUPS server of the test's own, with a
// PDF printer as its default queue. Its configuration, spool, logs and socket
// live in a temporary folder, the program reaches it through CUPS_SERVER, and
// it is stopped by its process id: the machine's own printing system is never
// touched. The server keeps the file of each job, which is the document Qt
// sent; it is read back with pdftotext. Skipped, saying why, where the
// packages are missing or the server does not start.
#include "Listing.h"
#include "TestSupport.h"
#include "frmListe.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <unistd.h>

using testsupport::runProgram;

namespace {

const QString kPpd = QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd");

} // namespace

class TestCups : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QProcess m_server;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    bool schedulerRunning() const
    {
        return runProgram(QStringLiteral("lpstat"), {"-h", path("cups.sock"), "-r"}, 30000).second.contains("is running");
    }
    QStringList jobFiles() const { return QDir(path("spool")).entryList({QStringLiteral("d*")}, QDir::Files); }

private slots:
    void initTestCase()
    {
        for (const QString &f : {QStringLiteral("/usr/sbin/cupsd"), QStringLiteral("/usr/sbin/lpadmin"), kPpd})
            if (!QFile::exists(f))
                QSKIP(qPrintable(QStringLiteral("%1 is missing (packages cups, printer-driver-cups-pdf)").arg(f)));
        // The filters run under the server's own user, who must reach the spool.
        QVERIFY(QFile::setPermissions(m_dir.path(), QFileDevice::Permissions(0x7755)));
        for (const char *sub : {"etc", "spool/tmp", "cache", "state", "log"})
            QVERIFY(QDir(m_dir.path()).mkpath(QString::fromLatin1(sub)));
        // Job files are kept once printed, so that the test can read them.
        const QString files = QStringLiteral(
            "ServerRoot %1/etc\nRequestRoot %1/spool\nTempDir %1/spool/tmp\nCacheDir %1/cache\nStateDir %1/state\n"
            "AccessLog %1/log/access_log\nErrorLog %1/log/error_log\nPageLog %1/log/page_log\nPrintcap %1/printcap\n"
            "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\nFileDevice Yes\nSandboxing Relaxed\n%2");
        const QString server = QStringLiteral(
            "Listen %1/cups.sock\nPreserveJobFiles Yes\nBrowsing No\nBrowseLocalProtocols none\nWebInterface No\n"
            "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n");
        const QString root = geteuid() == 0 ? QStringLiteral("User lp\nGroup lp\nSystemGroup root\n") : QString();
        for (const auto &[name, text] : {std::pair{"cups-files.conf", files.arg(m_dir.path(), root)},
                                         {"cupsd.conf", server.arg(m_dir.path())}})
            testsupport::writeFile(path(name), text.toUtf8());
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.start("/usr/sbin/cupsd", {"-f", "-c", path("cupsd.conf"), "-s", path("cups-files.conf")});
        m_server.waitForStarted();
        for (int i = 0; i < 100 && m_server.state() == QProcess::Running && !schedulerRunning(); ++i)
            QThread::msleep(100);
        if (!schedulerRunning())
            QSKIP(qPrintable("the CUPS server does not start here: " + QString::fromLocal8Bit(m_server.readAll())));
        for (const QStringList &args : {QStringList{"-p", "SequanelPDF", "-v", "file:///dev/null", "-P", kPpd, "-E"},
                                        QStringList{"-d", "SequanelPDF"}}) {
            const auto [code, out] = runProgram(QStringLiteral("lpadmin"), QStringList{"-h", path("cups.sock")} + args, 30000);
            QVERIFY2(code == 0, qPrintable(out));
        }
        // The program under test asks this server only, and reads no client
        // settings of the machine.
        qputenv("CUPS_SERVER", QFile::encodeName(path("cups.sock")));
        qputenv("CUPS_SERVERROOT", QFile::encodeName(path("etc")));
    }

    void cleanupTestCase()
    {
        m_server.terminate(); // by its process id; nothing when it never started
        if (!m_server.waitForFinished(10000)) {
            m_server.kill();
            m_server.waitForFinished();
        }
    }

    // The print button of the grid window sends one job to the default
    // printer, holding the whole listing.
    void listingGoesToTheDefaultPrinter()
    {
        const QString log = path("concours.adb");
        testsupport::makeLogFile(log, {testsupport::sampleRow(1), testsupport::sampleRow(2), testsupport::sampleRow(3)});
        const QStringList before = jobFiles();
        testsupport::PromptRecorder prompts;
        frmListe f(log);
        f.Command2_Click();
        QVERIFY2(prompts.messages.isEmpty(), qPrintable(prompts.messages.value(0).text));
        QStringList jobs;
        for (int i = 0; i < 100 && (jobs = jobFiles()) == before; ++i)
            QThread::msleep(100);
        QCOMPARE(jobs.size(), before.size() + 1);
        const auto [code, text] = runProgram(QStringLiteral("pdftotext"), {"-layout", path("spool/" + jobs.last()), "-"}, 30000);
        QVERIFY2(text.contains(listing::kTitle), qPrintable(text.left(300)));
    }
};

QTEST_MAIN(TestCups)
#include "test_cups.moc"
