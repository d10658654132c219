// The editing workflow: checks, adding, changing, cancelling, deleting, the
// serial numbers, and what happens to an entry the file refuses.
#include "MainWindowFixture.h"

#include <QRegularExpression>
#include <atomic>
#include <thread>

using testsupport::Row;

namespace {
const QDateTime kNow(QDate(2024, 7, 14), QTime(14, 5, 9));
const QString kCheck = msg::entryNotValid();
const QString kIdle = QStringLiteral("&Nouveau &Modifier &Supprimer");
const QString kAdding = QStringLiteral("&Valider -&Modifier &Annuler");
const QString kChanging = QStringLiteral("-&Nouveau &Valider &Annuler");
const QStringList kThree{"1 Lyon", "2 Lyon", "3 Lyon"};
} // namespace

class TestEditing : public QObject
{
    Q_OBJECT
private slots:
    // A contact typed over the proposal with one value changed (in one or
    // more fields), then stored. It is stored, or refused with one message:
    // the entry checks' own, or one naming the field the file refuses.
    // Refused, nothing is written and the entry stays as typed; corrected, it
    // stores.
    void store_data()
    {
        QTest::addColumn<bool>("adding");
        QTest::addColumn<QString>("fields"); // separated by blanks
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("refusal"); // part of the message; empty: stored
        auto row = [](const QString &name, const QString &fields, const QString &value, const QString &refusal,
                      bool adding = true) {
            QTest::newRow(qPrintable(name)) << adding << fields << value << refusal;
        };
        for (const char *f : {"txtRST", "cmbBande", "txtOpérateur", "cmbQRZ1", "cmbQRZ2", "cmbQRZ3", "txtCodePostal",
                              "txtVille", "txtBP", "txtPays"})
            row(QStringLiteral("empty %1").arg(QString::fromUtf8(f)), QString::fromUtf8(f), "", "");
        for (const QString f : {"txtNrSequanel", "txtPréfixeQRZ", "txtNrQRZ", "cmbMHz", "cmbHz", "txtDateHeure"})
            for (const QString v : {"", "   ", "12a"})
                row(QStringLiteral("'%1' in %2").arg(v, f), f, v, kCheck);
        row("three bad entries, one message", "txtNrQRZ cmbHz txtDateHeure", "31/02/2024", kCheck);
        // The file's column rules are the record source's tests; here, one
        // refusal each way shows what the window makes of it.
        row("adding, town too long", "txtVille", QString(21, QLatin1Char('v')), "« Ville »");
        row("changing, outside Windows-1252", "txtOpérateur", "Ωmega", "« Prénom Opérateur »", false);
    }
    void store()
    {
        QFETCH(bool, adding);
        QFETCH(QString, fields);
        QFETCH(QString, value);
        QFETCH(QString, refusal);
        testsupport::ClockScope clock(kNow);
        MainWindowFixture f(2);
        QPushButton *store = adding ? f.ui().cmdNouveau : f.ui().cmdModifier;
        store->click();
        f.fill();
        for (const QString &field : fields.split(QLatin1Char(' ')))
            f.put(field, value);
        store->click();
        if (!refusal.isEmpty()) {
            QCOMPARE(f.prompts.messages.size(), 1);
            QVERIFY2(f.prompts.messages[0].text.contains(refusal), qPrintable(f.prompts.messages[0].text));
            QCOMPARE(f.prompts.messages[0].icon, platform::MessageIcon::Critical);
            QCOMPARE(f.buttons(), adding ? kAdding : kChanging);
            QCOMPARE(f.ui().txtVille->text(), fields == QLatin1String("txtVille") ? value : QStringLiteral("Clermont-Ferrand"));
            QCOMPARE(f.stored(), kThree.mid(0, 2));
            if (refusal == kCheck)
                return;
            f.put(fields, QStringLiteral("12"));
            store->click();
        }
        QCOMPARE(f.buttons(), kIdle);
        QCOMPARE(f.stored().size(), adding ? 3 : 2);
    }

