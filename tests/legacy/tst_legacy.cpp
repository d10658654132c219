// Converting old log files (Jet 3.0): dates, every row and value carried
// across, refusals, the child process failing or meeting a damaged file, the
// command; opening an old log in the main window (an operator's own Jet
// Orientation.mdb: tests/orientation). Files come from the test writer
// (tools/jet_writer) and from the real engine (data/, Apache-2.0).
#include "Conversion.h"
#include "Converter.h"
#include "JetFile.h"
#include "LogFile.h"
#include "MainWindowFixture.h"
#include "Progress.h"
#include "jet_writer.h"

#include <QtEndian>

#include <csignal>
#include <cstdio>
#include <numeric>
#include <unistd.h>

using Rows = QVector<QVariantList>;

namespace {

const QString kData = QStringLiteral(SEQUANEL_SOURCE_DIR "/tests/legacy/data/");
const QVariant null;

// Writes contacts to a Jet file, each row as given (a date as its text, or
// as Jet's day count when a number). The rows listed in moved are stored as
// rows that grew past their page; a contact with fewer values than the
// columns, as a row written before the table's last columns were added.
void writeJet(const QString &path, const Rows &contacts, bool encrypted, const QList<int> &moved = {},
              const std::vector<jetwriter::Column> &columns = jetwriter::transmissionColumns())
{
    jetwriter::Table t{"Transmission", columns, {}};
    for (const QVariantList &c : contacts) {
        jetwriter::Row row{{}, moved.contains(int(t.rows.size())), c.size() < qsizetype(columns.size()) ? int(c.size()) : -1};
        for (const QVariant &v : c) {
            const std::string text = v.toString().toStdString();
            int y, mo, d, h, mi, sec;
            const bool date = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &sec) == 6;
            if (v.isNull())
                row.values.push_back(jetwriter::Value::none());
            else if (row.values.empty() && date)
                row.values.push_back(jetwriter::Value::num(jetwriter::jetDate(y, mo, d, h, mi, sec)));
            else if (v.typeId() == QMetaType::QString)
                row.values.push_back(jetwriter::Value::text(text));
            else
                row.values.push_back(jetwriter::Value::num(v.toDouble()));
        }
        t.rows.push_back(row);
    }
    jetwriter::Options o;
    o.encrypted = encrypted;
    QCOMPARE(QString::fromStdString(jetwriter::write(path.toStdString(), {t}, o)), QString());
}

// The rows of a table of an SQLite file, each value quoted by SQLite itself.
QVector<QStringList> stored(const QString &path, const QString &table = logfile::kTable)
{
    platform::EngineError e;
    auto c = platform::Connection::open(path, platform::OpenMode::ReadOnly, &e);
    QVector<platform::Sql> cols;
    for (const platform::ColumnDef &d : c->tableColumns(platform::Identifier(table)))
        cols << platform::Sql("quote(%1)").arg(platform::Identifier(d.name));
    QVector<QStringList> out;
    for (const QVariantList &r : c->rows(platform::Sql("SELECT %1 FROM %2 ORDER BY rowid")
                                             .arg(platform::Sql::join(cols, ","), platform::Identifier(table))))
        out << QVariant(r).toStringList();
    return out;
}

// Values as SQLite's quote() writes them: NULL, 'text' (quotes doubled), a number.
QVector<QStringList> quoted(const Rows &rows)
{
    QVector<QStringList> out;
    for (const QVariantList &r : rows) {
        out << QStringList();
        for (const QVariant &v : r)
            out.last() << (v.isNull()                          ? QStringLiteral("NULL")
                           : v.typeId() != QMetaType::QString ? QString::number(v.toDouble(), 'g', 17)
                                                               : "'" + v.toString().replace("'", "''") + "'");
    }
    return out;
}

} // namespace

