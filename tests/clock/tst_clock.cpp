// Time-zone clocks: the zone table, the time arithmetic with the stored
// offset (good and garbled), and the clock window itself with a fixed clock
// and a real settings store in a temporary configuration folder.
#include "ZoneClock.h"
#include "frmFuseau.h"

#include "Settings.h"
#include "TestSupport.h"
#include "Twips.h"

#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestClock : public QObject
{
    Q_OBJECT
    QTemporaryDir m_config;

    void storeDelta(const QString &folder, const QVariant &value)
    {
        QSettings s(platform::settingsFilePath(folder), QSettings::IniFormat);
        if (value.isValid())
            s.setValue(QStringLiteral("Settings/DeltaGMT"), value);
        else
            s.remove(QStringLiteral("Settings/DeltaGMT"));
        s.sync();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        qputenv("HOME", m_config.path().toUtf8());
    }

    // Every index gives a whole hour: single precision must not leave a
    // stray second (e.g. 06:59:59).
    void everyOffsetIsWholeHour()
    {
        QCOMPARE(zoneclock::zoneCaptions().size(), 24);
        for (int i = 1; i <= 24; ++i)
            QCOMPARE(zoneclock::zoneOffsetText(i), QStringLiteral("%1:00:00").arg(i % 24, 2, 10, QLatin1Char('0')));
    }

    void zoneTime_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QTime>("local");
        QTest::addColumn<QString>("delta");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("shown");
        const QTime t(14, 5, 9);
        for (const char *loc : {"fr_FR", "en_US"}) {
            const QString l = QString::fromLatin1(loc);
            auto row = [&](const char *name) { return &QTest::newRow(qPrintable(l + QLatin1Char(' ') + QLatin1String(name))); };
            *row("example GMT") << l << t << "01:00" << 12 << "13:05:09";
            *row("example Madrid") << l << t << "01:00" << 13 << "14:05:09";
            *row("example Midway") << l << t << "01:00" << 1 << "02:05:09";
            *row("example Marshall") << l << t << "01:00" << 24 << "01:05:09";
            *row("delta 02:00") << l << t << "02:00" << 12 << "12:05:09";
            *row("delta 19:00 is GMT-5") << l << t << "19:00" << 12 << "19:05:09";
            *row("delta with seconds") << l << t << "01:00:30" << 12 << "13:04:39";
            *row("delta one digit hour") << l << t << "1:00" << 12 << "13:05:09";
            *row("after local midnight") << l << QTime(0, 0, 30) << "01:00" << 12 << "23:00:30";
            // A value that is not a time of day counts as 01:00.
            *row("garbled empty") << l << t << "" << 12 << "13:05:09";
            *row("garbled text") << l << t << "une heure" << 12 << "13:05:09";
            *row("garbled negative") << l << t << "-02:00" << 12 << "13:05:09";
            *row("garbled 24:00") << l << t << "24:00" << 12 << "13:05:09";
            *row("garbled 25:30") << l << t << "25:30" << 12 << "13:05:09";
            *row("garbled minutes") << l << t << "02:75" << 12 << "13:05:09";
            *row("garbled date") << l << t << "2026-06-12" << 12 << "13:05:09";
        }
        QTest::newRow("en_US 12-hour delta") << "en_US" << t << "2:00 AM" << 12 << "12:05:09";
        QTest::newRow("fr_FR 12-hour text garbled") << "fr_FR" << t << "deux heures" << 12 << "13:05:09";
    }
    void zoneTime()
    {
        QFETCH(QString, locale);
        QFETCH(QTime, local);
        QFETCH(QString, delta);
        QFETCH(int, index);
        QFETCH(QString, shown);
        testsupport::LocaleScope scope{QLocale(locale)};
        const QDateTime now(QDate(2026, 3, 1), local);
        QCOMPARE(zoneclock::zoneTimeText(now, delta, zoneclock::zoneOffsetText(index)), shown);
    }

    // Milliseconds of the local clock never round the shown second up.
    void dropsMilliseconds()
    {
        const QDateTime now(QDate(2026, 3, 1), QTime(14, 5, 9, 999));
        QCOMPARE(zoneclock::zoneTimeText(now, QStringLiteral("01:00"), QStringLiteral("12:00:00")),
                 QStringLiteral("13:05:09"));
    }

    void twoFoldersTwoSettings()
    {
        const QString a = QStringLiteral("/opt/sequanel-a");
        const QString b = QStringLiteral("/opt/sequanel-b");
        storeDelta(a, QStringLiteral("02:00"));
        storeDelta(b, QStringLiteral("19:00"));
        const QDateTime now(QDate(2026, 3, 1), QTime(14, 5, 9));
        auto shown = [&](const QString &folder) {
            const QString d = platform::readSetting(folder, QStringLiteral("Settings"), QStringLiteral("DeltaGMT"),
                                                    zoneclock::defaultDeltaGmt());
            return zoneclock::zoneTimeText(now, d, zoneclock::zoneOffsetText(12));
        };
        QCOMPARE(shown(a), QStringLiteral("12:05:09"));
        QCOMPARE(shown(b), QStringLiteral("19:05:09"));
        QCOMPARE(shown(QStringLiteral("/opt/sequanel-c")), QStringLiteral("13:05:09"));
    }

    void windowLayout()
    {
        QPointer<frmFuseau> w = new frmFuseau;
        QVERIFY(w->parentWidget() == nullptr);
        QVERIFY(w->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w->lblHeure->text(), QStringLiteral("0:00.00"));
        QVERIFY(w->tmrHeure->isActive());

        // Whatever zone is chosen, its caption shows whole and centred under
        // the frame (about 1360 twips from the left edge).
        for (const QString &caption : zoneclock::zoneCaptions()) {
            w->lblInfo->setText(caption);
            const int textWidth = w->lblInfo->fontMetrics().horizontalAdvance(caption);
            QVERIFY2(textWidth <= w->lblInfo->width(), qPrintable(caption));
            const double centre = platform::twips(w->lblInfo->x()) + platform::twips(w->lblInfo->width()) / 2;
            QVERIFY(std::abs(centre - 1360) <= 60);
        }
        const QRect timeBox = w->lblHeure->geometry().translated(w->Cadre2->pos());
        QVERIFY(std::abs(timeBox.center().x() - w->Cadre2->geometry().center().x()) <= 1);
        QVERIFY(w->lblHeure->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) <= w->lblHeure->width());
        delete w;
    }

    // The window reads the store afresh at every tick.
    void windowTicks()
    {
        const QString folder = QCoreApplication::applicationDirPath();
        storeDelta(folder, QVariant());
        testsupport::ClockScope clock(QDateTime(QDate(2026, 3, 1), QTime(14, 5, 9)));
        QPointer<frmFuseau> w = new frmFuseau;
        w->lblInfo->setText(zoneclock::zoneCaptions().at(11));
        w->tmrHeure->setProperty("Tag", zoneclock::zoneOffsetText(12));
        w->show();
        QTRY_COMPARE_WITH_TIMEOUT(w->lblHeure->text(), QStringLiteral("13:05:09"), 5000);

        storeDelta(folder, QStringLiteral("02:00"));
        w->tmrHeure_Timer();
        QCOMPARE(w->lblHeure->text(), QStringLiteral("12:05:09"));
        storeDelta(folder, QStringLiteral("n'importe quoi"));
        w->tmrHeure_Timer();
        QCOMPARE(w->lblHeure->text(), QStringLiteral("13:05:09"));
        storeDelta(folder, 7); // a number in the store, not a time
        w->tmrHeure_Timer();
        QCOMPARE(w->lblHeure->text(), QStringLiteral("13:05:09"));
        storeDelta(folder, QVariant());

        w->tmrHeure->setProperty("Tag", zoneclock::zoneOffsetText(1));
        w->tmrHeure_Timer();
        QCOMPARE(w->lblHeure->text(), QStringLiteral("02:05:09"));

        w->close();
        QTRY_VERIFY(w.isNull());
    }
};

QTEST_MAIN(TestClock)
#include "tst_clock.moc"
