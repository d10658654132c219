// The record source over a real log file: the cursor at both ends, the
// position after an addition, the column rules on update, and the durability
// settings of its connection, the table of a new file. Refused openings are tested through the main
// window's Open command (tests/entry) and in tests/reliability.
#include "BoundControls.h"
#include "Engine.h"
#include "LogFile.h"
#include "RecordSource.h"
#include "TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using platform::EditMode;
using platform::RecordSource;
using platform::SourceError;
using testsupport::readRows;

Q_DECLARE_METATYPE(SourceError::Kind)

namespace {

const QString kSerial = QStringLiteral("Sequanel");

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// A record source with its sixteen columns bound to controls of the three
// kinds a window uses, over log files in a temporary folder.
struct Fixture {
    QTemporaryDir dir;
    RecordSource rs;
    std::vector<std::unique_ptr<QWidget>> controls;

    Fixture()
    {
        auto *bound = new platform::BoundControls(&rs);
        for (const QString &c : logfile::columnNames()) {
            auto *combo = c == QLatin1String("Hertz") ? new QComboBox : nullptr;
            if (combo) {
                combo->setEditable(true);
                combo->addItems({"005", "015", "205"});
            }
            controls.emplace_back(combo ? combo : c == QLatin1String("Pays") ? static_cast<QWidget *>(new QLabel) : new QLineEdit);
            bound->bind(controls.back().get(), c);
        }
    }
    // A log file with n sample rows, opened through the source (first row current).
    QString open(int n, const QString &name = QStringLiteral("log.adb"))
    {
        const QString path = dir.filePath(name);
        QVector<testsupport::Row> rows;
        for (int i = 1; i <= n; ++i)
            rows << testsupport::sampleRow(i);
        testsupport::makeLogFile(path, rows);
        logfile::configure(rs, path);
        if (!rs.refresh())
            qWarning() << logfile::openFailureMessage(rs.error(), path);
        return path;
    }
    QWidget *control(const QString &c) const { return controls.at(logfile::columnNames().indexOf(c)).get(); }
    static const char *property(QWidget *w) { return qobject_cast<QComboBox *>(w) ? "currentText" : "text"; }
    QString text(const QString &c) const { return control(c)->property(property(control(c))).toString(); }
    void set(const QString &c, const QString &t) { control(c)->setProperty(property(control(c)), t); }
    QStringList texts() const
    {
        QStringList out;
        for (const QString &c : logfile::columnNames())
            out << text(c);
        return out;
    }
};

} // namespace

