// Shared logs on a PostgreSQL server of the test's own (support/PgServer).
#include "PgServer.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QUrl>
#include <QRegularExpression>

class TestShared : public QObject
{
    Q_OBJECT
private slots:
    // The server answers on its socket, and again after a restart.
    void serverRestarts()
    {
        testsupport::PgServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.error()));
        const auto parts = QRegularExpression(QStringLiteral("^postgresql://(\\w+)@([^:]+):(\\d+)/(\\w+)\\?"))
                               .match(server.address(QStringLiteral("club")));
        QVERIFY(parts.hasMatch());
        for (int round = 0; round < 2; ++round) {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("raw"));
                db.setHostName(QUrl::fromPercentEncoding(parts.captured(2).toLatin1()));
                db.setPort(parts.captured(3).toInt());
                db.setUserName(parts.captured(1));
                db.setDatabaseName(parts.captured(4));
                QVERIFY2(db.open(), qPrintable(db.lastError().text()));
                QSqlQuery q(db);
                QVERIFY(q.exec(QStringLiteral("SELECT 6 * 7")) && q.next());
                QCOMPARE(q.value(0).toInt(), 42);
            }
            QSqlDatabase::removeDatabase(QStringLiteral("raw"));
            QVERIFY(server.stop());
            QVERIFY(!server.isRunning());
            QVERIFY2(server.start(), qPrintable(server.error()));
        }
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestShared t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_shared.moc"
