// The export of the contacts to a CSV file: read back by Python's csv module,
// failures that leave the old file as it was, the menu command of the main
// window and the command-line form.
#include "../entry/MainWindowFixture.h"
#include "CsvExport.h"
#include "Messages.h"
#include "Regional.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QScopeGuard>
#include <unistd.h>

using namespace testsupport;

namespace {

const QString kHeading =
    QStringLiteral("Date;Sequanel;RST;Mhertz;Hertz;Bande;Préfixe;Qrz1;Qrz2;Qrz3;N°;BP;Ville;CP;Pays;Opérateur");

// The rows of a CSV file as Python's csv module reads them.
QVector<QStringList> readByPython(const QString &path)
{
    const QString script = QStringLiteral(
        "import csv, json, sys\n"
        "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
        "    json.dump(list(csv.reader(f, delimiter=';')), sys.stdout)\n");
    QProcess p;
    p.start(QStringLiteral("python3"), {QStringLiteral("-c"), script, path});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {{QStringLiteral("python3 failed: ") + QString::fromUtf8(p.readAllStandardError())}};
    QVector<QStringList> rows;
    for (const QJsonValue &row : QJsonDocument::fromJson(p.readAllStandardOutput()).array()) {
        QStringList cells;
        for (const QJsonValue &cell : row.toArray())
            cells << cell.toString();
        rows << cells;
    }
    return rows;
}

bool chattr(const QString &flag, const QString &path)
{
    return QProcess::execute(QStringLiteral("chattr"), {flag, path}) == 0;
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString file(const QString &name) const { return m_dir.filePath(name); }

private slots:
    // Awkward stored values come back from an independent CSV reader exactly,
    // row for row; the bytes carry the BOM, the heading and CRLF line ends.
    void readBackByPython()
    {
        const QString log = file(QStringLiteral("épreuve d'été.adb"));
        makeLogFile(log, {
            Row{"1998-01-05 07:03:09", "1", "5;9", 27, 5, "USB", 999999, "Québec", "Roméo", "Hôtel", -32768,
                "il dit \"oui\"", "Saint-Étienne\nCedex", "01000", "Françe;€", "Zoë"},
            Row(16), // nulls only
            // what another program may have stored: a date in another form,
            // a text in a number column, texts a spreadsheet would run as
            // formulas (written behind an apostrophe) or read as numbers or
            // dates (written as ="...", which LibreOffice shows as the text
            // itself; "01000" above too)
            Row{"2024-03-05T23:59:00", "3", "-5", "vingt-sept", 995, "=1+1", 0, "@SOMME(A1)", "+33 6 12", "=\"a;b\"", 7,
                "5/9", "59+", "pas une date", "  blancs  ", "\""},
        });
        const QString csv = file(QStringLiteral("épreuve.csv"));
        const listing::ExportOutcome r = listing::exportContacts(log, csv);
        QVERIFY2(r.ok, qPrintable(r.message));
        QCOMPARE(r.contacts, 3);

        const QByteArray bytes = fileBytes(csv);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF" + kHeading.toUtf8() + "\r\n"));
        QVERIFY(bytes.endsWith("\r\n"));
        QCOMPARE(bytes.count("\r\n"), 4); // the line break inside "Saint-Étienne" is the stored one
        QCOMPARE(bytes.count('\r'), 4);

        // Rows as Python reads them, their cells separated here by "|".
        QVector<QStringList> expected{kHeading.split(QLatin1Char(';'))};
        for (const char *row : {"05/01/1998 07:03:09|1|5;9|27|5|USB|999999|Québec|Roméo|Hôtel|-32768|il dit \"oui\"|"
                                "Saint-Étienne\nCedex|=\"01000\"|Françe;€|Zoë",
                                "|||||||||||||||",
                                "05/03/2024 23:59:00|3|-5|vingt-sept|995|'=1+1|0|'@SOMME(A1)|=\"+33 6 12\"|'=\"a;b\"|7|"
                                "=\"5/9\"|=\"59+\"|pas une date|  blancs  |\""})
            expected << QString::fromUtf8(row).split(QLatin1Char('|'));
        QCOMPARE(readByPython(csv), expected);
    }

    // A failure tells why in French and leaves the old file whole, with no
    // temporary file beside it: a folder that cannot be written (made
    // immutable for root), and the log itself as the target. (Failures of the
    // disk itself: tests/faults.)
    void failureKeepsOldFile()
    {
        QTemporaryDir dir(QStringLiteral("/tmp/sequanel-export-XXXXXX"));
        const QString folder = dir.filePath(QStringLiteral("sortie")), log = dir.filePath(QStringLiteral("journal.adb"));
        const QString csv = folder + QStringLiteral("/journal.csv");
        QVERIFY(QDir().mkpath(folder));
        makeLogFile(log, {sampleRow(1), sampleRow(2)});
        QFile old(csv);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("ancien contenu\r\n") > 0);
        old.close();
        const auto restore = qScopeGuard([&] { chattr(QStringLiteral("-i"), folder), QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
        if (!(getuid() == 0 ? chattr(QStringLiteral("+i"), folder) : QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner)))
            QSKIP("cannot make the folder read-only here");
        for (const auto &[target, why] : {std::pair{csv, msg::saveFolderReadOnly().arg(folder)}, {log, msg::exportOverLog()}}) {
            const QByteArray before = fileBytes(target);
            QCOMPARE(listing::exportContacts(log, target).message, msg::exportFailed().arg(why, target));
            QCOMPARE(fileBytes(target), before);
            QCOMPARE(QDir(QFileInfo(target).absolutePath()).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(target).fileName()});
        }
    }

