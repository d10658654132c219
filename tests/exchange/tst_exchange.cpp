// Logs in and out of other programs: the round trips through ADI, ADX and
// CSV over generated awkward values, files as other programs write them and
// bad ones (every message compared whole), the UTC times across both changes
// of summer time, a CSV matched by its headings, the commands' statuses, and
// the menu commands with the preview window.
#include "../entry/MainWindowFixture.h"
#include "Export.h"
#include "Import.h"
#include "LogFile.h"
#include "PgServer.h"
#include "ProgramFolder.h"
#include "Progress.h"
#include "Regional.h"
#include "frmImportation.h"

#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <sys/resource.h>

using namespace testsupport;

namespace {

// A row as one line, "∅" for a null: what a failure shows.
QStringList shownRows(const QVector<Row> &rows)
{
    QStringList out;
    for (const Row &r : rows) {
        QStringList values;
        for (const QVariant &v : r)
            values << (v.isNull() ? QStringLiteral("∅") : v.toString());
        out << values.join(QLatin1Char('|'));
    }
    return out;
}

// A contact of values a log accepts and other formats trip on: the texts of
// awkwardText with what ADI and XML read as markup, dates in the hours the
// summer-time changes skip or repeat, before 1930 (ADIF has no such date)
// and times alone; serial numbers unique, plain or not, or none.
Row awkwardRow(QRandomGenerator &rng, int i, bool csv)
{
    static const QStringList markup = QStringLiteral("<eor>|<EOH>|<CALL:3>|<|>|&|&#13;|]]>|\t").split(QLatin1Char('|'));
    const QVector<platform::ColumnDef> &columns = logfile::transmission().columns;
    Row r(16);
    const int h = rng.bounded(24), m = rng.bounded(60), s = rng.bounded(60);
    switch (rng.bounded(7)) {
    case 0: break;
    case 1: r[0] = QString::asprintf("1899-12-30 %02d:%02d:%02d", h, m, s); break;
    case 2: r[0] = QString::asprintf("2026-10-25 02:%02d:%02d", m, s); break;
    case 3: r[0] = QString::asprintf("2026-03-29 02:%02d:%02d", m, s); break;
    case 4: r[0] = QString::asprintf("1912-05-01 %02d:%02d:%02d", h, m, s); break;
    default:
        r[0] = QDateTime(QDate(1930, 1, 1).addDays(rng.bounded(40000)), QTime(h, m, s)).toString("yyyy-MM-dd HH:mm:ss");
    }
    r[1] = i % 10 == 0 ? QVariant() : i % 3 ? QVariant(QString::number(i + 1)) : QVariant(QStringLiteral("S%1").arg(i));
    for (int c = 2; c < 16; ++c) {
        if (rng.bounded(8) == 0)
            continue;
        if (columns[c].type != platform::ColumnType::Text) {
            r[c] = rng.bounded(-32768, 32768);
            continue;
        }
        QString t = awkwardText(rng, columns[c].size) + (rng.bounded(3) ? QString() : markup[rng.bounded(markup.size())]);
        t.truncate(columns[c].size);
        if (!(csv && t.isEmpty())) // (a CSV cell tells no empty text from nothing)
            r[c] = t;
    }
    return r;
}

// The rows a plan and its import give in a new log, and the refusals.
QStringList imported(const QString &file, const QString &log, QStringList *refused, QString *error = nullptr)
{
    QFile::remove(log);
    makeLogFile(log);
    QString message;
    std::optional<exchange::ImportPlan> plan = exchange::planImport(file, log, &message);
    if (error)
        *error = message;
    if (!plan)
        return {};
    *refused = plan->refused;
    const exchange::ImportOutcome outcome = exchange::runImport(*plan, log, true);
    return outcome.ok ? shownRows(readRows(log)) : QStringList{outcome.message};
}

} // namespace

