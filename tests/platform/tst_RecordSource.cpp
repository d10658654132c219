// The record source over a real log file (its cursor is followed through the
// main window's commands in tests/entry/test_worked.cpp): the column rules on update, the table of a new file and the
// durability settings of its connection; and the regional notation of the
// dates and numbers it reads. Refused openings are tested
// through the main window's Open command (tests/entry) and in
// tests/reliability.
#include "BoundControls.h"
#include "Engine.h"
#include "LogFile.h"
#include "Messages.h"
#include "RecordSource.h"
#include "Regional.h"
#include "TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using platform::SourceError;
using testsupport::readRows;

Q_DECLARE_METATYPE(SourceError::Kind)

namespace {

const QString kSerial = QStringLiteral("Sequanel");

// A record source with its sixteen columns bound to line edits (the window
// tests store through combo boxes too), over log files in a temporary folder.
struct Fixture {
    QTemporaryDir dir;
    QLineEdit controls[16];
    platform::RecordSource rs;

    Fixture()
    {
        auto *bound = new platform::BoundControls(&rs);
        for (int i = 0; i < 16; ++i)
            bound->bind(&controls[i], logfile::columnNames().at(i));
    }
    // A log file with n sample rows, opened through the source (first row current).
    QString open(int n)
    {
        const QString path = dir.filePath(QStringLiteral("log.adb"));
        testsupport::makeLogFile(path, testsupport::sampleRows(n));
        logfile::configure(rs, path);
        rs.refresh(); // a refusal shows in the checks that follow
        return path;
    }
    QString text(const QString &c) const { return controls[logfile::columnNames().indexOf(c)].text(); }
    void set(const QString &c, const QString &t) { controls[logfile::columnNames().indexOf(c)].setText(t); }
    QStringList texts() const
    {
        QStringList out;
        for (const QLineEdit &c : controls)
            out << c.text();
        return out;
    }
    // Adds a row with a serial and a frequency and stores it.
    bool add(const QString &serial)
    {
        if (!rs.addNew() || texts() != QStringList(16, QString()))
            return false;
        set(kSerial, serial);
        set(QStringLiteral("Mhertz"), QStringLiteral("27"));
        set(QStringLiteral("Hertz"), QStringLiteral("005"));
        return rs.update();
    }
};

} // namespace

class TestRecordSource : public QObject
{
    Q_OBJECT
    testsupport::LocaleScope m_locale{QLocale(QLocale::French, QLocale::France)};

private slots:
    // Refused: named in the message, nothing written, the row still pending
    // as typed. Corrected, it stores.
    void columnRules_data()
    {
        QTest::addColumn<bool>("adding");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("bad");
        QTest::addColumn<SourceError::Kind>("kind");
        QTest::addColumn<QString>("good");
        QTest::addColumn<QVariant>("stored");
        for (const bool adding : {true, false}) {
            auto row = [adding](const char *name, const char *column, const QString &bad, SourceError::Kind kind,
                                const QString &good, const QVariant &stored) {
                QTest::addRow("%s, %s", adding ? "adding" : "editing", name)
                    << adding << QString::fromUtf8(column) << bad << kind << good << stored;
            };
            row("serial too long", "Sequanel", "1234567", SourceError::TooLong, "123456", "123456");
            row("size in characters", "RST", "€€€€€€", SourceError::TooLong, "€€€€€", "€€€€€");
            row("above 32767", "Préfixe", "32768", SourceError::OutOfRange, "32767", 32767);
            row("below -32768", "N°", "-32769", SourceError::OutOfRange, "-32768", -32768);
            row("fraction", "Mhertz", "27,5", SourceError::NotWhole, "27,0", 27);
            row("not a date", "Date", "31/02/2024 10:00:00", SourceError::NotDate, "29/02/2024 10:00:00", "2024-02-29 10:00:00");
            row("omega", "Opérateur", "Ω", SourceError::BadCharacter, "Zoé œ €", "Zoé œ €");
        }
    }

