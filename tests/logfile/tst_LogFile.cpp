// The log file as written on disk: the table Transmission read back with a
// connection of the test's own, rows in insertion order, numbers stored as
// numbers.
#include "LogFile.h"
#include "RecordSource.h"
#include "TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Rows of a statement read with a plain QtSql connection of the test's own,
// independent of the engine under test.
QVector<QVariantList> rawRows(const QString &path, const QString &sql)
{
    QVector<QVariantList> out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        const bool opened = db.open();
        QSqlQuery q(db);
        if (!opened || !q.exec(sql))
            out << QVariantList{QStringLiteral("error: ") + sql};
        while (q.next()) {
            QVariantList r;
            for (int i = 0; i < q.record().count(); ++i)
                r << q.value(i);
            out << r;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return out;
}

} // namespace

class TestLogFile : public QObject
{
    Q_OBJECT
private slots:
    void newFileHasExactSchema();
    void createRefusesBadPaths_data();
    void createRefusesBadPaths();
    void rowsKeepInsertionOrderAndDuplicates();
    void comboTextsAreStoredAsNumbers();

private:
    QTemporaryDir m_dir;
};

void TestLogFile::newFileHasExactSchema()
{
    const QString path = m_dir.filePath(QStringLiteral("schema.adb"));
    QString message;
    QVERIFY2(logfile::createEmpty(path, &message), qPrintable(message));

    // cid, name, type, notnull, dflt_value, pk
    const QVector<QVariantList> info = rawRows(path, QStringLiteral("PRAGMA table_info(\"Transmission\")"));
    const QList<QPair<QString, QString>> expected = {
        {"Date", "DATETIME"},         {"Sequanel", "VARCHAR(6)"}, {"RST", "VARCHAR(5)"},
        {"Mhertz", "SMALLINT"},       {"Hertz", "SMALLINT"},      {"Bande", "VARCHAR(5)"},
        {"Préfixe", "SMALLINT"},      {"Qrz1", "VARCHAR(15)"},    {"Qrz2", "VARCHAR(15)"},
        {"Qrz3", "VARCHAR(15)"},      {"N°", "SMALLINT"},         {"BP", "VARCHAR(10)"},
        {"Ville", "VARCHAR(20)"},     {"CP", "VARCHAR(10)"},      {"Pays", "VARCHAR(20)"},
        {"Opérateur", "VARCHAR(20)"},
    };
    QCOMPARE(info.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QVariantList &c = info[i];
        QCOMPARE(c.value(0).toInt(), i);
        QCOMPARE(c.value(1).toString(), expected[i].first);
        QCOMPARE(c.value(2).toString(), expected[i].second);
        QCOMPARE(c.value(3).toInt(), 0);     // not required
        QVERIFY(c.value(4).isNull());        // no default value
        QCOMPARE(c.value(5).toInt(), 0);     // not part of a key
    }
    // The names are UTF-8 in the file, not Latin-1 bytes.
    QCOMPARE(rawRows(path, QStringLiteral("SELECT hex(name) FROM pragma_table_info('Transmission') WHERE cid = 10")),
             QVector<QVariantList>{{"4EC2B0"}});

    const auto master = rawRows(path, QStringLiteral("SELECT type, name, tbl_name FROM sqlite_master"));
    QCOMPARE(master.size(), 1);
    QCOMPARE(master[0], (QVariantList{"table", "Transmission", "Transmission"}));
    QCOMPARE(rawRows(path, QStringLiteral("SELECT count(*) FROM Transmission")).value(0).value(0).toInt(), 0);
    QCOMPARE(rawRows(path, QStringLiteral("PRAGMA journal_mode")).value(0).value(0).toString(), QStringLiteral("delete"));
    QVERIFY(!QFile::exists(path + QStringLiteral("-journal")));
}

void TestLogFile::createRefusesBadPaths_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("existing");
    QTest::newRow("existing file") << "existing.adb" << true;
    QTest::newRow("missing folder") << "no/such/folder/x.adb" << false;
}