    // "Nouveau" proposes the next serial and the clock in the user's
    // notation, as "Maintenant" writes it. By keyboard alone, Tab goes
    // through every field in screen order, then to the store button; Enter
    // stores every field, the date to the second. "Next" then reaches the new
    // contact, its date shown as it was typed.
    void addByKeyboard_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("shown");
        QTest::newRow("fr") << "fr_FR" << kNow << "14/07/2024 14:05:09";
        QTest::newRow("en") << "en_US" << kNow << "7/14/2024 2:05:09 PM";
    }
    void addByKeyboard()
    {
        QFETCH(QString, locale);
        QFETCH(QDateTime, now);
        QFETCH(QString, shown);
        testsupport::LocaleScope scope{QLocale(locale)};
        testsupport::ClockScope clock(now);
        MainWindowFixture f(3);
        frmMain &w = *f.w;
        w.controls().cmdNouveau->click();
        QCOMPARE(w.controls().txtNrSequanel->text() + ' ' + w.controls().txtDateHeure->text(), QStringLiteral("4 ") + shown);
        w.controls().txtDateHeure->clear();
        w.controls().cmdMaintenant->click();
        QCOMPARE(w.controls().txtDateHeure->text(), shown);
        w.controls().txtDateHeure->setFocus();
        QTest::keyClick(w.controls().txtDateHeure, Qt::Key_Tab);
        for (const QString t : {"57", "AM", "27", "405", "Luc", "14", "Delta", "Echo", "Foxtrot", "7", "29200", "Brest", "BP 3", "Chili"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClicks(QApplication::focusWidget(), t);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.controls().cmdNouveau));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QStringList stored;
        for (const QVariant &v : testsupport::readRows(f.file).value(3))
            stored << v.toString();
        QCOMPARE(stored, (QStringList{now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), "4", "57", "27", "405", "AM", "14",
                                      "Delta", "Echo", "Foxtrot", "7", "BP 3", "Brest", "29200", "Chili", "Luc"}));
        w.controls().cmdSuivant->click();
        QCOMPARE(f.shownSerial() + ' ' + w.controls().txtDateHeure->text(), QStringLiteral("4 ") + shown);
    }

    // Each way out of each state, on the second of three contacts, the entry
    // (if any) typed with the town "Brest", or one too long for the file.
    // Enter presses the store button (or "Nouveau" while browsing), Esc the
    // cancel button and nothing while browsing. A change keeps its contact
    // shown and the default role on "Modifier"; giving an entry up, adding
    // or deleting (which asks nothing) shows the last contact. Closing the
    // window or opening another file stores a pending entry that passes the
    // file's rules and drops one that does not, asking nothing; a New that
    // fails leaves it pending as typed.
    void flows_data()
    {
        QTest::addColumn<QString>("button"); // pressed first; empty: none
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("then"); // keys, or close, open (another file) or new (failing)
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<QString>("shown"); // serial and town
        QTest::addColumn<QStringList>("stored");
        const QStringList added = kThree + QStringList{"4 Brest"};
        const QStringList changed{"1 Lyon", "2 Brest", "3 Lyon"};
        const QString tooLong(30, QLatin1Char('x'));
        const QString none = QStringLiteral("&Nouveau -&Modifier -&Supprimer");
        const QString add = QStringLiteral("cmdNouveau"), change = QStringLiteral("cmdModifier");
        QTest::newRow("browsing, Esc") << "" << true << "Esc" << kIdle << "2 Lyon" << kThree;
        QTest::newRow("browsing, Enter") << "" << true << "Enter" << kAdding << "4 " << kThree;
        QTest::newRow("adding, Esc") << add << true << "Esc" << kIdle << "3 Lyon" << kThree;
        QTest::newRow("adding, Enter twice") << add << true << "Enter Enter" << kAdding << "5 " << added;
        QTest::newRow("changing, Esc") << change << true << "Esc" << kIdle << "3 Lyon" << kThree;
        QTest::newRow("changing, Enter twice") << change << true << "Enter Enter" << kChanging << "2 Brest" << changed;
        QTest::newRow("deleting") << "cmdSupprimer" << true << "" << kIdle << "3 Lyon" << QStringList{"1 Lyon", "3 Lyon"};
        QTest::newRow("adding, close") << add << true << "close" << kIdle << "3 Lyon" << added;
        QTest::newRow("adding invalid, close") << add << false << "close" << kIdle << "3 Lyon" << kThree;
        QTest::newRow("changing, close") << change << true << "close" << kIdle << "2 Brest" << changed;
        QTest::newRow("changing invalid, close") << change << false << "close" << kIdle << "3 Lyon" << kThree;
        QTest::newRow("adding, open") << add << true << "open" << none << " " << added;
        QTest::newRow("adding invalid, open") << add << false << "open" << none << " " << kThree;
        QTest::newRow("changing, open") << change << true << "open" << none << " " << changed;
        QTest::newRow("changing invalid, open") << change << false << "open" << none << " " << kThree;
        QTest::newRow("adding, failed new") << add << true << "new" << kAdding << "4 Brest" << kThree;
        QTest::newRow("adding invalid, failed new") << add << false << "new" << kAdding << "4 " + tooLong << kThree;
        QTest::newRow("changing, failed new") << change << true << "new" << kChanging << "2 Brest" << kThree;
        QTest::newRow("changing invalid, failed new") << change << false << "new" << kChanging << "2 " + tooLong << kThree;
    }
    void flows()
    {
        QFETCH(QString, button);
        QFETCH(bool, valid);
        QFETCH(QString, then);
        QFETCH(QString, buttons);
        QFETCH(QString, shown);
        QFETCH(QStringList, stored);
        MainWindowFixture f(3);
        f.ui().cmdPrécédent->click();
        if (!button.isEmpty()) {
            f.w->findChild<QPushButton *>(button)->click();
            if (button != QLatin1String("cmdSupprimer")) {
                QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.ui().txtRST));
                f.fill();
                f.ui().txtVille->setText(valid ? QStringLiteral("Brest") : QString(30, QLatin1Char('x')));
            }
        }
        if (then == QLatin1String("close")) {
            f.w->close();
        } else if (then == QLatin1String("open")) {
            f.openWith(QStringLiteral("other.adb"), 0);
        } else if (then == QLatin1String("new")) {
            f.prompts.queuedFiles << f.path(QStringLiteral("absent/new.adb")); // a folder that does not exist
            f.ui().mnuNouveau->trigger();
            QCOMPARE(f.prompts.messages.size(), 1);
            f.prompts.clear();
        } else {
            for (const QString &key : then.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                QTest::keyClick(QApplication::focusWidget(), key == QLatin1String("Esc") ? Qt::Key_Escape : Qt::Key_Return);
        }
        QCOMPARE(f.buttons(), buttons);
        QCOMPARE(f.shownSerial() + ' ' + f.ui().txtVille->text(), shown);
        QCOMPARE(f.stored(), stored);
        QVERIFY(f.prompts.messages.isEmpty());
    }

    // The proposed serial is one more than the largest number among the
    // stored serials, compared as numbers.
    void proposedSerial_data()
    {
        QTest::addColumn<QVariantList>("serials");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("all empty") << QVariantList{QVariant(), QString(), QVariant()} << "1";
        QTest::newRow("numeric order") << QVariantList{"1", "2", "10", "9"} << "11";
        QTest::newRow("not numbers skipped") << QVariantList{"abc", "7", "  ", "x12"} << "8";
        QTest::newRow("blanks and sign") << QVariantList{" 41 ", "+3", "-50"} << "42";
        QTest::newRow("decimal rounds half to even") << QVariantList{"12,5"} << "13";
        QTest::newRow("the last that fits") << QVariantList{"999998"} << "999999";
        QTest::newRow("numbering full: none, and why") << QVariantList{"999999"} << "";
    }
    void proposedSerial()
    {
        QFETCH(QVariantList, serials);
        QFETCH(QString, proposed);
        testsupport::LocaleScope scope{QLocale(QLocale::French, QLocale::France)};
        MainWindowFixture f;
        QVector<Row> rows;
        for (const QVariant &s : serials) {
            rows << testsupport::sampleRow(1);
            rows.last()[1] = s;
        }
        f.open(QStringLiteral("s.adb"), rows);
        f.ui().cmdNouveau->click();
        QCOMPARE(f.ui().txtNrSequanel->text(), proposed);
        QCOMPARE(f.prompts.messages.size(), proposed.isEmpty() ? 1 : 0);
    }

    // A contact that another program deletes meanwhile: a change of it is not
    // lost but kept on screen as a new contact, which Enter stores. A
    // deletion the file refuses is said.
    void contactGoneMeanwhile()
    {
        MainWindowFixture f(3);
        auto other = platform::Connection::open(f.file, platform::OpenMode::ReadWrite, nullptr);
        f.ui().cmdModifier->click();
        f.fill();
        QVERIFY(other->exec("DELETE FROM Transmission WHERE Sequanel = '3'"));
        f.ui().cmdModifier->click();
        QCOMPARE(f.prompts.messages.size(), 1);
        QVERIFY(f.prompts.messages[0].text.contains(QStringLiteral("n'est plus dans le fichier")));
        QCOMPARE(f.buttons(), kAdding);
        QCOMPARE(f.stored(), kThree.mid(0, 2));
        QTest::keyClick(f.ui().txtVille, Qt::Key_Return);
        QCOMPARE(f.stored(), (QStringList{"1 Lyon", "2 Lyon", "3 Clermont-Ferrand"}));

        f.prompts.clear(); // a deletion the file refuses is said, and nothing is lost
        QVERIFY(testsupport::rawExec(f.file, QStringLiteral("CREATE TRIGGER garde BEFORE DELETE ON Transmission "
                                                            "BEGIN SELECT RAISE(ABORT, 'refus'); END")));
        f.ui().cmdSupprimer->click();
        QCOMPARE(f.prompts.messages.size(), 1);
        QVERIFY(f.prompts.messages[0].text.startsWith(QStringLiteral("Le contact n'a pas pu être supprimé")));
        QCOMPARE(f.stored().size(), 3);
    }

    // Another program stores a contact every 20 milliseconds while the
    // window stores 12: a number proposed and left as it is is settled when
    // the window stores (and said when it changed); a number typed is stored
    // as typed. No other number is stored twice.
    void serialsUniqueBesideAnotherWriter()
    {
        MainWindowFixture f(3);
        std::atomic<bool> done = false;
        std::thread writer([&, path = f.file] {
            auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, nullptr);
            while (!done && c) {
                if (c->begin()) {
                    const qint64 n = c->scalar("SELECT max(CAST(Sequanel AS INTEGER)) FROM Transmission").toLongLong() + 1;
                    c->exec("INSERT INTO Transmission (Sequanel) VALUES (?1)", {QString::number(n)}) ? c->commit() : (c->rollback(), false);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        for (int i = 0; i < 12; ++i) {
            f.ui().cmdNouveau->click();
            f.fill();
            if (i == 5)
                f.put(QStringLiteral("txtNrSequanel"), QStringLiteral("2"));
            QTest::qWait(50); // the other program stores meanwhile
            f.ui().cmdNouveau->click();
            QCOMPARE(f.buttons(), kIdle);
        }
        done = true;
        writer.join();
        auto db = platform::Connection::open(f.file, platform::OpenMode::ReadOnly, nullptr);
        QCOMPARE(db->rows("SELECT Sequanel FROM Transmission GROUP BY Sequanel HAVING count(*) > 1"), QVector<QVariantList>{{"2"}});
        QCOMPARE(db->scalar("SELECT count(*) FROM Transmission WHERE Ville = 'Clermont-Ferrand'").toInt(), 12);
        for (const auto &m : f.prompts.messages)
            QVERIFY2(QRegularExpression(QStringLiteral("^Un autre programme a enregistré le n° \\d+ entre-temps : ce contact est enregistré sous le n° \\d+\\.$"))
                         .match(m.text).hasMatch(), qPrintable(m.text));
    }

    // Another program holds the file locked after changing it: no number is
    // proposed from the failed reading; the box is left empty with the focus,
    // and the number typed is stored once the file is free.
    void noSerialFromAFailedReading()
    {
        MainWindowFixture f(140);
        auto other = platform::Connection::open(f.file, platform::OpenMode::ReadWrite, nullptr);
        QVERIFY(other->exec("INSERT INTO Transmission (Sequanel) VALUES ('141')"));
        QVERIFY(other->exec("BEGIN EXCLUSIVE"));
        f.ui().cmdNouveau->click();
        other->rollback();
        QCOMPARE(f.prompts.messages.size(), 1);
        QCOMPARE(f.prompts.messages[0].text, msg::serialNotRead().arg(msg::fileBusy()));
        QCOMPARE(f.buttons() + ' ' + f.shownSerial(), kAdding + ' ');
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.ui().txtNrSequanel));
        f.fill();
        f.put(QStringLiteral("txtNrSequanel"), QStringLiteral("142"));
        f.ui().cmdNouveau->click();
        QCOMPARE(f.stored().last(), QStringLiteral("142 Clermont-Ferrand"));
    }
};

QTEST_MAIN(TestEditing)
#include "test_editing.moc"
