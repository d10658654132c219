// Dates and numbers in the user's regional notation, French and English (US).
#include "Regional.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTest>

using platform::formatDateTime;
using platform::parseDateTime;
using platform::parseNumber;

namespace {
QLocale fr() { return QLocale(QLocale::French, QLocale::France); }
QLocale en() { return QLocale(QLocale::English, QLocale::UnitedStates); }
} // namespace

class TestRegional : public QObject
{
    Q_OBJECT
private slots:
    void formattedDateReadsBack_data();
    void formattedDateReadsBack();
    void datesRead_data();
    void datesRead();
    void numbers_data();
    void numbers();
};

void TestRegional::formattedDateReadsBack_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QDateTime>("value");
    const QList<QDateTime> values = {
        QDateTime(QDate(2024, 3, 15), QTime(14, 5, 7)),
        QDateTime(QDate(2024, 7, 1), QTime(9, 0, 1)),     // summer time in Europe
        QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59)),
        QDateTime(QDate(2031, 1, 2), QTime(0, 0, 1)),     // outside the two-digit window
        QDateTime(QDate(2024, 2, 29), QTime(0, 0)),       // midnight: the date alone
    };
    for (const QLocale &l : {fr(), en()})
        for (const QDateTime &v : values)
            QTest::addRow("%s %s", qPrintable(l.name()), qPrintable(v.toString(Qt::ISODate))) << l << v;
}

void TestRegional::formattedDateReadsBack()
{
    QFETCH(QLocale, locale);
    QFETCH(QDateTime, value);
    testsupport::LocaleScope scope(locale);
    const QString text = formatDateTime(value);
    QVERIFY2(text.contains(QString::number(value.date().year())), qPrintable(text));
    // Nothing but the date, the time and the AM/PM marker: no zone name.
    QString letters = text;
    letters.remove(QRegularExpression(QStringLiteral("\\b(AM|PM)\\b")));
    QVERIFY2(!letters.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))), qPrintable(text));
    if (value.time() == QTime(0, 0))
        QCOMPARE(text, locale.toString(value.date(), platform::shortDateFormat(locale)));
    else
        QVERIFY2(text.contains(QLatin1Char(':')), qPrintable(text));
    const auto back = parseDateTime(text);
    QVERIFY2(back, qPrintable(text));
    QCOMPARE(back->date(), value.date());
    QCOMPARE(back->time(), value.time());
}

void TestRegional::datesRead_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected"); // invalid: refused
    const QDateTime refused;
    QTest::newRow("fr 31 February") << fr() << "31/02/2024" << refused;
    QTest::newRow("fr 31 February with time") << fr() << "31/02/2024 10:00:00" << refused;
    QTest::newRow("fr month 13") << fr() << "12/13/2024" << refused;
    QTest::newRow("fr empty") << fr() << "" << refused;
    QTest::newRow("fr blanks") << fr() << "   " << refused;
    QTest::newRow("fr letters") << fr() << "demain" << refused;
    QTest::newRow("fr hour 25") << fr() << "15/03/2024 25:00:00" << refused;
    QTest::newRow("fr trailing junk") << fr() << "15/03/2024 10:00:00 x" << refused;
    QTest::newRow("en 31 February") << en() << "2/31/2024" << refused;
    QTest::newRow("en blanks") << en() << " \t " << refused;
    QTest::newRow("fr date and time") << fr() << " 15/03/2024 14:05:07 " << QDateTime(QDate(2024, 3, 15), QTime(14, 5, 7));
    QTest::newRow("fr date alone") << fr() << "29/02/2024" << QDateTime(QDate(2024, 2, 29), QTime(0, 0));
    QTest::newRow("fr time alone") << fr() << "14:05" << QDateTime(platform::timeOnlyDate(), QTime(14, 5));
    QTest::newRow("fr 2-digit year 24") << fr() << "15/03/24" << QDateTime(QDate(2024, 3, 15), QTime(0, 0));
    QTest::newRow("fr 2-digit year 29") << fr() << "1/1/29 08:00:00" << QDateTime(QDate(2029, 1, 1), QTime(8, 0));
    QTest::newRow("fr 2-digit year 30") << fr() << "1/1/30" << QDateTime(QDate(1930, 1, 1), QTime(0, 0));
    QTest::newRow("fr hour skipped in spring") << fr() << "31/03/2024 02:30:00" << QDateTime(QDate(2024, 3, 31), QTime(2, 30));
    QTest::newRow("fr hour repeated in autumn") << fr() << "27/10/2024 02:30:00" << QDateTime(QDate(2024, 10, 27), QTime(2, 30));
    QTest::newRow("en PM") << en() << "3/15/2024 2:05:07 PM" << QDateTime(QDate(2024, 3, 15), QTime(14, 5, 7));
    QTest::newRow("en 2-digit year") << en() << "3/15/24" << QDateTime(QDate(2024, 3, 15), QTime(0, 0));
    QTest::newRow("en 2-digit year 99") << en() << "12/31/99" << QDateTime(QDate(1999, 12, 31), QTime(0, 0));
}

