// The editing workflow: checks, adding, changing, cancelling, deleting, the
// serial numbers, and what happens to an entry the file refuses.
#include "MainWindowFixture.h"

#include "Regional.h"

using testsupport::Row;

namespace {
const QDateTime kNow(QDate(2024, 7, 14), QTime(14, 5, 9));
const QString kValider = QStringLiteral("&Valider");

void put(frmMain &w, const QString &field, const QString &value)
{
    QWidget *c = w.findChild<QWidget *>(field);
    if (auto *e = qobject_cast<QLineEdit *>(c))
        e->setText(value);
    else
        qobject_cast<QComboBox *>(c)->setEditText(value);
}

// A valid contact, typed over whatever the window proposed.
void fill(frmMain &w)
{
    for (const auto &[field, value] :
         {std::pair{"txtRST", "59"}, {"cmbBande", "USB"}, {"cmbMHz", "27"}, {"cmbHz", "005"}, {"txtOpérateur", "Hélène"},
          {"txtPréfixeQRZ", "14"}, {"cmbQRZ1", "Québec"}, {"cmbQRZ2", "Hôtel"}, {"cmbQRZ3", "Juiliette"}, {"txtNrQRZ", "123"},
          {"txtCodePostal", "63000"}, {"txtVille", "Clermont-Ferrand"}, {"txtBP", "BP 12"}, {"txtPays", "France"}})
        put(w, QString::fromUtf8(field), QString::fromUtf8(value));
}

// What the fixture's log file holds, read with a connection of the test's own.
QVector<Row> stored(const MainWindowFixture &f) { return testsupport::readRows(f.file); }

QStringList texts(const Row &r)
{
    QStringList out;
    for (const QVariant &v : r)
        out << v.toString();
    return out;
}

QStringList serials(const MainWindowFixture &f)
{
    QStringList out;
    for (const Row &r : stored(f))
        out << r[1].toString();
    return out;
}
} // namespace

