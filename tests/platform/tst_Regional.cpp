// Dates and numbers in the user's regional notation, French and English (US).
#include "Regional.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTest>

class TestRegional : public QObject
{
    Q_OBJECT
private slots:
    // Texts read as dates or numbers: the stored form, or empty when refused.
    // An accepted date is shown in the user's notation, with no zone name and
    // the date alone at midnight, and reads back the same to the second.
    void notation_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<bool>("isDate");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored");
        const QLocale fr(QLocale::French, QLocale::France), en(QLocale::English, QLocale::UnitedStates);
        for (const char *t : {"31/02/2024", "12/13/2024", "", "   ", "demain", "15/03/2024 25:00:00", "15/03/2024 10:00:00 x"})
            QTest::addRow("fr refuses the date '%s'", t) << fr << true << t << "";
        QTest::newRow("en refuses 31 February") << en << true << "2/31/2024" << "";
        QTest::newRow("en refuses day first") << en << true << "14/07/2024 14:05:09" << "";
        QTest::newRow("fr date and time") << fr << true << " 15/03/2024 14:05:07 " << "2024-03-15 14:05:07";
        QTest::newRow("fr time alone") << fr << true << "14:05" << platform::timeOnlyDate().toString(Qt::ISODate) + " 14:05:00";
        QTest::newRow("fr 2-digit year 29") << fr << true << "1/1/29 08:00:00" << "2029-01-01 08:00:00";
        QTest::newRow("fr 2-digit year 30") << fr << true << "1/1/30" << "1930-01-01 00:00:00";
        QTest::newRow("fr one second past midnight") << fr << true << "2/1/2031 00:00:01" << "2031-01-02 00:00:01";
        QTest::newRow("fr hour skipped in spring") << fr << true << "31/03/2024 02:30:00" << "2024-03-31 02:30:00";
        QTest::newRow("fr hour repeated in autumn") << fr << true << "27/10/2024 02:30:00" << "2024-10-27 02:30:00";
        QTest::newRow("en PM") << en << true << "3/15/2024 2:05:07 PM" << "2024-03-15 14:05:07";
        QTest::newRow("en AM") << en << true << "7/1/2024 9:00:01 AM" << "2024-07-01 09:00:01";
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
        const auto again = platform::parseDateTime(shown);
        QVERIFY2(again, qPrintable(shown));
        QCOMPARE(platform::toStorage(*again), stored);
    }
};

int main(int argc, char **argv)
{
    // Central European time with its summer-time changes, without needing tzdata.
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    QCoreApplication app(argc, argv);
    TestRegional t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_Regional.moc"