class TestLegacy : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    // 100,000 contacts, encrypted: more pages than one bitmap page of a usage map covers.
    QString bigLog()
    {
        jetwriter::Table big{"Transmission", jetwriter::transmissionColumns(), {}};
        for (int i = 1; i <= 100000 && !QFile::exists(path("big.adb")); ++i)
            big.rows.push_back(jetwriter::sampleContact(i));
        if (!big.rows.empty())
            jetwriter::write(path("big.adb").toStdString(), {big}, {true});
        return path("big.adb");
    }

    // 2,000 contacts of generated values (seed: SEQUANEL_SEED) that meet the
    // log's rules, written once; *rows receives them. Among them the edge
    // cases: code page 1252 punctuation, nulls and empty texts, midnight, the
    // last second of a day, dates before 1900 (before and after Jet's day
    // zero), the date limits, the integer limits.
    QString generatedLog(Rows *rows = nullptr)
    {
        static Rows contacts;
        static const QStringList edges{"2024-03-31 00:00:00", "1899-12-29 06:00:00", "1850-07-14 23:59:59", "0100-01-01 00:00:00", "9999-12-31 23:59:59"};
        QRandomGenerator rng(testsupport::testSeed(1995));
        for (int i = 0; i < 2000 && contacts.size() < 2000; ++i) {
            contacts << QVariantList();
            for (const platform::ColumnDef &c : logfile::transmission().columns)
                contacts.last() << (rng.bounded(8) == 0 ? null
                      : c.type == platform::ColumnType::Text ? QVariant(testsupport::awkwardText(rng, c.size))
                      : c.type == platform::ColumnType::SmallInt ? QVariant(rng.bounded(4) ? rng.bounded(-32768, 32768) : rng.bounded(2) ? 32767 : -32768)
                      : rng.bounded(4) == 0 ? QVariant(edges[rng.bounded(edges.size())])
                      : QVariant(QDateTime(QDate(1900, 1, 1).addDays(rng.bounded(73000)), QTime(0, 0).addSecs(rng.bounded(86400))).toString("yyyy-MM-dd HH:mm:ss")));
            if (contacts.size() == 2000)
                writeJet(path("généré.adb"), contacts, false);
        }
        if (rows)
            *rows = contacts;
        return path("généré.adb");
    }

