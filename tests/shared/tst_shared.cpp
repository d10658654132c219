// Shared logs on a PostgreSQL server of the test's own (support/PgServer):
// the copies between a file and a shared log through sequanel-convert, and
// the refusals of an opening.
#include "Engine.h"
#include "LogFile.h"
#include "LogIndex.h"
#include "LogReading.h"
#include "Messages.h"
#include "PgServer.h"
#include "RecordSource.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using platform::Sql;

namespace {

// Every contact of a log, each value as text ("NULL" for none), in order;
// with quoted, as SQLite's quote() writes it, which tells a number from a text.
QVector<QStringList> contents(const QString &log, bool quoted = false)
{
    QVector<Sql> columns;
    for (const QString &name : logfile::columnNames())
        columns << (quoted ? Sql("quote(%1)").arg(platform::Identifier(name)) : Sql(platform::Identifier(name)));
    platform::EngineError e;
    auto c = platform::Connection::open(log, platform::OpenMode::ReadOnly, &e);
    if (!c)
        return {{e.text}};
    QVector<QStringList> out;
    for (const QVariantList &row : c->rows(Sql("SELECT %1 FROM %2 ORDER BY rowid").arg(Sql::join(columns, ", "), platform::Identifier(logfile::kTable)))) {
        QStringList texts;
        for (const QVariant &v : row)
            texts << (v.isNull() ? QStringLiteral("NULL") : v.toString());
        out << texts;
    }
    return out;
}

// Contacts whose every value is at an edge of its column's rules: texts of
// full length or empty or none, separators, quotes and line breaks, the
// whole range of small integers, dates from the first years on.
QVector<testsupport::Row> awkwardRows(int count)
{
    QRandomGenerator random(testsupport::testSeed(23));
    QVector<testsupport::Row> rows;
    for (int n = 0; n < count; ++n) {
        testsupport::Row row;
        for (const platform::ColumnDef &c : logfile::transmission().columns) {
            if (random.bounded(10) == 0) {
                row << QVariant();
            } else if (c.type == platform::ColumnType::SmallInt) {
                const int edges[] = {-32768, 32767, 0, -1};
                row << (random.bounded(3) == 0 ? edges[random.bounded(4)] : int(random.bounded(65536)) - 32768);
            } else if (c.type == platform::ColumnType::DateTime) {
                const QDateTime at(QDate(100 + int(random.bounded(9900)), 1, 1).addDays(random.bounded(365)),
                                   QTime(0, 0).addSecs(int(random.bounded(86400))));
                row << at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            } else {
                QString text = testsupport::awkwardText(random, c.size);
                if (random.bounded(4) == 0)
                    text = text.leftJustified(c.size, QChar(0x00C9), true);
                row << text;
            }
        }
        rows << row;
    }
    return rows;
}

// sequanel-convert run on two names: its exit status and what it wrote.
std::pair<int, QString> convert(const QString &from, const QString &to)
{
    const auto [status, said] = testsupport::runProgram(testsupport::builtProgram("sequanel-convert"), {from, to});
    return {status, said.trimmed()};
}

} // namespace