class TestExchange : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString file(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() { platform::setProgressResponder([](qint64, qint64) { return false; }); }

    // Run first, while the process is small: a file of 100 MB whose one field
    // claims it all is refused for that field, with its place, and never
    // read into memory.
    void hugeFieldStaysBounded()
    {
        const QString adi = file(QStringLiteral("énorme.adi"));
        QFile f(adi);
        QVERIFY(f.open(QIODevice::WriteOnly));
        constexpr qint64 kSize = 100 << 20;
        f.write("<adif_ver:5>3.1.4<eoh>\n<CALL:" + QByteArray::number(kSize) + ">");
        const QByteArray chunk(1 << 20, 'A');
        for (qint64 n = 0; n < kSize; n += chunk.size())
            f.write(chunk);
        f.write("<EOR>\n<CALL:5>F4ABC<EOR>\n");
        f.close();
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        QStringList refused;
        const QStringList rows = imported(adi, file(QStringLiteral("énorme.adb")), &refused);
        getrusage(RUSAGE_SELF, &after);
        QCOMPARE(refused, QStringList{msg::importAtByte().arg(1).arg(24).arg(
                              msg::importTooLong().arg(QString(40, 'A') + QStringLiteral("…"), "QRZ (premier mot)").arg(15))});
        QCOMPARE(rows, QStringList{"∅|1|∅|∅|∅|∅|∅|F4ABC|∅|∅|∅|∅|∅|∅|∅|∅"});
        QVERIFY2(after.ru_maxrss - before.ru_maxrss < 40 * 1024, qPrintable(QString::number(after.ru_maxrss - before.ru_maxrss)));
    }

    // Generated awkward contacts (seed: SEQUANEL_SEED), written by
    // sequanel-export and read back by sequanel-import into an empty log, a
    // file or a shared log on a server of the test's own: the same rows,
    // value for value (a CSV cell holds no empty text).
    void roundTrip_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("shared");
        for (const char *f : {"adi", "adx", "csv"})
            QTest::newRow(f) << QString::fromLatin1(f) << false;
        QTest::newRow("adx into a shared log") << QStringLiteral("adx") << true;
    }
    void roundTrip()
    {
        QFETCH(QString, format);
        QFETCH(bool, shared);
        const quint32 seed = testSeed(34);
        QRandomGenerator rng(seed);
        QVector<Row> rows;
        for (int i = 0; i < 600; ++i)
            rows << awkwardRow(rng, i, format == QLatin1String("csv"));
        std::unique_ptr<PgServer> server(shared ? new PgServer : nullptr);
        if (server && !server->isRunning())
            QSKIP(qPrintable(server->error()));
        const QString log = file("source-" + format + ".adb"), out = file("contacts." + format),
                      back = shared ? server->address(QStringLiteral("retour")) : file("retour-" + format + ".adb");
        QFile::remove(log);
        makeLogFile(log, rows);
        if (shared)
            QVERIFY(logfile::createEmpty(back, nullptr));
        else
            makeLogFile(back);
        QFile::remove(out);
        QCOMPARE(runProgram(builtProgram("sequanel-export"), {"--format", format, log, out}),
                 std::pair(0, msg::exportedMany().arg(rows.size()).arg(out) + '\n'));
        QCOMPARE(runProgram(builtProgram("sequanel-import"), {out, back}),
                 std::pair(0, msg::importedMany().arg(rows.size()).arg(platform::logDisplayName(back)) + '\n'));
        const QStringList expected = shownRows(readRows(log)), got = shownRows(readRows(back));
        for (int i = 0; i < std::max(expected.size(), got.size()); ++i)
            if (expected.value(i) != got.value(i))
                QFAIL(qPrintable(QStringLiteral("seed %1, row %2:\n%3\n%4").arg(seed).arg(i + 1).arg(expected.value(i), got.value(i))));
    }

    // ADI files as other programs write them, and bad ones: what is stored,
    // and every refusal, compared whole (positions are bytes from 1).
    void handWritten_data()
    {
        QTest::addColumn<QByteArray>("adi");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("refused");
        QTest::addColumn<QString>("error"); // the whole file refused
        auto at = [](const QByteArray &text, const char *marker, int from = 0) { return text.indexOf(marker, from) + 1; };
        auto line = [](qint64 record, qint64 byte, const QString &why) { return msg::importAtByte().arg(record).arg(byte).arg(why); };

        const QByteArray other = "Journal du club (< 100 contacts), exporté par un autre programme\r\n<adif_ver:5>3.1.4\n<programid:8>AutreLog\n"
                                 "<eoh>\n\n<qso_date:8>20240714 <time_on:4>0930\n<call:18>14 Alpha Tango 123<freq:6>27.205\n"
                                 "<mode:3>SSB<submode:3>LSB <rst_sent:2>59 <stx:1>5\n<qth:4>Lyon<country:6>France"
                                 "<operator:4>Jean<eor>\n\n<QSO_DATE:8>20240714<TIME_ON:6>094500<FREQ:6>27.215<eor>\n"
                                 "<Qso_Date:8>20240101<Time_On:4>2330<Call:5>F4ABC<Mode:2>FM<Stx_String:3>A12<EoR>\n";
        QTest::newRow("other program") << other
            << QStringList{"2024-07-14 11:30:00|5|59|27|205|LSB|14|Alpha|Tango|∅|123|∅|Lyon|∅|France|Jean",
                           "2024-01-02 00:30:00|A12|∅|∅|∅|FM|∅|F4ABC|∅|∅|∅|∅|∅|∅|∅|∅"}
            << QStringList{line(2, at(other, "<QSO_DATE"), msg::importNoCall())} << QString();

        const QByteArray beyond = "<call:4>AB12<eor>\n<call:50>XY<eor>";
        QTest::newRow("length beyond the end") << beyond << QStringList{"∅|1|∅|∅|∅|∅|∅|AB12|∅|∅|∅|∅|∅|∅|∅|∅"}
            << QStringList{line(2, 19, msg::importLengthBeyondEnd().arg("call").arg(50).arg(7))} << QString();
        const QByteArray huge = "<call:2147483648>AB<eor><CALL:2>CD<EOR>";
        QTest::newRow("length of 2^31") << huge << QStringList{"∅|1|∅|∅|∅|∅|∅|CD|∅|∅|∅|∅|∅|∅|∅|∅"}
            << QStringList{line(1, 1, msg::importLengthBeyondEnd().arg("call").arg(2147483648LL).arg(huge.size() - 17))}
            << QString();
        const QByteArray truncated = "<call:2>AB<eor><call:2>CD<rst_sent:2>5";
        QTest::newRow("truncated record") << truncated << QStringList{"∅|1|∅|∅|∅|∅|∅|AB|∅|∅|∅|∅|∅|∅|∅|∅"}
            << QStringList{line(2, 26, msg::importLengthBeyondEnd().arg("rst_sent").arg(2).arg(1))} << QString();
        QTest::newRow("no <EOR> at the end") << QByteArray("<call:2>AB<eor><call:2>CD\n") << QStringList{"∅|1|∅|∅|∅|∅|∅|AB|∅|∅|∅|∅|∅|∅|∅|∅"}
            << QStringList{line(2, 16, msg::importNoEor())} << QString();
        const QByteArray nul("<call:3>A\0B<eor><call:1>\0<eor>", 30);
        QTest::newRow("NUL bytes") << nul + QByteArray("<c\0ll:2>AB<eor>", 16) << QStringList()
            << QStringList{line(1, 10, msg::importNul().arg("call")), line(2, 25, msg::importNul().arg("call")),
                           line(3, 31, msg::importBadTag().arg("c ll:2"))} << QString(); // (control characters shown as spaces)
        QTest::newRow("not UTF-8") << QByteArray("<call:4>H\xE9l0<eor><call:2>\xC3\xA9<eor><call:2>A\xFF<eor><call:2>A\xC3<eor>")
            << QStringList{"∅|1|∅|∅|∅|∅|∅|é|∅|∅|∅|∅|∅|∅|∅|∅"}
            << QStringList{line(1, 9, msg::importNotUtf8().arg("call")), line(3, 41, msg::importNotUtf8().arg("call")),
                           line(4, 56, msg::importNotUtf8().arg("call"))} << QString();
        QTest::newRow("tag that is none") << QByteArray("<call:x>AB<eor><call:2>CD<eor>") << QStringList{"∅|1|∅|∅|∅|∅|∅|CD|∅|∅|∅|∅|∅|∅|∅|∅"}
            << QStringList{line(1, 1, msg::importBadTag().arg("call:x"))} << QString();
        const QByteArray tags = "<call:2:" + QByteArray(503, 'S') + ">AB<eor><call:2:" + QByteArray(504, 'S') + ">CD<eor>";
        QTest::newRow("tags of 512 and 513 bytes") << tags << QStringList{"∅|1|∅|∅|∅|∅|∅|AB|∅|∅|∅|∅|∅|∅|∅|∅"}
            << QStringList{line(2, at(tags, "<call", 1), msg::importBadTag().arg("call:2:" + QString(13, 'S')))} << QString();
        const QByteArray names = "<" + QByteArray(64, 'n') + ":1>Z<call:2>AB<eor><" + QByteArray(65, 'n') + ":1>Z<call:2>CD<eor><:1>Z<call:2>EF<eor>";
        QTest::newRow("names of 64 and 65 bytes, and none") << names << QStringList{"∅|1|∅|∅|∅|∅|∅|AB|∅|∅|∅|∅|∅|∅|∅|∅"}
            << QStringList{line(2, at(names, "<nnnn", 10), msg::importBadTag().arg(QString(40, 'n'))),
                           line(3, at(names, "<:1>"), msg::importBadTag().arg(":1"))} << QString();
        QTest::newRow("call signs of a number") << QByteArray("<call:3>123<eor><call:6>14 123<eor><call:5>AB 12<eor>")
            << QStringList{"∅|1|∅|∅|∅|∅|∅|123|∅|∅|∅|∅|∅|∅|∅|∅", "∅|2|∅|∅|∅|∅|14|123|∅|∅|∅|∅|∅|∅|∅|∅",
                           "∅|3|∅|∅|∅|∅|∅|AB|∅|∅|12|∅|∅|∅|∅|∅"}
            << QStringList() << QString();
        // (a value cut at its bound is not checked for UTF-8 as it is read: the log's rules then see the byte 0x80)
        const QByteArray refused = "<call:12>14 A B C D 5<eor><call:2>AB<qso_date:8>20241301<time_on:4>1200<eor>"
                                   "<call:2>AB<freq:4>27,5<eor><call:2>AB<app_sequanel_mhertz:5>40000<eor><call:2>Ж<eor>"
                                   "<call:2>AB<qth:5000>\x80" + QByteArray(4999, 'A') + "<eor>";
        QTest::newRow("values the log refuses") << refused << QStringList()
            << QStringList{line(1, 1, msg::importCallTooLong().arg("14 A B C D 5")),
                           line(2, at(refused, "<call:2>AB<qso"), msg::importBadDate().arg("20241301 1200")),
                           line(3, at(refused, "<call:2>AB<freq"), msg::importBadFrequency().arg("27,5")),
                           line(4, at(refused, "<call:2>AB<app"), msg::importNotWhole().arg("40000", "Mhertz")),
                           line(5, at(refused, "<call:2>Ж"), msg::importBadCharacter().arg("Ж", "QRZ (premier mot)")),
                           line(6, at(refused, "<call:2>AB<qth"), msg::importBadCharacter().arg(u'\uFFFD' + QString(39, 'A') + "…", "Ville"))}
            << QString();
        // Sequanel's own fields are checked as the form's values are: a whole
        // number put in its plain form, one cut at its bound refused.
        const QByteArray own = "<app_sequanel_qrz1:2>AB<app_sequanel_mhertz:3> 27<eor><app_sequanel_qrz1:2>CD"
                               "<app_sequanel_date:5>lundi<eor><app_sequanel_qrz1:2>EF<app_sequanel_mhertz:4097>"
                               + QByteArray(4097, '0') + "<eor>";
        QTest::newRow("Sequanel's fields") << own << QStringList{"∅|∅|∅|27|∅|∅|∅|AB|∅|∅|∅|∅|∅|∅|∅|∅"}
            << QStringList{line(2, at(own, "<app_sequanel_qrz1:2>CD"), msg::importBadDate().arg("lundi")),
                           line(3, at(own, "<app_sequanel_qrz1:2>EF"), msg::importNotWhole().arg(QString(40, '0') + "…", "Mhertz"))}
            << QString();
        // A value read across the end of the reader's first megabyte.
        const QByteArray across = QByteArray((1 << 20) - 548, 'x') + "<eoh><app_sequanel_qrz1:2>AB<app_sequanel_mhertz:600>"
                                  + QByteArray(599, ' ') + "7<eor>";
        QTest::newRow("value across a megabyte") << across << QStringList{"∅|∅|∅|7|∅|∅|∅|AB|∅|∅|∅|∅|∅|∅|∅|∅"} << QStringList()
                                                 << QString();
        // ADX: the header not read, whatever it holds; names in any case.
        QTest::newRow("ADX") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ADX><HEADER><PROGRAMID>Autre</PROGRAMID>"
                                          "<USERDEFS><RECORD><CALL>XX</CALL></RECORD></USERDEFS></HEADER>\n<RECORDS>"
                                          "<record><call>AB</call><APP PROGRAMID=\"autre\" FIELDNAME=\"x\" TYPE=\"S\">1</APP>"
                                          "<Qth>Lyon</Qth></record>\n<RECORD><APP PROGRAMID=\"sequanel\" FIELDNAME=\"qrz1\" "
                                          "TYPE=\"S\">EF</APP><APP PROGRAMID=\"Sequanel\" FIELDNAME=\"Mhertz\" TYPE=\"N\">27</APP>"
                                          "<CALL>GH</CALL></RECORD></RECORDS></ADX>")
                             << QStringList{"∅|1|∅|∅|∅|∅|∅|AB|∅|∅|∅|∅|Lyon|∅|∅|∅", "∅|∅|∅|27|∅|∅|∅|EF|∅|∅|∅|∅|∅|∅|∅|∅"}
                             << QStringList() << QString();
        QTest::newRow("ADX broken in a record") << QByteArray("<?xml version=\"1.0\"?><ADX><RECORDS><RECORD><CALL>AB</CALL></RECORD>"
                                                             "<RECORD><CALL>CD</CALL><QTH>Lyon</RECORD></RECORDS></ADX>")
                                                << QStringList{"∅|1|∅|∅|∅|∅|∅|AB|∅|∅|∅|∅|∅|∅|∅|∅"}
                                                << QStringList{msg::importAtLine().arg(2).arg(1).arg(msg::importBadXml())} << QString();
        const QByteArray noEoh = "Journal sans fin d'en-tête\n<call:2>AB<eor>";
        QTest::newRow("no <EOH>") << noEoh << QStringList() << QStringList()
                                  << msg::importEorBeforeEoh().arg(at(noEoh, "<eor>"));
        QTest::newRow("header alone") << QByteArray("Rien que du texte <b>") << QStringList() << QStringList() << msg::importNoEoh();
    }
    void handWritten()
    {
        QFETCH(QByteArray, adi);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, refused);
        QFETCH(QString, error);
        const QString path = file(adi.startsWith("<?xml") ? QStringLiteral("autre.adx") : QStringLiteral("autre.adi"));
        writeFile(path, adi);
        QStringList said;
        QString message;
        QCOMPARE(imported(path, file(QStringLiteral("autre.adb")), &said, &message), rows);
        QCOMPARE(said, refused);
        QCOMPARE(message, error.isEmpty() ? QString() : msg::importCannotRead().arg(path, error));
    }

    // Local times as the log stores them and QSO_DATE, TIME_ON (UTC) around
    // both changes of summer time in Paris: the hour the spring skips is read
    // with the winter offset, the hour the autumn repeats as its first pass;
    // a UTC time comes back as the local time it was.
    void utcAcrossSummerTime_data()
    {
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("utc");
        QTest::addColumn<QString>("back");
        QTest::newRow("before spring") << "2026-03-29 01:59:59" << "20260329 005959" << "2026-03-29 01:59:59";
        QTest::newRow("skipped hour") << "2026-03-29 02:30:00" << "20260329 013000" << "2026-03-29 03:30:00";
        QTest::newRow("after spring") << "2026-03-29 03:00:00" << "20260329 010000" << "2026-03-29 03:00:00";
        QTest::newRow("before autumn") << "2026-10-25 01:59:59" << "20261024 235959" << "2026-10-25 01:59:59";
        QTest::newRow("repeated hour, first") << "2026-10-25 02:30:00" << "20261025 003000" << "2026-10-25 02:30:00";
        QTest::newRow("repeated hour, second") << "" << "20261025 013000" << "2026-10-25 02:30:00";
        QTest::newRow("after autumn") << "2026-10-25 03:00:00" << "20261025 020000" << "2026-10-25 03:00:00";
        // (as another program may have stored them)
        QTest::newRow("ISO form") << "2026-03-29T03:07:09" << "20260329 010709" << "2026-03-29 03:07:09";
        QTest::newRow("day alone") << "2026-10-25" << "20261024 220000" << "2026-10-25 00:00:00";
        QTest::newRow("a century's leap day") << "2000-02-29 12:00:00" << "20000229 110000" << "2000-02-29 12:00:00";
        QTest::newRow("1 March, UTC still in February") << "2026-03-01 00:30:00" << "20260228 233000" << "2026-03-01 00:30:00";
        QTest::newRow("a change before 1970, at its instant") << "" << "19450402 010000" << "1945-04-02 03:00:00";
    }
    void utcAcrossSummerTime()
    {
        QFETCH(QString, local);
        QFETCH(QString, utc);
        QFETCH(QString, back);
        if (!local.isEmpty()) {
            const QString log = file(QStringLiteral("heure.adb")), adi = file(QStringLiteral("heure.adi"));
            QFile::remove(log);
            makeLogFile(log, {Row{local}});
            QVERIFY(exchange::exportLog(log, adi, exchange::Format::Adi).ok);
            static const QRegularExpression fields(QStringLiteral("<QSO_DATE:8>(\\d{8}) <TIME_ON:6>(\\d{6})"));
            const QRegularExpressionMatch m = fields.match(QString::fromLatin1(fileBytes(adi)));
            QCOMPARE(m.captured(1) + ' ' + m.captured(2), utc);
        }
        const QString adi = file(QStringLiteral("utc.adi")), log = file(QStringLiteral("utc.adb"));
        writeFile(adi, "<QSO_DATE:8>" + utc.left(8).toLatin1() + "<TIME_ON:6>" + utc.mid(9).toLatin1() + "<CALL:2>AB<EOR>");
        QFile::remove(log);
        QStringList refused;
        QCOMPARE(imported(adi, log, &refused).value(0).section('|', 0, 0), back);
    }

    // Any CSV whose headings name columns (as their names or the form's
    // labels, whatever the case and accents): dates and numbers in the
    // user's notation, the other columns left out and named, a text in
    // another code page refused.
    void csvMatchedByHeadings()
    {
        const LocaleScope french(QLocale(QLocale::French, QLocale::France));
        const QString csv = file(QStringLiteral("tableur.csv"));
        writeFile(csv, "ville,DATE,Prénom opérateur,code postal,N° de Sequ,Inconnu,Mhertz,Hertz\r\n"
                     "Lyon,14/07/2024 09:30:00,Jean,69000,7,x,27,205\r\n\n" // (a blank line of a bare LF counts too)
                     "\"Saint-Étienne, Loire\",2024-07-14 10:00,,42000,,\"y\"\"\",26,\n"
                     "Gen\xE8ve,14/07/2024 11:00:00,,1200,,,,\n");
        QStringList refused;
        QCOMPARE(imported(csv, file(QStringLiteral("tableur.adb")), &refused),
                 (QStringList{"2024-07-14 09:30:00|7|∅|27|205|∅|∅|∅|∅|∅|∅|∅|Lyon|69000|∅|Jean",
                              "2024-07-14 10:00:00|8|∅|26|∅|∅|∅|∅|∅|∅|∅|∅|Saint-Étienne, Loire|42000|∅|∅"}));
        QCOMPARE(refused, QStringList{msg::importAtLine().arg(3).arg(5).arg(msg::importNotUtf8().arg("Ville"))});
        QString message;
        QCOMPARE(exchange::planImport(csv, file(QStringLiteral("tableur.adb")), &message)->ignoredColumns, QStringList{"Inconnu"});
        // A first line with as many ',' as ';' (none of either included) is read with ';'; with more tabs than ',', with tabs.
        for (const auto &[heading, sep] : {std::pair{QByteArray("Ville"), ";x"}, {"Ville;Remarques, divers", ";x"}, {"Ville\tRemarques, divers\tAutre", "\tx\ty"}}) {
            writeFile(csv, heading + "\r\nLyon, Rhône" + sep + "\r\n");
            QCOMPARE(imported(csv, file(QStringLiteral("tableur.adb")), &refused),
                     QStringList{"∅|1|∅|∅|∅|∅|∅|∅|∅|∅|∅|∅|Lyon, Rhône|∅|∅|∅"});
        }
        // Headings that name no column: the file refused; a quote still open
        // at the end of the file: its record refused.
        writeFile(csv, "Remarques;Divers\r\nx;y\r\n");
        QCOMPARE(imported(csv, file(QStringLiteral("tableur.adb")), &refused, &message), QStringList());
        QCOMPARE(message, msg::importCannotRead().arg(csv, msg::importNoColumn()));
        writeFile(csv, "Ville\r\nLyon\r\n\"Nice\r\n");
        QCOMPARE(imported(csv, file(QStringLiteral("tableur.adb")), &refused),
                 QStringList{"∅|1|∅|∅|∅|∅|∅|∅|∅|∅|∅|∅|Lyon|∅|∅|∅"});
        QCOMPARE(refused, QStringList{msg::importAtLine().arg(2).arg(3).arg(msg::importOpenQuote())});
    }

    // sequanel-import refuses everything when a record is refused, unless
    // --partiel (status 3); sequanel-export refuses a format it does not
    // know as a wrong command (status 2).
    void importCommandStatuses()
    {
        const QString adi = file(QStringLiteral("mixte.adi")), log = file(QStringLiteral("mixte.adb"));
        writeFile(adi, "<call:2>AB<eor><stx:1>3<eor>");
        makeLogFile(log, {sampleRow(5)}); // (its number is not its rowid)
        const QString refusal = msg::importAtByte().arg(2).arg(16).arg(msg::importNoCall()) + '\n';
        QCOMPARE(runProgram(builtProgram("sequanel-import"), {adi, log}),
                 std::pair(1, refusal + msg::importPartialRefused().arg(1).arg(adi) + '\n'));
        QCOMPARE(readRows(log).size(), 1);
        QCOMPARE(runProgram(builtProgram("sequanel-import"), {"--partiel", adi, log}),
                 std::pair(3, refusal + msg::importedOne().arg(log) + msg::importedRenumbered().arg(1) + msg::importedPartial().arg(1) + '\n'));
        QCOMPARE(readRows(log).value(1).value(1).toString(), QStringLiteral("6"));
        const QString text = file(QStringLiteral("notes.txt"));
        writeFile(text, "<call:2>AB<eor>");
        QCOMPARE(runProgram(builtProgram("sequanel-import"), {text, log}), std::pair(1, msg::importCannotRead().arg(text, msg::importUnknownFormat()) + '\n'));
        QCOMPARE(runProgram(builtProgram("sequanel-export"), {"--format=xls", log, adi}),
                 std::pair(2, msg::exportBadFormat().arg("sequanel-export", "xls") + '\n' + msg::seeHelp().arg("sequanel-export") + '\n'));
    }

    // The standard fields of each record, whole: the modes as ADIF names them
    // (a submode under its mode, any case and blanks aside; another mode has
    // no MODE field), the band at both ends of a band and just past them, a
    // serial number of digits alone as STX, any other as STX_STRING.
    void standardFields()
    {
        const QString log = file(QStringLiteral("modes.adb")), adi = file(QStringLiteral("modes.adi"));
        QFile::remove(log);
        QVector<Row> rows;
        const int kilohertz[] = {28000, 29700, 27999, 29701};
        for (const char *mode : {"usb", " LSB ", "FM", "Bla"}) {
            rows << sampleRow(int(rows.size()) + 1);
            rows.last()[3] = kilohertz[rows.size() - 1] / 1000;
            rows.last()[4] = kilohertz[rows.size() - 1] % 1000;
            rows.last()[5] = QString::fromLatin1(mode);
        }
        rows << sampleRow(5) << sampleRow(6); // (no QSO_DATE for a date that is none, or before 1930)
        rows[4][0] = QStringLiteral("pas une date"), rows[4][3] = QVariant(); // (and no FREQ without megahertz)
        rows[5][0] = QStringLiteral("1929-12-31 23:59:59");
        rows[5][15] = QStringLiteral("J\x02"); // (ADX names the first record it refuses)
        rows[0][12] = QStringLiteral("Lyon \t"); // (the address's parts trimmed)
        rows[3][1] = QStringLiteral("4b");
        rows[3][15] = QStringLiteral("J\x01");
        makeLogFile(log, rows);
        const ClockScope clock(QDateTime(QDate(2024, 3, 1), QTime(12, 0, 5), Qt::UTC));
        QVERIFY(exchange::exportLog(log, adi, exchange::Format::Adi).ok);
        // (a control character XML cannot carry: ADI only)
        const QString adx = file(QStringLiteral("modes.adx"));
        QCOMPARE(exchange::exportLog(log, adx, exchange::Format::Adx).message,
                 msg::exportFailed().arg(msg::exportXmlControl().arg(4).arg(logfile::fieldLabel(logfile::columnNames()[15])), adx));
        // (a file that cannot be made is said before any record is read)
        const QString nowhere = file(QStringLiteral("absent/modes.adx"));
        QCOMPARE(exchange::exportLog(log, nowhere, exchange::Format::Adx).message,
                 msg::exportFailed().arg(msg::saveFolderMissing().arg(file(QStringLiteral("absent"))), nowhere));
        QStringList records;
        const QByteArray bytes = fileBytes(adi);
        for (qsizetype at = bytes.indexOf("<QSO_DATE"); at >= 0; at = bytes.indexOf("<QSO_DATE", at + 1))
            records << QString::fromLatin1(bytes.mid(at, bytes.indexOf(" <APP_", at) - at));
        const QString address = QStringLiteral(" <ADDRESS:24>BP %1\r\n69000 Lyon\r\nFrance <COUNTRY:6>France");
        QCOMPARE(records, QStringList({
            "<QSO_DATE:8>20240302 <TIME_ON:6>090100 <CALL:23>14 Alpha Bravo Charly 1 <FREQ:6>28.000 <BAND:3>10m <MODE:3>SSB "
            "<SUBMODE:3>USB <RST_SENT:2>59 <STX:1>1 <OPERATOR:4>Jean <QTH:6>Lyon  " + address.arg(1),
            "<QSO_DATE:8>20240303 <TIME_ON:6>090200 <CALL:23>14 Alpha Bravo Charly 2 <FREQ:6>29.700 <BAND:3>10m <MODE:3>SSB "
            "<SUBMODE:3>LSB <RST_SENT:2>59 <STX:1>2 <OPERATOR:4>Jean <QTH:4>Lyon" + address.arg(2),
            "<QSO_DATE:8>20240304 <TIME_ON:6>090300 <CALL:23>14 Alpha Bravo Charly 3 <FREQ:6>27.999 <MODE:2>FM "
            "<RST_SENT:2>59 <STX:1>3 <OPERATOR:4>Jean <QTH:4>Lyon" + address.arg(3),
            "<QSO_DATE:8>20240305 <TIME_ON:6>090400 <CALL:23>14 Alpha Bravo Charly 4 <FREQ:6>29.701 "
            "<RST_SENT:2>59 <STX_STRING:2>4b <OPERATOR:2>J? <QTH:4>Lyon" + address.arg(4)}));
        QCOMPARE(bytes.left(bytes.indexOf("<EOH>") + 5), "Sequanel - ADIF 3.1.4\r\n<ADIF_VER:5>3.1.4 <PROGRAMID:8>Sequanel <PROGRAMVERSION:"
                     + QByteArray::number(platform::programVersion().size()) + '>' + platform::programVersion().toLatin1()
                     + " <CREATED_TIMESTAMP:15>20240301 120005 <EOH>");
        QCOMPARE((QList<qsizetype>{bytes.count("<CALL:23>"), bytes.count("<FREQ:")}), (QList<qsizetype>{6, 5}));
    }

    // A log of one contact is read for duplicates too. An import after which
    // the log does not hold every row it stored (a trigger of another
    // program's took one) is undone, and said so. What cannot be exported
    // is said for what it is.
    void oneContactOrUnreadableLog()
    {
        const QString log = file(QStringLiteral("un.adb")), adi = file(QStringLiteral("un.adi")), text = file(QStringLiteral("texte.adb"));
        QFile::remove(log);
        makeLogFile(log, {sampleRow(1)});
        writeFile(adi, "<call:23>14 Alpha Bravo Charly 1<eor>");
        QString message;
        std::optional<exchange::ImportPlan> plan = exchange::planImport(adi, log, &message);
        QCOMPARE(plan ? plan->duplicates : QStringList{message}, QStringList{msg::importDuplicate().arg(1).arg("14 Alpha Bravo Charly 1", "1",
                                                   platform::formatDateTime(QDateTime(QDate(2024, 3, 2), QTime(10, 1))))});
        writeFile(adi, "<call:2>AB<eor><call:2>CD<eor>");
        QVERIFY(rawExec(log, "CREATE TRIGGER perd AFTER INSERT ON Transmission WHEN new.Qrz1 = 'CD' "
                             "BEGIN DELETE FROM Transmission WHERE rowid = new.rowid; END"));
        plan = exchange::planImport(adi, log, &message);
        QCOMPARE(plan ? exchange::runImport(*plan, log, false).message : message,
                 msg::importFailed().arg(msg::importCountMismatch(), platform::logDisplayName(log)));
        // (refused by a rule of the file's own: said as such)
        QVERIFY(rawExec(log, "DROP TRIGGER perd") && rawExec(log, "CREATE TRIGGER non BEFORE INSERT ON Transmission BEGIN SELECT RAISE(ABORT, 'non'); END"));
        QCOMPARE(exchange::runImport(*plan, log, false).message, msg::importFailed().arg(msg::changeRefusedByRule(), platform::logDisplayName(log)));
        QCOMPARE(readRows(log).size(), 1);
        // The log's numbers read as the window reads them: 19 digits past
        // what it counts are no number, and the next one given follows 2
        // (a contact without a call sign's number all the same).
        QVERIFY(rawExec(log, "DROP TRIGGER non"));
        QVERIFY(rawExec(log, "INSERT INTO Transmission (Sequanel) VALUES ('9220000000000000000'), ('2')"));
        plan = exchange::planImport(adi, log, &message);
        QVERIFY2(plan && exchange::runImport(*plan, log, false).ok, qPrintable(message));
        QCOMPARE(readRows(log).value(3).value(1).toString(), QStringLiteral("3"));
        writeFile(text, "pas un journal\n");
        // Exported, a file that is none, a folder and a missing file are each said for what they
        // are; a shared log whose server does not answer is said to be one, with the reason.
        const QString folder = QFileInfo(text).absolutePath(), none = folder + QStringLiteral("/aucun.adb"), unreachable = msg::serverUnreachable(),
                      away = QStringLiteral("postgresql://localhost:1/postgres?journal=absent");
        for (const auto &[source, why] : {std::pair{text, msg::exportNotALog().arg(text)}, {folder, msg::exportLogIsFolder().arg(folder)}, {none, msg::exportLogMissing().arg(none)},
                                          {away, msg::exportSharedUnreadable().arg(platform::logDisplayName(away), unreachable.left(1).toLower() + unreachable.mid(1, unreachable.size() - 2))}})
            QCOMPARE(exchange::exportLog(source, adi, exchange::Format::Adi).message, msg::exportFailed().arg(why, adi));
    }

    // Fichier › "Importer…": the preview tells what would happen (a record
    // refused, one already in the log, one renumbered; short values leave
    // every column in sight), its button keeps the readable ones, and the
    // window then shows the log's last contact;
    // "Exporter au format ADIF…" writes ADX for a name ending in .adx.
    void menuCommands()
    {
        MainWindowFixture f;
        const QString log = f.openWith(QStringLiteral("concours.adb"), 3);
        const QString adi = f.path(QStringLiteral("club.adi"));
        writeFile(adi, "<call:23>14 Alpha Bravo Charly 1<stx:1>2<eor>\n<stx:1>9<eor>\n<call:5>F4ABC<stx:2>10<eor>\n");
        f.prompts.clear();
        f.prompts.queuedFiles << adi;
        {
            // Stopped by the operator while it stores: nothing stored, nothing said.
            ModalWatch watch([&](QWidget *m) {
                if (auto *preview = qobject_cast<frmImportation *>(m)) {
                    platform::setProgressResponder([](qint64, qint64) { return true; });
                    preview->cmdImporter->click();
                }
            });
            f.ui().mnuImporter->trigger();
        }
        platform::setProgressResponder([](qint64, qint64) { return false; });
        QCOMPARE(f.said(), QStringList());
        QCOMPARE(readRows(log).size(), 3);
        f.prompts.queuedFiles << adi;
        QStringList seen, misshapen;
        {
            ModalWatch watch([&](QWidget *m) {
                auto *preview = qobject_cast<frmImportation *>(m);
                if (!preview)
                    return;
                seen << preview->lblRésumé->text() << preview->cmdImporter->text() << preview->txtRefusés->toPlainText()
                     << preview->txtDoublons->toPlainText() << preview->txtRenumérotés->toPlainText()
                     << QString::number(preview->grdAperçu->rowCount()) << QString::number(preview->tabDétails->currentIndex())
                     << preview->grdAperçu->item(0, 1)->text() + ' ' + preview->grdAperçu->item(1, 1)->text();
                misshapen = testsupport::unnamedControls(preview) + testsupport::misplacedControls(preview);
                const QTableWidget *grid = preview->grdAperçu; // short values: every column in sight at once
                if (grid->horizontalHeader()->length() > grid->viewport()->width())
                    misshapen << QStringLiteral("columns wider than the preview");
                const int rows = grid->height(), details = preview->tabDétails->height(); // enlarged, the grid gains most
                preview->resize(preview->width(), preview->height() + 100);
                if (grid->height() - rows <= preview->tabDétails->height() - details)
                    misshapen << QStringLiteral("the details grow as much as the preview");
                preview->cmdImporter->click();
            });
            f.ui().mnuImporter->trigger();
        }
        QVERIFY2(misshapen.isEmpty(), qPrintable(misshapen.join('\n')));
        QCOMPARE(seen, (QStringList{QStringList{msg::importRecordsRead().arg(adi).arg(3), msg::importToStore().arg(2),
                                                msg::importRefusedCount().arg(1), msg::importDuplicateCount().arg(1),
                                                msg::importRenumberedCount().arg(1)}.join('\n'),
                                    msg::importReadableButton().arg(2), msg::importAtByte().arg(2).arg(47).arg(msg::importNoCall()),
                                    msg::importDuplicate().arg(1).arg("14 Alpha Bravo Charly 1", "1",
                                                                      platform::formatDateTime(QDateTime(QDate(2024, 3, 2), QTime(10, 1)))),
                                    msg::importRenumbered().arg(1).arg("2").arg(11), "2", "0", "11 10"})); // (the refusals' tab first)
        QCOMPARE(f.said(), QStringList{msg::importedMany().arg(2).arg(log) + msg::importedRenumbered().arg(1) + msg::importedPartial().arg(1)});
        QCOMPARE(f.ui().txtNrSequanel->text(), QStringLiteral("10"));

        f.prompts.clear();
        f.prompts.queuedFiles << f.path(QStringLiteral("envoi.adx"));
        f.ui().mnuExporterAdif->trigger();
        QCOMPARE(f.said(), QStringList{msg::exportedMany().arg(5).arg(f.path(QStringLiteral("envoi.adx")))});
        QVERIFY(fileBytes(f.path(QStringLiteral("envoi.adx"))).startsWith("<?xml"));
    }
};

int main(int argc, char **argv)
{
    qputenv("TZ", "Europe/Paris");
    QApplication app(argc, argv);
    TestExchange t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_exchange.moc"