    void columnRules()
    {
        QFETCH(bool, adding);
        QFETCH(QString, column);
        QFETCH(QString, bad);
        QFETCH(SourceError::Kind, kind);
        QFETCH(QString, good);
        QFETCH(QVariant, stored);
        Fixture f;
        const QString path = f.open(2);
        QVERIFY(f.rs.moveLast());
        const auto before = readRows(path);
        QVERIFY(adding ? f.rs.addNew() : f.rs.edit());
        const platform::EditMode mode = f.rs.editMode();
        f.set(kSerial, QStringLiteral("3"));
        f.set(column, bad);
        const QStringList shown = f.texts();
        QVERIFY(!f.rs.update());
        QCOMPARE(f.rs.error().kind, kind);
        QVERIFY(logfile::storeFailureMessage(f.rs.error()).contains(logfile::fieldLabel(column)));
        QCOMPARE(f.rs.editMode(), mode);
        QCOMPARE(f.texts(), shown);
        QCOMPARE(readRows(path), before);
        f.set(column, good);
        QVERIFY2(f.rs.update(), qPrintable(logfile::storeFailureMessage(f.rs.error())));
        QCOMPARE(readRows(path).size(), adding ? 3 : 2);
        QCOMPARE(readRows(path).last().at(logfile::columnNames().indexOf(column)), stored);
    }

    // A new log file holds the table of a log written by an earlier version
    // (the fuzzing seed) and nothing else. Rows stay in insertion order,
    // duplicates included, a row added after a deletion last; the texts 27
    // and 005 are stored as the numbers 27 and 5, an empty control as null;
    // they are counted to the row, and once closed, none.
    void newFileAndRowOrder()
    {
        Fixture f;
        const QString path = f.dir.filePath(QStringLiteral("new.adb"));
        QString message;
        QVERIFY2(logfile::createEmpty(path, &message), qPrintable(message));
        QVERIFY(!logfile::createEmpty(path, &message) && message.contains(msg::cannotOpen())); // (never over a file)
        auto schema = [](const QString &p) {
            return platform::Connection::open(p, platform::OpenMode::ReadOnly, nullptr)
                ->rows("SELECT m.type, m.name, t.* FROM sqlite_master m, pragma_table_info(m.name) t");
        };
        QCOMPARE(schema(path), schema(QStringLiteral(SEQUANEL_SOURCE_DIR "/tests/reliability/fuzz/seed/log5.adb")));
        // A new log's name, in bytes, leaves room for its journal's within the folder's limit (255, also where it cannot be asked).
        for (const QString &in : {f.dir.path(), f.dir.filePath(QStringLiteral("absent"))})
            for (const QString &p : {in + '/' + QString(120, u'é') + "nnn.adb", in + '/' + QString(120, u'é') + "nnnn.adb"})
                QCOMPARE(logfile::nameProblem(p), p.endsWith("nnnn.adb") ? msg::newFileNameTooLong().arg(p) : QString());
        logfile::configure(f.rs, path);
        QVERIFY(f.rs.refresh());
        // Nothing to delete in an empty log: said as such, not as a row gone.
        QVERIFY(f.rs.recordCount() == 0 && !f.rs.deleteCurrent() && f.rs.error().kind == platform::SourceError::NoCurrentRow);
        for (const char *serial : {"30", "4", "4", "120"})
            QVERIFY2(f.add(QString::fromLatin1(serial)), qPrintable(logfile::storeFailureMessage(f.rs.error())));
        QVERIFY(f.rs.recordCount() == 4 && f.rs.moveFirst() && f.rs.moveNext() && f.rs.deleteCurrent()); // (counted as stored, from none)
        QVERIFY(f.add(QStringLiteral("7")));
        QStringList serials;
        for (const testsupport::Row &r : readRows(path)) {
            serials << r.value(1).toString();
            QVERIFY(r.value(3) == QVariant(qlonglong(27)) && r.value(4) == QVariant(qlonglong(5)) && r.value(2).isNull());
        }
        QCOMPARE(serials, (QStringList{"30", "4", "120", "7"}));
        // An addition given up shows the contact that was current again.
        QVERIFY(f.rs.moveFirst() && f.rs.addNew() && f.text(kSerial).isEmpty());
        f.rs.cancelUpdate();
        QCOMPARE(f.text(kSerial), QStringLiteral("30"));
        // Closed, it counts nothing (the window's buttons go off with it).
        f.rs.countAgain(); // (counted by the engine, then from what is known)
        QVERIFY(f.rs.hasAtLeast(4) && !f.rs.hasAtLeast(5));
        QVERIFY(f.rs.recordCount() == 4 && f.rs.hasAtLeast(4) && !f.rs.hasAtLeast(5));
        f.rs.close();
        QVERIFY(f.rs.recordCount() == 0 && !f.rs.hasAtLeast(1));
    }

