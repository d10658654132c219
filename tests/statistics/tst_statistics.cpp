// The statistics window and the rate in the status bar, over a generated log
// with awkward values, checked against the SQL engine's own grouping.
#include "../entry/MainWindowFixture.h"
#include "LogStatistics.h"
#include "Engine.h"
#include "Regional.h"
#include "Tally.h"
#include "Style.h"
#include "frmOrientation.h"
#include "frmStatistiques.h"

#include <QAreaSeries>
#include <QBarSeries>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QValueAxis>
#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLineSeries>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTabWidget>
#include <QtTest>
#include <ctime>

using testsupport::Row;

namespace {

// A date is known when the engine reads it and it is not a time alone.
const char *kKnown = "strftime('%s', \"Date\") IS NOT NULL AND substr(\"Date\", 1, 4) > '1899'";

// label -> count of a grouping statement on the log (and the towns' file).
QMap<QString, qint64> grouped(const QString &log, const QString &towns, const QString &sql)
{
    QMap<QString, qint64> out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(log);
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("ATTACH DATABASE '%1' AS towns").arg(towns));
        if (!q.exec(sql))
            qWarning() << sql << q.lastError().text();
        while (q.next())
            out[q.value(0).toString()] += q.value(1).toLongLong();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return out;
}

QMap<QString, qint64> tableShown(QTableView *view)
{
    QMap<QString, qint64> out;
    auto *m = view->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        out[m->index(r, 0).data().toString()] = m->index(r, 1).data().toLongLong();
        [&] { // sorted, largest first (and drawn as kept in layouts/operators.png)
            QVERIFY(r == 0 || m->index(r - 1, 1).data().toLongLong() >= m->index(r, 1).data().toLongLong());
        }();
    }
    return out;
}

// The contest: from Saturday 20:00 to Sunday 06:00 across midnight and the
// change to summer time (Sunday 29 March 2026, 02:00 -> 03:00), a busy spell
// at 23:30, then awkward rows.
QVector<Row> contest()
{
    QVector<Row> rows;
    const QStringList towns{"Lyon", "LYON", " brest", "Lille", "Nice", "Trifouilly", "", "Marseille"};
    const QStringList postal{"75001", "20090", "20190", "20200", "97400", "06000", "1000", "98000", " 13001 ", "", "2A000"};
    const QStringList countries{"France", " France", "Belgique", "", "Suisse"};
    const QStringList words{"Alpha", "alpha ", "Bravo", "Charly"};
    quint32 seed = 7;
    auto next = [&seed](int n) { return int((seed = seed * 1103515245u + 12345u) >> 16) % n; };
    QDateTime t(QDate(2026, 3, 28), QTime(20, 0));
    const QDateTime end(QDate(2026, 3, 29), QTime(6, 0));
    int serial = 0;
    while (t < end) {
        const bool busy = t.time() >= QTime(23, 30) && t.time() < QTime(23, 40);
        t = t.addSecs(busy ? 20 : 60 + next(600));
        Row r{t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), QString::number(++serial), "59"};
        const bool noFrequency = next(9) == 0;
        r << (noFrequency ? QVariant() : QVariant(26 + next(2))) << (noFrequency ? QVariant() : QVariant(5 + 10 * next(100)));
        r << QStringList{"AM", "FM", "USB", ""}.at(next(4)) << 14 << words.at(next(4));
        r << (next(7) == 0 ? QVariant() : QVariant(words.at(next(4)))) << "Delta" << next(6) << "";
        r << (next(11) == 0 ? QVariant() : QVariant(towns.at(next(towns.size()))));
        r << postal.at(next(postal.size())) << countries.at(next(countries.size()));
        r << QStringLiteral("Op%1").arg(next(40));
        rows << r;
    }
    // The edges of the rate's hour and ten minutes before 23:45: each
    // window's first second out, and its second in.
    for (const char *date : {"2026-03-28 22:45:00", "2026-03-28 22:45:01", "2026-03-28 23:35:00", "2026-03-28 23:35:01"}) {
        Row r = rows.front();
        r[0] = QString::fromLatin1(date);
        rows << r;
    }
    for (const QVariant &date : {QVariant(), QVariant("1899-12-30 10:00:00"), QVariant("abc"), QVariant("2026-13-01 10:00:00")}) {
        Row r = rows.front();
        r[0] = date;
        rows << r;
    }
    return rows;
}

} // namespace

class TestStatistics : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_towns;

