// The export of the contacts to a CSV file: read back by Python's csv module,
// failures that leave the old file as it was, the menu command of the main
// window and the command-line form.
#include "../entry/MainWindowFixture.h"
#include "CsvExport.h"
#include "LogFile.h"
#include "Regional.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QScopeGuard>
#include <unistd.h>

using namespace testsupport;

namespace {

const QString kHeading =
    QStringLiteral("Date;Sequanel;RST;Mhertz;Hertz;Bande;Préfixe;Qrz1;Qrz2;Qrz3;N°;BP;Ville;CP;Pays;Opérateur");

// The rows of a CSV file as Python's csv module reads them.
QVector<QStringList> readByPython(const QString &path)
{
    const QString json = runProgram(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral("import csv, json, sys\n"
        "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n    json.dump(list(csv.reader(f, delimiter=';')), sys.stdout)\n"), path},
        60000, QProcess::SeparateChannels).second;
    QVector<QStringList> rows;
    for (const QVariant &row : QJsonDocument::fromJson(json.toUtf8()).toVariant().toList())
        rows << row.toStringList();
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
    // Generated contacts (seed: SEQUANEL_SEED), filling the writer's buffer
    // several times, exported by sequanel-export (which, run again, keeps the
    // file and says so) and read back by Python's csv module: the heading, then every row as SQL reads it, cell for cell, but
    // for the protections. NULL and empty are nothing; a date is dd/mm/yyyy
    // hh:mm:ss; in a text or date column, a text a spreadsheet would take for
    // a number or a date (digits among blanks and + - / . , : % ( ) e E, not a
    // whole number of at most 15 digits without a leading zero) is ="text";
    // any text starting with = or @ or an apostrophe, or with + or - and not
    // number-like, is behind an apostrophe.
    void roundTrip()
    {
        const quint32 seed = testSeed(2026);
        QRandomGenerator rng(seed);
        const QVector<platform::ColumnDef> &columns = logfile::transmission().columns;
        QVector<Row> rows(32000, Row(16));
        for (Row &r : rows)
            for (int c = 0; c < 16; ++c) {
                const int pick = rng.bounded(10); // 0: null
                const QDateTime d(QDate(1990, 1, 1).addDays(rng.bounded(15000)), QTime(0, 0).addSecs(rng.bounded(86400)));
                if (c == 0 && pick)
                    r[c] = pick == 1 ? "x" + awkwardText(rng, 30, true) : d.toString(pick == 2 ? "yyyy-MM-dd'T'HH:mm:ss" : "yyyy-MM-dd HH:mm:ss");
                else if (pick == 3 && columns[c].type == platform::ColumnType::Text) // at the edges of a plain number
                    r[c] = QStringList{"0", "-0", "00", "-01", "999999999999999", "1000000000000000", "-999999999999999"}
                               .value(rng.bounded(7));
                else if (pick)
                    r[c] = columns[c].type == platform::ColumnType::Text ? QVariant(awkwardText(rng, 40, true)) : QVariant(rng.bounded(-32768, 32768));
            }
        const QString log = file(QStringLiteral("généré.adb")), csv = file(QStringLiteral("généré.csv"));
        makeLogFile(log, rows);
        QCOMPARE(runProgram(builtProgram("sequanel-export"), {log, csv}, 60000),
                 std::pair(0, msg::exportedMany().arg(rows.size()).arg(csv) + "\n"));
        const QByteArray bytes = fileBytes(csv);
        QCOMPARE(runProgram(builtProgram("sequanel-export"), {log, csv}, 60000), // now kept
                 std::pair(1, msg::exportTargetExists().arg(csv) + "\n"));
        QCOMPARE(fileBytes(csv), bytes);
        QVERIFY(bytes.size() > 3 << 20 && bytes.startsWith("\xEF\xBB\xBF" + kHeading.toUtf8() + "\r\n"));

        const QVector<Row> stored = readRows(log);
        static const QRegularExpression numberLike(QStringLiteral("^[ +\\-/.,:%()eE0-9]*[0-9][ +\\-/.,:%()eE0-9]*\\z")),
            whole(QStringLiteral("^-?(0|[1-9][0-9]{0,14})\\z")), plainDate(QStringLiteral("^(\\d{4})-(\\d\\d)-(\\d\\d)[ T](.{8})\\z"));
        auto expected = [&](const QVariant &v, int c) {
            const QString s = v.toString();
            if (const QRegularExpressionMatch m = plainDate.match(s); c == 0 && m.hasMatch())
                return QStringLiteral("%1/%2/%3 %4").arg(m.captured(3), m.captured(2), m.captured(1), m.captured(4));
            if ((c == 0 || columns[c].type == platform::ColumnType::Text) && numberLike.match(s).hasMatch() && !whole.match(s).hasMatch())
                return "=\"" + s + "\"";
            if (s.startsWith('=') || s.startsWith('@') || s.startsWith('\'') || (s.size() > 1 && (s[0] == '+' || s[0] == '-') && !numberLike.match(s).hasMatch()))
                return "'" + s;
            return s;
        };
        const QVector<QStringList> read = readByPython(csv);
        QCOMPARE(read.value(0), kHeading.split(QLatin1Char(';')));
        QCOMPARE(read.size(), stored.size() + 1);
        for (int i = 0; i < stored.size(); ++i)
            for (int c = 0; c < 16; ++c)
                if (read[i + 1].value(c) != expected(stored[i][c], c))
                    QFAIL(qPrintable(QStringLiteral("seed %1, row %2, column %3: stored, read, expected %4").arg(seed).arg(i + 1).arg(columns[c].name,
                          QJsonDocument(QJsonArray{stored[i][c].toString(), read[i + 1].value(c), expected(stored[i][c], c)}).toJson(QJsonDocument::Compact))));
    }