class TestRecordSource : public QObject
{
    Q_OBJECT
    testsupport::LocaleScope m_locale{QLocale(QLocale::French, QLocale::France)};

private slots:
    // Moves (N next, P previous, F first, L last) and the state after each:
    // B at beginning, E at end, C a current row, then the serial shown; a
    // leading ! marks a move refused for having nowhere to go.
    void bothEnds_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("moves");
        QTest::addColumn<QStringList>("states"); // before the first move, then after each
        QTest::newRow("empty") << 0 << "NPFL" << QStringList{"BE- ", "!BE- ", "!BE- ", "!BE- ", "!BE- "};
        QTest::newRow("one row") << 1 << "NNPFPPNL"
                                 << QStringList{"--C 1", "-E- 1", "!-E- 1", "--C 1", "--C 1", "B-- 1", "!B-- 1", "--C 1", "--C 1"};
        QTest::newRow("three rows") << 3 << "NNNNPFPPNL"
                                    << QStringList{"--C 1", "--C 2", "--C 3", "-E- 3", "!-E- 3", "--C 3",
                                                   "--C 1", "B-- 1", "!B-- 1", "--C 1", "--C 3"};
    }

    void bothEnds()
    {
        QFETCH(int, rows);
        QFETCH(QString, moves);
        QFETCH(QStringList, states);
        Fixture f;
        f.open(rows);
        QCOMPARE(f.rs.recordCount(), rows);
        auto state = [&] {
            return QStringLiteral("%1%2%3 %4").arg(f.rs.bof() ? "B" : "-", f.rs.eof() ? "E" : "-",
                                                  f.rs.hasCurrent() ? "C" : "-", f.text(kSerial));
        };
        QStringList seen{state()};
        for (const QChar m : moves) {
            const bool moved = m == 'N' ? f.rs.moveNext() : m == 'P' ? f.rs.movePrevious()
                               : m == 'F'                ? f.rs.moveFirst() : f.rs.moveLast();
            seen << (moved ? QString() : QStringLiteral("!")) + state();
            if (!f.rs.hasCurrent()) { // nothing to change or read off the ends
                QVERIFY(f.rs.value(kSerial).isNull());
                QVERIFY(!f.rs.edit() && !f.rs.deleteCurrent());
                QCOMPARE(f.rs.error().kind, SourceError::NoCurrentRow);
            }
        }
        QCOMPARE(seen, states);
    }

    void positionAfterAddition_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("nexts");       // moveNext calls after opening
        QTest::addColumn<QString>("current"); // serial current after update; empty: none
        QTest::newRow("empty table") << 0 << 0 << "";
        QTest::newRow("on the first row") << 3 << 0 << "1";
        QTest::newRow("on a middle row") << 3 << 1 << "2";
        QTest::newRow("on the last row") << 3 << 2 << "3";
        QTest::newRow("at end of file") << 3 << 3 << "";
    }

    void positionAfterAddition()
    {
        QFETCH(int, rows);
        QFETCH(int, nexts);
        QFETCH(QString, current);
        Fixture f;
        const QString path = f.open(rows);
        for (int i = 0; i < nexts; ++i)
            f.rs.moveNext();
        const bool bof = f.rs.bof(), eof = f.rs.eof();
        QVERIFY(f.rs.addNew());
        QCOMPARE(f.texts(), QStringList(16, QString()));
        f.set(kSerial, QStringLiteral("900"));
        f.set(QStringLiteral("Date"), QStringLiteral("31/03/2024 02:30:00")); // skipped by the clock in spring
        QVERIFY2(f.rs.update(), qPrintable(logfile::storeFailureMessage(f.rs.error())));
        QCOMPARE(f.rs.editMode(), EditMode::None);
        QCOMPARE(f.rs.hasCurrent(), !current.isEmpty());
        if (current.isEmpty()) {
            QVERIFY(f.rs.bof() == bof && f.rs.eof() == eof);
        } else {
            QCOMPARE(f.rs.value(kSerial).toString(), current);
            QCOMPARE(f.text(kSerial), current);
        }
        QCOMPARE(f.rs.recordCount(), rows + 1);
        const auto stored = readRows(path);
        QCOMPARE(stored.size(), rows + 1);
        QCOMPARE(stored.last().value(0).toString(), QStringLiteral("2024-03-31 02:30:00"));
        QCOMPARE(stored.last().value(1).toString(), QStringLiteral("900"));
        QVERIFY(stored.last().value(2).isNull()); // an empty control stores nothing
        QVERIFY(f.rs.moveLast());
        QCOMPARE(f.text(QStringLiteral("Date")), QStringLiteral("31/03/2024 02:30:00"));
    }

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
            row("emoji in a label", "Pays", "France 🙂", SourceError::BadCharacter, "Œland", "Œland");
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
        const EditMode mode = f.rs.editMode();
        f.set(kSerial, QStringLiteral("3"));
        f.set(column, bad);
        const QStringList shown = f.texts();
        // Refused: named in the message, nothing written, the row still pending as typed.
        QVERIFY(!f.rs.update());
        QCOMPARE(f.rs.error().kind, kind);
        QVERIFY(logfile::storeFailureMessage(f.rs.error()).contains(logfile::fieldLabel(column)));
        QCOMPARE(f.rs.editMode(), mode);
        QCOMPARE(f.texts(), shown);
        QCOMPARE(readRows(path), before);
        // Corrected, it stores.
        f.set(column, good);
        QVERIFY2(f.rs.update(), qPrintable(logfile::storeFailureMessage(f.rs.error())));
        QCOMPARE(readRows(path).size(), adding ? 3 : 2);
        QCOMPARE(readRows(path).last().at(logfile::columnNames().indexOf(column)), stored);
    }

    // Busy, locked and read-only are told apart the same way for every
    // caller, extended result codes included; the user hears it in French.
    void engineFaults_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("fault");
        using F = platform::EngineFault;
        for (auto [code, fault] : {std::pair{5, F::Busy}, {261, F::Busy}, {517, F::Busy}, {6, F::Locked}, {262, F::Locked},
                                   {8, F::ReadOnly}, {776, F::ReadOnly}, {26, F::NotDatabase}, {11, F::Corrupt}, {13, F::Full},
                                   {14, F::CannotOpen}, {3338, F::IoError}, {3, F::Permission}, {1, F::Other}})
            QTest::addRow("%d", code) << code << int(fault);
    }
    void engineFaults()
    {
        QFETCH(int, code);
        QFETCH(int, fault);
        const platform::EngineError e{QStringLiteral("database is locked"), code};
        QCOMPARE(int(platform::faultOf(e)), fault);
        QCOMPARE(testsupport::englishIn(platform::describe(e)), QString());
    }

    // A new log file holds the table of a log written by an earlier version
    // (the fuzzing seed) and nothing else. Rows stay in insertion order,
    // duplicates included, a row added after a deletion last; the texts 27
    // and 005 are stored as the numbers 27 and 5.
    void newFileAndRowOrder()
    {
        Fixture f;
        const QString path = f.dir.filePath(QStringLiteral("new.adb"));
        QString message;
        QVERIFY2(logfile::createEmpty(path, &message), qPrintable(message));
        auto schema = [](const QString &p) {
            return platform::Connection::open(p, platform::OpenMode::ReadOnly, nullptr)
                ->rows("SELECT m.type, m.name, t.* FROM sqlite_master m, pragma_table_info(m.name) t");
        };
        QCOMPARE(schema(path), schema(QStringLiteral(SEQUANEL_SOURCE_DIR "/tests/reliability/fuzz/seed/log5.adb")));
        logfile::configure(f.rs, path);
        QVERIFY(f.rs.refresh());
        for (const char *serial : {"30", "4", "4", "120", "7"}) {
            if (serial == QLatin1String("7"))
                QVERIFY(f.rs.moveFirst() && f.rs.moveNext() && f.rs.deleteCurrent());
            QVERIFY(f.rs.addNew());
            f.set(kSerial, QString::fromLatin1(serial));
            f.set(QStringLiteral("Mhertz"), QStringLiteral("27"));
            f.set(QStringLiteral("Hertz"), QStringLiteral("005"));
            QVERIFY2(f.rs.update(), qPrintable(logfile::storeFailureMessage(f.rs.error())));
        }
        QStringList serials;
        for (const testsupport::Row &r : readRows(path)) {
            serials << r.value(1).toString();
            QVERIFY(r.value(3) == QVariant(qlonglong(27)) && r.value(4) == QVariant(qlonglong(5)));
        }
        QCOMPARE(serials, (QStringList{"30", "4", "120", "7"}));
    }

    void durability()
    {
        // A log left in write-ahead-log mode by another program goes back to the
        // rollback journal, so that it stays one file.
        Fixture f;
        const QString path = f.dir.filePath(QStringLiteral("wal.adb"));
        testsupport::makeLogFile(path, {testsupport::sampleRow(1)});
        QVERIFY(platform::Connection::open(path, platform::OpenMode::ReadWrite, nullptr)->exec("PRAGMA journal_mode=WAL"));
        QCOMPARE(fileBytes(path).at(18), '\x02');
        logfile::configure(f.rs, path);
        QVERIFY(f.rs.refresh());
        QCOMPARE(f.rs.database()->scalar("PRAGMA journal_mode").toString(), QStringLiteral("delete"));
        QCOMPARE(f.rs.database()->scalar("PRAGMA synchronous").toInt(), 2);
        QVERIFY(f.rs.addNew() && f.rs.update());
        QVERIFY(f.rs.edit() && f.rs.update());
        QVERIFY(f.rs.deleteCurrent());
        // Each store is committed on its own: nothing is left in a journal.
        for (const char *suffix : {"-journal", "-wal", "-shm"})
            QVERIFY2(!QFile::exists(path + QLatin1String(suffix)), suffix);
        QCOMPARE(readRows(path).size(), 1);
        QCOMPARE(fileBytes(path).at(18), '\x01');
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
