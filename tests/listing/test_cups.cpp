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
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <unistd.h>

namespace {

const QString kQueue = QStringLiteral("SequanelPDF");
const QString kPpd = QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd");

QString run(const QString &program, const QStringList &args, int *exitCode = nullptr)
{
    QProcess p;
    p.start(program, args);
    const bool done = p.waitForFinished(30000);
    if (exitCode)
        *exitCode = done && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
}

void write(const QString &path, const QString &text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
}

} // namespace

class TestCups : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_socket, m_spool;

    bool schedulerRunning()
    {
        return run(QStringLiteral("lpstat"), {QStringLiteral("-h"), m_socket, QStringLiteral("-r")})
            .contains(QStringLiteral("is running"));
    }
    QStringList jobFiles() const { return QDir(m_spool).entryList({QStringLiteral("d*")}, QDir::Files); }

private slots:
    void initTestCase()
    {
        for (const QString &f : {QStringLiteral("/usr/sbin/cupsd"), QStringLiteral("/usr/sbin/lpadmin"), kPpd})
            if (!QFile::exists(f))
                QSKIP(qPrintable(QStringLiteral("%1 is missing (packages cups, printer-driver-cups-pdf)").arg(f)));
        // The filters run under the server's own user, who must reach the spool.
        QVERIFY(QFile::setPermissions(m_dir.path(), QFileDevice::Permissions(0x7755)));
        const QString d = m_dir.path();
        for (const char *sub : {"etc", "spool/tmp", "cache", "state", "log"})
            QVERIFY(QDir(d).mkpath(QString::fromLatin1(sub)));
        m_socket = d + QStringLiteral("/cups.sock");
        m_spool = d + QStringLiteral("/spool");
        write(d + QStringLiteral("/cups-files.conf"),
              QStringLiteral("ServerRoot %1/etc\nRequestRoot %1/spool\nTempDir %1/spool/tmp\nCacheDir %1/cache\n"
                             "StateDir %1/state\nAccessLog %1/log/access_log\nErrorLog %1/log/error_log\n"
                             "PageLog %1/log/page_log\nPrintcap %1/printcap\nServerBin /usr/lib/cups\n"
                             "DataDir /usr/share/cups\nFileDevice Yes\nSandboxing Relaxed\n")
                      .arg(d)
                  + (geteuid() == 0 ? QStringLiteral("User lp\nGroup lp\nSystemGroup root\n") : QString()));
        // Job files are kept once printed, so that the test can read them.
        write(d + QStringLiteral("/cupsd.conf"),
              QStringLiteral("Listen %1\nPreserveJobFiles Yes\nBrowsing No\nBrowseLocalProtocols none\n"
                             "WebInterface No\nDefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n"
                             "</Location>\n")
                  .arg(m_socket));
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.start(QStringLiteral("/usr/sbin/cupsd"), {QStringLiteral("-f"), QStringLiteral("-c"), d + QStringLiteral("/cupsd.conf"),
                                                          QStringLiteral("-s"), d + QStringLiteral("/cups-files.conf")});
        m_server.waitForStarted();
        for (int i = 0; i < 100 && m_server.state() == QProcess::Running && !schedulerRunning(); ++i)
            QThread::msleep(100);
        if (!schedulerRunning())
            QSKIP(qPrintable(QStringLiteral("the CUPS server does not start here: %1").arg(QString::fromLocal8Bit(m_server.readAll()))));
        int code = 0;
        const QString out = run(QStringLiteral("lpadmin"), {QStringLiteral("-h"), m_socket, QStringLiteral("-p"), kQueue, QStringLiteral("-v"),
                                                         QStringLiteral("file:///dev/null"), QStringLiteral("-P"), kPpd, QStringLiteral("-E")}, &code);
        QVERIFY2(code == 0, qPrintable(out));
        run(QStringLiteral("lpadmin"), {QStringLiteral("-h"), m_socket, QStringLiteral("-d"), kQueue}, &code);
        QCOMPARE(code, 0);
        // The program under test asks this server only, and reads no client
        // settings of the machine.
        qputenv("CUPS_SERVER", QFile::encodeName(m_socket));
        qputenv("CUPS_SERVERROOT", QFile::encodeName(d + QStringLiteral("/etc")));
    }

    void cleanupTestCase()
    {
        if (m_server.state() == QProcess::NotRunning)
            return;
        m_server.terminate(); // by its process id
        if (!m_server.waitForFinished(10000))
            m_server.kill();
        m_server.waitForFinished();
    }

    // The print button of the grid window sends one job to the default
    // printer, holding the whole listing.
    void listingGoesToTheDefaultPrinter()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("concours.adb"));
        testsupport::makeLogFile(log, {testsupport::sampleRow(1), testsupport::sampleRow(2), testsupport::sampleRow(3)});
        const QStringList before = jobFiles();
        testsupport::PromptRecorder prompts;
        frmListe f(log);
        f.Command2_Click();
        QVERIFY2(prompts.messages.isEmpty(), qPrintable(prompts.messages.value(0).text));
        QCOMPARE(f.windowTitle(), QStringLiteral("Liste des enregistrements"));

        QStringList jobs;
        for (int i = 0; i < 100 && (jobs = jobFiles()) == before; ++i)
            QThread::msleep(100);
        QCOMPARE(jobs.size(), before.size() + 1);
        const QString job = m_spool + QLatin1Char('/') + jobs.last();
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), job, QStringLiteral("-")});
        QVERIFY(p.waitForFinished(30000));
        const QString text = QString::fromUtf8(p.readAllStandardOutput());
        qInfo("job file %s, %d characters of text", qPrintable(job), int(text.size()));
        QVERIFY2(text.contains(listing::kTitle), qPrintable(text.left(300)));
        QCOMPARE(text.count(QStringLiteral("Date et heure")), 1);
        QCOMPARE(text.count(QStringLiteral("Lyon")), 3); // one line per contact
    }
};

QTEST_MAIN(TestCups)
#include "test_cups.moc"