    // A log another program holds locked is said to be busy, not damaged; the
    // journal a stopped writer left beside a log is put back first, and the
    // export then holds the contacts as they were before that writer began.
    // A failure tells why in French and leaves the old file whole, with no
    // temporary file beside it: a folder that cannot be written (made
    // immutable for root), and the log itself as the target. (Failures of the
    // disk itself: tests/faults.)
    void failures()
    {
        const QString log = file(QStringLiteral("tenu.adb")), copy = file(QStringLiteral("copie.adb"));
        makeLogFile(log, {sampleRow(1), sampleRow(2)});
        auto other = platform::Connection::open(log, platform::OpenMode::ReadWrite, nullptr);
        QVERIFY(other->exec("BEGIN EXCLUSIVE") && other->exec("DELETE FROM Transmission WHERE rowid = 1"));
        QVERIFY(other->exec("PRAGMA cache_size=10") && other->exec("UPDATE Transmission SET Ville = zeroblob(400000)"));
        QVERIFY(QFile::copy(log, copy) && QFile::copy(log + "-journal", copy + "-journal"));
        QCOMPARE(listing::exportContacts(log, file(QStringLiteral("tenu.csv"))).message, msg::exportFailed().arg(msg::exportLogBusy().arg(log), file(QStringLiteral("tenu.csv"))));
        QCOMPARE(listing::exportContacts(copy, file(QStringLiteral("copie.csv"))).message, msg::exportedMany().arg(2).arg(file(QStringLiteral("copie.csv"))));
        QVERIFY(!QFile::exists(copy + "-journal"));
        QCOMPARE(readByPython(file(QStringLiteral("copie.csv"))).value(2).value(12), QStringLiteral("Lyon"));

        QTemporaryDir dir(QStringLiteral("/tmp/sequanel-export-XXXXXX"));
        const QString folder = dir.filePath(QStringLiteral("sortie")), journal = dir.filePath(QStringLiteral("journal.adb"));
        const QString csv = folder + QStringLiteral("/journal.csv");
        QVERIFY(QDir().mkpath(folder));
        makeLogFile(journal, {sampleRow(1), sampleRow(2)});
        writeFile(csv, "ancien contenu\r\n");
        const auto restore = qScopeGuard([&] { chattr(QStringLiteral("-i"), folder), QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
        if (!(getuid() == 0 ? chattr(QStringLiteral("+i"), folder) : QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner)))
            QSKIP("cannot make the folder read-only here");
        for (const auto &[target, why] : {std::pair{csv, msg::saveFolderReadOnly().arg(folder)}, {journal, msg::exportOverLog()}}) {
            const QByteArray before = fileBytes(target);
            QCOMPARE(listing::exportContacts(journal, target).message, msg::exportFailed().arg(why, target));
            QCOMPARE(fileBytes(target), before);
            QCOMPARE(QDir(QFileInfo(target).absolutePath()).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(target).fileName()});
        }
    }


    // A pending entry the checks refuse keeps its message and nothing is
    // exported; corrected, it is stored first and is in the file, which the
    // dialog proposes under the log's name with ".csv" (a file it replaces
    // keeps its permissions).
    void menuCommand()
    {
        MainWindowFixture f;
        frmMain &w = *f.w;
        f.openWith(QStringLiteral("concours.adb"), 3);
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
        writeFile(csv, "ancien\r\n"); // (replaced, it keeps its permissions)
        QVERIFY(QFile::setPermissions(csv, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup));
        f.prompts.queuedFiles << csv;
        w.controls().mnuExporter->trigger();
        QVERIFY(f.prompts.fileRequests.size() == 1 && f.prompts.fileRequests[0].save && f.prompts.fileRequests[0].confirmOverwrite);
        QCOMPARE(f.prompts.fileRequests[0].initialPath, f.path(QStringLiteral("concours.csv")));
        QCOMPARE(f.said(), QStringList{msg::exportedMany().arg(4).arg(csv)});
        QCOMPARE(readByPython(csv).value(4).value(0), QStringLiteral("14/07/2024 09:30:00"));
        QCOMPARE(QFile::permissions(csv) & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup); // (the user's bits: whoever runs this)
    }
};

QTEST_MAIN(TestExport)
#include "test_export.moc"
