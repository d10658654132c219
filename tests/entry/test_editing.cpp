// The editing workflow: checks, adding, changing, cancelling, deleting, the
// serial numbers, and what happens to an entry the file refuses.
#include "MainWindowFixture.h"

#include "Regional.h"

#include <QProcess>

using testsupport::Row;

namespace {
const QDateTime kNow(QDate(2024, 7, 14), QTime(14, 5, 9));
const QString kValider = QStringLiteral("&Valider");
const QString kCheck = QStringLiteral("L'une des entrées n'est pas comforme, vérifiez !");

QStringList texts(const Row &r)
{
    QStringList out;
    for (const QVariant &v : r)
        out << v.toString();
    return out;
}
} // namespace

class TestEditing : public QObject
{
    Q_OBJECT
private slots:
    // A contact typed over the proposal with one value changed (in one or
    // more fields), then stored. It is stored, or refused with one message:
    // the entry checks' own, or one naming the field the file refuses, which
    // gets the focus. Refused, nothing is written and the entry stays as
    // typed; corrected, it stores.
    void store_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("adding");
        QTest::addColumn<QString>("fields"); // separated by blanks
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("refusal"); // part of the message; empty: stored
        auto row = [](const QString &name, const QString &fields, const QString &value, const QString &refusal,
                      const char *locale = "fr_FR", bool adding = true) {
            QTest::newRow(qPrintable(name)) << QString::fromLatin1(locale) << adding << fields << value << refusal;
        };
        for (const char *f : {"txtRST", "cmbBande", "txtOpérateur", "cmbQRZ1", "cmbQRZ2", "cmbQRZ3", "txtCodePostal", "txtVille", "txtBP", "txtPays"})
            row(QStringLiteral("empty %1").arg(QString::fromUtf8(f)), QString::fromUtf8(f), "", "");
        for (const QString f : {"txtNrSequanel", "txtPréfixeQRZ", "txtNrQRZ", "cmbMHz", "cmbHz", "txtDateHeure"})
            for (const QString v : {"", "   ", "12a"})
                row(QStringLiteral("'%1' in %2").arg(v, f), f, v, kCheck);
        row("three bad entries, one message", "txtNrQRZ cmbHz txtDateHeure", "31/02/2024", kCheck);
        // The user's notation, which tst_Regional covers in full.
        row("fr decimal point", "cmbMHz", "27.0", kCheck);
        row("en decimal point", "cmbMHz", "27.0", "", "en_US");
        row("signed", "txtNrQRZ", " -12 ", "");
        row("en day first", "txtDateHeure", "14/07/2024 14:05:09", kCheck, "en_US");
        for (bool adding : {true, false}) {
            const QString mode = adding ? "adding" : "changing";
            row(mode + ", town too long", "txtVille", QString(21, QLatin1Char('v')), "« Ville »", "fr_FR", adding);
            row(mode + ", serial too long", "txtNrSequanel", "1234567", "« N° de Sequ »", "fr_FR", adding);
            row(mode + ", prefix out of range", "txtPréfixeQRZ", "32768", "« Préfixe du QRZ »", "fr_FR", adding);
            row(mode + ", hertz with a fraction", "cmbHz", "5,5", "« Hertz »", "fr_FR", adding);
            row(mode + ", outside Windows-1252", "txtOpérateur", "Ωmega", "« Prénom Opérateur »", "fr_FR", adding);
        }
    }
    void store()
    {
        QFETCH(QString, locale);
        QFETCH(bool, adding);
        QFETCH(QString, fields);
        QFETCH(QString, value);
        QFETCH(QString, refusal);
        testsupport::LocaleScope scope{QLocale(locale)};
        testsupport::ClockScope clock(kNow);
        MainWindowFixture f(2);
        const auto before = f.rows();
        QPushButton *store = adding ? f.w->controls().cmdNouveau : f.w->controls().cmdModifier;
        const QString idle = store->text();
        store->click();
        f.fill();
        for (const QString &field : fields.split(QLatin1Char(' ')))
            f.put(field, value);
        store->click();
        if (!refusal.isEmpty()) {
            QCOMPARE(f.prompts.messages.size(), 1);
            QVERIFY2(f.prompts.messages[0].text.contains(refusal), qPrintable(f.prompts.messages[0].text));
            QCOMPARE(f.prompts.messages[0].icon, platform::MessageIcon::Critical);
            QCOMPARE(store->text() + f.w->controls().cmdSupprimer->text(), kValider + QStringLiteral("&Annuler"));
            QVERIFY(f.w->controls().txtRST->isEnabled());
            QCOMPARE(f.w->controls().txtVille->text(), fields == QLatin1String("txtVille") ? value : QStringLiteral("Clermont-Ferrand"));
            QCOMPARE(f.rows(), before);
            if (refusal == kCheck)
                return;
            QWidget *w = f.w->findChild<QWidget *>(fields);
            QCOMPARE(QApplication::focusWidget(), w->focusProxy() ? w->focusProxy() : w);
            f.put(fields, QStringLiteral("12"));
            store->click();
        }
        QCOMPARE(store->text(), idle);
        QCOMPARE(f.rows().size(), adding ? 3 : 2);
    }

    // By keyboard alone: Enter on "Nouveau" proposes the next serial and the
    // clock in the user's notation (as "Maintenant" writes it), the focus on
    // the first field after them; Tab goes through every field in screen
    // order, then to the store button; Enter stores every field, the date to
    // the second. The contact that was last is shown; "next" reaches the new
    // one, its date shown as it was typed.
    void addByKeyboard_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("shown");
        QTest::newRow("fr") << "fr_FR" << kNow << "14/07/2024 14:05:09";
        QTest::newRow("fr midnight") << "fr_FR" << QDateTime(QDate(2024, 12, 31), QTime(0, 0)) << "31/12/2024";
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
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(w.controls().cmdNouveau->text() + w.controls().cmdSupprimer->text(), QStringLiteral("&Valider&Annuler"));
        QVERIFY(!w.controls().cmdModifier->isEnabled() && !w.controls().cmdPrécédent->isEnabled() && !w.controls().cmdSuivant->isEnabled());
        QCOMPARE(w.controls().txtNrSequanel->text() + ' ' + w.controls().txtDateHeure->text(), QStringLiteral("4 ") + shown);
        w.controls().txtDateHeure->clear();
        w.controls().cmdMaintenant->click();
        QCOMPARE(w.controls().txtDateHeure->text(), shown);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.controls().txtRST));
        QTest::keyClick(w.controls().txtRST, Qt::Key_Backtab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.controls().txtDateHeure));
        QTest::keyClick(w.controls().txtDateHeure, Qt::Key_Tab);
        const QStringList typed{"57", "AM", "27", "405", "Luc", "14", "Delta", "Echo", "Foxtrot", "7", "29200", "Brest", "BP 3", "Chili"};
        for (const QString &t : typed) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClicks(QApplication::focusWidget(), t);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.controls().cmdNouveau));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(f.prompts.messages.isEmpty());
        QCOMPARE(texts(f.rows().value(3)), (QStringList{now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), "4", "57", "27", "405", "AM",
                                                         "14", "Delta", "Echo", "Foxtrot", "7", "BP 3", "Brest", "29200", "Chili", "Luc"}));
        QCOMPARE(w.controls().cmdNouveau->text() + w.controls().cmdModifier->text() + w.controls().cmdSupprimer->text(), QStringLiteral("&Nouveau&Modifier&Supprimer"));
        QVERIFY(!w.controls().txtRST->isEnabled());
        QCOMPARE(f.shownSerial(), QStringLiteral("3"));
        w.controls().cmdSuivant->click();
        QCOMPARE(f.shownSerial() + ' ' + w.controls().txtDateHeure->text(), QStringLiteral("4 ") + shown);
    }

    // Esc does nothing while not editing. Changing puts the focus on the
    // first field and locks "Nouveau"; Esc gives the change up and shows the
    // last contact; Enter stores it and keeps it shown, and Enter again starts
    // another change. Esc gives an addition up too; Enter then starts another.
    void enterAndEscape()
    {
        MainWindowFixture f(5);
        frmMain &w = *f.w;
        QTest::keyClick(&w, Qt::Key_Escape);
        w.controls().cmdPrécédent->click();
        w.controls().cmdModifier->click();
        QCOMPARE(w.controls().cmdModifier->text(), kValider);
        QVERIFY(!w.controls().cmdNouveau->isEnabled());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.controls().txtRST));
        w.controls().txtVille->setText(QStringLiteral("Nulle part"));
        QTest::keyClick(w.controls().cmbQRZ2, Qt::Key_Escape);
        QCOMPARE(w.controls().cmdModifier->text() + w.controls().cmdSupprimer->text(), QStringLiteral("&Modifier&Supprimer"));
        QCOMPARE(f.shownSerial() + w.controls().txtVille->text(), QStringLiteral("5Lyon"));
        w.controls().cmdPrécédent->click();
        w.controls().cmdPrécédent->click();
        w.controls().cmdModifier->click();
        w.controls().txtVille->setText(QStringLiteral("Brest"));
        QTest::keyClick(w.controls().txtVille, Qt::Key_Return);
        QCOMPARE(w.controls().cmdModifier->text(), QStringLiteral("&Modifier"));
        QVERIFY(w.controls().cmdNouveau->isEnabled());
        QCOMPARE(f.shownSerial(), QStringLiteral("3"));
        QCOMPARE(f.column(12), (QStringList{"Lyon", "Lyon", "Brest", "Lyon", "Lyon"}));
        QTest::keyClick(&w, Qt::Key_Return); // the default role stayed on "Modifier"
        QCOMPARE(w.controls().cmdModifier->text() + f.shownSerial(), kValider + QStringLiteral("3"));
        QTest::keyClick(&w, Qt::Key_Escape);
        w.controls().cmdNouveau->click();
        w.controls().txtRST->setText(QStringLiteral("33"));
        QTest::keyClick(w.controls().txtRST, Qt::Key_Escape);
        QCOMPARE(w.controls().cmdNouveau->text(), QStringLiteral("&Nouveau"));
        QVERIFY(!w.cancelButton());
        QCOMPARE(f.rows().size(), 5);
        QTest::keyClick(&w, Qt::Key_Return);
        QCOMPARE(w.controls().cmdNouveau->text(), kValider);
    }

    // Deleting asks nothing; the only contact gone, only "Nouveau" remains.
    void deleting()
    {
        MainWindowFixture f(1);
        f.w->controls().cmdSupprimer->click();
        QVERIFY(f.prompts.messages.isEmpty());
        QVERIFY(f.rows().isEmpty());
        QVERIFY(f.w->controls().cmdNouveau->isEnabled());
        for (QPushButton *b : {f.w->controls().cmdPrécédent, f.w->controls().cmdSuivant, f.w->controls().cmdModifier, f.w->controls().cmdSupprimer})
            QVERIFY(!b->isEnabled());
        f.w->controls().cmdNouveau->click(); // the first contact of an empty file can be given up
        QTest::keyClick(f.w->controls().txtRST, Qt::Key_Escape);
        QCOMPARE(f.w->controls().cmdNouveau->text(), QStringLiteral("&Nouveau"));
        QVERIFY(f.rows().isEmpty());
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
        QTest::newRow("past 16 bits") << QVariantList{"32767"} << "32768";
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
        f.w->controls().cmdNouveau->click();
        QCOMPARE(f.w->controls().txtNrSequanel->text(), proposed);
        QCOMPARE(f.prompts.messages.size(), proposed.isEmpty() ? 1 : 0);
    }

    // A contact that another program deletes meanwhile: a change of it is not
    // lost but kept on screen as a new contact, which Enter stores; deleting
    // it says so and shows the last contact.
    void contactGoneMeanwhile()
    {
        MainWindowFixture f(3);
        auto other = platform::Connection::open(f.file, platform::OpenMode::ReadWrite, nullptr);
        f.w->controls().cmdModifier->click();
        f.fill();
        QVERIFY(other->exec("DELETE FROM Transmission WHERE Sequanel = '3'"));
        f.w->controls().cmdModifier->click();
        QCOMPARE(f.prompts.messages.size(), 1);
        QVERIFY(f.prompts.messages[0].text.contains(QStringLiteral("n'est plus dans le fichier")));
        QCOMPARE(f.w->controls().cmdNouveau->text() + f.w->controls().cmdModifier->text() + f.w->controls().cmdSupprimer->text(),
                 kValider + QStringLiteral("&Modifier&Annuler"));
        QCOMPARE(f.column(1), (QStringList{"1", "2"}));
        QTest::keyClick(f.w->controls().txtVille, Qt::Key_Return);
        QCOMPARE(f.column(12), (QStringList{"Lyon", "Lyon", "Clermont-Ferrand"}));
        QCOMPARE(f.column(1), (QStringList{"1", "2", "3"}));

        f.prompts.clear();
        QVERIFY(other->exec("DELETE FROM Transmission WHERE Sequanel = '2'"));
        f.w->controls().cmdSupprimer->click(); // the contact shown, 2, is already gone
        QCOMPARE(f.prompts.messages.size(), 1);
        QVERIFY(f.prompts.messages[0].text.contains(QStringLiteral("n'est plus dans le fichier")));
        QCOMPARE(f.shownSerial() + f.w->controls().txtVille->text(), QStringLiteral("3Clermont-Ferrand"));
        QCOMPARE(f.rows().size(), 2);
    }

    // Deleting removes exactly the contact shown and shows the last one. The
    // proposal follows the window's own stores and changes, and what another
    // program adds to the file.
    void serialFollowsEveryChange()
    {
        MainWindowFixture f(4);
        auto proposal = [&] {
            f.w->controls().cmdNouveau->click();
            const QString s = f.w->controls().txtNrSequanel->text();
            f.w->controls().cmdSupprimer->click(); // cancel
            return s;
        };
        QCOMPARE(proposal(), QStringLiteral("5"));
        QCOMPARE(f.shownSerial(), QStringLiteral("4"));
        f.w->controls().cmdPrécédent->click();
        f.w->controls().cmdPrécédent->click();
        f.w->controls().cmdSupprimer->click();
        QCOMPARE(f.shownSerial(), QStringLiteral("4"));
        QCOMPARE(f.column(1), (QStringList{"1", "3", "4"}));
        f.w->controls().cmdModifier->click(); // lower the largest number by a change
        f.w->controls().txtNrSequanel->setText(QStringLiteral("2"));
        f.w->controls().cmdModifier->click();
        QCOMPARE(f.column(1), (QStringList{"1", "3", "2"}));
        QCOMPARE(proposal(), QStringLiteral("4"));
        f.w->controls().cmdNouveau->click();
        f.fill();
        f.w->controls().cmdNouveau->click();
        QCOMPARE(proposal(), QStringLiteral("5"));
        auto other = platform::Connection::open(f.file, platform::OpenMode::ReadWrite, nullptr);
        QVERIFY(other->exec("INSERT INTO Transmission (Sequanel) VALUES ('90')"));
        QCOMPARE(proposal(), QStringLiteral("91"));
    }

    // Closing the window, or opening another file, stores a pending entry
    // that passes the file's rules and drops one that does not; nothing is
    // asked. A New that fails leaves it pending as typed.
    void pendingEntryOnClose_data()
    {
        QTest::addColumn<bool>("adding");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("how"); // 0 close, 1 open another file, 2 a New that fails
        for (int how : {0, 1, 2})
            for (bool adding : {true, false})
                for (bool valid : {true, false})
                    QTest::addRow("%s %s, %s", valid ? "valid" : "invalid", adding ? "addition" : "change",
                                  how == 0 ? "close" : how == 1 ? "open another" : "failed new") << adding << valid << how;
    }
    void pendingEntryOnClose()
    {
        QFETCH(bool, adding);
        QFETCH(bool, valid);
        QFETCH(int, how);
        const bool close = how == 0;
        MainWindowFixture f(2);
        (adding ? f.w->controls().cmdNouveau : f.w->controls().cmdModifier)->click();
        f.fill();
        if (!valid)
            f.w->controls().txtVille->setText(QString(30, QLatin1Char('x')));
        const QString town = f.w->controls().txtVille->text();
        if (how == 2) { // a file that cannot be replaced
            const QString fixed = f.path(QStringLiteral("fige.adb"));
            testsupport::makeLogFile(fixed);
            if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), fixed}) != 0)
                QSKIP("chattr +i is not available here");
            f.prompts.queuedFiles << fixed;
            f.w->controls().mnuNouveau->trigger();
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), fixed});
            QCOMPARE(f.prompts.messages.size(), 1);
            QCOMPARE((adding ? f.w->controls().cmdNouveau : f.w->controls().cmdModifier)->text() + f.w->controls().txtVille->text(), kValider + town);
            QCOMPARE(f.rows().size(), 2);
            return;
        }
        if (close)
            f.w->close();
        else
            f.openWith(QStringLiteral("other.adb"), 0);
        QVERIFY(f.prompts.messages.isEmpty());
        const auto rows = f.rows();
        QCOMPARE(rows.size(), adding && valid ? 3 : 2);
        QCOMPARE(rows.last()[12].toString(), valid ? QStringLiteral("Clermont-Ferrand") : QStringLiteral("Lyon"));
        QVERIFY(close || (f.w->controls().cmdNouveau->text() == QLatin1String("&Nouveau") && !f.w->controls().txtRST->isEnabled()));
    }

    // Reached by Tab or by a click, the serial box selects its whole number.
    void serialBoxSelectsAll()
    {
        MainWindowFixture f(11);
        f.w->controls().cmdNouveau->click();
        f.w->controls().txtNrSequanel->setText(QStringLiteral("12"));
        f.w->controls().txtDateHeure->setFocus();
        QTest::keyClick(f.w->controls().txtDateHeure, Qt::Key_Tab);
        QCOMPARE(f.w->controls().txtNrSequanel->selectedText(), QStringLiteral("12"));
        f.w->controls().txtRST->setFocus();
        QTest::mouseClick(f.w->controls().txtNrSequanel, Qt::LeftButton, {}, QPoint(5, 5));
        QTRY_COMPARE(f.w->controls().txtNrSequanel->selectedText(), QStringLiteral("12"));
        QTest::keyClicks(f.w->controls().txtNrSequanel, QStringLiteral("13"));
        QCOMPARE(f.w->controls().txtNrSequanel->text(), QStringLiteral("13"));
    }
};

QTEST_MAIN(TestEditing)
#include "test_editing.moc"