    // Another program's statements on a log file, as two surveys of its pages
    // tell them (seeded: SEQUANEL_SEED): every row added, changed or gone lies
    // in a range of rowids said to have changed: pages freed and used again,
    // and a change of one bit of a row.
    void surveysCoverEveryChange()
    {
        QTemporaryDir dir;
        testsupport::makeLogFile(dir.filePath(QStringLiteral("log.adb")), testsupport::sampleRows(3000));
        auto db = platform::Connection::open(dir.filePath(QStringLiteral("log.adb")), platform::OpenMode::ReadWrite, nullptr);
        const platform::Identifier table(logfile::kTable);
        const platform::Sql statements[] = {"DELETE FROM Transmission WHERE rowid BETWEEN ?1 AND ?2",
                                            "UPDATE Transmission SET Ville = substr(Ville, 1, length(Ville) - 1) || char(unicode(substr(Ville, -1)) + 1 - 2 * (unicode(substr(Ville, -1)) & 1)) "
                                            "WHERE rowid = ?1 AND ?2 > 0", // (one bit of one byte)
                                            "INSERT INTO Transmission SELECT * FROM Transmission WHERE rowid BETWEEN ?1 AND ?2"};
        const quint32 seed = testsupport::testSeed(31);
        QRandomGenerator rng(seed);
        for (int step = 0; step < 300; ++step) {
            const auto before = db->surveyTable(table);
            QVERIFY(db->exec("DROP TABLE IF EXISTS temp.was") && db->exec("CREATE TEMP TABLE was AS SELECT rowid AS id, Sequanel, Ville FROM Transmission"));
            const qint64 at = rng.bounded(1, 4000);
            QVERIFY(db->exec(statements[rng.bounded(3)], {at, at + rng.bounded(80)}));
            const auto changed = platform::changedRowids(before.value(), db->surveyTable(table).value()).value();
            for (const QVariantList &r : db->rows("SELECT id FROM (SELECT * FROM was EXCEPT SELECT rowid, Sequanel, Ville FROM Transmission) "
                                                  "UNION SELECT rowid FROM (SELECT rowid, Sequanel, Ville FROM Transmission EXCEPT SELECT * FROM was)"))
                if (std::none_of(changed.begin(), changed.end(), [id = r[0].toLongLong()](const auto &c) { return c.first <= id && id <= c.last; }))
                    QFAIL(qPrintable(QStringLiteral("seed %1, step %2: row %3 changed unseen").arg(seed).arg(step).arg(r[0].toLongLong())));
        }
    }

