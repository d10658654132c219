// Converting old log files (Jet 3.0): dates, every row and value carried
// across, refusals, the child process failing or meeting a damaged file, the
// command.
// Files come from the test writer (tools/jet_writer) and from the real engine
// (data/, Apache-2.0); Debian's mdb-schema and mdb-export read the same files
// as an independent reader.
#include "Conversion.h"
#include "Converter.h"
#include "LogFile.h"
#include "TestSupport.h"
#include "jet_writer.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using jetwriter::Value;
using Rows = QVector<QVariantList>;

namespace {

const QString kData = QStringLiteral(SEQUANEL_SOURCE_DIR "/tests/legacy/data/");

QByteArray run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}

// A contact given by its stored values (date text first), and its Jet row.
struct Contact {
    QVariantList stored;
    jetwriter::Row row;
};

Contact contact(int y, int mo, int d, int h, int mi, int s, const QVariantList &rest, bool deleted = false,
                bool moved = false)
{
    Contact c{{QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s)}, {}};
    c.stored += rest;
    c.row.values.push_back(Value::num(jetwriter::jetDate(y, mo, d, h, mi, s)));
    for (const QVariant &v : rest)
        c.row.values.push_back(v.isNull()                            ? Value::none()
                               : v.typeId() == QMetaType::QString ? Value::text(v.toString().toStdString())
                                                                   : Value::num(v.toDouble()));
    c.row.deleted = deleted;
    c.row.moved = moved;
    return c;
}

QVariantList rest(const QString &serial, int mhz, int hz, const QVariant &prefix, const QVariant &number,
                  const QStringList &texts) // RST, Bande, Qrz1-3, BP, Ville, CP, Pays, Opérateur; "-" for null
{
    auto t = [&](int i) { return texts[i] == QLatin1String("-") ? QVariant() : QVariant(texts[i]); };
    return {serial, t(0), mhz, hz, t(1), prefix, t(2), t(3), t(4), number, t(5), t(6), t(7), t(8), t(9)};
}

// The edge cases of a log: accents and code page 1252 punctuation, nulls and
// empty texts, midnight, the last second of a day, dates before 1900 (before
// and after Jet's day zero), the date limits, the integer limits.
QVector<Contact> edgeContacts()
{
    const QVariant null;
    return {
        contact(2024, 3, 31, 0, 0, 0, rest("1", 27, 405, 14, 12, {"59", "FM", "Œil", "Hôtel", "Zoulou", "€ 5", "Saint-Étienne", "42000", "Côte d’Ivoire", "Hélène"})),
        contact(1899, 12, 29, 6, 0, 0, rest("2", 26, 5, null, null, {"-", "-", "-", "-", "-", "-", "Orléans", "-", "-", "-"})),
        contact(1850, 7, 14, 23, 59, 59, rest("3", -32768, 32767, 0, -1, {"", "", "", "", "", "", "", "", "", ""})),
        contact(100, 1, 1, 0, 0, 0, rest("4", 28, 995, 32767, -32768, {"57", "USB", "Alpha", "Bravo", "Charlie", "BP 7", "Besançon", "25000", "France", "Maëlle"})),
        contact(9999, 12, 31, 23, 59, 59, rest("999999", 27, 15, 1, 999, {"59+", "AM", "Delta", "Echo", "Fox-trot", "12", "Nîmes", "30000", "Suisse", "Zoé"})),
    };
}

QString writeJet(const QString &path, const QVector<Contact> &contacts, bool encrypted,
                 const std::vector<jetwriter::Column> &columns = jetwriter::transmissionColumns())
{
    jetwriter::Table t{"Transmission", columns, {}};
    for (const Contact &c : contacts)
        t.rows.push_back(c.row);
    jetwriter::Options o;
    o.encrypted = encrypted;
    const std::string error = jetwriter::write(path.toStdString(), {t}, o);
    return QString::fromStdString(error);
}

using Table = QVector<QStringList>;

// mdb-export's rows, without quotes; an empty text reads as null there.
Table exported(const QString &jet)
{
    const QString format = QStringLiteral("%Y-%m-%d %H:%M:%S");
    const QString out = QString::fromUtf8(run(QStringLiteral("mdb-export"), {"-H", "-Q", "-d", "\t", "-0", "NULL", "-D",
                                                                            format, "-T", format, jet, "Transmission"}));
    Table rows;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        rows << line.split(QLatin1Char('\t'));
    return rows;
}

