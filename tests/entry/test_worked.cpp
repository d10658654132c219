// The warning under the call sign while a contact is typed: the same
// correspondent is already in the log.
#include "MainWindowFixture.h"

#include <QLabel>

using testsupport::Row;
using Log = QVector<QVariantList>; // serial, date, then the five parts of the call sign

namespace {

const QVariantList kA{"12", "2026-06-13 14:05:00", 14, "Alpha", "Bravo", "Charly", 123};
const QStringList kTypedA{"14", "Alpha", "Bravo", "Charly", "123"};
// Every log below starts with this contact: once its warning shows, the log
// has been read, and an absent warning means something.
const QVariantList kZ{"5", "2026-06-01 10:00:00", 27, "Zoulou", "Zoulou", "Zoulou", 1};

// A list with its item i replaced.
template <typename List> List with(List list, int i, const typename List::value_type &value)
{
    list[i] = value;
    return list;
}

void openLog(MainWindowFixture &f, const Log &contacts)
{
    QVector<Row> rows;
    for (const QVariantList &v : Log{kZ} + contacts) {
        Row r = testsupport::sampleRow(1);
        r[1] = v[0];
        r[0] = v[1];
        for (int i = 0; i < 5; ++i)
            r[6 + i] = v[2 + i];
        rows << r;
    }
    f.file = f.open(QStringLiteral("log.adb"), rows);
}

// Types the five parts from the keyboard, each box emptied first.
void typeCallSign(frmMain &w, const QStringList &parts)
{
    const frmMain::Controls &c = w.controls();
    QLineEdit *boxes[] = {c.txtPréfixeQRZ, c.cmbQRZ1->lineEdit(), c.cmbQRZ2->lineEdit(), c.cmbQRZ3->lineEdit(), c.txtNrQRZ};
    for (int i = 0; i < 5; ++i) {
        boxes[i]->selectAll();
        QTest::keyClick(boxes[i], Qt::Key_Delete);
        QTest::keyClicks(boxes[i], parts[i]);
    }
}

QString warning(const frmMain &w) { return w.controls().lblDoublon->isVisible() ? w.controls().lblDoublon->text() : QString(); }

} // namespace

class TestWorked : public QObject
{
    Q_OBJECT
private slots:
    // While adding: the warning for what is typed.
    void matching_data()
    {
        QTest::addColumn<Log>("log");
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QString>("expected"); // empty: no warning
        QTest::newRow("case, accents, blanks, numbers written otherwise")
            << Log{with(with(with(kA, 3, "Hôtel"), 4, "Québec"), 5, "Roméo")}
            << QStringList{" 014", "hotel", "QUEBEC ", "romeo", "0123"} << "Déjà contacté : n° 12 le 13/06/26 à 14:05";
        // The last in the log's order, not the largest serial nor the latest date.
        QTest::newRow("several")
            << Log{with(kA, 0, "30"), with(with(kA, 6, 124), 0, "40"),
                   with(with(kA, 0, " 25 "), 1, "2026-06-12 18:45:00"), with(kA, 0, "13")}
            << kTypedA << "Déjà contacté : n° 13 le 13/06/26 à 14:05 (3 fois)";
        QTest::newRow("another number") << Log{kA} << with(kTypedA, 4, "124") << "";
        QTest::newRow("typed incomplete") << Log{kA} << with(kTypedA, 3, "  ") << "";
        QTest::newRow("stored prefix empty is not 0") << Log{with(kA, 2, QVariant())} << with(kTypedA, 0, "0") << "";
        QTest::newRow("both incomplete alike") << Log{with(kA, 5, "")} << with(kTypedA, 3, "") << "";
    }
    void matching()
    {
        QFETCH(Log, log);
        QFETCH(QStringList, typed);
        QFETCH(QString, expected);
        MainWindowFixture f;
        openLog(f, log);
        f.ui().cmdNouveau->click();
        typeCallSign(*f.w, {"27", "Zoulou", "Zoulou", "Zoulou", "1"});
        QTRY_COMPARE(warning(*f.w), QStringLiteral("Déjà contacté : n° 5 le 01/06/26 à 10:00"));
        typeCallSign(*f.w, typed);
        QCOMPARE(warning(*f.w), expected);
    }

    // The contact being changed is not its own duplicate, and no warning
    // shows while browsing; the window's own stores, and what another
    // program adds, count from the next keystroke.
    void followsEveryChange()
    {
        testsupport::ClockScope clock(QDateTime(QDate(2026, 6, 15), QTime(9, 30)));
        MainWindowFixture f;
        openLog(f, {kA, with(with(kA, 0, "13"), 1, "2026-06-13 16:20:00")});
        frmMain &w = *f.w;
        w.controls().cmdModifier->click(); // the last contact, 13
        QTRY_COMPARE(warning(w), QStringLiteral("Déjà contacté : n° 12 le 13/06/26 à 14:05"));
        w.controls().cmdSupprimer->click(); // "&Annuler"
        QCOMPARE(warning(w), QString());
        w.controls().cmdNouveau->click();
        f.fill();
        typeCallSign(w, kTypedA);
        w.controls().cmdNouveau->click(); // "&Valider": stored as 14
        QCOMPARE(warning(w), QString());
        QVERIFY(testsupport::rawExec(f.file, QStringLiteral("INSERT INTO Transmission (Sequanel, Date, Préfixe, Qrz1, Qrz2, "
                                                            "Qrz3, N°) VALUES ('90', '2026-06-14 08:00:00', 14, 'ALPHA', "
                                                            "'bravo', 'Charly', 123)")));
        w.controls().cmdNouveau->click();
        typeCallSign(w, kTypedA);
        QTRY_COMPARE(warning(w), QStringLiteral("Déjà contacté : n° 90 le 14/06/26 à 08:00 (4 fois)"));
    }
};

QTEST_MAIN(TestWorked)
#include "test_worked.moc"