class TestShared : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.isRunning(), qPrintable(m_server.error()));
        QVERIFY(logfile::createEmpty(m_server.address("droits"), nullptr));
        auto c = platform::Connection::open(m_server.address("droits"), platform::OpenMode::ReadWrite, nullptr);
        QVERIFY(c && c->exec("CREATE ROLE club LOGIN PASSWORD 'secret'") && c->exec("GRANT USAGE ON SCHEMA droits TO club")
                && c->exec("GRANT ALL ON ALL TABLES IN SCHEMA droits TO club"));
    }

    // A log file copied into a new shared log, the server restarted, and the
    // shared log copied into a new file: the shared log holds the file's
    // values, the new file the very values and types of the first, and the
    // first file was only read. A second copy into the same journal is refused.
    void fileToSharedToFile()
    {
        QTemporaryDir dir;
        // (a file's name is said whole, even one that reads like an address's password)
        const QString first = dir.filePath(QStringLiteral("premier?password=x.adb")), back = dir.filePath(QStringLiteral("retour.adb"));
        testsupport::makeLogFile(first, awkwardRows(400));
        const QByteArray before = testsupport::fileBytes(first);
        const QString shared = m_server.address(QStringLiteral("Club_été"));

        QCOMPARE(convert(first, shared), std::make_pair(0, msg::copiedMany().arg(400).arg(QStringLiteral("« %1 »").arg(first))
                                                               + QLatin1Char('\n') + msg::copyNewLog().arg(QStringLiteral("« %1 »").arg(shared))));
        QCOMPARE(contents(shared), contents(first));
        // A station's reserved number is its own again after the restart,
        // though a transaction was open when its connection was lost.
        auto station = platform::Connection::open(shared, platform::OpenMode::ReadWrite, nullptr);
        const std::optional<qint64> reserved = logfile::reserveNextSerial(station.get());
        QVERIFY(reserved && station->begin() && station->scalar(Sql("SELECT 1")).isValid());
        QVERIFY(m_server.stop());
        QTRY_COMPARE(station->link().kind, platform::LinkState::Down);
        // While the server is away, the link's thread sleeps between its
        // tries, and wakes at least once a second.
        const qint64 turns = platform::serverLinkTurns();
        QTest::qWait(1500);
        const qint64 woken = platform::serverLinkTurns() - turns;
        QVERIFY2(woken >= 1 && woken < 50, qPrintable(QString::number(woken)));
        QVERIFY2(m_server.start(), qPrintable(m_server.error()));
        QTRY_COMPARE_WITH_TIMEOUT(station->link().kind, platform::LinkState::Back, 10000);
        QVERIFY(!station->scalar(Sql("SELECT 1")).isValid());
        station->rollback();
        QVERIFY(station->scalar(Sql("SELECT 1")).isValid());
        auto other = platform::Connection::open(shared, platform::OpenMode::ReadWrite, nullptr);
        QCOMPARE(logfile::reserveNextSerial(other.get()), std::optional(*reserved + 1));
        QCOMPARE(convert(shared, back).first, 0);
        QCOMPARE(contents(back, true), contents(first, true));
        QCOMPARE(testsupport::fileBytes(first), before);

        const auto again = convert(first, shared);
        QCOMPARE(again.first, 1);
        QVERIFY2(again.second.endsWith(msg::sharedLogExists()), qPrintable(again.second));
        QCOMPARE(contents(shared).size(), 400);
        // A copy the server refuses half-way leaves no journal behind.
        QVector<testsupport::Row> rows = testsupport::sampleRows(300);
        rows[200][1] = QStringLiteral("1234567"); // (longer than its column)
        testsupport::makeLogFile(dir.filePath(QStringLiteral("long.adb")), rows);
        const auto refused = convert(dir.filePath(QStringLiteral("long.adb")), m_server.address(QStringLiteral("refus")));
        QVERIFY2(refused.first == 1 && !platform::Connection::open(m_server.address(QStringLiteral("refus")),
                                                                    platform::OpenMode::ReadOnly, nullptr), qPrintable(refused.second));
    }

    // Another station's statement, as a reader's surveys tell it: the chunks
    // of 1,024 rowids it touched, or every row.
    void surveysTellTheChunksChanged_data()
    {
        QTest::addColumn<int>("statement");
        QTest::addColumn<QString>("changed");
        QTest::newRow("addition") << 0 << "2048-3071";
        QTest::newRow("change of two") << 1 << "0-1023 2048-3071";
        QTest::newRow("deletion") << 2 << "1024-2047";
        QTest::newRow("none") << 3 << "";
        QTest::newRow("emptied") << 4 << "0-9223372036854775807";
    }
    void surveysTellTheChunksChanged()
    {
        QFETCH(int, statement);
        QFETCH(QString, changed);
        const Sql statements[] = {"INSERT INTO \"Transmission\" (\"RST\") VALUES ('59')",
                                  "UPDATE \"Transmission\" SET \"RST\" = '5' WHERE rowid IN (5, 2500)",
                                  "DELETE FROM \"Transmission\" WHERE rowid = 1500",
                                  "UPDATE \"Transmission\" SET \"RST\" = '5' WHERE rowid < 0", "TRUNCATE \"Transmission\""};
        const QString shared = m_server.address("survey_" + QString::number(statement));
        QVERIFY(logfile::createEmpty(shared, nullptr));
        platform::EngineError e;
        auto station = platform::Connection::open(shared, platform::OpenMode::ReadWrite, &e);
        QVERIFY(station->exec("INSERT INTO \"Transmission\" (\"Sequanel\") SELECT CAST(n AS text) FROM generate_series(1, 3000) n"));
        auto reader = platform::Connection::open(shared, platform::OpenMode::ReadOnly, &e);
        auto survey = [&] {
            logfile::ReadLock lock(reader.get());
            return reader->surveyTable(platform::Identifier(logfile::kTable));
        };
        const auto before = survey();
        QVERIFY(station->exec(statements[statement]));
        const auto found = platform::changedRowids(before.value(), survey().value());
        QStringList ranges;
        for (const platform::RowidRange &r : found.value())
            ranges << QStringLiteral("%1-%2").arg(r.first).arg(r.last);
        QCOMPARE(ranges.join(' '), changed);
    }

    // A row another station adds once a reading of every row knows the
    // journal's first and last rowids, past the last one: that reading has
    // no span for it, and the next reading, from what the first knows, reads it.
    void rowAddedAsAReadingStarts()
    {
        const QString shared = m_server.address("pendant_lecture");
        QVERIFY(logfile::createEmpty(shared, nullptr));
        platform::EngineError e;
        auto station = platform::Connection::open(shared, platform::OpenMode::ReadWrite, &e);
        const int chunk = 1 << logfile::kChunkBits; // (rowids from 1: the last row added alone in the second chunk)
        QVERIFY(station->exec("INSERT INTO \"Transmission\" (\"Sequanel\") SELECT CAST(n AS text) FROM generate_series(1, ?1) n", {chunk - 1}));
        auto reader = logfile::readingConnection(shared, &e);
        const auto first = logfile::readLog(reader.get(), {}, nullptr, nullptr, nullptr, [&](logfile::ReadingPoint at) {
            if (at == logfile::ReadingPoint::BoundsRead)
                QVERIFY(station->exec("INSERT INTO \"Transmission\" (\"Sequanel\") VALUES ('0')"));
        });
        QCOMPARE(first && first->survey ? first->rowsRead : -1, chunk - 1);
        QCOMPARE(station->scalar("SELECT max(rowid) FROM \"Transmission\"").toInt(), chunk);
        const auto next = logfile::readLog(reader.get(), {first->chunks, first->survey, true});
        QCOMPARE(next ? next->rowsRead : -1, 1);
    }

    // Openings of the record source on a server that speaks French: refused
    // with the message the user reads (a password refused is told by its
    // code, whatever the language: the window asks it again), or opened as
    // the role may use the journal, and over TLS when the address asks.
    void openings_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("said"); // empty: opened
        const QString tcp = QStringLiteral("127.0.0.1"), ca = "sslrootcert=" + m_server.caFile();
        QTest::newRow("name with a quote") << m_server.address("a\"b") << msg::sharedJournalNameInvalid();
        QTest::newRow("server's prefix") << m_server.address("pg_club") << msg::sharedJournalNameInvalid();
        QTest::newRow("server stopped") << m_server.address("Club_été") << msg::serverUnreachable();
        QTest::newRow("no password") << m_server.address("droits", {}, "club") << msg::serverNoPermission();
        QTest::newRow("wrong password") << m_server.address("droits", tcp, "club:faux") << msg::serverNoPermission();
        QTest::newRow("may write") << m_server.address("droits", tcp, "club:secret", "sslmode=disable") << QString();
        QTest::newRow("certificate for another name") << m_server.address("droits", tcp, "sequanel", "sslmode=verify-full&" + ca)
                                                      << msg::serverTlsRefused();
        QTest::newRow("certificate verified") << m_server.address("droits", "localhost", "sequanel", "sslmode=verify-full&" + ca)
                                              << QString();
    }
    void openings()
    {
        QFETCH(QString, address);
        QFETCH(QString, said);
        const bool stopped = said == msg::serverUnreachable();
        QVERIFY(!stopped || m_server.stop());
        platform::RecordSource source;
        logfile::configure(source, address);
        const bool opened = source.refresh();
        QVERIFY2(!stopped || m_server.start(), qPrintable(m_server.error()));
        if (said.isEmpty()) {
            QVERIFY2(opened, qPrintable(source.error().detail));
            QVERIFY(!source.isReadOnly());
            const platform::LinkState link = source.database()->link();
            QCOMPARE(link.encrypted, address.contains("verify-full"));
            QCOMPARE(link.network, address.contains("@127") || address.contains("@localhost"));
            return;
        }
        QVERIFY(!opened);
        QCOMPARE(platform::passwordRefused(source.error().engine()), QTest::currentDataTag() == QByteArray("no password")
                                                                         || QTest::currentDataTag() == QByteArray("wrong password"));
        QCOMPARE(logfile::openFailureMessage(source.error(), address),
                 msg::cannotOpenShared().arg(platform::logDisplayName(address), said));
    }

    // One connection's statements. A statement after a reading row by row
    // (the readings of the window's duplicate warning): its answer whole, on
    // the same connection (the next reading of a log opened again waited a
    // second for it). A number reserved by one station is refused to another
    // until the first lets it go; a number the column cannot hold is no
    // one's. A failure of the client library itself, without a SQLSTATE (a
    // statement of more values than it can send), and a statement the server
    // refuses are each said as what they are, and the connection stays: none
    // is made again for them.
    void statementsOfAConnection()
    {
        auto c = platform::Connection::open(m_server.address("droits"), platform::OpenMode::ReadWrite, nullptr);
        auto b = platform::Connection::open(m_server.address("droits"), platform::OpenMode::ReadWrite, nullptr);
        QVERIFY(c && b);
        const QVariant session = c->scalar("SELECT pg_backend_pid()");
        const int made = platform::serverConnectionsMade(QThread::currentThread());
        const Sql statement = "SELECT n, n * 10 FROM generate_series(1, 2) n";
        QVERIFY(c->exec(statement)); // (prepared before: sent alone after the stream)
        QStringList seen;
        {
            // (the same reading again during the first takes the first's rest in; left after its first row, it takes its own)
            const Sql three = "SELECT n FROM generate_series(1, 3) n";
            const auto first = c->openQuery(three), second = c->openQuery(three);
            seen << second->value(0).toString();
            for (; first->isValid() && !first->eof(); first->moveNext())
                seen << first->value(0).toString();
        }
        bool ok = false;
        for (const QVariantList &row : c->rows(statement, {}, &ok))
            seen << row.value(0).toString() + '/' + row.value(1).toString();
        QCOMPARE(seen, QStringList({"1", "1", "2", "3", "1/10", "2/20"}));
        QVERIFY2(ok, qPrintable(c->lastError().text));

        const qint64 top = std::numeric_limits<qint32>::max();
        QList<std::optional<bool>> taken;
        for (auto [station, number] : {std::pair{c.get(), qint64(1)}, {b.get(), qint64(1)}, {b.get(), top}, {c.get(), top},
                                       {c.get(), top + 1}, {b.get(), top + 1}, {c.get(), qint64(0)}, {b.get(), qint64(0)}})
            taken << station->reserve(number);
        QCOMPARE(taken, (QList<std::optional<bool>>{true, false, true, false, true, true, true, true}));
        c->releaseReservations();
        b->releaseReservations();
        QCOMPARE(b->reserve(1), std::optional<bool>(true));

        QVERIFY(!c->exec("SELECT 1", QVariantList(65536))); // (one more than a statement can carry)
        QCOMPARE(platform::describe(c->lastError()), msg::serverClientError());
        QCOMPARE(c->scalar("SELECT pg_backend_pid()"), session);
        QCOMPARE(platform::serverConnectionsMade(QThread::currentThread()), made);
        // What the server forgot, as after a pooler's reset, is prepared again: alone, and as a transaction's first.
        QVERIFY(c->exec("DEALLOCATE ALL") && c->exec(statement) && c->exec("DEALLOCATE ALL") && c->begin() && c->exec(statement) && c->commit());

        // A value the server's rules refuse (too long for its column, a key
        // already taken, out of range) is said as such, not as a fault of the
        // server's; a statement it does not know is said with its state.
        QVERIFY(c->exec("CREATE TEMPORARY TABLE regles (v varchar(2) UNIQUE)") && c->exec("INSERT INTO regles VALUES ('ab')"));
        for (const Sql &refused : QVector<Sql>{"INSERT INTO regles VALUES ('abc')", "INSERT INTO regles VALUES ('ab')",
                                               "SELECT 1 / 0", "SELECT 40000::smallint"}) {
            QVERIFY(!c->exec(refused));
            QCOMPARE(platform::describe(c->lastError()), msg::serverRefusedByRule());
        }
        QVERIFY(!c->exec("SELEC 1"));
        QCOMPARE(platform::describe(c->lastError()), msg::serverError().arg("42601"));
        // The server's faults by their class or state, as a trigger may raise them.
        using platform::EngineFault;
        QVERIFY(c->exec("CREATE FUNCTION pg_temp.leve(etat text) RETURNS void LANGUAGE plpgsql AS "
                        "$$ BEGIN RAISE EXCEPTION 'x' USING ERRCODE = etat; END $$"));
        for (const auto &[state, fault] : {std::pair{"58030", EngineFault::IoError}, {"XX001", EngineFault::Corrupt},
                                           {"53100", EngineFault::Full}, {"55P03", EngineFault::Locked},
                                           {"25006", EngineFault::ReadOnly}, {"40001", EngineFault::Busy},
                                           {"40P01", EngineFault::Busy}, {"53300", EngineFault::Busy},
                                           {"42501", EngineFault::Permission}, {"P0001", EngineFault::Other}}) {
            QVERIFY(!c->exec("SELECT pg_temp.leve(?1)", {state}));
            QCOMPARE(platform::faultOf(c->lastError()), fault);
        }
        QCOMPARE(c->scalar("SELECT pg_backend_pid()"), session);
        QCOMPARE(platform::serverConnectionsMade(QThread::currentThread()), made);
    }

private:
    testsupport::PgServer m_server{{false, "127.0.0.1", true, "fr_FR.UTF-8", {},
                                    {"local all sequanel trust", "host all sequanel all trust", "local all all scram-sha-256",
                                     "host all all all scram-sha-256"}}};
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestShared t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_shared.moc"
