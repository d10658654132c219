// The editing workflow: checks, adding, changing, cancelling, deleting, the
// serial numbers, and what happens to an entry the file refuses.
#include "MainWindowFixture.h"

#include "Regional.h"

#include <QCloseEvent>
#include <QSignalSpy>

using testsupport::Row;

namespace {
const QDateTime kNow(QDate(2024, 7, 14), QTime(14, 5, 9));

void fill(frmMain &w)
{
    w.txtRST->setText(QStringLiteral("59"));
    w.cmbBande->setEditText(QStringLiteral("USB"));
    w.cmbMHz->setEditText(QStringLiteral("27"));
    w.cmbHz->setEditText(QStringLiteral("005"));
    w.txtOpérateur->setText(QStringLiteral("Hélène"));
    w.txtPréfixeQRZ->setText(QStringLiteral("14"));
    w.cmbQRZ1->setEditText(QStringLiteral("Québec"));
    w.cmbQRZ2->setEditText(QStringLiteral("Hôtel"));
    w.cmbQRZ3->setEditText(QStringLiteral("Juiliette"));
    w.txtNrQRZ->setText(QStringLiteral("123"));
    w.txtCodePostal->setText(QStringLiteral("63000"));
    w.txtVille->setText(QStringLiteral("Clermont-Ferrand"));
    w.txtBP->setText(QStringLiteral("BP 12"));
    w.txtPays->setText(QStringLiteral("France"));
}

Row serialRow(const QVariant &serial)
{
    Row r = testsupport::sampleRow(1);
    r[1] = serial;
    return r;
}
} // namespace

class TestEditing : public QObject
{
    Q_OBJECT
private slots:
    void checks_data();
    void checks();
    void threeBadEntriesGiveOneMessage();
    void nowReadsBack_data();
    void nowReadsBack();
    void addStoreNext();
    void addToEmptyFileShowsTheNewContact();
    void keyboardOnly();
    void modifyKeepsTheContactAndEnterStartsAnother();
    void cancelledChangeShowsTheLastContact();
    void escapeOnlyCancelsWhileEditing();
    void deletingTheOnlyContact();
    void modifyOnEmptyFileBeeps();
    void proposedSerial_data();
    void proposedSerial();
    void serialFollowsOwnStores();
    void refusedStoreKeepsTheEntry_data();
    void refusedStoreKeepsTheEntry();
    void pendingEntryOnClose_data();
    void pendingEntryOnClose();
    void serialBoxSelectsAll();
};

void TestEditing::checks_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("accepted");
    const QStringList optional{"txtRST", "cmbBande", "txtOpérateur", "cmbQRZ1", "cmbQRZ2", "cmbQRZ3",
                               "txtCodePostal", "txtVille", "txtBP", "txtPays"};
    for (const QString &f : optional)
        QTest::newRow(qPrintable("empty " + f)) << "fr_FR" << f << "" << true;
    for (const QString &f : {"txtNrSequanel", "txtPréfixeQRZ", "txtNrQRZ", "cmbMHz", "cmbHz", "txtDateHeure"}) {
        QTest::newRow(qPrintable("empty " + QString(f))) << "fr_FR" << QString(f) << "" << false;
        QTest::newRow(qPrintable("blanks " + QString(f))) << "fr_FR" << QString(f) << "   " << false;
    }
    QTest::newRow("prefix 14") << "fr_FR" << "txtPréfixeQRZ" << "14" << true;
    QTest::newRow("prefix letters") << "fr_FR" << "txtPréfixeQRZ" << "ab" << false;
    QTest::newRow("hz letters") << "fr_FR" << "cmbHz" << "abc" << false;
    QTest::newRow("hz from list") << "fr_FR" << "cmbHz" << "995" << true;
    QTest::newRow("fr decimal comma") << "fr_FR" << "cmbMHz" << "27,5" << true;
    QTest::newRow("fr decimal point") << "fr_FR" << "cmbMHz" << "27.5" << false;
    QTest::newRow("en decimal point") << "en_US" << "cmbMHz" << "27.5" << true;
    QTest::newRow("signed") << "fr_FR" << "txtNrQRZ" << " -12 " << true;
    QTest::newRow("31 February") << "fr_FR" << "txtDateHeure" << "31/02/2024 10:00:00" << false;
    QTest::newRow("fr date time") << "fr_FR" << "txtDateHeure" << "14/07/2024 14:05:09" << true;
    QTest::newRow("fr date alone") << "fr_FR" << "txtDateHeure" << "14/07/2024" << true;
    QTest::newRow("fr time alone") << "fr_FR" << "txtDateHeure" << "14:05" << true;
    QTest::newRow("fr two-digit year") << "fr_FR" << "txtDateHeure" << "14/07/24 14:05:09" << true;
    QTest::newRow("en date time") << "en_US" << "txtDateHeure" << "7/14/2024 2:05:09 PM" << true;
    QTest::newRow("en day first") << "en_US" << "txtDateHeure" << "14/07/2024 14:05:09" << false;
    QTest::newRow("text date") << "fr_FR" << "txtDateHeure" << "hier" << false;
}