void TestRegional::datesRead()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    testsupport::LocaleScope scope(locale);
    const auto v = parseDateTime(text);
    if (!expected.date().isValid()) {
        QVERIFY2(!v, qPrintable(v ? platform::toStorage(*v) : QString()));
        return;
    }
    QVERIFY(v);
    QVERIFY(v->isValid());
    QCOMPARE(v->date(), expected.date());
    QCOMPARE(v->time(), expected.time());
    // The stored form, and the text shown for it, keep the same fields.
    const QString stored = expected.date().toString(Qt::ISODate) + QLatin1Char(' ')
                           + expected.time().toString(QStringLiteral("HH:mm:ss"));
    QCOMPARE(platform::toStorage(*v), stored);
    const auto back = platform::fromStorage(stored);
    QVERIFY(back && back->isValid());
    QCOMPARE(formatDateTime(*back), formatDateTime(*v));
    const auto reread = parseDateTime(formatDateTime(*back));
    QVERIFY(reread);
    QCOMPARE(platform::toStorage(*reread), stored);
}

void TestRegional::numbers_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("value");
    for (const QLocale &l : {fr(), en()}) {
        const QString n = l.name();
        QTest::addRow("%s 14", qPrintable(n)) << l << "14" << true << 14.0;
        QTest::addRow("%s blanks around", qPrintable(n)) << l << " 14 " << true << 14.0;
        QTest::addRow("%s negative", qPrintable(n)) << l << "-3" << true << -3.0;
        QTest::addRow("%s plus", qPrintable(n)) << l << "+7" << true << 7.0;
        QTest::addRow("%s leading zeros", qPrintable(n)) << l << "005" << true << 5.0;
        QTest::addRow("%s letters", qPrintable(n)) << l << "abc" << false << 0.0;
        QTest::addRow("%s empty", qPrintable(n)) << l << "" << false << 0.0;
        QTest::addRow("%s blanks", qPrintable(n)) << l << "   " << false << 0.0;
        QTest::addRow("%s sign alone", qPrintable(n)) << l << "-" << false << 0.0;
        QTest::addRow("%s inner blank", qPrintable(n)) << l << "1 4" << false << 0.0;
        QTest::addRow("%s digits then letters", qPrintable(n)) << l << "14a" << false << 0.0;
    }
    QTest::newRow("fr decimal comma") << fr() << "1,5" << true << 1.5;
    QTest::newRow("fr decimal point") << fr() << "1.5" << false << 0.0;
    QTest::newRow("en decimal point") << en() << "1.5" << true << 1.5;
    QTest::newRow("en decimal comma") << en() << "1,5" << false << 0.0;
}

void TestRegional::numbers()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(double, value);
    testsupport::LocaleScope scope(locale);
    const auto v = parseNumber(text);
    QCOMPARE(v.has_value(), accepted);
    if (accepted)
        QCOMPARE(*v, value);
}

int main(int argc, char **argv)
{
    // Central European time with its summer-time changes, without needing tzdata.
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    QCoreApplication app(argc, argv);
    TestRegional t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_Regional.moc"