    // A log put in write-ahead-log mode by another program goes back to the
    // rollback journal, so that it stays one file; while that program holds
    // it so, a store is refused as busy and the entry kept, then goes through;
    // so it is while another connection reads. Every store reaches the disk.
    // A full disk is said as such. (First: a time typed alone is the last
    // time the clock showed it: for an addition at 01:28, 21:05 is yesterday
    // evening and 01:28 today; for a change, the contact's own day; never the
    // year 1899.)
    void durability()
    {
        testsupport::ClockScope clock(QDateTime(QDate(2026, 12, 8), QTime(1, 28)));
        Fixture f;
        const QString path = f.open(1);
        for (const QString time : {"21:05", "01:28"}) {
            QVERIFY(f.rs.addNew());
            f.set(QStringLiteral("Date"), time);
            QVERIFY(f.rs.update());
        }
        QVERIFY(f.rs.moveFirst() && f.rs.edit());
        f.set(QStringLiteral("Date"), QStringLiteral("23:15:30"));
        QVERIFY(f.rs.update());
        QStringList dates;
        for (const testsupport::Row &r : readRows(path))
            dates << r.value(0).toString();
        QCOMPARE(dates, (QStringList{"2024-03-02 23:15:30", "2026-12-07 21:05:00", "2026-12-08 01:28:00"}));
        QVERIFY(f.rs.refresh());
        QCOMPARE(f.rs.database()->scalar("PRAGMA synchronous").toInt(), 2);
        platform::EngineError e; // (and its folder is said to be one)
        QVERIFY(!platform::Connection::open(QFileInfo(path).absolutePath(), platform::OpenMode::ReadWrite, &e));
        QCOMPARE(platform::describe(e), msg::isFolder());
        { // A log its user may not read is refused by the engine itself, as a
          // fault of permission, whether or not its caller looked first (as
          // root, the opening is made as nobody, with the way back kept).
            const bool root = ::geteuid() == 0;
            QTemporaryDir dir(QStringLiteral("/tmp/sequanel-unreadable-XXXXXX")); // a folder anyone may go through
            const QString hidden = dir.filePath(QStringLiteral("log.adb"));
            testsupport::makeLogFile(hidden, testsupport::sampleRows(1));
            QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
            QVERIFY(QFile::setPermissions(hidden, QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther));
            QVERIFY(!root || ::setresuid(65534, 65534, 0) == 0);
            const bool opened = platform::Connection::open(hidden, platform::OpenMode::ReadWrite, &e) != nullptr;
            QVERIFY(!root || ::setresuid(0, 0, 0) == 0);
            QVERIFY(!opened && platform::faultOf(e) == platform::EngineFault::Permission);
        }
        auto other = platform::Connection::open(path, platform::OpenMode::ReadWrite, nullptr);
        QVERIFY(other->exec("PRAGMA journal_mode=WAL") && other->scalar("SELECT count(*) FROM Transmission") == 3);
        QVERIFY(f.rs.addNew());
        f.set(kSerial, QStringLiteral("2"));
        QVERIFY(!f.rs.update());
        QCOMPARE(logfile::storeFailureMessage(f.rs.error()), msg::contactNotStored() + '\n' + msg::fileBusy());
        QCOMPARE(f.rs.editMode(), platform::EditMode::Adding);
        other.reset();
        QVERIFY(f.rs.update() && testsupport::fileBytes(path).at(18) == '\x01' && readRows(path).size() == 4); // (back to one file)
        // A reading's transaction is one snapshot: a store waits for its end.
        auto reader = platform::Connection::open(path, platform::OpenMode::ReadOnly, nullptr);
        QVERIFY(reader->beginRead() && !f.add(QStringLiteral("3")) && reader->scalar("SELECT count(*) FROM Transmission") == 4);
        reader->rollback();
        QVERIFY(f.rs.update());
        // A file that may not grow: the store is refused as a full disk, the entry kept.
        QVERIFY(f.rs.database()->exec("PRAGMA max_page_count=1"));
        for (int i = 0; i < 500 && f.add(QStringLiteral("9")); ++i) {
        }
        QCOMPARE(logfile::storeFailureMessage(f.rs.error()) + ' ' + f.text(kSerial), msg::contactNotStored() + '\n' + msg::diskFull() + " 9");
        QCOMPARE(f.rs.editMode(), platform::EditMode::Adding);
    }