void TestEditing::checks()
{
    QFETCH(QString, locale);
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(bool, accepted);
    testsupport::LocaleScope scope{QLocale(locale)};
    testsupport::ClockScope clock(kNow);
    MainWindowFixture f;
    f.openWith(QStringLiteral("c.adb"), 0);
    f.w->cmdNouveau->click();
    fill(*f.w);
    QWidget *w = f.w->findChild<QWidget *>(field);
    QVERIFY(w);
    if (auto *e = qobject_cast<QLineEdit *>(w))
        e->setText(value);
    else
        qobject_cast<QComboBox *>(w)->setEditText(value);
    QCOMPARE(f.w->VerifierSaisie(), accepted);
    QCOMPARE(f.prompts.messages.size(), accepted ? 0 : 1);
    if (!accepted) {
        QCOMPARE(f.prompts.messages[0].text, QStringLiteral("L'une des entrées n'est pas comforme, vérifiez !"));
        QCOMPARE(f.prompts.messages[0].icon, platform::MessageIcon::Critical);
        QCOMPARE(f.prompts.messages[0].buttons, platform::MessageButtons::Ok);
    }
}

void TestEditing::threeBadEntriesGiveOneMessage()
{
    testsupport::ClockScope clock(kNow);
    MainWindowFixture f;
    const QString p = f.openWith(QStringLiteral("c.adb"), 0);
    f.w->cmdNouveau->click();
    fill(*f.w);
    f.w->txtNrQRZ->setText(QStringLiteral("x"));
    f.w->cmbHz->setEditText(QString());
    f.w->txtDateHeure->setText(QStringLiteral("31/02/2024"));
    f.w->cmdNouveau->click();
    QCOMPARE(f.prompts.messages.size(), 1);
    // Still adding, with everything as typed, and nothing written.
    QCOMPARE(f.w->cmdNouveau->text(), QStringLiteral("&Valider"));
    QCOMPARE(f.w->txtNrQRZ->text(), QStringLiteral("x"));
    QCOMPARE(f.w->txtVille->text(), QStringLiteral("Clermont-Ferrand"));
    QVERIFY(testsupport::readRows(p).isEmpty());
}

void TestEditing::nowReadsBack_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("expected");
    QTest::newRow("fr") << "fr_FR" << kNow << "14/07/2024 14:05:09";
    QTest::newRow("fr midnight") << "fr_FR" << QDateTime(QDate(2024, 12, 31), QTime(0, 0)) << "31/12/2024";
    QTest::newRow("fr one second past") << "fr_FR" << QDateTime(QDate(2024, 1, 1), QTime(0, 0, 1))
                                        << "01/01/2024 00:00:01";
    QTest::newRow("en") << "en_US" << kNow << "7/14/2024 2:05:09 PM";
    QTest::newRow("en morning") << "en_US" << QDateTime(QDate(2024, 3, 5), QTime(9, 1, 2)) << "3/5/2024 9:01:02 AM";
}

void TestEditing::nowReadsBack()
{
    QFETCH(QString, locale);
    QFETCH(QDateTime, now);
    QFETCH(QString, expected);
    testsupport::LocaleScope scope{QLocale(locale)};
    testsupport::ClockScope clock(now);
    MainWindowFixture f;
    const QString p = f.openWith(QStringLiteral("n.adb"), 0);
    f.w->cmdNouveau->click();
    fill(*f.w);
    f.w->txtDateHeure->clear();
    f.w->cmdMaintenant->click();
    QCOMPARE(f.w->txtDateHeure->text(), expected);
    QVERIFY(f.w->VerifierSaisie());
    f.w->cmdNouveau->click();
    const auto rows = testsupport::readRows(p);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0].toString(), now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    // And shown again exactly as written.
    QCOMPARE(f.w->txtDateHeure->text(), expected);
}