private slots:
    void dates_data()
    {
        QTest::addColumn<double>("days");
        QTest::addColumn<QString>("text");
        const double second = 1.0 / 86400;
        QTest::newRow("nearest second, down") << 45382.0 + 10.49 * second << "2024-03-31 00:00:10";
        QTest::newRow("nearest second, up") << 45382.0 + 10.51 * second << "2024-03-31 00:00:11";
        QTest::newRow("rounded to the next midnight") << 45382.0 + 86399.6 * second << "2024-04-01 00:00:00";
        QTest::newRow("less than a day before day zero") << -0.5 << "1899-12-30 12:00:00";
        QTest::newRow("before 1900, rounded to midnight") << -1 - 86399.6 * second << "1899-12-30 00:00:00";
        QTest::newRow("year 99") << -657435.0 << "";
        QTest::newRow("year 10000") << 2958466.0 << "";
        QTest::newRow("not a number") << double(NAN) << "";
    }

    void dates()
    {
        QFETCH(double, days);
        QFETCH(QString, text);
        QCOMPARE(legacy::jetDateText(days), text);
    }

    // Which old values are carried as they are, the others counted as values
    // the log's rules refuse: both sides of each limit of a column.
    void fitsColumn()
    {
        const int date = 0, serial = 1, number = 10;
        const std::tuple<int, QVariant, bool> cases[] = {
            {date, "2024-02-29 23:59:59", true}, {date, "2023-02-29 12:00:00", false}, {date, "2024-03-31 24:00:00", false},
            {date, "2024-03-31T12:00:00", false}, {date, "2024-03-31 12:00:0", false}, {date, "2024-03-31 12:00:000", false},
            {date, 45382.0, false}, {date, QVariant(), true}, {number, -32769, false}, {number, -32768, true},
            {number, 32767, true}, {number, 32768, false}, {serial, "123456", true}, {serial, "1234567", false},
            {serial, QByteArray("12"), false}};
        for (const auto &[column, value, fits] : cases)
            QVERIFY2(legacy::fitsColumn(logfile::transmission().columns[column], value) == fits, qPrintable(value.toString()));
    }

    // Files of the test writer and one of the test data, converted: every row as
    // stored (compared with the rows written, or only counted), the message, the
    // old file untouched.
    void conversion_data()
    {
        QTest::addColumn<QString>("jet");
        QTest::addColumn<Rows>("expected"); // empty: only counted
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("message");

        auto make = [&](const char *name, const Rows &contacts, bool encrypted, const QString &message,
                        const QList<int> &moved = {}) {
            const QString file = path(QString::fromLatin1(name).replace(QLatin1Char(' '), QLatin1Char('_')) + ".adb");
            writeJet(file, contacts, encrypted, moved);
            QTest::newRow(name) << file << contacts << int(contacts.size()) << QString(message).arg("« " + file + " »");
        };
        Rows generated;
        generatedLog(&generated);
        make("generated values in rows that grew, encrypted", generated, true, "Les 2000 contacts de %1 ont été convertis.", {1, 3, 1999});
        make("no contact", {}, true, "%1 ne contient aucun contact : le nouveau fichier est vide.");
        Rows odd = generated.mid(0, 2);
        odd[0][12] = QString(25, QLatin1Char('e'));
        odd[1][15] = QString(QChar(0x81)) + QChar(0x9D) + QStringLiteral("lbert"); // bytes code page 1252 leaves undefined
        odd[1][0] = 2958466.5;                                        // after 9999
        odd[1][1] = QStringLiteral("1234567");
        make("values the log's rules refuse", odd, false,
             "Les 2 contacts de %1 ont été convertis.\n\n4 valeurs que Sequanel refuserait à la saisie ont été reprises telles quelles : « Date » (1), "
             "« Opérateur » (1), « Sequanel » (1), « Ville » (1).");
        // Two columns the operator added to the table (a fixed one, a text),
        // the first two rows written before: they do not hold them at all.
        auto added = jetwriter::transmissionColumns();
        added.push_back({"Puissance", jetwriter::Type::Int, 0});
        added.push_back({"Antenne", jetwriter::Type::Text, 20});
        Rows older = generated.mid(0, 4);
        older[2] << 4 << QStringLiteral("Yagi 3 él.");
        older[3] << null << null;
        writeJet(path("added.adb"), older, false, {}, added);
        older[2].resize(16);
        older[3].resize(16);
        QTest::newRow("columns added after some rows") << path("added.adb") << older << 4
            << "Les 4 contacts de « " + path("added.adb") + " » ont été convertis.\n\nLes colonnes « Puissance », « Antenne » de "
               "l'ancien fichier n'existent pas dans un fichier Sequanel : elles n'ont pas été reprises.";
        QTest::newRow("100,000 contacts, encrypted") << bigLog() << Rows() << 100000 << "Les 100000 contacts de « " + bigLog() + " » ont été convertis.";
    }

    void conversion()
    {
        QFETCH(QString, jet);
        QFETCH(Rows, expected);
        QFETCH(int, count);
        QFETCH(QString, message);
        const QByteArray before = testsupport::fileBytes(jet);
        const QString out = path(QStringLiteral("converted-%1.adb").arg(QTest::currentDataTag()).replace(' ', '_'));

        const legacy::ChildResult r = legacy::runConverter(jet, out);
        QCOMPARE(r.status, legacy::ChildResult::Done);
        QCOMPARE(r.message, message);
        QCOMPARE(testsupport::fileBytes(jet), before);
        const QVector<QStringList> rows = stored(out);
        QCOMPARE(rows.size(), count);
        if (!expected.isEmpty() || count == 0)
            QCOMPARE(rows, quoted(expected));
        else
            QCOMPARE(rows.last()[1], QStringLiteral("'%1'").arg(count)); // sampleContact(n) has serial n
    }

    // Refused files, damaged files and a child that fails instead of converting
    // (a script in its place): a French verdict, and no file left behind.
    void refusals_data()
    {
        QTest::addColumn<QString>("jet");
        QTest::addColumn<QString>("script"); // what the child does instead of converting; empty: the real child
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const int refused = int(legacy::ChildResult::Refused), damaged = int(legacy::ChildResult::Damaged);
        QTest::newRow("real engine file without Transmission") << kData + "testV1997.mdb" << "" << refused
            << "« " + kData + "testV1997.mdb » n'est pas un fichier de contacts : il ne contient pas de table « Transmission ».\n"
               "Tables qu'il contient : « Table1 », « Table2 », « Table3 », « Table4 ».";
        auto columns = jetwriter::transmissionColumns();
        columns.erase(columns.begin() + 10);
        columns.pop_back();
        const QString missing = path(QStringLiteral("missing.adb"));
        writeJet(missing, {}, false, {}, columns);
        QTest::newRow("two columns missing")
            << missing << "" << refused << "« " + missing + " » n'est pas un fichier de contacts : il manque à sa table « Transmission » les colonnes « N° », « Opérateur ».";
        const QString letter = path(QStringLiteral("lettre.adb")); // (a name of one letter is a name)
        QCOMPARE(QString::fromStdString(jetwriter::write(letter.toStdString(), {{"T", {{"Puissance", jetwriter::Type::Int, 0}}, {}}})), QString());
        QTest::newRow("table T alone") << letter << "" << refused << "« " + letter + " » n'est pas un fichier de contacts : il ne contient pas de table « Transmission ».\nTables qu'il contient : « T ».";
        const QString old = kData + "ancien-12.adb";
        QTest::newRow("new file cannot be created, named as chosen")
            << old << "mkdir" << refused << "Le nouveau fichier « " + path("choisi.adb") + " » n'a pas pu être créé.";
        const QString damagedText = "Impossible de convertir « " + old + " » : fichier endommagé.\n\n"
                                    "Le fichier d'origine n'a pas été modifié et aucun fichier n'a été créé.";
        QTest::newRow("child crashes") << old << "echo total 10; kill -SEGV $$" << damaged << damagedText;
        QTest::newRow("child hangs") << old << "echo progress 1; exec sleep 3600" << damaged << damagedText; // (only the watch ends it)
        QTest::newRow("no such child") << old << "-" << refused
                                       << "Le programme de conversion « " + path("child.sh") + " » ne peut pas être lancé.";
    }

    void refusals()
    {
        QFETCH(QString, jet);
        QFETCH(QString, script);
        QFETCH(int, status);
        QFETCH(QString, message);
        const QString program = path(QStringLiteral("child.sh")), out = path(QStringLiteral("refused.adb"));
        if (script == QLatin1String("mkdir"))
            QVERIFY(QDir().mkdir(out));
        else if (!script.isEmpty()) {
            QFile::remove(program);
            if (script != QLatin1String("-")) {
                testsupport::writeFile(program, "#!/bin/sh\ntouch \"$3\"\n" + script.toUtf8() + "\n");
                QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner);
            }
            legacy::setConverterProgram(program);
            legacy::setStallLimit(500);
        }
        const legacy::ChildResult r = legacy::runConverter(jet, out, {}, {}, path(QStringLiteral("choisi.adb")));
        legacy::setConverterProgram(QString());
        legacy::setStallLimit(10000);
        QCOMPARE(int(r.status), status);
        QCOMPARE(r.message, message);
        QVERIFY(QDir().rmdir(out) || !QFile::exists(out));
    }

    void realEngineFiles()
    {
        // Files the Jet engine itself wrote, one of them encrypted, one with
        // deleted rows, read table by table as the orientation window reads one.
        const struct {
            const char *file, *table;
            Rows rows;
        } cases[] = {
            {"db97-enc.mdb", "Table1", {{1, "hello", 0}, {2, "world", 42}}},
            {"delTestV1997.mdb", "Table", {{"z", "y"}, {"v", "u"}}},
            {"testV1997.mdb", "Table1",
             {{"a", "b", 0, 0, 0, 0, "1981-12-12 00:00:00", 0, 0},
              {"abcdefg", "hijklmnop", 2, 222, 333333333, "444.555", "1974-09-21 00:00:00", "3.5", 1}}},
        };
        for (const auto &c : cases) {
            const QString out = path(QStringLiteral("copy-%1.sqlite").arg(c.file));
            const legacy::ChildResult r = legacy::runConverter(kData + c.file, out, {}, QString::fromLatin1(c.table));
            QCOMPARE(r.status, legacy::ChildResult::Done);
            QCOMPARE(stored(out, QString::fromLatin1(c.table)), quoted(c.rows));
        }
    }

    // sequanel-convert, as the README's loop over a folder runs it: the status
    // and all it says, a file already there never replaced (said before anything is read); copies of the
    // encrypted log with a data page zeroed, refused with what could be read
    // of it or converted in part with --partiel (other damage: damagedCopies); the definition's count of variable columns changed; a
    // file it may not read (run as nobody under root); the child's own call
    // with a name missing. Nothing left behind.
    void commandLine()
    {
        const QString fresh = path(QStringLiteral("rallye été.adb")), out = path(QStringLiteral("abîmé (converti).adb"));
        const int page = 2048; // the pages of Jet 3 files
        const QByteArray good = testsupport::fileBytes(kData + "ancien-1000-chiffre.adb");
        QByteArray zeroed = good, varCount = testsupport::fileBytes(kData + "ancien-12.adb");
        zeroed.replace(10 * page, page, QByteArray(page, 0));
        varCount[5 * page + 23] = 0;
        const QMap<QString, QByteArray> files{{"zéro.adb", zeroed}, {"variables.adb", varCount}, {"illisible.adb", varCount}};
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            testsupport::writeFile(path(it.key()), it.value());
        QFile(path("illisible.adb")).setPermissions({});
        QFile(dir.path()).setPermissions(QFile::Permissions(0x7755));
        const QString partial = " en entier (fichier endommagé : 976 contacts lisibles sur 1 000 annoncés)",
                      kept = "\n\nLe fichier d'origine n'a pas été modifié et aucun fichier n'a été créé.\n";
        auto q = [](const QString &p) { return "« " + p + " »"; };
        const struct { QStringList args; int exit; QString said; } runs[] = {
            {{kData + "ancien-12.adb", fresh}, 0,
             "Les 12 contacts de " + q(kData + "ancien-12.adb") + " ont été convertis.\nNouveau fichier : " + q(fresh) + "\n"},
            {{path("absent.adb"), fresh}, 1,
             "sequanel-convert : " + q(fresh) + " existe déjà : un fichier existant n'est jamais remplacé.\n"},
            {{path("zéro.adb"), out}, 1, "sequanel-convert : Impossible de convertir " + q(path("zéro.adb")) + partial + "." + kept
                + "Ajoutez --partiel pour convertir quand même les contacts lisibles.\n"},
            {{"--partiel", path("zéro.adb"), out}, 3, "Seuls les contacts lisibles de " + q(path("zéro.adb"))
                + " ont été convertis" + partial.mid(10) + ".\nNouveau fichier : " + q(out) + "\n"},
            {{path("variables.adb"), out}, 1,
             "sequanel-convert : Impossible de convertir " + q(path("variables.adb")) + " : fichier endommagé." + kept},
            {{path("illisible.adb"), out}, 1, "sequanel-convert : " + q(path("illisible.adb")) + " ne peut pas être lu.\n"},
            {{"--worker", "--nom", "x", fresh}, 2, ""}, // (the child's own call, but for a name)
        };
        for (const auto &r : runs) {
            QProcess p;
            if (r.args.first().endsWith("illisible.adb") && ::geteuid() == 0)
                p.setChildProcessModifier([] { (void)!(::setgid(65534) || ::setuid(65534)); });
            p.start(QCoreApplication::applicationDirPath() + "/sequanel-convert", r.args);
            QVERIFY(p.waitForFinished(60000));
            const QString said = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
            QCOMPARE(std::pair(p.exitCode(), said), std::pair(r.exit, r.said));
            QCOMPARE(QFile::exists(out) ? testsupport::readRows(out).size() : 0, r.exit == 3 ? 976 : 0);
            QFile::remove(out);
            QCOMPARE(QDir(dir.path()).entryList({".sequanel*"}, QDir::Files | QDir::Hidden), QStringList());
        }
        QCOMPARE(testsupport::readRows(fresh).size(), 12);
    }

    // Copies of the test logs and of the generated one, the same few hundred
    // every run (SEQUANEL_JET_SWEEP=N for N), two in three with a byte changed, one in three with a page zeroed
    // or copied over another: each is refused as damaged, or converted whole, as
    // many contacts as the table states, all the good ones but for at most the
    // contact whose own bytes took a changed byte (a value carries no check).
    void damagedCopies()
    {
        const int sweep = qEnvironmentVariableIntValue("SEQUANEL_JET_SWEEP"), copies = sweep > 0 ? sweep : 300;
        QMap<QString, QVector<QStringList>> good;
        int whole = 0, hit = 0;
        QRandomGenerator random(19);
        const QString copy = path(QStringLiteral("copie.adb")), out = path(QStringLiteral("copie convertie.adb"));
        for (int i = 0; i < copies; ++i) {
            const QString name = QStringList{"ancien-12.adb", "ancien-1000-chiffre.adb", "généré.adb"}[i / 3 % 3];
            const QString source = name == "généré.adb" ? generatedLog() : kData + name;
            if (!good.contains(name)) { // the good rows
                QCOMPARE(legacy::runConverter(source, path("bon-" + name)).status, legacy::ChildResult::Done);
                good[name] = stored(path("bon-" + name));
            }
            QByteArray bytes = testsupport::fileBytes(source);
            const int at = random.bounded(bytes.size()), page = at / 2048 * 2048,
                      other = random.bounded(at + 1) / 2048 * 2048;
            if (i % 3 < 2)
                bytes[at] = char(bytes[at] ^ (1 + random.bounded(255)));
            else
                bytes.replace(page, 2048, i % 2 ? QByteArray(2048, 0) : bytes.mid(other, 2048));
            testsupport::writeFile(copy, bytes);
            const legacy::ChildResult r = legacy::runConverter(copy, out);
            const QByteArray tag =
                QStringLiteral("%1, copy %2, byte %3 now %4: %5").arg(name).arg(i).arg(at).arg(int(uchar(bytes[at]))).arg(r.message).toUtf8();
            if (r.status == legacy::ChildResult::Done) {
                const QVector<QStringList> rows = stored(out), &expected = good[name];
                QVERIFY2(rows.size() == expected.size(), tag);
                const int changed = std::inner_product(rows.cbegin(), rows.cend(), expected.cbegin(), 0, std::plus<>(),
                                                       std::not_equal_to<>());
                QVERIFY2(changed <= (i % 3 < 2), tag);
                ++whole;
                hit += changed;
            } else {
                QVERIFY2((r.status == legacy::ChildResult::Partial ? r.damage : r.message).contains("endommagé"), tag);
                QCOMPARE(QFile::exists(out), r.status == legacy::ChildResult::Partial);
            }
            QFile::remove(out);
        }
        qInfo("%d copies: %d converted (%d with a contact changed), %d damaged", copies, whole, hit, copies - whole);
        // The generated log whose definition states one contact more than it holds.
        QByteArray bytes = testsupport::fileBytes(generatedLog());
        QVector<int> definitions;
        for (int at = 0; at < bytes.size(); at += 2048)
            if (bytes[at] == 2 && qFromLittleEndian<qint32>(bytes.constData() + at + 12) == 2000)
                definitions << at;
        QCOMPARE(definitions.size(), 1);
        testsupport::writeFile(copy, bytes.replace(definitions[0] + 12, 1, "\xD1")); // 2001
        QCOMPARE(legacy::runConverter(copy, out).damage, QStringLiteral("fichier endommagé : 2 000 contacts lisibles sur 2 001 annoncés"));
        // A table of 12 contacts whose data pages are all wiped: none read of the 12.
        bytes = testsupport::fileBytes(kData + "ancien-12.adb");
        int table = -1;
        for (int at = 0; at < bytes.size(); at += 2048)
            if (bytes[at] == 2 && qFromLittleEndian<qint32>(bytes.constData() + at + 12) == 12)
                table = at / 2048;
        for (int at = 0; at < bytes.size(); at += 2048)
            if (bytes[at] == 1 && qFromLittleEndian<qint32>(bytes.constData() + at + 4) == table)
                bytes.replace(at, 2048, QByteArray(2048, 0));
        testsupport::writeFile(copy, bytes);
        QFile::remove(out);
        QCOMPARE(legacy::runConverter(copy, out).message,
                 msg::convertPartialRefused().arg(copy, QStringLiteral("fichier endommagé : 0 contact lisible sur 12 annoncés")));
        // A row that states no column, then one more than its table has: the row is refused.
        for (const char columns : {0, 17}) {
            bytes = testsupport::fileBytes(kData + "ancien-12.adb");
            for (int at = 0; at < bytes.size(); at += 2048)
                if (bytes[at] == 1 && qFromLittleEndian<qint32>(bytes.constData() + at + 4) == table) {
                    bytes[at + (qFromLittleEndian<quint16>(bytes.constData() + at + 10) & 0x1fff)] = columns;
                    break;
                }
            testsupport::writeFile(copy, bytes);
            QFile::remove(out);
            QCOMPARE(legacy::runConverter(copy, out).damage, QStringLiteral("fichier endommagé : 11 contacts lisibles sur 12 annoncés"));
        }
        // The same table whose first column has a type no Jet file has: its definition is not sound.
        bytes = testsupport::fileBytes(kData + "ancien-12.adb");
        bytes[table * 2048 + 43 + 8 * qFromLittleEndian<qint32>(bytes.constData() + table * 2048 + 31)] = 0x30;
        testsupport::writeFile(copy, bytes);
        QFile::remove(out);
        QCOMPARE(legacy::runConverter(copy, out).status, legacy::ChildResult::Damaged);
        // Read in this process: a file that is not there does not open, and
        // nothing is read without a table open.
        legacy::JetDatabase none;
        QVERIFY(!none.open(path("absent.adb")) && none.readRows({}) == legacy::JetDatabase::Reading::Damaged);
    }

    // sequanel-convert stopped by SIGTERM or SIGINT midway leaves nothing in
    // the target folder and a failure status; killed outright, its child
    // goes with it (gone, or a zombie left to a parent that does not reap).
    void interrupted()
    {
        for (const int signal : {SIGTERM, SIGINT, SIGKILL}) {
            QTemporaryDir target;
            QProcess p;
            p.start(QCoreApplication::applicationDirPath() + "/sequanel-convert", {bigLog(), target.filePath("l.adb")});
            QTRY_VERIFY(!QDir(target.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
            const QString worker = "/proc/" + testsupport::fileBytes(QStringLiteral("/proc/%1/task/%1/children")
                                                                         .arg(p.processId())).trimmed();
            ::kill(pid_t(p.processId()), signal);
            QVERIFY(p.waitForFinished(30000) && p.exitStatus() == QProcess::CrashExit);
            QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden).isEmpty(), signal != SIGKILL);
            QTRY_VERIFY(!QFile::exists(worker) || testsupport::fileBytes(worker + "/stat").contains(") Z "));
        }
    }

    // Open on an old log file: converted into a new file that becomes the
    // open log, the entry under way stored in the previous log first; or, when
    // the user declines, cancels, names the old file or the file is damaged,
    // nothing changes: the previous log open, the entry still on screen.
    void openOldLog_data()
    {
        QTest::addColumn<bool>("yes");        // to the question
        QTest::addColumn<QString>("saveAs");  // "proposed", "existing" (the proposed, already a log), "old", or "" (cancelled)
        QTest::addColumn<bool>("cancel");     // in the progress dialog
        QTest::addColumn<QString>("damaged"); // "", or the answer to keeping what could be read: "kept", "declined"
        QTest::addColumn<QString>("message"); // the last message shown
        QTest::newRow("converted") << true << "proposed" << false << "" << "Les 1000 contacts de « ";
        QTest::newRow("converted over an earlier log") << true << "existing" << false << "" << "Les 1000 contacts de « ";
        QTest::newRow("question answered no") << false << "proposed" << false << "" << "Voulez-vous";
        QTest::newRow("save dialog cancelled") << true << "" << false << "" << "Voulez-vous";
        QTest::newRow("conversion cancelled") << true << "proposed" << true << "" << "Voulez-vous";
        QTest::newRow("old file chosen as the new one") << true << "old" << false << "" << "n'est jamais remplacé";
        QTest::newRow("damaged file, readable contacts kept") << true << "proposed" << false << "kept" << "Seuls les";
        QTest::newRow("damaged file, nothing kept") << true << "proposed" << false << "declined"
                                                    << "Voulez-vous convertir quand même les contacts lisibles ?";
    }

    void openOldLog()
    {
        QFETCH(bool, yes);
        QFETCH(QString, saveAs);
        QFETCH(bool, cancel);
        QFETCH(QString, damaged);
        QFETCH(QString, message);
        MainWindowFixture f(3);
        const QString old = f.path(QStringLiteral("coupe 1998.adb"));
        const QString fresh = f.path(QStringLiteral("coupe 1998 (converti).adb"));
        QVERIFY(QFile::copy(kData + "ancien-1000-chiffre.adb", old));
        if (!damaged.isEmpty()) {
            QFile file(old);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(6 * 2048 + 8); // the row table of the first data page
            file.write(QByteArray(300, '\xee'));
        }
        if (saveAs == QLatin1String("existing")) // (the save dialog asked before replacing it)
            QVERIFY(QFile::copy(f.file, fresh));
        const QByteArray before = testsupport::fileBytes(old);
        const QString title = f.w->windowTitle();
        f.ui().cmdNouveau->click();
        f.fill();

        f.prompts.answer = yes ? platform::Answer::Yes : platform::Answer::No;
        f.prompts.onMessage = [&](const platform::MessageRequest &m) {
            if (m.text.contains(QStringLiteral("en entier")) && damaged == QLatin1String("declined"))
                f.prompts.answer = platform::Answer::No;
        };
        f.prompts.queuedFiles << old << (saveAs == QLatin1String("proposed") || saveAs == QLatin1String("existing") ? fresh
                                         : saveAs == QLatin1String("old")    ? old
                                                                             : QString());
        int reports = 0;
        platform::setProgressResponder([&](qint64, qint64) {
            ++reports;
            return cancel;
        });
        f.ui().mnuOuvrir->trigger();
        platform::clearProgressResponder();

        QCOMPARE(f.prompts.messages[0].buttons, platform::MessageButtons::YesNo);
        QVERIFY(f.prompts.messages.last().text.contains(message));
        QCOMPARE(testsupport::fileBytes(old), before);
        if (damaged == QLatin1String("kept")) {
            const int rows = int(testsupport::readRows(fresh).size());
            QCOMPARE(f.prompts.messages.last().text, QStringLiteral("Seuls les contacts lisibles de « %1 » ont été convertis "
                     "(fichier endommagé : %2 contacts lisibles sur 1 000 annoncés).").arg(old).arg(rows));
            QVERIFY(rows > 900 && rows < 1000);
            QCOMPARE(f.ui().Data1->databaseName(), fresh);
        }
        if (QByteArray(QTest::currentDataTag()).startsWith("converted")) {
            const platform::FileRequest save = f.prompts.fileRequests.last();
            QVERIFY(save.save && save.confirmOverwrite && save.initialPath == fresh);
            QCOMPARE(f.ui().Data1->databaseName(), fresh);
            QCOMPARE(f.shownSerial(), QStringLiteral("1000"));
            QCOMPARE(QList<qsizetype>({testsupport::readRows(fresh).size(), testsupport::readRows(f.file).size()}), QList<qsizetype>({1000, 4}));
            QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
            return;
        }
        if (damaged == QLatin1String("kept"))
            return;
        QCOMPARE(reports > 0, cancel || !damaged.isEmpty());
        QCOMPARE(f.w->windowTitle() + '|' + f.ui().Data1->databaseName(), title + '|' + f.file);
        QCOMPARE(f.ui().cmdNouveau->text() + '|' + f.ui().txtVille->text(), QStringLiteral("&Valider|Clermont-Ferrand"));
        QCOMPARE(testsupport::readRows(f.file).size(), 3);
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"coupe 1998.adb", "log.adb"}));
    }
};

QTEST_MAIN(TestLegacy)
#include "tst_legacy.moc"