private slots:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Paris");
        tzset();
        m_towns = m_dir.filePath(QStringLiteral("towns.sqlite"));
        QVERIFY(testsupport::rawExec(m_towns, QStringLiteral("CREATE TABLE direction (\"Villes\" TEXT, \"Degrés\" REAL)")));
        QVERIFY(testsupport::rawExec(m_towns, QStringLiteral("INSERT INTO direction VALUES ('Lyon', 137.5), ('Brest', 265), "
                                                            "('Lille', 359.9), ('Nice', 130), ('Marseille', 0)")));
        frmOrientation::setReferenceFile(m_towns);
    }

    // Every figure of the window against the engine's grouping of the same
    // file; then a store in the window and a deletion by another program,
    // followed live, the tables keeping their place. From the keyboard:
    // Alt+E opens one window, Esc closes it; the tab of the modes is named
    // so; the image of the tab shown is written as a PNG file under the log's
    // name, the totals and the date (in the picture and in its text fields),
    // a folder that is not there said.
    void figuresMatchTheFileAndFollowIt()
    {
        const testsupport::ClockScope clock(QDateTime(QDate(2026, 3, 28), QTime(23, 45)));
        { // without a log, no figures: said so, and no image to write (the window as kept in layouts/)
            MainWindowFixture none;
            QTest::keyClick(none.w.get(), Qt::Key_E, Qt::AltModifier);
            QTRY_VERIFY(frmStatistiques::instance());
            QCOMPARE(testsupport::layoutChanges(frmStatistiques::instance(), "statistics/layouts/frmStatistiques.txt"), QString());
            frmStatistiques::instance()->close();
            QTRY_VERIFY(!frmStatistiques::instance());
        }
        MainWindowFixture f;
        const QString log = f.open(QStringLiteral("concours.adb"), contest());
        QTest::keyClick(f.w.get(), Qt::Key_E, Qt::AltModifier);
        frmStatistiques *s = frmStatistiques::instance();
        QVERIFY(s && s->isVisible());
        QCOMPARE(testsupport::unnamedControls(s) + testsupport::misplacedControls(s), QStringList());
        QVERIFY(!s->cmdImage->isEnabled()); // (no image before the first figures)
        QTRY_VERIFY_WITH_TIMEOUT(!s->lblBusy->isVisible() && s->chartHours->chart()->series().size() == 1, 5000);
        QVERIFY(s->cmdImage->isEnabled());
        QCOMPARE(s->chartHours->grab().toImage(), testsupport::keptPicture(s->chartHours->grab().toImage(), "statistics/layouts/hours.png"));
        // Ran twice: as opened, then after the changes.
        for (int pass = 0; pass < 2; ++pass) {
            auto sql = [&](const char *text) { return grouped(log, m_towns, QString::fromUtf8(text)); };
            const QString known = QString::fromUtf8(kKnown);
            const QMap<QString, qint64> perHour = grouped(
                log, m_towns, "SELECT strftime('%Y-%m-%d %H', \"Date\"), count(*) FROM Transmission WHERE " + known + " GROUP BY 1");
            const auto span = grouped(log, m_towns, "SELECT min(\"Date\"), 0 FROM Transmission WHERE " + known
                                                        + " UNION ALL SELECT max(\"Date\"), 1 FROM Transmission WHERE " + known);
            QDateTime hour = QDateTime::fromString(span.firstKey().left(13), QStringLiteral("yyyy-MM-dd HH"));
            const QDateTime last = QDateTime::fromString(span.lastKey(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            QList<qreal> expected;
            QStringList labels; // the day under the first bar of each day
            for (QDate day; hour <= last; day = hour.date(), hour = hour.addSecs(3600)) {
                expected << perHour.value(hour.toString(QStringLiteral("yyyy-MM-dd HH")));
                labels << hour.toString(hour.date() == day ? QStringLiteral("HH'h'") : QStringLiteral("dd/MM HH'h'"));
            }
            QVERIFY(expected.size() >= 9); // 20h..05h or 06h, the skipped 02h not among them
            auto *bars = qobject_cast<QBarSeries *>(s->chartHours->chart()->series().value(0));
            QVERIFY(bars);
            QList<qreal> shown;
            for (int i = 0; i < bars->barSets().at(0)->count(); ++i)
                shown << bars->barSets().at(0)->at(i);
            QCOMPARE(shown, expected);
            QCOMPARE(qobject_cast<QBarCategoryAxis *>(s->chartHours->chart()->axes(Qt::Horizontal).value(0))->categories(), labels);
            // (the axis ends at the first tick at or above the tallest bar)
            const auto *counts = qobject_cast<QValueAxis *>(s->chartHours->chart()->axes(Qt::Vertical).value(0));
            const qreal tallest = *std::max_element(expected.begin(), expected.end());
            QVERIFY2(counts->max() >= tallest && counts->max() - counts->tickInterval() < tallest,
                     qPrintable(QStringLiteral("%1 by %2 for %3").arg(counts->max()).arg(counts->tickInterval()).arg(tallest)));

            // The busiest ten minutes, from a contact on.
            const auto spell = grouped(log, m_towns, "SELECT a.\"Date\", count(*) FROM Transmission a JOIN Transmission b ON "
                                                     "strftime('%s', b.\"Date\") - strftime('%s', a.\"Date\") BETWEEN 0 AND 599 WHERE "
                                                         + QString(known).replace("\"Date\"", "a.\"Date\"") + " GROUP BY a.rowid ORDER BY 2 DESC, 1 LIMIT 1");
            const QDateTime spellStart = QDateTime::fromString(spell.firstKey(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            const qsizetype best = std::max_element(expected.begin(), expected.end()) - expected.begin();
            const QDateTime bestHour = QDateTime::fromString(span.firstKey().left(13), QStringLiteral("yyyy-MM-dd HH")).addSecs(3600 * best);
            auto hh = [](const QDateTime &d) { return d.toString(QStringLiteral("dd/MM HH:mm")); };
            QCOMPARE(s->lblBest->text(),
                     msg::statsBestHour().arg(hh(bestHour), hh(bestHour.addSecs(3600))).arg(qint64(expected[best])) + '\n'
                         + msg::statsBestSpell().arg(hh(spellStart), hh(spellStart.addSecs(600))).arg(spell.first()));

            // Directions: the towns' file joined on the town's name, any case.
            const auto sectors = sql("SELECT CAST(d.\"Degrés\" / 10 AS INTEGER), count(*) FROM Transmission t JOIN towns.direction d "
                                     "ON lower(trim(t.\"Ville\")) = lower(d.\"Villes\") GROUP BY 1");
            auto *area = qobject_cast<QAreaSeries *>(s->chartDirections->chart()->series().value(0));
            QVERIFY(area);
            for (QWidget *w = s->chartDirections; w; w = w->parentWidget()) // (its tab shown: drawn as kept, below)
                if (s->tabs->indexOf(w) >= 0)
                    s->tabs->setCurrentWidget(w);
            qint64 placed = 0;
            QList<QPointF> edge; // each sector a wedge, drawn a degree at a time
            for (int sector = 0; sector < 36; ++sector) {
                const qint64 count = sectors.value(QString::number(sector));
                edge << QPointF(sector * 10, 0);
                for (int d = 0; d <= 10; ++d)
                    edge << QPointF(sector * 10 + d, count);
                edge << QPointF(sector * 10 + 10, 0);
                placed += count;
            }
            QCOMPARE(area->upperSeries()->points(), edge);
            QCOMPARE(s->chartDirections->chart()->series().size(), 1);
            const qint64 total = sql("SELECT 'n', count(*) FROM Transmission").value("n");
            QCOMPARE(s->lblUnknownTowns->text(), msg::statsUnknownTowns().arg(total - placed));

            // The five tables.
            const QString empty = msg::statsEmptyValue();
            auto text = [&](const char *column) {
                return grouped(log, m_towns, QStringLiteral("SELECT coalesce(nullif(trim(\"%1\"), ''), '%2'), count(*) FROM Transmission GROUP BY 1")
                                                 .arg(QString::fromUtf8(column), empty));
            };
            QCOMPARE(tableShown(s->tables[0]), text("Pays"));
            QCOMPARE(tableShown(s->tables[1]),
                     sql("SELECT CASE WHEN trim(CP) NOT GLOB '[0-9][0-9][0-9][0-9][0-9]' THEN 'autre' "
                         "WHEN substr(trim(CP), 1, 2) = '20' THEN CASE WHEN CAST(trim(CP) AS INTEGER) < 20200 THEN '2A' ELSE '2B' END "
                         "WHEN substr(trim(CP), 1, 2) = '97' THEN substr(trim(CP), 1, 3) "
                         "WHEN substr(trim(CP), 1, 2) BETWEEN '01' AND '95' THEN substr(trim(CP), 1, 2) ELSE 'autre' END, count(*) "
                         "FROM Transmission GROUP BY 1"));
            QCOMPARE(tableShown(s->tables[2]), text("Bande"));
            QCOMPARE(tableShown(s->tables[3]),
                     grouped(log, m_towns, "SELECT CASE WHEN Mhertz IS NULL THEN '" + empty
                                               + "' ELSE printf('%d.%03d', Mhertz, Hertz) END, count(*) FROM Transmission GROUP BY 1"));
            QCOMPARE(tableShown(s->tables[4]), text("Opérateur"));

            // Totals: call signs compared as the duplicate warning does (here
            // ASCII words, so lower() and trim() are the whole rule), an empty
            // second or third word a part of the call sign.
            const QString signs = QStringLiteral("SELECT 'n', count(*) FROM (SELECT 1 FROM Transmission WHERE trim(Qrz1) <> '' "
                                                 "GROUP BY \"Préfixe\", lower(trim(Qrz1)), lower(trim(coalesce(Qrz2, ''))), "
                                                 "lower(trim(coalesce(Qrz3, ''))), \"N°\"%1)");
            const auto calls = grouped(log, m_towns, signs.arg(QString()));
            const auto repeated = grouped(log, m_towns, signs.arg(QStringLiteral(" HAVING count(*) > 1")));
            const qint64 unknown = total - std::accumulate(perHour.begin(), perHour.end(), qint64(0));
            QCOMPARE(unknown, 4 - pass); // the deletion below takes one of them
            auto when = [](const QString &stored) {
                return platform::formatDateTime(QDateTime::fromString(stored, QStringLiteral("yyyy-MM-dd HH:mm:ss")));
            };
            QCOMPARE(s->lblTotals->text(),
                     msg::statsTotalContacts().arg(total) + "    " + msg::statsDistinctCallSigns().arg(calls.value("n")) + "    "
                         + msg::statsRepeatedCallSigns().arg(repeated.value("n")) + '\n'
                         + msg::statsFirstContact().arg(when(span.firstKey())) + "    "
                         + msg::statsLastContact().arg(when(span.lastKey())) + "    " + msg::statsUnknownDates().arg(unknown));

            // The rate at 23:45 on Saturday (no change of time near it).
            const auto rate = sql("SELECT 'm' || (strftime('%s', '2026-03-28 23:45:00') - strftime('%s', \"Date\") < 600), count(*) "
                                  "FROM Transmission WHERE strftime('%s', '2026-03-28 23:45:00') - strftime('%s', \"Date\") BETWEEN 0 AND 3599 GROUP BY 1");
            QCOMPARE(f.ui().StatusPanels[3]->text(), msg::rate().arg(rate.value("m1")).arg(rate.value("m1") + rate.value("m0")));
            if (pass == 1)
                break;

            // Live: the operators' table scrolled down keeps its place.
            s->tabs->setCurrentWidget(s->tables[4]);
            QScrollBar *scroll = s->tables[4]->verticalScrollBar();
            QTRY_VERIFY(scroll->maximum() > 3);
            scroll->setValue(3);
            const QString before = s->lblTotals->text();
            f.ui().cmdNouveau->click();
            f.fill();
            f.put(QStringLiteral("txtOpérateur"), QStringLiteral("Zoé")); // one more line in the table
            f.ui().cmdNouveau->click(); // "Valider"
            QVERIFY2(f.said().isEmpty(), qPrintable(f.said().join('\n')));
            QTRY_VERIFY_WITH_TIMEOUT(s->lblTotals->text() != before, 3000);
            // Changed by another program: read again, the busy sign shown meanwhile.
            struct Shown : QObject {
                int count = 0;
                bool eventFilter(QObject *, QEvent *e) override { return (count += e->type() == QEvent::Show), false; }
            } busy;
            s->lblBusy->installEventFilter(&busy);
            QVERIFY(testsupport::rawExec(log, QStringLiteral("DELETE FROM Transmission WHERE \"Date\" = 'abc'")));
            QTRY_VERIFY_WITH_TIMEOUT(s->lblTotals->text().contains(msg::statsUnknownDates().arg(3)), 3000);
            QTRY_VERIFY(!s->lblBusy->isVisible());
            QVERIFY(busy.count > 0);
            QCOMPARE(scroll->value(), 3);
            QCOMPARE(s->tables[4]->grab().toImage(), testsupport::keptPicture(s->tables[4]->grab().toImage(), "statistics/layouts/operators.png"));
            QCOMPARE(frmStatistiques::instance(), s);
        }

        QTest::keyClick(f.w.get(), Qt::Key_E, Qt::AltModifier);
        QCOMPARE(frmStatistiques::instance(), s);
        QCOMPARE(s->windowIcon().pixmap(16).toImage(), platform::programIcon(QStringLiteral("statistics.svg")).pixmap(16).toImage());
        QCOMPARE(s->tabs->tabText(s->tabs->indexOf(s->tables[2])), QStringLiteral("Modes"));
        const QString png = f.path(QStringLiteral("concours - statistiques.png"));
        f.prompts.clear();
        f.prompts.queuedFiles << png << f.path(QStringLiteral("absent/x.png"));
        s->cmdImage->click();
        QCOMPARE(f.prompts.fileRequests.last().initialPath, png);
        QCOMPARE(testsupport::fileBytes(png).left(8), QByteArray("\x89PNG\r\n\x1a\n"));
        const QImage image(png);
        QCOMPARE(QStringList({image.text("Title"), image.text("Description"), image.text("Creation Time")}),
                 QStringList({"concours.adb – " + s->tabs->tabText(s->tabs->currentIndex()), s->lblTotals->text(), msg::statsImageWhen().arg(platform::formatDateTime(QDateTime(QDate(2026, 3, 28), QTime(23, 45))))}));
        QVERIFY(image.height() > s->tabs->currentWidget()->height() + 3 * s->fontMetrics().height());
        const QImage tab = s->tabs->currentWidget()->grab().toImage().convertToFormat(image.format());
        QCOMPARE(image.copy(QRect(QPoint(0, image.height() - tab.height()), tab.size())), tab); // (the tab below the text)
        QCOMPARE(tab, testsupport::keptPicture(tab, QStringLiteral("statistics/layouts/directions.png"))); // (filled in the bars' colour, the eight points named)
        s->cmdImage->click();
        QCOMPARE(f.said(), QStringList({msg::statsImageSaved().arg(png),
                                        msg::statsImageNotSaved().arg(f.path(QStringLiteral("absent/x.png")),
                                                                      msg::saveFolderMissing().arg(f.path(QStringLiteral("absent"))))}));
        QTest::keyClick(s, Qt::Key_Escape);
        QTRY_VERIFY(!frmStatistiques::instance());
    }

    // Postal codes and stored dates as the figures read them.
    void departmentsAndDates_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("department");
        QTest::addColumn<QString>("date"); // local, "" when not known
        QTest::newRow("Paris, full date") << QByteArray("75001") << "75" << "2026-03-28 23:59:59";
        QTest::newRow("Corsica 2A, with T") << QByteArray("20199") << "2A" << "2026-03-28T10:00:00";
        QTest::newRow("Corsica 2B, no seconds") << QByteArray("20200") << "2B" << "2026-03-29 03:00";
        QTest::newRow("overseas, day alone") << QByteArray("97400") << "974" << "2026-03-29";
        QTest::newRow("blanks around") << QByteArray(" 06000 ") << "06" << " 2026-03-29 01:59:00 ";
        QTest::newRow("00, time alone") << QByteArray("00100") << "" << "1899-12-30 10:00:00";
        QTest::newRow("Monaco, bad month") << QByteArray("98000") << "" << "2026-13-01 10:00:00";
        QTest::newRow("four digits, hour skipped in spring") << QByteArray("1000") << "" << "2026-03-29 02:30:00";
        QTest::newRow("empty") << QByteArray() << "" << "";
    }
    void departmentsAndDates()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, department);
        QFETCH(QString, date);
        QCOMPARE(statistics::departmentOf(stored).value_or(QString()), department);
        const QString stamp = QString::fromLatin1(QTest::currentDataTag()).contains("skipped") ? QString() : date.trimmed();
        const QDateTime local = QDateTime::fromString(stamp.left(10) + ' ' + (stamp.size() > 10 ? stamp.mid(11) : "00:00"),
                                                      stamp.size() == 16 || stamp.size() == 10 ? "yyyy-MM-dd HH:mm" : "yyyy-MM-dd HH:mm:ss");
        const auto read = statistics::DateReader().read(date.toUtf8());
        QCOMPARE(read.has_value(), local.isValid() && local.date().year() > 1899);
        if (read)
            QCOMPARE(*read, local.toSecsSinceEpoch());
    }

    // The busiest spell of 600 s over the times of several chunks, each in
    // order, the chunks in turn or overlapping: a time 600 s after the start
    // is not within it, and the earliest of equal spells is kept.
    void busiestSpell_data()
    {
        QTest::addColumn<QList<QList<qint64>>>("runs");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("count");
        QTest::newRow("none") << QList<QList<qint64>>{} << qint64(0) << qint64(0);
        QTest::newRow("in turn, the end excluded") << QList<QList<qint64>>{{0, 10}, {20, 600}} << qint64(0) << qint64(3);
        QTest::newRow("the end at 599") << QList<QList<qint64>>{{0, 10}, {20, 599}} << qint64(0) << qint64(4);
        QTest::newRow("overlapping, a tie") << QList<QList<qint64>>{{0, 100, 700}, {650, 660}} << qint64(100) << qint64(3);
        QTest::newRow("overlapping, one time twice") << QList<QList<qint64>>{{5, 900, 901}, {0, 900}} << qint64(900) << qint64(3);
    }
    void busiestSpell()
    {
        QFETCH(QList<QList<qint64>>, runs);
        QFETCH(qint64, start);
        QFETCH(qint64, count);
        std::vector<statistics::Times::Run> given;
        for (const QList<qint64> &run : runs)
            given.push_back(std::make_shared<const std::vector<qint64>>(run.begin(), run.end()));
        const statistics::Spell best = statistics::bestSpell(statistics::Times(given), 600);
        QCOMPARE(QList<qint64>({best.start, best.count}), QList<qint64>({start, count}));
    }

    // A log of months or years is shown by days, weeks or months, empty ones
    // included, as the engine groups them: by days up to 400 bars, by weeks
    // up to 400 weeks; each row lands on one side of those ends.
    void longLogsByPeriod_data()
    {
        QTest::addColumn<int>("days"); // from the first contact's to the last's, both included
        QTest::addColumn<QString>("period"); // strftime of the period's first day
        QTest::newRow("days, up to 400") << 400 << "%Y-%m-%d";
        QTest::newRow("weeks, from 401 days") << 401 << "%Y-%m-%d|week";
        QTest::newRow("weeks, up to 2800 days") << 2800 << "%Y-%m-%d|week";
        QTest::newRow("months, from 2801 days") << 2801 << "%Y-%m";
        QTest::newRow("no contact dated") << 0 << "%Y-%m-%d";
    }
    void longLogsByPeriod()
    {
        QFETCH(int, days);
        QFETCH(QString, period);
        const QString log = m_dir.filePath(QStringLiteral("long%1.adb").arg(days));
        QVector<Row> rows;
        for (int d = 0; d < days; d = d < days - 1 ? std::min(d + 1 + d % 5, days - 1) : days) // irregular, with empty days
            rows << Row{QDateTime(QDate(2026, 1, 5).addDays(d), QTime(d % 24, 30)).toString("yyyy-MM-dd HH:mm:ss")};
        if (days == 0)
            rows << Row{QVariant()} << Row{QStringLiteral("abc")};
        testsupport::makeLogFile(log, rows);
        platform::EngineError e;
        const auto t = statistics::readTally(platform::Connection::open(log, platform::OpenMode::ReadOnly, &e).get(), {});
        QVERIFY(t);
        // Weeks from Monday: the day of each contact moved back to its Monday.
        const QString day = period.endsWith("|week") ? "date(\"Date\", '-' || ((CAST(strftime('%w', \"Date\") AS INTEGER) + 6) % 7) || ' days')"
                                                     : "\"Date\"";
        const auto counts = grouped(log, m_towns, "SELECT strftime('" + period.section('|', 0, 0) + "', " + day + "), count(*) FROM Transmission GROUP BY 1");
        QList<qint64> expected, shown;
        for (size_t i = 0; i < t->periods.starts.size(); ++i) {
            const QDate first = QDateTime::fromSecsSinceEpoch(t->periods.starts[i]).date();
            expected << counts.value(first.toString(period.startsWith("%Y-%m-%d") ? "yyyy-MM-dd" : "yyyy-MM"));
            shown << t->periods.counts[i];
        }
        QCOMPARE(shown, expected);
        QCOMPARE(std::accumulate(shown.begin(), shown.end(), qint64(0)), days ? qint64(rows.size()) : 0);
        QCOMPARE(t->periods.starts.empty(), days == 0);
    }
};

QTEST_MAIN(TestStatistics)
#include "tst_statistics.moc"