void TestEditing::addStoreNext()
{
    testsupport::ClockScope clock(kNow);
    MainWindowFixture f;
    const QString p = f.openWith(QStringLiteral("a.adb"), 3);
    f.w->cmdNouveau->click();
    QCOMPARE(f.w->cmdNouveau->text(), QStringLiteral("&Valider"));
    QCOMPARE(f.w->cmdSupprimer->text(), QStringLiteral("&Annuler"));
    QCOMPARE(f.w->defaultButton(), f.w->cmdNouveau);
    QCOMPARE(f.w->cancelButton(), f.w->cmdSupprimer);
    QVERIFY(!f.w->cmdModifier->isEnabled() && !f.w->cmdPrécédent->isEnabled() && !f.w->cmdSuivant->isEnabled());
    QCOMPARE(f.w->txtNrSequanel->text(), QStringLiteral("4"));
    QCOMPARE(f.w->txtDateHeure->text(), platform::formatDateTime(kNow));
    QVERIFY(f.w->txtRST->text().isEmpty());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.w->txtRST));
    fill(*f.w);
    f.w->cmdNouveau->click();

    QCOMPARE(f.w->cmdNouveau->text(), QStringLiteral("&Nouveau"));
    QCOMPARE(f.w->cmdModifier->text(), QStringLiteral("&Modifier"));
    QCOMPARE(f.w->cmdSupprimer->text(), QStringLiteral("&Supprimer"));
    QVERIFY(!f.w->txtRST->isEnabled());
    // The contact that was last before is shown; "next" reaches the new one.
    QCOMPARE(f.shownSerial(), QStringLiteral("3"));
    f.w->cmdSuivant->click();
    QCOMPARE(f.shownSerial(), QStringLiteral("4"));
    QCOMPARE(f.w->txtVille->text(), QStringLiteral("Clermont-Ferrand"));

    const auto rows = testsupport::readRows(p);
    QCOMPARE(rows.size(), 4);
    const Row expected{QStringLiteral("2024-07-14 14:05:09"), QStringLiteral("4"), QStringLiteral("59"), 27, 5,
                       QStringLiteral("USB"), 14, QStringLiteral("Québec"), QStringLiteral("Hôtel"),
                       QStringLiteral("Juiliette"), 123, QStringLiteral("BP 12"), QStringLiteral("Clermont-Ferrand"),
                       QStringLiteral("63000"), QStringLiteral("France"), QStringLiteral("Hélène")};
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(rows[3][i].toString(), expected[i].toString());
}

void TestEditing::addToEmptyFileShowsTheNewContact()
{
    testsupport::ClockScope clock(kNow);
    MainWindowFixture f;
    f.openWith(QStringLiteral("e.adb"), 0);
    f.w->cmdNouveau->click();
    QCOMPARE(f.w->txtNrSequanel->text(), QStringLiteral("1"));
    fill(*f.w);
    f.w->cmdNouveau->click();
    QCOMPARE(f.shownSerial(), QStringLiteral("1"));
    QVERIFY(f.w->cmdModifier->isEnabled() && f.w->cmdSupprimer->isEnabled());
    QVERIFY(!f.w->cmdPrécédent->isEnabled() && !f.w->cmdSuivant->isEnabled());
}

