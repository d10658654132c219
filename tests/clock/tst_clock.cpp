// Time-zone clocks: the time arithmetic with the stored offset (good and
// garbled), and the clock window with a fixed clock and real settings files
// in a temporary configuration folder.
#include "ZoneClock.h"
#include "frmFuseau.h"

#include "Settings.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestClock : public QObject
{
    Q_OBJECT
    QTemporaryDir m_config;

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        qputenv("HOME", m_config.path().toUtf8());
    }

    void zoneTime_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QTime>("local");
        QTest::addColumn<QString>("delta");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("shown");
        const QTime t(14, 5, 9);
        for (const QString l : {"fr_FR", "en_US"}) {
            auto row = [&](const QString &name) { return &QTest::newRow(qPrintable(l + QLatin1Char(' ') + name)); };
            // 14:05:09 local, one hour ahead of GMT: zone 12 is GMT.
            for (const auto &[i, shown] : {std::pair{1, "02:05:09"}, {12, "13:05:09"}, {13, "14:05:09"}, {24, "01:05:09"}})
                *row(QStringLiteral("zone %1").arg(i)) << l << t << "01:00" << i << shown;
            *row("delta 19:00 is GMT-5") << l << t << "19:00" << 12 << "19:05:09";
            *row("delta with seconds") << l << t << "01:00:30" << 12 << "13:04:39";
            *row("milliseconds never round up") << l << QTime(14, 5, 9, 999) << "01:00" << 12 << "13:05:09";
            *row("after local midnight") << l << QTime(0, 0, 30) << "01:00" << 12 << "23:00:30";
            // A value that is not a time of day counts as the computer's own
            // offset: one hour here.
            for (const QString g : {"", "une heure", "-02:00", "24:00", "02:75"})
                *row("garbled '" + g + "'") << l << t << g << 12 << "13:05:09";
        }
        QTest::newRow("en_US 12-hour delta") << "en_US" << t << "2:00 AM" << 12 << "12:05:09";
    }
    void zoneTime()
    {
        QFETCH(QString, locale);
        QFETCH(QTime, local);
        QFETCH(QString, delta);
        QFETCH(int, index);
        QFETCH(QString, shown);
        testsupport::LocaleScope scope{QLocale(locale)};
        const QDateTime winter(QDate(2026, 3, 1), local, Qt::OffsetFromUTC, 3600);
        QCOMPARE(zoneclock::zoneTimeText(winter, delta, zoneclock::zoneOffsetText(index)), shown);
        if (index == 12) // a window not yet told its zone shows GMT
            QCOMPARE(zoneclock::zoneTimeText(winter, delta, QString()), shown);
    }


    // The window reads the setting file of its own program folder afresh at
    // every tick; another folder's setting is not its own. A file garbled by
    // hand or by another program: anything but a time of day counts as the
    // computer's offset of the moment (three hours, then two in summer), for
    // as long as that file stays, not after.
    void windowTicks_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("shown"); // zone 12, at 14:05:09 local
        QTest::newRow("good") << QByteArray("[Settings]\nDeltaGMT=02:00:00\n") << "12:05:09";
        QTest::newRow("unclosed quote") << QByteArray("[Settings]\nDeltaGMT=\"02:00\n") << "12:05:09";
        QTest::newRow("unclosed section") << QByteArray("[Settings\nDeltaGMT=02:00\n") << "11:05:09";
        QTest::newRow("invalid UTF-8") << QByteArray("[Settings]\nDeltaGMT=\xff\xfe\xc3(\n") << "11:05:09";
        QTest::newRow("binary file") << QByteArray("\0\xff\x13[[[=\n\0\0=]", 12) << "11:05:09";
    }
    void windowTicks()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, shown);
        const QString folder = QCoreApplication::applicationDirPath();
        auto write = [](const QString &folder, const QByteArray &bytes) {
            QFile f(platform::settingsFilePath(folder));
            QVERIFY(QDir().mkpath(QFileInfo(f).absolutePath()) && f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QVERIFY(f.write(bytes) == bytes.size());
        };
        write(folder + QStringLiteral("-other"), "[Settings]\nDeltaGMT=19:00\n");
        write(folder, file);
        const QDateTime written = QFileInfo(platform::settingsFilePath(folder)).lastModified();
        testsupport::ClockScope clock(QDateTime(QDate(2024, 6, 1), QTime(14, 5, 9), Qt::OffsetFromUTC, 3 * 3600));
        QPointer<frmFuseau> w = new frmFuseau;
        QCOMPARE(testsupport::layoutChanges(w, QStringLiteral("clock/layouts/frmFuseau.txt")), QString());
        w->tmrHeure->setProperty("Tag", zoneclock::zoneOffsetText(12));
        w->show();
        QTRY_COMPARE_WITH_TIMEOUT(w->lblHeure->text(), shown, 5000);
        w->tmrHeure_Timer(); // the same file read again
        QCOMPARE(w->lblHeure->text(), shown);
        write(folder, "[Settings]\nDeltaGMT=01:00\n");
        w->tmrHeure_Timer();
        QCOMPARE(w->lblHeure->text(), QStringLiteral("13:05:09"));
        // A sound file put back with the first one's size and time: read as it is.
        if (QByteArray sound = "[Settings]\nDeltaGMT=00:00"; file.size() >= sound.size()) {
            write(folder, sound.append(file.size() - sound.size(), '\n'));
            QFile f(platform::settingsFilePath(folder));
            QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(written, QFileDevice::FileModificationTime));
            f.close();
            w->tmrHeure_Timer();
            QCOMPARE(w->lblHeure->text(), QStringLiteral("14:05:09"));
        }
        write(folder, "");
        clock.set(QDateTime(QDate(2024, 8, 1), QTime(14, 5, 9), Qt::OffsetFromUTC, 2 * 3600));
        w->tmrHeure_Timer();
        QCOMPARE(w->lblHeure->text(), QStringLiteral("12:05:09"));
        w->close();
        QTRY_VERIFY(w.isNull());
    }

    // Each new clock window steps down and right from a place that is taken
    // (three windows opened: three places), and goes back near the top left
    // of the screen rather than leave it.
    void clockWindowsCascade()
    {
        const QRect usual(579, 137, 186, 75), screen(0, 0, 1024, 768);
        QCOMPARE(zoneclock::cascadePlace(usual, {{0, 0}}, screen, 25), QPoint(579, 137));
        QCOMPARE(zoneclock::cascadePlace(usual, {{604, 162}, {579, 137}}, screen, 25), QPoint(629, 187));
        QCOMPARE(zoneclock::cascadePlace(usual, {{579, 137}, {604, 162}}, QRect(0, 0, 800, 260), 25), QPoint(25, 25));
        QSet<QPoint> places;
        std::vector<std::unique_ptr<frmFuseau>> clocks;
        for (int i = 0; i < 3; ++i) {
            clocks.push_back(std::make_unique<frmFuseau>());
            clocks.back()->show();
            places << clocks.back()->geometry().topLeft();
        }
        QCOMPARE(places.size(), 3);
    }
};

QTEST_MAIN(TestClock)
#include "tst_clock.moc"
