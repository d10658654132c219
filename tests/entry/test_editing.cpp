// The editing workflow: checks, adding, changing, cancelling, deleting, the
// serial numbers, and what happens to an entry the file refuses.
#include "MainWindowFixture.h"

using testsupport::Row;

namespace {
const QDateTime kNow(QDate(2024, 7, 14), QTime(14, 5, 9));
const QString kCheck = QStringLiteral("L'une des entrées n'est pas comforme, vérifiez !");
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
    // the entry checks' own, or one naming the field the file refuses, which
    // gets the focus. Refused, nothing is written and the entry stays as
    // typed; corrected, it stores.
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
        QPushButton *store = adding ? f.w->cmdNouveau : f.w->cmdModifier;
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
            QCOMPARE(f.w->txtVille->text(), fields == QLatin1String("txtVille") ? value : QStringLiteral("Clermont-Ferrand"));
            QCOMPARE(f.stored(), kThree.mid(0, 2));
            if (refusal == kCheck)
                return;
            QWidget *w = f.w->findChild<QWidget *>(fields);
            QCOMPARE(QApplication::focusWidget(), w->focusProxy() ? w->focusProxy() : w);
            f.put(fields, QStringLiteral("12"));
            store->click();
        }
        QCOMPARE(f.buttons(), kIdle);
        QCOMPARE(f.stored().size(), adding ? 3 : 2);
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
        QCOMPARE(f.buttons(), kAdding);
        QVERIFY(!w.cmdPrécédent->isEnabled() && !w.cmdSuivant->isEnabled());
        QCOMPARE(w.txtNrSequanel->text() + ' ' + w.txtDateHeure->text(), QStringLiteral("4 ") + shown);
        w.txtDateHeure->clear();
        w.cmdMaintenant->click();
        QCOMPARE(w.txtDateHeure->text(), shown);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.txtRST));
        w.txtDateHeure->setFocus();
        QTest::keyClick(w.txtDateHeure, Qt::Key_Tab);
        const QStringList typed{"57", "AM", "27", "405", "Luc", "14", "Delta", "Echo", "Foxtrot", "7", "29200", "Brest",
                                "BP 3", "Chili"};
        for (const QString &t : typed) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClicks(QApplication::focusWidget(), t);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.cmdNouveau));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(f.prompts.messages.isEmpty());
        QStringList stored;
        for (const QVariant &v : testsupport::readRows(f.file).value(3))
            stored << v.toString();
        QCOMPARE(stored, (QStringList{now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), "4", "57", "27", "405", "AM", "14",
                                      "Delta", "Echo", "Foxtrot", "7", "BP 3", "Brest", "29200", "Chili", "Luc"}));
        QCOMPARE(f.buttons(), kIdle);
        QVERIFY(!w.txtRST->isEnabled());
        QCOMPARE(f.shownSerial(), QStringLiteral("3"));
        w.cmdSuivant->click();
        QCOMPARE(f.shownSerial() + ' ' + w.txtDateHeure->text(), QStringLiteral("4 ") + shown);
    }

    // Enter and Esc in each state, on the second of three contacts: Enter
    // presses the store button (or "Nouveau" while browsing), Esc the cancel
    // button and nothing while browsing. A change keeps its contact shown
    // and the default role on "Modifier"; giving an entry up or adding shows
    // the last contact. Deleting asks nothing and shows the last one.
    void enterAndEscape_data()
    {
        QTest::addColumn<QString>("button"); // pressed first; empty: none
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("browsing, Esc") << "" << "Esc" << kIdle << "2" << kThree;
        QTest::newRow("browsing, Enter") << "" << "Enter" << kAdding << "4" << kThree;
        QTest::newRow("adding, Esc") << "cmdNouveau" << "Esc" << kIdle << "3" << kThree;
        QTest::newRow("adding, Esc, Enter") << "cmdNouveau" << "Esc Enter" << kAdding << "4" << kThree;
        QTest::newRow("adding, Enter twice") << "cmdNouveau" << "Enter Enter" << kAdding << "5" << (kThree + QStringList{"4 Brest"});
        QTest::newRow("changing, Esc") << "cmdModifier" << "Esc" << kIdle << "3" << kThree;
        QTest::newRow("changing, Enter twice") << "cmdModifier" << "Enter Enter" << kChanging << "2"
                                               << QStringList{"1 Lyon", "2 Brest", "3 Lyon"};
        QTest::newRow("deleting") << "cmdSupprimer" << "" << kIdle << "3" << QStringList{"1 Lyon", "3 Lyon"};
    }
    void enterAndEscape()
    {
        QFETCH(QString, button);
        QFETCH(QString, keys);
        QFETCH(QString, buttons);
        QFETCH(QString, shown);
        QFETCH(QStringList, stored);
        MainWindowFixture f(3);
        f.w->cmdPrécédent->click();
        if (!button.isEmpty()) {
            f.w->findChild<QPushButton *>(button)->click();
            if (button != QLatin1String("cmdSupprimer")) {
                QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.w->txtRST));
                f.fill();
                f.w->txtVille->setText(QStringLiteral("Brest"));
            }
        }
        for (const QString &key : keys.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            QTest::keyClick(QApplication::focusWidget(), key == QLatin1String("Esc") ? Qt::Key_Escape : Qt::Key_Return);
        QCOMPARE(f.buttons(), buttons);
        QCOMPARE(f.shownSerial(), shown);
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
        f.w->cmdNouveau->click();
        QCOMPARE(f.w->txtNrSequanel->text(), proposed);
        QCOMPARE(f.prompts.messages.size(), proposed.isEmpty() ? 1 : 0);
    }

    // A contact that another program deletes meanwhile: a change of it is not
    // lost but kept on screen as a new contact, which Enter stores; deleting
    // it says so and shows the last contact.
    void contactGoneMeanwhile()
    {
        MainWindowFixture f(3);
        auto other = platform::Connection::open(f.file, platform::OpenMode::ReadWrite, nullptr);
        f.w->cmdModifier->click();
        f.fill();
        QVERIFY(other->exec("DELETE FROM Transmission WHERE Sequanel = '3'"));
        f.w->cmdModifier->click();
        QCOMPARE(f.prompts.messages.size(), 1);
        QVERIFY(f.prompts.messages[0].text.contains(QStringLiteral("n'est plus dans le fichier")));
        QCOMPARE(f.buttons(), kAdding);
        QCOMPARE(f.stored(), kThree.mid(0, 2));
        QTest::keyClick(f.w->txtVille, Qt::Key_Return);
        QCOMPARE(f.stored(), (QStringList{"1 Lyon", "2 Lyon", "3 Clermont-Ferrand"}));

        f.prompts.clear();
        QVERIFY(other->exec("DELETE FROM Transmission WHERE Sequanel = '2'"));
        f.w->cmdSupprimer->click(); // the contact shown, 2, is already gone
        QCOMPARE(f.prompts.messages.size(), 1);
        QVERIFY(f.prompts.messages[0].text.contains(QStringLiteral("n'est plus dans le fichier")));
        QCOMPARE(f.shownSerial() + f.w->txtVille->text(), QStringLiteral("3Clermont-Ferrand"));
        QCOMPARE(f.stored().size(), 2);
    }

    // The proposal follows the window's own changes and stores, and what
    // another program adds to the file.
    void serialFollowsEveryChange()
    {
        MainWindowFixture f(4);
        auto proposal = [&] {
            f.w->cmdNouveau->click();
            const QString s = f.w->txtNrSequanel->text();
            f.w->cmdSupprimer->click(); // cancel
            return s;
        };
        QCOMPARE(proposal(), QStringLiteral("5"));
        f.w->cmdModifier->click(); // lower the largest number by a change
        f.w->txtNrSequanel->setText(QStringLiteral("2"));
        f.w->cmdModifier->click();
        QCOMPARE(proposal(), QStringLiteral("4"));
        f.w->cmdNouveau->click();
        f.fill();
        f.w->cmdNouveau->click();
        QCOMPARE(proposal(), QStringLiteral("5"));
        QVERIFY(testsupport::rawExec(f.file, QStringLiteral("INSERT INTO Transmission (Sequanel) VALUES ('90')")));
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
        MainWindowFixture f(2);
        (adding ? f.w->cmdNouveau : f.w->cmdModifier)->click();
        f.fill();
        if (!valid)
            f.w->txtVille->setText(QString(30, QLatin1Char('x')));
        const QString entry = f.buttons() + f.w->txtVille->text();
        if (how == 2) { // a folder that does not exist
            f.prompts.queuedFiles << f.path(QStringLiteral("absent/new.adb"));
            f.w->mnuNouveau->trigger();
            QCOMPARE(f.prompts.messages.size(), 1);
            QCOMPARE(f.buttons() + f.w->txtVille->text(), entry);
            QCOMPARE(f.stored(), kThree.mid(0, 2));
            return;
        }
        if (how == 0)
            f.w->close();
        else
            f.openWith(QStringLiteral("other.adb"), 0);
        QVERIFY(f.prompts.messages.isEmpty());
        QStringList expected = kThree.mid(0, 2);
        if (valid && adding)
            expected << QStringLiteral("3 Clermont-Ferrand");
        else if (valid)
            expected[1] = QStringLiteral("2 Clermont-Ferrand");
        QCOMPARE(f.stored(), expected);
        QVERIFY(how == 0 || f.buttons() == QLatin1String("&Nouveau -&Modifier -&Supprimer"));
    }
};

QTEST_MAIN(TestEditing)
#include "test_editing.moc"