void TestEditing::keyboardOnly()
{
    testsupport::ClockScope clock(kNow);
    MainWindowFixture f;
    const QString p = f.path(QStringLiteral("clavier.adb"));
    f.prompts.queuedFiles << p;
    QTest::keyClick(f.w.get(), Qt::Key_N, Qt::ControlModifier);
    QTRY_COMPARE(f.w->Data1->databaseName(), p);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // Enter on "Nouveau"
    QCOMPARE(f.w->cmdNouveau->text(), QStringLiteral("&Valider"));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("57"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("AM"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("27"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("405"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Luc"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("14"));
    // Enter from inside a drop-down box stores the contact.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Delta"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("7"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(f.w->cmdNouveau->text(), QStringLiteral("&Nouveau"));
    QVERIFY(f.prompts.messages.isEmpty());
    const auto rows = testsupport::readRows(p);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][1].toString(), QStringLiteral("1"));
    QCOMPARE(rows[0][2].toString(), QStringLiteral("57"));
    QCOMPARE(rows[0][4].toInt(), 405);
    QCOMPARE(rows[0][7].toString(), QStringLiteral("Delta"));
    QCOMPARE(rows[0][10].toInt(), 7);
    QCOMPARE(rows[0][15].toString(), QStringLiteral("Luc"));
}

void TestEditing::modifyKeepsTheContactAndEnterStartsAnother()
{
    MainWindowFixture f;
    const QString p = f.openWith(QStringLiteral("m.adb"), 4);
    f.w->cmdPrécédent->click();
    f.w->cmdPrécédent->click();
    QCOMPARE(f.shownSerial(), QStringLiteral("2"));
    f.w->cmdModifier->click();
    QCOMPARE(f.w->cmdModifier->text(), QStringLiteral("&Valider"));
    QVERIFY(!f.w->cmdNouveau->isEnabled());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.w->txtRST));
    f.w->txtVille->setText(QStringLiteral("Brest"));
    QTest::keyClick(f.w->txtVille, Qt::Key_Return);
    QCOMPARE(f.w->cmdModifier->text(), QStringLiteral("&Modifier"));
    QVERIFY(f.w->cmdNouveau->isEnabled());
    QCOMPARE(f.shownSerial(), QStringLiteral("2"));
    QCOMPARE(testsupport::readRows(p)[1][12].toString(), QStringLiteral("Brest"));
    // The default role stayed on "Modifier": Enter starts another change.
    QCOMPARE(f.w->defaultButton(), f.w->cmdModifier);
    QTest::keyClick(f.w.get(), Qt::Key_Return);
    QCOMPARE(f.w->cmdModifier->text(), QStringLiteral("&Valider"));
    QCOMPARE(f.shownSerial(), QStringLiteral("2"));
}

void TestEditing::cancelledChangeShowsTheLastContact()
{
    MainWindowFixture f;
    const QString p = f.openWith(QStringLiteral("c.adb"), 5);
    f.w->cmdPrécédent->click();
    f.w->cmdPrécédent->click();
    f.w->cmdModifier->click();
    f.w->txtVille->setText(QStringLiteral("Nulle part"));
    QTest::keyClick(f.w->cmbQRZ2, Qt::Key_Escape);
    QCOMPARE(f.w->cmdSupprimer->text(), QStringLiteral("&Supprimer"));
    QCOMPARE(f.shownSerial(), QStringLiteral("5"));
    QCOMPARE(f.w->txtVille->text(), QStringLiteral("Lyon"));
    for (const Row &r : testsupport::readRows(p))
        QCOMPARE(r[12].toString(), QStringLiteral("Lyon"));
}

void TestEditing::escapeOnlyCancelsWhileEditing()
{
    MainWindowFixture f;
    const QString p = f.openWith(QStringLiteral("esc.adb"), 2);
    QTest::keyClick(f.w.get(), Qt::Key_Escape);
    QCOMPARE(testsupport::readRows(p).size(), 2);
    f.w->cmdNouveau->click();
    f.w->txtRST->setText(QStringLiteral("33"));
    QTest::keyClick(f.w->txtRST, Qt::Key_Escape);
    QCOMPARE(f.w->cmdNouveau->text(), QStringLiteral("&Nouveau"));
    QCOMPARE(testsupport::readRows(p).size(), 2);
    QVERIFY(f.w->cancelButton() == nullptr);
    // After a cancelled addition Enter starts another one.
    QTest::keyClick(f.w.get(), Qt::Key_Return);
    QCOMPARE(f.w->cmdNouveau->text(), QStringLiteral("&Valider"));
}

void TestEditing::deletingTheOnlyContact()
{
    MainWindowFixture f;
    const QString p = f.openWith(QStringLiteral("d.adb"), 1);
    f.w->cmdSupprimer->click();
    QVERIFY(f.prompts.messages.isEmpty()); // no question is asked
    QVERIFY(testsupport::readRows(p).isEmpty());
    QVERIFY(f.w->cmdNouveau->isEnabled());
    for (QPushButton *b : {f.w->cmdPrécédent, f.w->cmdSuivant, f.w->cmdModifier, f.w->cmdSupprimer})
        QVERIFY(!b->isEnabled());

    // Deleting in the middle removes exactly that contact and shows the last.
    const QString q = f.openWith(QStringLiteral("d2.adb"), 4);
    f.w->cmdPrécédent->click();
    f.w->cmdPrécédent->click();
    f.w->cmdSupprimer->click();
    QCOMPARE(f.shownSerial(), QStringLiteral("4"));
    QStringList left;
    for (const Row &r : testsupport::readRows(q))
        left << r[1].toString();
    QCOMPARE(left, (QStringList{"1", "3", "4"}));
}

