// The warning under the call sign while a contact is typed: the same
// correspondent is already in the log.
#include "MainWindowFixture.h"
#include "Regional.h"

#include <QLabel>
#include <QRandomGenerator>

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

    // A seeded run (SEQUANEL_SEED) of stores, changes and deletions among 10,000
    // other contacts, by the window and by another connection. After each step the proposed serial
    // and the warning (count, serial and date of the latest by date, then by
    // order of storing) are those a plain query of the file gives; after an
    // outside change the warning follows without a keystroke, and while
    // changing, the contact changed is not its own duplicate.
    void followsTheFileAsSqlSays()
    {
        testsupport::ClockScope clock(QDateTime(QDate(2026, 6, 15), QTime(9, 30)));
        MainWindowFixture f;
        openLog(f, Log(10000, with(kZ, 6, 3)));
        frmMain &w = *f.w;
        const frmMain::Controls &c = w.controls();
        auto other = platform::Connection::open(f.file, platform::OpenMode::ReadWrite, nullptr);
        QRandomGenerator rng(20261207 + qEnvironmentVariableIntValue("SEQUANEL_SEED"));
        auto sign = [&] { return QStringList{"14", rng.bounded(2) ? "Alpha" : "Delta", "Bravo", "Charly", QString::number(rng.bounded(1, 3))}; };
        auto date = [&] { return QDateTime(QDate(2026, 6, 1 + rng.bounded(3)), QTime(rng.bounded(2) * 12, 0)); };
        auto largest = [&] { return other->scalar("SELECT max(CAST(Sequanel AS INTEGER)) FROM Transmission").toLongLong(); };
        auto someRow = [&] { return other->scalar("SELECT rowid FROM Transmission LIMIT 1 OFFSET ?1", {rng.bounded(int(other->scalar("SELECT count(*) FROM Transmission").toInt()))}); };
        auto expected = [&](const QStringList &s, qint64 except) {
            const auto r = other->rows("SELECT count(*) OVER (), Sequanel, Date FROM Transmission WHERE Préfixe = ?1 AND Qrz1 = ?2 AND Qrz2 = ?3 "
                                       "AND Qrz3 = ?4 AND N° = ?5 AND rowid <> ?6 ORDER BY Date DESC, rowid DESC LIMIT 1",
                                       {s[0].toInt(), s[1], s[2], s[3], s[4].toInt(), except});
            if (r.isEmpty())
                return QString();
            const QDateTime d = QDateTime::fromString(r[0][2].toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            return QStringLiteral("Déjà contacté : n° ") + r[0][1].toString() +
                   (d.isValid() ? d.toString(QStringLiteral(" 'le' dd/MM/yy 'à' hh:mm")) : QString()) +
                   (r[0][0].toInt() > 1 ? QStringLiteral(" (%1 fois)").arg(r[0][0].toInt()) : QString());
        };
        QStringList typed = sign();
        c.cmdNouveau->click();
        typeCallSign(w, typed);
        for (int step = 0; step < 40; ++step) {
            int op = rng.bounded(6);
            if (other->scalar("SELECT count(*) FROM Transmission").toInt() == 0)
                op = op < 3 ? 0 : 3; // nothing to change or delete
            const QStringList s = sign();
            const QString serial = QString::number(rng.bounded(1, int(largest()) + 3));
            const bool typesSerial = rng.bounded(3) == 0;
            if (op < 3) { // by the window: store, change, delete
                c.cmdSupprimer->click(); // "Annuler"
                QPushButton *b = op == 0 ? c.cmdNouveau : op == 1 ? c.cmdModifier : c.cmdSupprimer;
                b->click();
                if (op < 2) {
                    f.fill();
                    typeCallSign(w, s);
                    c.txtDateHeure->setText(platform::formatDateTime(date()));
                    if (typesSerial || op == 1)
                        c.txtNrSequanel->setText(serial);
                    QTRY_COMPARE(warning(w), expected(s, op == 1 ? *c.Data1->currentRowid() : 0));
                    b->click();
                }
            } else {
                const QVariantList v{typesSerial ? serial : QString::number(largest() + 1), rng.bounded(5) ? date().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QVariant(), s[1], s[4].toInt()};
                if (op == 3)
                    QVERIFY(other->exec("INSERT INTO Transmission (Sequanel, Date, Préfixe, Qrz1, Qrz2, Qrz3, N°) VALUES (?1, ?2, 14, ?3, 'Bravo', 'Charly', ?4)", v));
                else if (op == 4)
                    QVERIFY(other->exec("UPDATE Transmission SET Sequanel = ?1, Date = ?2, Qrz1 = ?3, N° = ?4 WHERE rowid = ?5", v + QVariantList{someRow()}));
                else // the contact the warning names, or another
                    QVERIFY(other->exec("DELETE FROM Transmission WHERE rowid = (SELECT rowid FROM Transmission WHERE N° = ?1 ORDER BY Date DESC, rowid DESC LIMIT 1)", {v[3]}));
                QTRY_COMPARE(warning(w), expected(typed, 0));
                c.cmdSupprimer->click();
            }
            c.cmdNouveau->click();
            QCOMPARE(c.txtNrSequanel->text(), QString::number(largest() + 1));
            typed = sign();
            typeCallSign(w, typed);
            QTRY_COMPARE(warning(w), expected(typed, 0));
        }
        QVERIFY(f.prompts.messages.isEmpty());
    }
};

QTEST_MAIN(TestWorked)
#include "test_worked.moc"
