// The listing sent to a real printer: a CUPS server with a PDF queue set as
// the default printer. The server keeps the file of each job, which is the
// document Qt sent; it is read back with pdftotext. Skipped, saying why, where
// no CUPS server can be started (not root, or the packages are missing).
#include "Listing.h"
#include "TestSupport.h"
#include "frmListe.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <unistd.h>

namespace {

const QString kQueue = QStringLiteral("SequanelPDF");
const QString kSpool = QStringLiteral("/var/spool/cups");

QString run(const QString &program, const QStringList &args, int *exitCode = nullptr)
{
    QProcess p;
    p.start(program, args);
    const bool done = p.waitForFinished(30000);
    if (exitCode)
        *exitCode = done && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
}

bool schedulerRunning() { return run(QStringLiteral("lpstat"), {QStringLiteral("-r")}).contains(QStringLiteral("is running")); }

QSet<QString> jobFiles()
{
    const QStringList files = QDir(kSpool).entryList({QStringLiteral("d*")}, QDir::Files);
    return QSet<QString>(files.begin(), files.end());
}

} // namespace

class TestCups : public QObject
{
    Q_OBJECT
    bool m_startedServer = false;
    QString m_previousDefault;

private slots:
    void initTestCase()
    {
        if (geteuid() != 0)
            QSKIP("starting a CUPS server and adding a queue needs root");
        for (const char *f : {"/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/lib/cups/backend/cups-pdf"})
            if (!QFile::exists(QString::fromLatin1(f)))
                QSKIP(qPrintable(QStringLiteral("%1 is missing (packages cups-daemon, printer-driver-cups-pdf)").arg(QString::fromLatin1(f))));
        if (!schedulerRunning()) {
            int code = 0;
            const QString out = run(QStringLiteral("/usr/sbin/cupsd"), {}, &code);
            for (int i = 0; i < 100 && !schedulerRunning(); ++i)
                QThread::msleep(100);
            if (!schedulerRunning())
                QSKIP(qPrintable(QStringLiteral("the CUPS server does not start here: %1").arg(out.trimmed())));
            m_startedServer = true;
        }
        const QString current = run(QStringLiteral("lpstat"), {QStringLiteral("-d")});
        if (current.contains(QLatin1Char(':')))
            m_previousDefault = current.section(QLatin1Char(':'), 1).trimmed();
        int code = 0;
        const QString out = run(QStringLiteral("lpadmin"), {QStringLiteral("-p"), kQueue, QStringLiteral("-v"), QStringLiteral("cups-pdf:/"),
                                                         QStringLiteral("-m"), QStringLiteral("lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"), QStringLiteral("-E")}, &code);
        QVERIFY2(code == 0, qPrintable(out));
        QCOMPARE(run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), kQueue}, &code), QString());
        run(QStringLiteral("cupsctl"), {QStringLiteral("PreserveJobFiles=Yes")});
    }

    void cleanupTestCase()
    {
        if (!schedulerRunning())
            return;
        run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), kQueue});
        if (!m_previousDefault.isEmpty())
            run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), m_previousDefault});
        if (m_startedServer)
            run(QStringLiteral("pkill"), {QStringLiteral("-x"), QStringLiteral("cupsd")});
    }

    // The print button of the grid window sends one job to the default
    // printer, holding the whole listing.
    void listingGoesToTheDefaultPrinter()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("concours.adb"));
        testsupport::makeLogFile(log, {testsupport::sampleRow(1), testsupport::sampleRow(2), testsupport::sampleRow(3)});
        const QSet<QString> before = jobFiles();
        testsupport::PromptRecorder prompts;
        frmListe f(log);
        f.Command2_Click();
        QVERIFY2(prompts.messages.isEmpty(), qPrintable(prompts.messages.value(0).text));
        QCOMPARE(f.windowTitle(), QStringLiteral("Liste des enregistrements"));

        QSet<QString> jobs;
        for (int i = 0; i < 100 && (jobs = jobFiles() - before).isEmpty(); ++i)
            QThread::msleep(100);
        QCOMPARE(jobs.size(), 1);
        const QString job = kSpool + QLatin1Char('/') + *jobs.begin();
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