// A value as SQLite's quote() writes it: NULL, 'text' (quotes doubled), a number.
QString quote(const QVariant &v)
{
    if (v.isNull())
        return QStringLiteral("NULL");
    if (v.typeId() != QMetaType::QString)
        return QString::number(v.toDouble(), 'g', 17);
    return QLatin1Char('\'') + v.toString().replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

Table quoted(const Rows &rows)
{
    Table out;
    for (const QVariantList &r : rows) {
        out << QStringList();
        for (const QVariant &v : r)
            out.last() << quote(v);
    }
    return out;
}

// The rows of a table of an SQLite file, each value quoted by SQLite itself.
Table stored(const QString &path, const QString &table = logfile::kTable)
{
    platform::EngineError e;
    auto c = platform::Connection::open(path, platform::OpenMode::ReadOnly, &e);
    QVector<platform::Sql> cols;
    for (const platform::ColumnDef &d : c->tableColumns(platform::Identifier(table)))
        cols << platform::Sql("quote(%1)").arg(platform::Identifier(d.name));
    Table out;
    for (const QVariantList &r : c->rows(platform::Sql("SELECT %1 FROM %2 ORDER BY rowid")
                                             .arg(platform::Sql::join(cols, ","), platform::Identifier(table))))
        out << QVariant(r).toStringList();
    return out;
}

// Stored rows in mdb-export's terms.
Table asExported(Table rows)
{
    for (QStringList &r : rows)
        for (QString &v : r)
            v = (v == QLatin1String("''") || v == QLatin1String("NULL")) ? QStringLiteral("NULL")
                : v.startsWith(QLatin1Char('\''))                      ? v.mid(1, v.size() - 2).replace("''", "'")
                                                                        : v;
    return rows;
}

} // namespace

class TestLegacy : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }

private slots:
    void dates_data();
    void dates();
    void conversion_data();
    void conversion();
    void refusals_data();
    void refusals();
    void realEngineFiles();
    void commandLine();
};

void TestLegacy::dates_data()
{
    QTest::addColumn<double>("days");
    QTest::addColumn<QString>("text");
    const double second = 1.0 / 86400;
    QTest::newRow("day zero") << 0.0 << "1899-12-30 00:00:00";
    QTest::newRow("midnight") << 45382.0 << "2024-03-31 00:00:00";
    QTest::newRow("23:59:59") << 45382.0 + 86399 * second << "2024-03-31 23:59:59";
    QTest::newRow("nearest second, down") << 45382.0 + 10.49 * second << "2024-03-31 00:00:10";
    QTest::newRow("nearest second, up") << 45382.0 + 10.51 * second << "2024-03-31 00:00:11";
    QTest::newRow("rounded to the next midnight") << 45382.0 + 86399.6 * second << "2024-04-01 00:00:00";
    QTest::newRow("before day zero, time forward") << -1.25 << "1899-12-29 06:00:00";
    QTest::newRow("less than a day before day zero") << -0.5 << "1899-12-30 12:00:00";
    QTest::newRow("before 1900, rounded to midnight") << -1 - 86399.6 * second << "1899-12-30 00:00:00";
    QTest::newRow("1850") << -18065 - 0.75 << "1850-07-15 18:00:00";
    QTest::newRow("first day of year 100") << -657434.0 << "0100-01-01 00:00:00";
    QTest::newRow("last second of 9999") << 2958465 + 86399 * second << "9999-12-31 23:59:59";
    QTest::newRow("year 99") << -657435.0 << "";
    QTest::newRow("year 10000") << 2958466.0 << "";
    QTest::newRow("not a number") << double(NAN) << "";
}

void TestLegacy::dates()
{
    QFETCH(double, days);
    QFETCH(QString, text);
    QCOMPARE(legacy::jetDateText(days), text);
}