    // A log another program holds locked is said to be busy, not damaged; the
    // journal a stopped writer left beside a log is put back first, and the
    // export then holds the contacts as they were before that writer began.
    void heldOrInterruptedLog()
    {
        const QString log = file(QStringLiteral("tenu.adb")), copy = file(QStringLiteral("copie.adb"));
        makeLogFile(log, {sampleRow(1), sampleRow(2)});
        auto other = platform::Connection::open(log, platform::OpenMode::ReadWrite, nullptr);
        QVERIFY(other->exec("BEGIN EXCLUSIVE") && other->exec("DELETE FROM Transmission WHERE rowid = 1"));
        QVERIFY(other->exec("PRAGMA cache_size=10") && other->exec("UPDATE Transmission SET Ville = zeroblob(400000)"));
        QVERIFY(QFile::copy(log, copy) && QFile::copy(log + "-journal", copy + "-journal"));
        const listing::ExportOutcome busy = listing::exportContacts(log, file(QStringLiteral("tenu.csv")));
        QCOMPARE(busy.message, msg::exportFailed().arg(msg::exportLogBusy().arg(log), file(QStringLiteral("tenu.csv"))));
        const listing::ExportOutcome put = listing::exportContacts(copy, file(QStringLiteral("copie.csv")));
        QCOMPARE(put.message, msg::exportedMany().arg(2).arg(file(QStringLiteral("copie.csv"))));
        QVERIFY(!QFile::exists(copy + "-journal"));
        QCOMPARE(readByPython(file(QStringLiteral("copie.csv"))).value(2).value(12), QStringLiteral("Lyon"));
    }

    // A pending entry the checks refuse keeps its message and nothing is
    // exported; corrected, it is stored first and is in the file, which the
    // dialog proposes under the log's name with ".csv".
    void menuCommand()
    {
        MainWindowFixture f;
        frmMain &w = *f.w;
        const QString log = f.openWith(QStringLiteral("concours.adb"), 3);
        f.prompts.clear();
        w.controls().cmdNouveau->click();
        f.fill();
        w.controls().txtDateHeure->setText(QStringLiteral("pas une date"));
        w.controls().mnuExporter->trigger();
        QCOMPARE(f.said(), QStringList{msg::entryNotValid()});
        QVERIFY(f.prompts.fileRequests.isEmpty());
        QCOMPARE(w.controls().cmdNouveau->text(), QStringLiteral("&Valider"));

        f.prompts.clear();
        w.controls().txtDateHeure->setText(platform::formatDateTime(QDateTime(QDate(2024, 7, 14), QTime(9, 30, 0))));
        const QString csv = f.path(QStringLiteral("envoi.csv"));
        f.prompts.queuedFiles << csv;
        w.controls().mnuExporter->trigger();
        QCOMPARE(w.controls().cmdNouveau->text(), QStringLiteral("&Nouveau"));
        QCOMPARE(f.prompts.fileRequests.size(), 1);
        QVERIFY(f.prompts.fileRequests[0].save && f.prompts.fileRequests[0].confirmOverwrite);
        QCOMPARE(f.prompts.fileRequests[0].initialPath, f.path(QStringLiteral("concours.csv")));
        QCOMPARE(f.said(), QStringList{msg::exportedMany().arg(4).arg(csv)});
        const QVector<QStringList> read = readByPython(csv);
        QCOMPARE(read.size(), 5);
        QCOMPARE(read[4][0], QStringLiteral("14/07/2024 09:30:00"));
        QCOMPARE(readRows(log).size(), 4);
    }

    // sequanel-export: the count on success; run again, the file now there
    // is kept, with a French message and a non-zero status.
    void commandLine()
    {
        const QString log = file(QStringLiteral("ligne.adb"));
        makeLogFile(log, {sampleRow(1), sampleRow(2)});
        const QString csv = file(QStringLiteral("ligne.csv"));
        for (const auto &[status, said] : {std::pair{0, QStringLiteral("2 contacts ont été exportés dans le fichier « %1 »")},
                                           {1, QStringLiteral("Le fichier « %1 » existe déjà")}}) {
            const QByteArray before = fileBytes(csv);
            QProcess p;
            p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/sequanel-export"), {log, csv});
            QVERIFY(p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit);
            const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
            QVERIFY2(out.startsWith(said.arg(csv)), qPrintable(out));
            QCOMPARE(p.exitCode(), status);
            QCOMPARE(readByPython(csv).size(), 3);
            if (status)
                QCOMPARE(fileBytes(csv), before);
        }
    }
};

QTEST_MAIN(TestExport)
#include "test_export.moc"