void TestEditing::modifyOnEmptyFileBeeps()
{
    MainWindowFixture f;
    f.openWith(QStringLiteral("b.adb"), 0);
    f.w->cmdModifier->setEnabled(true); // reached however it may be
    f.w->cmdModifier_Click();
    QCOMPARE(f.prompts.beeps, 1);
    QCOMPARE(f.w->cmdModifier->text(), QStringLiteral("&Modifier"));
    QVERIFY(!f.w->txtRST->isEnabled());
}

void TestEditing::proposedSerial_data()
{
    QTest::addColumn<QVariantList>("serials");
    QTest::addColumn<QString>("proposed");
    QVariantList oneToTen;
    for (int i = 1; i <= 10; ++i)
        oneToTen << QString::number(i);
    QTest::newRow("1 to 10") << oneToTen << "11";
    QTest::newRow("all empty") << QVariantList{QVariant(), QString(), QVariant()} << "1";
    QTest::newRow("numeric order") << QVariantList{"10", "9"} << "11";
    QTest::newRow("not numbers skipped") << QVariantList{"abc", "7", "  ", "x12"} << "8";
    QTest::newRow("blanks and sign") << QVariantList{" 41 ", "+3", "-50"} << "42";
    QTest::newRow("decimal rounds half to even") << QVariantList{"12,5"} << "13";
    QTest::newRow("past 16 bits") << QVariantList{"32767"} << "32768";
    QTest::newRow("well past 16 bits") << QVariantList{"40000", "5"} << "40001";
}

void TestEditing::proposedSerial()
{
    QFETCH(QVariantList, serials);
    QFETCH(QString, proposed);
    testsupport::LocaleScope scope{QLocale(QLocale::French, QLocale::France)};
    MainWindowFixture f;
    QVector<Row> rows;
    for (const QVariant &s : serials)
        rows << serialRow(s);
    f.open(QStringLiteral("s.adb"), rows);
    f.w->cmdNouveau->click();
    QCOMPARE(f.w->txtNrSequanel->text(), proposed);
}

void TestEditing::serialFollowsOwnStores()
{
    MainWindowFixture f;
    const QString p = f.openWith(QStringLiteral("f.adb"), 3);
    for (const QString &expected : {"4", "5"}) {
        f.w->cmdNouveau->click();
        QCOMPARE(f.w->txtNrSequanel->text(), expected);
        fill(*f.w);
        f.w->cmdNouveau->click();
    }
    // Lowering the largest number by a change is seen by the next addition.
    f.w->cmdSuivant->click();
    QCOMPARE(f.shownSerial(), QStringLiteral("5"));
    f.w->cmdModifier->click();
    f.w->txtNrSequanel->setText(QStringLiteral("2"));
    f.w->cmdModifier->click();
    f.w->cmdNouveau->click();
    QCOMPARE(f.w->txtNrSequanel->text(), QStringLiteral("5"));
    f.w->cmdSupprimer->click(); // cancel
    // Another program adding a contact is seen too.
    {
        QVector<Row> more{serialRow(QStringLiteral("90"))};
        platform::EngineError e;
        auto c = platform::Connection::open(p, platform::OpenMode::ReadWrite, &e);
        QStringList marks;
        for (int i = 1; i <= 16; ++i)
            marks << QStringLiteral("?%1").arg(i);
        QVERIFY(c->exec(QStringLiteral("INSERT INTO Transmission VALUES (%1)").arg(marks.join(',')), more[0]));
    }
    f.w->cmdNouveau->click();
    QCOMPARE(f.w->txtNrSequanel->text(), QStringLiteral("91"));
}

void TestEditing::refusedStoreKeepsTheEntry_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("named");
    QTest::newRow("town too long") << "txtVille" << QString(21, QLatin1Char('v')) << "Ville";
    QTest::newRow("serial too long") << "txtNrSequanel" << "1234567" << "N° de Sequ";
    QTest::newRow("prefix out of range") << "txtPréfixeQRZ" << "32768" << "Préfixe";
    QTest::newRow("number with fraction") << "cmbHz" << "5,5" << "Hertz";
    QTest::newRow("outside Windows-1252") << "txtOpérateur" << "Ωmega" << "Prénom Opérateur";
}