void TestLegacy::conversion_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<Rows>("expected"); // empty: compare with mdb-export only
    QTest::addColumn<bool>("anyOrder"); // mdb-export does not follow a row that grew
    QTest::addColumn<QString>("message");

    auto make = [&](const char *name, const QVector<Contact> &contacts, bool encrypted, const QString &message,
                    bool anyOrder = false) {
        const QString file = path(QString::fromLatin1(name).replace(QLatin1Char(' '), QLatin1Char('_')) + ".adb");
        QVERIFY(writeJet(file, contacts, encrypted).isEmpty());
        Rows expected;
        for (const Contact &c : contacts)
            if (!c.row.deleted)
                expected << c.stored;
        QTest::newRow(name) << file << expected << anyOrder << message;
    };
    make("edge values", edgeContacts(), false, "Les 5 contacts de");
    QVector<Contact> some = edgeContacts();
    some.insert(1, contact(2001, 1, 1, 1, 1, 1, rest("99", 27, 5, 1, 1, {"x", "-", "-", "-", "-", "-", "deleted", "-", "-", "-"}), true));
    some[3].row.moved = true;
    make("deleted rows, a row that grew", some, true, "Les 5 contacts de", true);
    make("one contact", {edgeContacts()[0]}, false, "Le contact de");
    make("no contact", {}, true, "ne contient aucun contact");
    QVector<Contact> odd = edgeContacts().mid(0, 2);
    odd[0].stored[12] = QString(25, QLatin1Char('e'));
    odd[0].row.values[12] = Value::text(std::string(25, 'e'));
    odd[1].stored[15] = QString(QChar(0x81)) + QStringLiteral("lbert");
    odd[1].row.values[15] = Value::raw("\x81lbert");
    odd[1].stored[0] = 2958466.5;
    odd[1].row.values[0] = Value::num(2958466.5);
    odd[1].stored[1] = QString(200, QLatin1Char('9'));
    odd[1].row.values[1] = Value::text(std::string(200, '9')); // a row past 256 bytes
    make("values the log's rules refuse", odd, false,
         "4 valeurs que Sequanel refuserait à la saisie ont été reprises telles quelles : « Date » (1), "
         "« Opérateur » (1), « Sequanel » (1), « Ville » (1).");

    jetwriter::Table big{"Transmission", jetwriter::transmissionColumns(), {}};
    for (int i = 1; i <= 100000; ++i) // more pages than a usage map kept in its row can list
        big.rows.push_back(jetwriter::sampleContact(i));
    QVERIFY(jetwriter::write(path("big.adb").toStdString(), {big}, {true}).empty());
    QTest::newRow("100,000 contacts, encrypted") << path("big.adb") << Rows() << false << "Les 100000 contacts";
    QTest::newRow("log kept in the test data, 1,000 contacts, encrypted")
        << kData + "ancien-1000-chiffre.adb" << Rows() << false << "Les 1000 contacts";
}

void TestLegacy::conversion()
{
    QFETCH(QString, jet);
    QFETCH(Rows, expected);
    QFETCH(bool, anyOrder);
    QFETCH(QString, message);
    const QByteArray before = testsupport::fileBytes(jet);
    const QString out = path(QStringLiteral("converted-%1.adb").arg(QTest::currentDataTag()).replace(' ', '_'));

    const legacy::ChildResult r = legacy::runConverter(jet, out);
    QCOMPARE(r.status, legacy::ChildResult::Done);
    QVERIFY2(r.message.contains(message), qPrintable(r.message));
    QCOMPARE(testsupport::fileBytes(jet), before);
    const Table rows = stored(out);
    if (!expected.isEmpty() || r.rows == 0)
        QCOMPARE(rows, quoted(expected));

    // The independent reader sees the same file: its schema and every row
    // (dates to the second, nulls, accents).
    const QString schema = QString::fromUtf8(run(QStringLiteral("mdb-schema"), {jet}));
    for (const platform::ColumnDef &c : logfile::transmission().columns) {
        const QString type = c.type == platform::ColumnType::Text       ? QStringLiteral("Text (%1)").arg(c.size)
                             : c.type == platform::ColumnType::SmallInt ? QStringLiteral("Integer")
                                                                        : QStringLiteral("DateTime");
        QVERIFY2(schema.contains(QStringLiteral("[%1]\t\t\t%2").arg(c.name, type)), qPrintable(c.name));
    }
    Table theirs = exported(jet), ours = asExported(rows);
    QCOMPARE(theirs.size(), ours.size());
    if (anyOrder) {
        std::sort(theirs.begin(), theirs.end(), [](auto &a, auto &b) { return a[1] < b[1]; });
        std::sort(ours.begin(), ours.end(), [](auto &a, auto &b) { return a[1] < b[1]; });
    }
    // mdb-export writes dates outside 1900-3000 as 1900-01-00 00:00:00 and
    // cannot show bytes that code page 1252 leaves undefined.
    for (int i = 0; i < ours.size(); ++i)
        for (int j = 0; j < ours[i].size(); ++j) {
            const QString v = ours[i][j];
            const bool shown = v.size() == 19 && v >= QLatin1String("1900") && v < QLatin1String("3001");
            if ((j == 0 && !shown) || !platform::fitsWindows1252(v))
                ours[i][j] = theirs[i][j] = QStringLiteral("-");
        }
    QCOMPARE(ours, theirs);
}