void TestLogFile::createRefusesBadPaths()
{
    QFETCH(QString, name);
    QFETCH(bool, existing);
    const QString path = m_dir.filePath(name);
    const QByteArray content("not a log file, and it must stay so\n");
    if (existing) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QString message;
    QVERIFY(!logfile::createEmpty(path, &message));
    QVERIFY2(message.contains(QStringLiteral("Impossible de créer")), qPrintable(message));
    if (existing) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), content);
    } else {
        QVERIFY(!QFile::exists(path));
    }
}

void TestLogFile::rowsKeepInsertionOrderAndDuplicates()
{
    const QString path = m_dir.filePath(QStringLiteral("order.adb"));
    testsupport::makeLogFile(path);
    platform::RecordSource rs;
    QLineEdit seq, ville;
    rs.bind(&seq, QStringLiteral("Sequanel"));
    rs.bind(&ville, QStringLiteral("Ville"));
    logfile::configure(rs, path);
    QVERIFY(rs.refresh());

    auto add = [&](const QString &s, const QString &v) {
        QVERIFY(rs.addNew());
        seq.setText(s);
        ville.setText(v);
        QVERIFY2(rs.update(), qPrintable(logfile::storeFailureMessage(rs.error())));
    };
    // Not in any sort order, and two rows identical in every column.
    add("30", "Lyon");
    add("4", "Brest");
    add("4", "Brest");
    add("120", "Albi");
    const QString sql = QStringLiteral("SELECT Sequanel, Ville FROM Transmission");
    QCOMPARE(rawRows(path, sql), (QVector<QVariantList>{{"30", "Lyon"}, {"4", "Brest"}, {"4", "Brest"}, {"120", "Albi"}}));

    // After a deletion, a new row still comes last.
    QVERIFY(rs.moveFirst());
    QVERIFY(rs.moveNext());
    QVERIFY(rs.deleteCurrent());
    add("7", "Metz");
    QCOMPARE(rawRows(path, sql), (QVector<QVariantList>{{"30", "Lyon"}, {"4", "Brest"}, {"120", "Albi"}, {"7", "Metz"}}));
    QStringList walked;
    for (bool ok = rs.moveFirst(); ok && !rs.eof(); rs.moveNext())
        walked << seq.text();
    QCOMPARE(walked, (QStringList{"30", "4", "120", "7"}));
}

void TestLogFile::comboTextsAreStoredAsNumbers()
{
    testsupport::LocaleScope french(QLocale(QLocale::French, QLocale::France));
    const QString path = m_dir.filePath(QStringLiteral("freq.adb"));
    testsupport::makeLogFile(path);
    platform::RecordSource rs;
    QComboBox mhz, hz;
    for (QComboBox *c : {&mhz, &hz})
        c->setEditable(true);
    mhz.addItems({"26", "27", "28"});
    for (int i = 5; i < 1000; i += 10)
        hz.addItem(QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')));
    rs.bind(&mhz, QStringLiteral("Mhertz"));
    rs.bind(&hz, QStringLiteral("Hertz"));
    logfile::configure(rs, path);
    QVERIFY(rs.refresh());

    QVERIFY(rs.addNew());
    mhz.setCurrentIndex(1);
    hz.setCurrentIndex(0);
    QCOMPARE(hz.currentText(), QStringLiteral("005"));
    QVERIFY2(rs.update(), qPrintable(logfile::storeFailureMessage(rs.error())));

    const auto stored = rawRows(path, QStringLiteral("SELECT Mhertz, typeof(Mhertz), Hertz, typeof(Hertz) FROM Transmission"));
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored[0], (QVariantList{27, "integer", 5, "integer"}));
    QVERIFY(rs.moveFirst());
    QCOMPARE(mhz.currentText(), QStringLiteral("27"));
    QCOMPARE(hz.currentText(), QStringLiteral("5"));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestLogFile t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_LogFile.moc"