    // Texts read as dates or numbers: the stored form, or empty when refused.
    // An accepted date is shown in the user's notation, with no zone name,
    // the date alone at midnight and a time given alone without a date, and
    // reads back the same to the second.
    void notation_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<bool>("isDate");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored");
        const QLocale fr(QLocale::French, QLocale::France), en(QLocale::English, QLocale::UnitedStates);
        for (const char *t : {"31/02/2024", "12/13/2024", "", "   ", "demain", "15/03/2024 25:00:00", "15/03/2024 10:00:00 x"})
            QTest::addRow("fr refuses the date '%s'", t) << fr << true << t << "";
        QTest::newRow("en refuses day first") << en << true << "14/07/2024 14:05:09" << "";
        QTest::newRow("fr date and time") << fr << true << " 15/03/2024 14:05:07 " << "2024-03-15 14:05:07";
        QTest::newRow("fr time alone") << fr << true << "14:05" << platform::timeOnlyDate().toString(Qt::ISODate) + " 14:05:00";
        QTest::newRow("fr 2-digit year 29") << fr << true << "1/1/29 08:00:00" << "2029-01-01 08:00:00";
        QTest::newRow("fr 2-digit year 30") << fr << true << "1/1/30" << "1930-01-01 00:00:00";
        QTest::newRow("fr one second past midnight") << fr << true << "2/1/2031 00:00:01" << "2031-01-02 00:00:01";
        QTest::newRow("fr hour skipped in spring") << fr << true << "31/03/2024 02:30:00" << "2024-03-31 02:30:00";
        QTest::newRow("en PM") << en << true << "3/15/2024 2:05:07 PM" << "2024-03-15 14:05:07";
        QTest::newRow("en PM without seconds") << en << true << "3/15/2024 2:05 PM" << "2024-03-15 14:05:00";
        QTest::newRow("en one second past midnight") << en << true << "1/2/2031 12:00:01 AM" << "2031-01-02 00:00:01";
        QTest::newRow("en leap day at midnight") << en << true << "2/29/2024" << "2024-02-29 00:00:00";
        for (const QLocale &l : {fr, en}) {
            for (const auto &[t, v] : {std::pair{" 14 ", "14"}, {"-3", "-3"}, {"+7", "7"}, {"005", "5"}, {"abc", ""},
                                       {"", ""}, {"   ", ""}, {"-", ""}, {"1 4", ""}, {"14a", ""}})
                QTest::addRow("%s number '%s'", qPrintable(l.name()), t) << l << false << t << v;
        }
        QTest::newRow("fr decimal comma") << fr << false << "1,5" << "1.5";
        QTest::newRow("fr decimal point") << fr << false << "1.5" << "";
        QTest::newRow("en decimal point") << en << false << "1.5" << "1.5";
        QTest::newRow("en decimal comma") << en << false << "1,5" << "";
    }
    void notation()
    {
        QFETCH(QLocale, locale);
        QFETCH(bool, isDate);
        QFETCH(QString, text);
        QFETCH(QString, stored);
        testsupport::LocaleScope scope(locale);
        if (!isDate) {
            const auto v = platform::parseNumber(text);
            QCOMPARE(v ? QString::number(*v) : QString(), stored);
            return;
        }
        const auto v = platform::parseDateTime(text);
        QCOMPARE(v ? platform::toStorage(*v) : QString(), stored);
        if (!v)
            return;
        const QString shown = platform::formatDateTime(*platform::fromStorage(stored));
        static const QRegularExpression ampm(QStringLiteral("\\b(AM|PM)\\b")), letter(QStringLiteral("[A-Za-z]"));
        QVERIFY2(!QString(shown).remove(ampm).contains(letter), qPrintable(shown));
        if (v->time() == QTime(0, 0))
            QCOMPARE(shown, locale.toString(v->date(), platform::shortDateFormat(locale)));
        if (v->date() == platform::timeOnlyDate())
            QCOMPARE(shown, QStringLiteral("14:05:00"));
        const auto again = platform::parseDateTime(shown);
        QVERIFY2(again, qPrintable(shown));
        QCOMPARE(platform::toStorage(*again), stored);
    }
};

int main(int argc, char **argv)
{
    // Central European time with its summer-time changes, without needing tzdata.
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    QApplication app(argc, argv);
    TestRecordSource t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_RecordSource.moc"