// Refused files, damaged files and a child that fails instead of converting
// (a script in its place): a French verdict, and no file left behind.
void TestLegacy::refusals_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("script"); // what the child does instead of converting; empty: the real child
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const int refused = int(legacy::ChildResult::Refused), damaged = int(legacy::ChildResult::Damaged);
    QTest::newRow("real engine file without Transmission") << kData + "testV1997.mdb" << "" << refused
        << "n'est pas un fichier de contacts : il ne contient pas de table « Transmission ».\n"
           "Tables qu'il contient : « Table1 », « Table2 », « Table3 », « Table4 ».";
    QTest::newRow("real engine file, encrypted") << kData + "db97-enc.mdb" << "" << refused
                                                 << "Tables qu'il contient : « Table1 ».";
    auto columns = jetwriter::transmissionColumns();
    columns.erase(columns.begin() + 10);
    columns.pop_back();
    const QString missing = path(QStringLiteral("missing.adb"));
    QVERIFY(writeJet(missing, {}, false, columns).isEmpty());
    QTest::newRow("two columns missing") << missing << "" << refused
                                         << "il manque à sa table « Transmission » les colonnes « N° », « Opérateur »";
    const QString truncated = path(QStringLiteral("truncated.adb"));
    QFile::copy(kData + "ancien-1000-chiffre.adb", truncated);
    QFile(truncated).resize(40 * 2048 + 100);
    QTest::newRow("truncated") << truncated << "" << damaged << "fichier endommagé";
    const QString old = kData + "ancien-12.adb";
    QTest::newRow("child crashes") << old << "echo total 10; kill -SEGV $$" << damaged << "fichier endommagé";
    QTest::newRow("child hangs") << old << "echo progress 1; exec sleep 60" << damaged << "fichier endommagé";
    QTest::newRow("child exits without a verdict") << old << "echo progress 1" << damaged << "endommagé";
    QTest::newRow("no such child") << old << "-" << refused << "ne peut pas être lancé";
}

void TestLegacy::refusals()
{
    QFETCH(QString, jet);
    QFETCH(QString, script);
    QFETCH(int, status);
    QFETCH(QString, message);
    const QString program = path(QStringLiteral("child.sh")), out = path(QStringLiteral("refused.adb"));
    if (!script.isEmpty()) {
        QFile::remove(program);
        QFile f(program);
        if (script != QLatin1String("-")) {
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("#!/bin/sh\ntouch \"$3\"\n" + script.toUtf8() + "\n");
            f.close();
            f.setPermissions(f.permissions() | QFile::ExeOwner);
        }
        legacy::setConverterProgram(program);
        legacy::setStallLimit(500);
    }
    const legacy::ChildResult r = legacy::runConverter(jet, out);
    legacy::setConverterProgram(QString());
    legacy::setStallLimit(10000);
    QCOMPARE(int(r.status), status);
    QVERIFY2(r.message.contains(message), qPrintable(r.message));
    QVERIFY(!QFile::exists(out));
}

void TestLegacy::realEngineFiles()
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

void TestLegacy::commandLine()
{
    // The loop of the README over a folder of old logs, one of them damaged,
    // then a second run that must not write over what the first made.
    const QString old = path(QStringLiteral("anciens")), fresh = path(QStringLiteral("convertis"));
    QDir().mkpath(old);
    QDir().mkpath(fresh);
    QFile::copy(kData + "ancien-12.adb", old + "/rallye été.adb");
    QFile::copy(kData + "ancien-1000-chiffre.adb", old + "/coupe.adb");
    QFile bad(old + "/abîmé.adb");
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray("\0\1\0\0Standard Jet DB\0", 20) + QByteArray(3000, '\xff'));
    bad.close();
    const QString loop = QStringLiteral(
        "cd '%1' && for f in anciens/*.adb; do \"$CONVERT\" \"$f\" \"convertis/$(basename \"$f\")\" "
        "|| echo \"échec : $f\"; done").arg(dir.path());
    QProcess sh;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CONVERT"), QCoreApplication::applicationDirPath() + "/sequanel-convert");
    sh.setProcessEnvironment(env);
    for (int pass = 0; pass < 2; ++pass) {
        sh.start(QStringLiteral("bash"), {QStringLiteral("-c"), loop});
        QVERIFY(sh.waitForFinished(60000));
        const QString said = QString::fromUtf8(sh.readAllStandardOutput() + sh.readAllStandardError());
        QVERIFY2(said.contains(QStringLiteral("échec : anciens/abîmé.adb")), qPrintable(said));
        QVERIFY2(said.contains(pass ? "existe déjà" : "Les 1000 contacts de « anciens/coupe.adb »"), qPrintable(said));
        QVERIFY2(said.contains("fichier endommagé"), qPrintable(said));
    }
    QCOMPARE(QDir(fresh).entryList(QDir::Files | QDir::Hidden), QStringList({"coupe.adb", "rallye été.adb"}));
    QCOMPARE(testsupport::readRows(fresh + "/rallye été.adb").size(), 12);
}

QTEST_MAIN(TestLegacy)
#include "tst_legacy.moc"
