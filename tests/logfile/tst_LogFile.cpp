// The log file as written on disk, read back with a plain QtSql connection of
// the test's own: the exact table, rows in insertion order, numbers stored as
// numbers.
#include "BoundControls.h"
#include "LogFile.h"
#include "RecordSource.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The rows of a statement, each as its values joined by '|'.
QStringList rawRows(const QString &path, const QString &sql)
{
    QStringList out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        const bool opened = db.open();
        QSqlQuery q(db);
        if (!opened || !q.exec(sql))
            out << QStringLiteral("error: ") + sql;
        while (q.next()) {
            QStringList r;
            for (int i = 0; i < q.record().count(); ++i)
                r << q.value(i).toString();
            out << r.join(QLatin1Char('|'));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return out;
}

} // namespace

class TestLogFile : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void newFileHasExactSchema()
    {
        const QString path = m_dir.filePath(QStringLiteral("schema.adb"));
        QString message;
        QVERIFY2(logfile::createEmpty(path, &message), qPrintable(message));
        // name | declared type | not null | no default | key
        QCOMPARE(rawRows(path, QStringLiteral("SELECT name, type, \"notnull\", dflt_value IS NULL, pk "
                                              "FROM pragma_table_info('Transmission') ORDER BY cid")),
                 (QStringList{"Date|DATETIME|0|1|0",     "Sequanel|VARCHAR(6)|0|1|0", "RST|VARCHAR(5)|0|1|0",
                              "Mhertz|SMALLINT|0|1|0",   "Hertz|SMALLINT|0|1|0",      "Bande|VARCHAR(5)|0|1|0",
                              "Préfixe|SMALLINT|0|1|0",  "Qrz1|VARCHAR(15)|0|1|0",    "Qrz2|VARCHAR(15)|0|1|0",
                              "Qrz3|VARCHAR(15)|0|1|0",  "N°|SMALLINT|0|1|0",         "BP|VARCHAR(10)|0|1|0",
                              "Ville|VARCHAR(20)|0|1|0", "CP|VARCHAR(10)|0|1|0",      "Pays|VARCHAR(20)|0|1|0",
                              "Opérateur|VARCHAR(20)|0|1|0"}));
        // The names are UTF-8 in the file, not Latin-1 bytes.
        QCOMPARE(rawRows(path, QStringLiteral("SELECT hex(name) FROM pragma_table_info('Transmission') WHERE cid = 10")),
                 QStringList{"4EC2B0"});
        // One table, no index, no other object; empty.
        QCOMPARE(rawRows(path, QStringLiteral("SELECT type, name, tbl_name FROM sqlite_master")),
                 QStringList{"table|Transmission|Transmission"});
        QCOMPARE(rawRows(path, QStringLiteral("SELECT count(*) FROM Transmission")), QStringList{"0"});
    }

    // Rows stay in insertion order, duplicates included, a row added after a
    // deletion comes last; the frequency boxes' texts 27 and 005 are stored
    // as the numbers 27 and 5.
    void rowsInInsertionOrderAndNumbersAsNumbers()
    {
        testsupport::LocaleScope french(QLocale(QLocale::French, QLocale::France));
        const QString path = m_dir.filePath(QStringLiteral("order.adb"));
        testsupport::makeLogFile(path);
        platform::RecordSource rs;
        QLineEdit seq, ville;
        QComboBox mhz, hz;
        mhz.setEditable(true);
        hz.setEditable(true);
        auto *bound = new platform::BoundControls(&rs);
        for (const auto &[control, column] : {std::pair<QWidget *, const char *>{&seq, "Sequanel"}, {&ville, "Ville"}, {&mhz, "Mhertz"}, {&hz, "Hertz"}})
            bound->bind(control, QString::fromLatin1(column));
        logfile::configure(rs, path);
        QVERIFY(rs.refresh());
        auto add = [&](const QString &s, const QString &v) {
            QVERIFY(rs.addNew());
            seq.setText(s);
            ville.setText(v);
            mhz.setEditText(QStringLiteral("27"));
            hz.setEditText(QStringLiteral("005"));
            QVERIFY2(rs.update(), qPrintable(logfile::storeFailureMessage(rs.error())));
        };
        for (const auto &[s, v] : {std::pair{"30", "Lyon"}, {"4", "Brest"}, {"4", "Brest"}, {"120", "Albi"}})
            add(s, v);
        QVERIFY(rs.moveFirst() && rs.moveNext() && rs.deleteCurrent());
        add("7", "Metz");
        QCOMPARE(rawRows(path, QStringLiteral("SELECT Sequanel, Ville FROM Transmission")),
                 (QStringList{"30|Lyon", "4|Brest", "120|Albi", "7|Metz"}));
        QCOMPARE(rawRows(path, QStringLiteral("SELECT DISTINCT Mhertz, typeof(Mhertz), Hertz, typeof(Hertz) FROM Transmission")),
                 QStringList{"27|integer|5|integer"});
    }
};

QTEST_MAIN(TestLogFile)
#include "tst_LogFile.moc"