class TestEditing : public QObject
{
    Q_OBJECT
private slots:
    void checks_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("accepted");
        for (const char *f : {"txtRST", "cmbBande", "txtOpérateur", "cmbQRZ1", "cmbQRZ2", "cmbQRZ3", "txtCodePostal", "txtVille", "txtBP", "txtPays"})
            QTest::addRow("empty %s", f) << "fr_FR" << QString::fromUtf8(f) << "" << true;
        for (const char *f : {"txtNrSequanel", "txtPréfixeQRZ", "txtNrQRZ", "cmbMHz", "cmbHz", "txtDateHeure"}) {
            QTest::addRow("empty %s", f) << "fr_FR" << QString::fromUtf8(f) << "" << false;
            QTest::addRow("blanks %s", f) << "fr_FR" << QString::fromUtf8(f) << "   " << false;
        }
        QTest::newRow("prefix letters") << "fr_FR" << "txtPréfixeQRZ" << "ab" << false;
        QTest::newRow("hz letters") << "fr_FR" << "cmbHz" << "abc" << false;
        QTest::newRow("fr decimal comma") << "fr_FR" << "cmbMHz" << "27,5" << true;
        QTest::newRow("fr decimal point") << "fr_FR" << "cmbMHz" << "27.5" << false;
        QTest::newRow("en decimal point") << "en_US" << "cmbMHz" << "27.5" << true;
        QTest::newRow("signed") << "fr_FR" << "txtNrQRZ" << " -12 " << true;
        QTest::newRow("31 February") << "fr_FR" << "txtDateHeure" << "31/02/2024 10:00:00" << false;
        QTest::newRow("fr date alone") << "fr_FR" << "txtDateHeure" << "14/07/2024" << true;
        QTest::newRow("fr time alone") << "fr_FR" << "txtDateHeure" << "14:05" << true;
        QTest::newRow("fr two-digit year") << "fr_FR" << "txtDateHeure" << "14/07/24 14:05:09" << true;
        QTest::newRow("en date time") << "en_US" << "txtDateHeure" << "7/14/2024 2:05:09 PM" << true;
        QTest::newRow("en day first") << "en_US" << "txtDateHeure" << "14/07/2024 14:05:09" << false;
        QTest::newRow("text date") << "fr_FR" << "txtDateHeure" << "hier" << false;
    }
    void checks()
    {
        QFETCH(QString, locale);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(bool, accepted);
        testsupport::LocaleScope scope{QLocale(locale)};
        testsupport::ClockScope clock(kNow);
        MainWindowFixture f(0);
        f.w->cmdNouveau->click();
        fill(*f.w);
        put(*f.w, field, value);
        QCOMPARE(f.w->VerifierSaisie(), accepted);
        QCOMPARE(f.prompts.messages.size(), accepted ? 0 : 1);
        if (!accepted) {
            QCOMPARE(f.prompts.messages[0].text, QStringLiteral("L'une des entrées n'est pas comforme, vérifiez !"));
            QCOMPARE(f.prompts.messages[0].icon, platform::MessageIcon::Critical);
        }
    }

    // Three bad entries: one message; still adding, as typed, nothing written.
    void threeBadEntriesGiveOneMessage()
    {
        testsupport::ClockScope clock(kNow);
        MainWindowFixture f(0);
        f.w->cmdNouveau->click();
        fill(*f.w);
        f.w->txtNrQRZ->setText(QStringLiteral("x"));
        f.w->cmbHz->setEditText(QString());
        f.w->txtDateHeure->setText(QStringLiteral("31/02/2024"));
        f.w->cmdNouveau->click();
        QCOMPARE(f.prompts.messages.size(), 1);
        QCOMPARE(f.w->cmdNouveau->text(), kValider);
        QCOMPARE(f.w->txtNrQRZ->text() + f.w->txtVille->text(), QStringLiteral("xClermont-Ferrand"));
        QVERIFY(stored(f).isEmpty());
    }

    // "Maintenant" writes the clock in the user's notation, which the checks
    // accept and which is stored and shown again to the second.
    void nowReadsBack_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("expected");
        QTest::newRow("fr") << "fr_FR" << kNow << "14/07/2024 14:05:09";
        QTest::newRow("fr midnight") << "fr_FR" << QDateTime(QDate(2024, 12, 31), QTime(0, 0)) << "31/12/2024";
        QTest::newRow("en") << "en_US" << kNow << "7/14/2024 2:05:09 PM";
    }
    void nowReadsBack()
    {
        QFETCH(QString, locale);
        QFETCH(QDateTime, now);
        QFETCH(QString, expected);
        testsupport::LocaleScope scope{QLocale(locale)};
        testsupport::ClockScope clock(now);
        MainWindowFixture f(0);
        f.w->cmdNouveau->click();
        fill(*f.w);
        f.w->txtDateHeure->clear();
        f.w->cmdMaintenant->click();
        QCOMPARE(f.w->txtDateHeure->text(), expected);
        f.w->cmdNouveau->click();
        QVERIFY(f.prompts.messages.isEmpty());
        QCOMPARE(stored(f).value(0).value(0).toString(), now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        QCOMPARE(f.w->txtDateHeure->text(), expected);
    }

    // "Nouveau" proposes the next serial and the clock; "Valider" stores every
    // field; the contact that was last is shown and "next" reaches the new one.
    void addStoreNext()
    {
        testsupport::ClockScope clock(kNow);
        MainWindowFixture f(3);
        f.w->cmdNouveau->click();
        QCOMPARE(f.w->cmdNouveau->text() + f.w->cmdSupprimer->text(), QStringLiteral("&Valider&Annuler"));
        QVERIFY(!f.w->cmdModifier->isEnabled() && !f.w->cmdPrécédent->isEnabled() && !f.w->cmdSuivant->isEnabled());
        QCOMPARE(f.w->txtNrSequanel->text(), QStringLiteral("4"));
        QCOMPARE(f.w->txtDateHeure->text(), platform::formatDateTime(kNow));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.w->txtRST));
        fill(*f.w);
        f.w->cmdNouveau->click();
        QCOMPARE(f.w->cmdNouveau->text() + f.w->cmdModifier->text() + f.w->cmdSupprimer->text(),
                 QStringLiteral("&Nouveau&Modifier&Supprimer"));
        QVERIFY(!f.w->txtRST->isEnabled());
        QCOMPARE(f.shownSerial(), QStringLiteral("3"));
        f.w->cmdSuivant->click();
        QCOMPARE(f.shownSerial(), QStringLiteral("4"));
        QCOMPARE(texts(stored(f).value(3)), (QStringList{"2024-07-14 14:05:09", "4", "59", "27", "5", "USB", "14", "Québec", "Hôtel", "Juiliette",
                                      "123", "BP 12", "Clermont-Ferrand", "63000", "France", "Hélène"}));
    }

    // Ctrl+N, then Enter, typing and Tab only, and Enter to store. On a new
    // file the stored contact is shown with the right buttons.
    void keyboardOnly()
    {
        testsupport::ClockScope clock(kNow);
        MainWindowFixture f;
        f.prompts.queuedFiles << (f.file = f.path(QStringLiteral("clavier.adb")));
        QTest::keyClick(f.w.get(), Qt::Key_N, Qt::ControlModifier);
        QTRY_COMPARE(f.w->Data1->databaseName(), f.file);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // Enter on "Nouveau"
        QCOMPARE(f.w->txtNrSequanel->text(), QStringLiteral("1"));
        const QStringList typed{"57", "AM", "27", "405", "Luc", "14", "Delta", "", "", "7"};
        for (int i = 0; i < typed.size(); ++i) {
            if (i > 0)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClicks(QApplication::focusWidget(), typed[i]);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(f.prompts.messages.isEmpty());
        QCOMPARE(texts(stored(f).value(0)), (QStringList{"2024-07-14 14:05:09", "1", "57", "27", "405", "AM", "14", "Delta", "",
                                                         "", "7", "", "", "", "", "Luc"}));
        QCOMPARE(f.shownSerial(), QStringLiteral("1"));
        QVERIFY(f.w->cmdModifier->isEnabled() && f.w->cmdSupprimer->isEnabled());
        QVERIFY(!f.w->cmdPrécédent->isEnabled() && !f.w->cmdSuivant->isEnabled());
    }

    void modifyKeepsTheContactAndEnterStartsAnother()
    {
        MainWindowFixture f(4);
        f.w->cmdPrécédent->click();
        f.w->cmdPrécédent->click();
        f.w->cmdModifier->click();
        QCOMPARE(f.w->cmdModifier->text(), kValider);
        QVERIFY(!f.w->cmdNouveau->isEnabled());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.w->txtRST));
        f.w->txtVille->setText(QStringLiteral("Brest"));
        QTest::keyClick(f.w->txtVille, Qt::Key_Return);
        QCOMPARE(f.w->cmdModifier->text(), QStringLiteral("&Modifier"));
        QVERIFY(f.w->cmdNouveau->isEnabled());
        QCOMPARE(f.shownSerial(), QStringLiteral("2"));
        QCOMPARE(stored(f)[1][12].toString(), QStringLiteral("Brest"));
        QTest::keyClick(f.w.get(), Qt::Key_Return); // the default role stayed on "Modifier"
        QCOMPARE(f.w->cmdModifier->text(), kValider);
        QCOMPARE(f.shownSerial(), QStringLiteral("2"));
    }

    // Esc does nothing while not editing; while changing or adding it gives
    // up the entry and shows the last contact; Enter then starts another.
    void escapeCancelsOnlyWhileEditing()
    {
        MainWindowFixture f(5);
        QTest::keyClick(f.w.get(), Qt::Key_Escape);
        f.w->cmdPrécédent->click();
        f.w->cmdModifier->click();
        f.w->txtVille->setText(QStringLiteral("Nulle part"));
        QTest::keyClick(f.w->cmbQRZ2, Qt::Key_Escape);
        QCOMPARE(f.w->cmdSupprimer->text(), QStringLiteral("&Supprimer"));
        QCOMPARE(f.shownSerial() + f.w->txtVille->text(), QStringLiteral("5Lyon"));
        QCOMPARE(stored(f).size(), 5);
        QCOMPARE(stored(f)[3][12].toString(), QStringLiteral("Lyon"));
        f.w->cmdNouveau->click();
        f.w->txtRST->setText(QStringLiteral("33"));
        QTest::keyClick(f.w->txtRST, Qt::Key_Escape);
        QCOMPARE(f.w->cmdNouveau->text(), QStringLiteral("&Nouveau"));
        QVERIFY(!f.w->cancelButton());
        QCOMPARE(stored(f).size(), 5);
        QTest::keyClick(f.w.get(), Qt::Key_Return);
        QCOMPARE(f.w->cmdNouveau->text(), kValider);
    }

    // Deleting asks nothing and removes exactly the contact shown; the only
    // contact gone, only "Nouveau" remains.
    void deleting()
    {
        MainWindowFixture f(4);
        f.w->cmdPrécédent->click();
        f.w->cmdPrécédent->click();
        f.w->cmdSupprimer->click();
        QCOMPARE(f.shownSerial(), QStringLiteral("4"));
        QCOMPARE(serials(f), (QStringList{"1", "3", "4"}));
        f.file = f.openWith(QStringLiteral("d.adb"), 1);
        f.w->cmdSupprimer->click();
        QVERIFY(f.prompts.messages.isEmpty());
        QVERIFY(stored(f).isEmpty());
        QVERIFY(f.w->cmdNouveau->isEnabled());
        for (QPushButton *b : {f.w->cmdPrécédent, f.w->cmdSuivant, f.w->cmdModifier, f.w->cmdSupprimer})
            QVERIFY(!b->isEnabled());
        f.w->cmdModifier->setEnabled(true); // reached however it may be: a beep, nothing else
        f.w->cmdModifier_Click();
        QCOMPARE(f.prompts.beeps, 1);
        QCOMPARE(f.w->cmdModifier->text(), QStringLiteral("&Modifier"));
        QVERIFY(!f.w->txtRST->isEnabled());
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
        QTest::newRow("well past 16 bits") << QVariantList{"40000", "5"} << "40001";
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
    }

    // The proposal follows the window's own stores and changes, and what
    // another program adds to the file.
    void serialFollowsEveryChange()
    {
        MainWindowFixture f(3);
        auto proposal = [&] {
            f.w->cmdNouveau->click();
            const QString s = f.w->txtNrSequanel->text();
            f.w->cmdSupprimer->click(); // cancel
            return s;
        };
        QCOMPARE(proposal(), QStringLiteral("4"));
        QCOMPARE(f.shownSerial(), QStringLiteral("3"));
        f.w->cmdModifier->click(); // lower the largest number by a change
        f.w->txtNrSequanel->setText(QStringLiteral("2"));
        f.w->cmdModifier->click();
        QCOMPARE(serials(f), (QStringList{"1", "2", "2"}));
        QCOMPARE(proposal(), QStringLiteral("3"));
        f.w->cmdNouveau->click();
        fill(*f.w);
        f.w->cmdNouveau->click();
        QCOMPARE(proposal(), QStringLiteral("4"));
        auto other = platform::Connection::open(f.file, platform::OpenMode::ReadWrite, nullptr);
        QVERIFY(other->exec(QStringLiteral("INSERT INTO Transmission (Sequanel) VALUES ('90')")));
        QCOMPARE(proposal(), QStringLiteral("91"));
    }

    // A value the file refuses: its field named, nothing written, the entry
    // kept as typed with the focus on it; corrected, it stores.
    void refusedStoreKeepsTheEntry_data()
    {
        QTest::addColumn<bool>("adding");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("named");
        for (bool adding : {true, false}) {
            const char *mode = adding ? "adding" : "changing";
            QTest::addRow("%s, town too long", mode) << adding << "txtVille" << QString(21, QLatin1Char('v')) << "Ville";
            QTest::addRow("%s, serial too long", mode) << adding << "txtNrSequanel" << "1234567" << "N° de Sequ";
            QTest::addRow("%s, prefix out of range", mode) << adding << "txtPréfixeQRZ" << "32768" << "Préfixe";
            QTest::addRow("%s, number with fraction", mode) << adding << "cmbHz" << "5,5" << "Hertz";
            QTest::addRow("%s, outside Windows-1252", mode) << adding << "txtOpérateur" << "Ωmega" << "Prénom Opérateur";
        }
    }
    void refusedStoreKeepsTheEntry()
    {
        QFETCH(bool, adding);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, named);
        testsupport::LocaleScope scope{QLocale(QLocale::French, QLocale::France)};
        MainWindowFixture f(2);
        const auto before = stored(f);
        QPushButton *store = adding ? f.w->cmdNouveau : f.w->cmdModifier;
        store->click();
        fill(*f.w);
        put(*f.w, field, value);
        store->click();
        QCOMPARE(f.prompts.messages.size(), 1);
        QVERIFY2(f.prompts.messages[0].text.contains(named), qPrintable(f.prompts.messages[0].text));
        QCOMPARE(store->text() + f.w->cmdSupprimer->text(), kValider + QStringLiteral("&Annuler"));
        QVERIFY(f.w->txtRST->isEnabled());
        QCOMPARE(f.w->txtVille->text(), field == QLatin1String("txtVille") ? value : QStringLiteral("Clermont-Ferrand"));
        QWidget *w = f.w->findChild<QWidget *>(field);
        QCOMPARE(QApplication::focusWidget(), w->focusProxy() ? w->focusProxy() : w);
        QCOMPARE(stored(f), before);
        put(*f.w, field, QStringLiteral("12"));
        store->click();
        QCOMPARE(store->text(), adding ? QStringLiteral("&Nouveau") : QStringLiteral("&Modifier"));
        QCOMPARE(stored(f).size(), adding ? 3 : 2);
    }

    // Closing the window, or opening another file, stores a pending entry
    // that passes the file's rules and drops one that does not; nothing is asked.
    void pendingEntryOnClose_data()
    {
        QTest::addColumn<bool>("adding");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("close"); // else open another file
        for (bool close : {true, false})
            for (bool adding : {true, false})
                for (bool valid : {true, false})
                    QTest::addRow("%s %s, %s", valid ? "valid" : "invalid", adding ? "addition" : "change",
                                  close ? "close" : "open another") << adding << valid << close;
    }
    void pendingEntryOnClose()
    {
        QFETCH(bool, adding);
        QFETCH(bool, valid);
        QFETCH(bool, close);
        MainWindowFixture f(2);
        (adding ? f.w->cmdNouveau : f.w->cmdModifier)->click();
        fill(*f.w);
        if (!valid)
            f.w->txtVille->setText(QString(30, QLatin1Char('x')));
        if (close)
            f.w->close();
        else
            f.openWith(QStringLiteral("other.adb"), 0);
        QVERIFY(f.prompts.messages.isEmpty());
        const auto rows = stored(f);
        QCOMPARE(rows.size(), adding && valid ? 3 : 2);
        QCOMPARE(rows.last()[12].toString(), valid ? QStringLiteral("Clermont-Ferrand") : QStringLiteral("Lyon"));
        QVERIFY(close || (f.w->cmdNouveau->text() == QLatin1String("&Nouveau") && !f.w->txtRST->isEnabled()));
    }

    // Reached by Tab or by a click, the serial box selects its whole number.
    void serialBoxSelectsAll()
    {
        MainWindowFixture f(11);
        f.w->cmdNouveau->click();
        f.w->txtNrSequanel->setText(QStringLiteral("12"));
        f.w->txtDateHeure->setFocus();
        QTest::keyClick(f.w->txtDateHeure, Qt::Key_Tab);
        QCOMPARE(f.w->txtNrSequanel->selectedText(), QStringLiteral("12"));
        f.w->txtRST->setFocus();
        QTest::mouseClick(f.w->txtNrSequanel, Qt::LeftButton, {}, QPoint(5, 5));
        QTRY_COMPARE(f.w->txtNrSequanel->selectedText(), QStringLiteral("12"));
        QTest::keyClicks(f.w->txtNrSequanel, QStringLiteral("13"));
        QCOMPARE(f.w->txtNrSequanel->text(), QStringLiteral("13"));
    }
};

QTEST_MAIN(TestEditing)
#include "test_editing.moc"