void TestEditing::refusedStoreKeepsTheEntry()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, named);
    testsupport::LocaleScope scope{QLocale(QLocale::French, QLocale::France)};
    for (bool adding : {true, false}) {
        MainWindowFixture f;
        const QString p = f.openWith(QStringLiteral("r.adb"), 2);
        const auto before = testsupport::readRows(p);
        QPushButton *store = adding ? f.w->cmdNouveau : f.w->cmdModifier;
        store->click();
        fill(*f.w);
        QWidget *w = f.w->findChild<QWidget *>(field);
        if (auto *e = qobject_cast<QLineEdit *>(w))
            e->setText(value);
        else
            qobject_cast<QComboBox *>(w)->setEditText(value);
        store->click();
        QCOMPARE(f.prompts.messages.size(), 1);
        QVERIFY2(f.prompts.messages[0].text.contains(named), qPrintable(f.prompts.messages[0].text));
        QCOMPARE(store->text(), QStringLiteral("&Valider"));
        QCOMPARE(f.w->cmdSupprimer->text(), QStringLiteral("&Annuler"));
        QVERIFY(f.w->txtRST->isEnabled());
        QCOMPARE(f.w->txtVille->text(), field == QLatin1String("txtVille") ? value : QStringLiteral("Clermont-Ferrand"));
        QCOMPARE(QApplication::focusWidget(), w->focusProxy() ? w->focusProxy() : w);
        QCOMPARE(testsupport::readRows(p), before);
        if (!adding)
            QVERIFY(!f.w->cmdNouveau->isEnabled());
        // Corrected, it stores.
        if (auto *e = qobject_cast<QLineEdit *>(w))
            e->setText(QStringLiteral("12"));
        else
            qobject_cast<QComboBox *>(w)->setEditText(QStringLiteral("12"));
        store->click();
        QCOMPARE(store->text(), adding ? QStringLiteral("&Nouveau") : QStringLiteral("&Modifier"));
        QCOMPARE(testsupport::readRows(p).size(), adding ? 3 : 2);
    }
}

void TestEditing::pendingEntryOnClose_data()
{
    QTest::addColumn<bool>("adding");
    QTest::addColumn<bool>("valid");
    QTest::newRow("valid addition kept") << true << true;
    QTest::newRow("invalid addition dropped") << true << false;
    QTest::newRow("valid change kept") << false << true;
    QTest::newRow("invalid change dropped") << false << false;
}

void TestEditing::pendingEntryOnClose()
{
    QFETCH(bool, adding);
    QFETCH(bool, valid);
    MainWindowFixture f;
    const QString p = f.openWith(QStringLiteral("p.adb"), 2);
    (adding ? f.w->cmdNouveau : f.w->cmdModifier)->click();
    fill(*f.w);
    if (!valid)
        f.w->txtVille->setText(QString(30, QLatin1Char('x')));
    f.w->close();
    QVERIFY(f.prompts.messages.isEmpty()); // nothing is asked
    const auto rows = testsupport::readRows(p);
    QCOMPARE(rows.size(), adding && valid ? 3 : 2);
    QCOMPARE(rows.last()[12].toString(), valid ? QStringLiteral("Clermont-Ferrand") : QStringLiteral("Lyon"));

    // Opening another file settles the entry the same way.
    MainWindowFixture g;
    const QString q = g.openWith(QStringLiteral("q.adb"), 1);
    g.w->cmdNouveau->click();
    fill(*g.w);
    g.openWith(QStringLiteral("other.adb"), 0);
    QCOMPARE(testsupport::readRows(q).size(), 2);
    QCOMPARE(g.w->cmdNouveau->text(), QStringLiteral("&Nouveau"));
    QVERIFY(!g.w->txtRST->isEnabled());
}

void TestEditing::serialBoxSelectsAll()
{
    MainWindowFixture f;
    f.openWith(QStringLiteral("g.adb"), 11);
    f.w->cmdNouveau->click();
    f.w->txtNrSequanel->setText(QStringLiteral("12"));
    // By Tab...
    f.w->txtDateHeure->setFocus();
    QTest::keyClick(f.w->txtDateHeure, Qt::Key_Tab);
    QCOMPARE(f.w->txtNrSequanel->selectedText(), QStringLiteral("12"));
    // ...and by a click: typing replaces the whole number.
    f.w->txtRST->setFocus();
    QTest::mouseClick(f.w->txtNrSequanel, Qt::LeftButton, {}, QPoint(5, 5));
    QTRY_COMPARE(f.w->txtNrSequanel->selectedText(), QStringLiteral("12"));
    QTest::keyClicks(f.w->txtNrSequanel, QStringLiteral("13"));
    QCOMPARE(f.w->txtNrSequanel->text(), QStringLiteral("13"));
}

QTEST_MAIN(TestEditing)
#include "test_editing.moc"
