// The main window as built, its record navigation, and opening log files.
#include "MainWindowFixture.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QToolBar>

using testsupport::Row;

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void startUpState();
    void lists();
    void tabOrder();
    void menusAndToolbar();
    void layout();
    void buttonsFollowRecordCount_data();
    void buttonsFollowRecordCount();
    void nextAndPreviousAtTheEnds();
    void titleShortensLongPaths_data();
    void titleShortensLongPaths();
    void newReplacesAnExistingFile();
    void cancelledDialogsChangeNothing();
    void badFilesLeaveThePreviousOneBound_data();
    void badFilesLeaveThePreviousOneBound();
};

void TestMainWindow::startUpState()
{
    MainWindowFixture f;
    frmMain &w = *f.w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Saisie des contacts"));
    QCOMPARE(w.txtNrSequanel->text(), QStringLiteral("   "));
    const QList<QWidget *> disabled{w.txtDateHeure, w.txtNrSequanel, w.txtRST,    w.cmbBande,     w.cmbMHz,
                                    w.cmbHz,        w.txtOpérateur,  w.txtPréfixeQRZ, w.cmbQRZ1,    w.cmbQRZ2,
                                    w.cmbQRZ3,      w.txtNrQRZ,      w.txtCodePostal, w.txtVille,   w.txtBP,
                                    w.txtPays,      w.cmdMaintenant, w.cmdPrécédent,  w.cmdNouveau, w.cmdModifier,
                                    w.cmdSupprimer, w.cmdSuivant};
    for (QWidget *c : disabled)
        QVERIFY2(!c->isEnabled(), qPrintable(c->objectName()));
    QVERIFY(!w.mnuImprimer->isEnabled());
    QVERIFY(!w.Toolbar1Buttons[3]->isEnabled());
    for (QAction *a : {w.mnuNouveau, w.mnuOuvrir, w.mnuQuitter, w.mnuOrientation, w.mnuHelp, w.mnuAPropos})
        QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
    for (QAction *a : w.mnuH)
        QVERIFY(a->isEnabled());
    for (int i : {0, 1, 5})
        QVERIFY(w.Toolbar1Buttons[i]->isEnabled());
    // Nothing printable: Ctrl+I and the toolbar button do nothing.
    QTest::keyClick(&w, Qt::Key_I, Qt::ControlModifier);
    w.Toolbar1_ButtonClick(w.Toolbar1Buttons[3]);
    QVERIFY(f.prompts.messages.isEmpty());
}

void TestMainWindow::lists()
{
    MainWindowFixture f;
    auto items = [](QComboBox *c) {
        QStringList l;
        for (int i = 0; i < c->count(); ++i)
            l << c->itemText(i);
        return l;
    };
    QCOMPARE(items(f.w->cmbBande), (QStringList{"AM", "FM", "LSB", "USB"}));
    QCOMPARE(items(f.w->cmbMHz), (QStringList{"26", "27", "28"}));
    const QStringList hz = items(f.w->cmbHz);
    QCOMPARE(hz.size(), 100);
    QCOMPARE(hz.first(), QStringLiteral("005"));
    QCOMPARE(hz.at(1), QStringLiteral("015"));
    QCOMPARE(hz.last(), QStringLiteral("995"));

    const QStringList q1 = items(f.w->cmbQRZ1), q2 = items(f.w->cmbQRZ2), q3 = items(f.w->cmbQRZ3);
    QCOMPARE(q1.size(), 26);
    QCOMPARE(q2.size(), 26);
    QCOMPARE(q3.size(), 26);
    // The lists differ in exactly five places.
    QCOMPARE((QStringList{q1[2], q2[2], q3[2]}), (QStringList{"Charly", "Charlie", "Charly"}));
    QCOMPARE((QStringList{q1[7], q2[7], q3[7]}), (QStringList{"Hotel", "Hôtel", "Hôtel"}));
    QCOMPARE((QStringList{q1[9], q2[9], q3[9]}), (QStringList{"Juliette", "Juliette", "Juiliette"}));
    QCOMPARE((QStringList{q1[16], q2[16], q3[16]}), (QStringList{"Québec", "Québec", "Quebec"}));
    QCOMPARE((QStringList{q1[23], q2[23], q3[23]}), (QStringList{"X-Ray", "X-ray", "X-ray"}));
    int differing = 0;
    for (int i = 0; i < 26; ++i)
        differing += (q1[i] != q2[i] || q2[i] != q3[i]) ? 1 : 0;
    QCOMPARE(differing, 5);
    QCOMPARE(q1.first(), QStringLiteral("Alpha"));
    QCOMPARE(q3.last(), QStringLiteral("Zoulou"));
    // Every list accepts a value that is not in it.
    for (QComboBox *c : {f.w->cmbBande, f.w->cmbMHz, f.w->cmbHz, f.w->cmbQRZ1, f.w->cmbQRZ2, f.w->cmbQRZ3})
        QVERIFY(c->isEditable());
}

void TestMainWindow::tabOrder()
{
    MainWindowFixture f;
    frmMain &w = *f.w;
    f.openWith(QStringLiteral("tab.adb"), 3);
    w.ActiverSaisie(true);
    for (QPushButton *b : {w.cmdPrécédent, w.cmdNouveau, w.cmdModifier, w.cmdSupprimer, w.cmdSuivant})
        b->setEnabled(true);
    const QStringList expected{"txtDateHeure", "txtNrSequanel", "txtRST",        "cmbBande",     "cmbMHz",
                               "cmbHz",        "txtOpérateur",  "txtPréfixeQRZ", "cmbQRZ1",      "cmbQRZ2",
                               "cmbQRZ3",      "txtNrQRZ",      "txtCodePostal", "txtVille",     "txtBP",
                               "txtPays",      "cmdNouveau",    "cmdSupprimer",  "cmdModifier",  "cmdSuivant",
                               "cmdPrécédent", "cmdMaintenant"};
    w.txtDateHeure->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.txtDateHeure));
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *fw = QApplication::focusWidget();
        // The line edit inside a combo box stands for the combo box.
        if (fw && qobject_cast<QComboBox *>(fw->parentWidget()))
            fw = fw->parentWidget();
        visited << (fw ? fw->objectName() : QString());
    }
    QCOMPARE(visited, expected);
}

void TestMainWindow::menusAndToolbar()
{
    MainWindowFixture f;
    frmMain &w = *f.w;
    QCOMPARE(w.mnuFichier->title(), QStringLiteral("&Fichier "));
    QCOMPARE(w.mnuNouveau->text(), QStringLiteral("&Nouveau      "));
    QCOMPARE(w.mnuNouveau->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
    QCOMPARE(w.mnuOuvrir->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    QCOMPARE(w.mnuImprimer->shortcut(), QKeySequence(QStringLiteral("Ctrl+I")));
    QCOMPARE(w.mnuOrientation->text(), QStringLiteral("O&rientation"));
    QCOMPARE(w.mnuHeure->title(), QStringLiteral("Fu&seaux horaires"));
    QCOMPARE(w.mnuH.size(), 24);
    QCOMPARE(w.mnuH[0]->text(), QStringLiteral("Iles Midway, GMT - 11h"));
    QCOMPARE(w.mnuH[11]->text(), QStringLiteral("GMT (Greenwich mean time)"));
    QCOMPARE(w.mnuH[23]->text(), QStringLiteral("Iles Marshall, GMT + 12h"));
    QCOMPARE(w.mnuaide->title(), QStringLiteral("&?"));
    QCOMPARE(w.mnuAPropos->text(), QStringLiteral("A &Propos"));

    QCOMPARE(w.Toolbar1Buttons.size(), 7);
    const QStringList keys{"Nouveau", "Ouvrir", "", "Imprimer", "", "Orientation", ""};
    const QStringList tips{"Créer un nouveau fichier", "Ouvrir un fichier", "", "Imprimer la liste", "",
                           "Orientation", ""};
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(w.Toolbar1Buttons[i]->property("Key").toString(), keys[i]);
        QCOMPARE(w.Toolbar1Buttons[i]->isSeparator(), keys[i].isEmpty());
        if (!keys[i].isEmpty())
            QCOMPARE(w.Toolbar1Buttons[i]->toolTip(), tips[i]);
    }
}

void TestMainWindow::layout()
{
    MainWindowFixture f;
    frmMain &w = *f.w;
    // 15 twips to the pixel, measured below the menu bar.
    QCOMPARE(w.centralWidget()->size(), QSize(472, 436));
    QCOMPARE(w.txtDateHeure->geometry(), QRect(56, 72, 97, 22));
    QCOMPARE(w.cmbQRZ3->geometry(), QRect(280, 248, 105, 22));
    QCOMPARE(w.txtPays->geometry(), QRect(288, 320, 153, 21));
    QCOMPARE(w.cmdSuivant->geometry(), QRect(384, 368, 65, 25));
    QCOMPARE(w.Toolbar1->geometry(), QRect(0, 0, 472, 31));
    QCOMPARE(w.StatusBar1->geometry(), QRect(0, 413, 472, 23));
    QVERIFY(w.txtNrSequanel->alignment() & Qt::AlignHCenter);
    QVERIFY(!(w.txtVille->alignment() & Qt::AlignHCenter));
    QCOMPARE(w.cmdModifier->font().pointSizeF(), 9.75);
    QCOMPARE(w.cmdNouveau->font().pointSizeF(), 8.25);
}

void TestMainWindow::buttonsFollowRecordCount_data()
{
    QTest::addColumn<int>("contacts");
    QTest::addColumn<bool>("previous");
    QTest::addColumn<bool>("next");
    QTest::addColumn<bool>("modify");
    QTest::addColumn<QString>("shown");
    QTest::newRow("empty") << 0 << false << false << false << QString();
    QTest::newRow("one") << 1 << false << false << true << QStringLiteral("1");
    QTest::newRow("several") << 5 << true << true << true << QStringLiteral("5");
}

void TestMainWindow::buttonsFollowRecordCount()
{
    QFETCH(int, contacts);
    QFETCH(bool, previous);
    QFETCH(bool, next);
    QFETCH(bool, modify);
    QFETCH(QString, shown);
    MainWindowFixture f;
    frmMain &w = *f.w;
    f.openWith(QStringLiteral("log.adb"), contacts);
    QCOMPARE(w.cmdPrécédent->isEnabled(), previous);
    QCOMPARE(w.cmdSuivant->isEnabled(), next);
    QCOMPARE(w.cmdModifier->isEnabled(), modify);
    QCOMPARE(w.cmdSupprimer->isEnabled(), modify);
    QVERIFY(w.cmdNouveau->isEnabled());
    QVERIFY(w.mnuImprimer->isEnabled());
    QVERIFY(w.Toolbar1Buttons[3]->isEnabled());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.cmdNouveau));
    // The last contact is shown; the entry controls stay locked.
    if (!shown.isEmpty())
        QCOMPARE(f.shownSerial(), shown);
    QVERIFY(!w.txtRST->isEnabled());
}

void TestMainWindow::nextAndPreviousAtTheEnds()
{
    MainWindowFixture f;
    frmMain &w = *f.w;
    f.openWith(QStringLiteral("log.adb"), 3);
    QCOMPARE(f.shownSerial(), QStringLiteral("3"));
    // On the last contact "next" stays enabled until pressed once more.
    QVERIFY(w.cmdSuivant->isEnabled());
    w.cmdSuivant->click();
    QCOMPARE(f.shownSerial(), QStringLiteral("3"));
    QVERIFY(!w.cmdSuivant->isEnabled());
    w.cmdPrécédent->click();
    QCOMPARE(f.shownSerial(), QStringLiteral("2"));
    QVERIFY(w.cmdSuivant->isEnabled());
    w.cmdPrécédent->click();
    QCOMPARE(f.shownSerial(), QStringLiteral("1"));
    QVERIFY(w.cmdPrécédent->isEnabled());
    w.cmdPrécédent->click();
    QCOMPARE(f.shownSerial(), QStringLiteral("1"));
    QVERIFY(!w.cmdPrécédent->isEnabled());
    w.cmdSuivant->click();
    QCOMPARE(f.shownSerial(), QStringLiteral("2"));
    QVERIFY(w.cmdPrécédent->isEnabled());
}

void TestMainWindow::titleShortensLongPaths_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("29") << 29;
    QTest::newRow("30") << 30;
    QTest::newRow("31") << 31;
    QTest::newRow("41") << 41;
    QTest::newRow("80") << 80;
}

void TestMainWindow::titleShortensLongPaths()
{
    QFETCH(int, length);
    QTemporaryDir base(QStringLiteral("/tmp/tXXXXXX")); // 12 characters
    QVERIFY(base.isValid());
    QString p = base.path() + QLatin1Char('/');
    p += QString(length - p.size() - 4, QLatin1Char('n')) + QStringLiteral(".adb");
    QCOMPARE(p.size(), length);
    testsupport::makeLogFile(p);
    MainWindowFixture f;
    f.prompts.queuedFiles << p;
    f.w->mnuOuvrir_Click();
    const QString shown = length <= 30 ? p : p.left(3) + QStringLiteral("...") + p.right(24);
    QCOMPARE(f.w->windowTitle(), QStringLiteral("Sequanel (Saisie des contacts) [") + shown + QLatin1Char(']'));
    QCOMPARE(f.w->Data1->databaseName(), p);
}

void TestMainWindow::newReplacesAnExistingFile()
{
    MainWindowFixture f;
    const QString p = f.openWith(QStringLiteral("old.adb"), 4);
    f.prompts.queuedFiles << p;
    f.w->mnuNouveau_Click();
    QCOMPARE(f.prompts.fileRequests.last().title, QStringLiteral("Création d'un fichier "));
    QCOMPARE(f.prompts.fileRequests.last().filter, QStringLiteral("Base de données  (*.adb)|*.adb"));
    QVERIFY(f.prompts.fileRequests.last().confirmOverwrite);
    QVERIFY(f.prompts.fileRequests.last().defaultSuffix.isEmpty());
    QVERIFY(f.prompts.messages.isEmpty());
    QVERIFY(testsupport::readRows(p).isEmpty());
    QVERIFY(!f.w->cmdModifier->isEnabled());
    QVERIFY(f.w->cmdNouveau->isEnabled());

    // A name without extension is used as it is.
    const QString bare = f.path(QStringLiteral("sans-extension"));
    f.prompts.queuedFiles << bare;
    f.w->mnuNouveau_Click();
    QVERIFY(QFile::exists(bare));
    QVERIFY(!QFile::exists(bare + QStringLiteral(".adb")));
    QCOMPARE(f.w->Data1->databaseName(), bare);
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2); // no leftovers
}

void TestMainWindow::cancelledDialogsChangeNothing()
{
    MainWindowFixture f;
    f.w->mnuOuvrir_Click(); // cancelled with nothing open
    f.w->mnuNouveau_Click();
    QCOMPARE(f.w->windowTitle(), QStringLiteral("Saisie des contacts"));
    QVERIFY(!f.w->cmdNouveau->isEnabled());

    const QString p = f.openWith(QStringLiteral("kept.adb"), 2);
    const QString title = f.w->windowTitle();
    f.w->cmdPrécédent->click();
    f.w->mnuNouveau_Click();
    f.w->mnuOuvrir_Click();
    QCOMPARE(f.w->windowTitle(), title);
    QCOMPARE(f.shownSerial(), QStringLiteral("1"));
    QCOMPARE(testsupport::readRows(p).size(), 2);
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestMainWindow::badFilesLeaveThePreviousOneBound_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing") << "missing" << "n'existe pas";
    QTest::newRow("folder") << "folder" << "dossier";
    QTest::newRow("text") << "text" << "pas un fichier de contacts";
    QTest::newRow("empty") << "empty" << "pas un fichier de contacts";
    QTest::newRow("other table") << "othertable" << "Transmission";
    QTest::newRow("missing column") << "nocolumn" << "la colonne « Sequanel » manque";
}

void TestMainWindow::badFilesLeaveThePreviousOneBound()
{
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    MainWindowFixture f;
    const QString good = f.openWith(QStringLiteral("good.adb"), 3);
    f.w->cmdPrécédent->click();
    const QString title = f.w->windowTitle();

    const QString bad = f.path(QStringLiteral("bad.adb"));
    if (kind == QLatin1String("folder")) {
        QDir().mkpath(bad);
    } else if (kind != QLatin1String("missing")) {
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("text"))
            file.write("Ceci n'est pas une base de données.\n");
        file.close();
        if (kind == QLatin1String("othertable") || kind == QLatin1String("nocolumn")) {
            QFile::remove(bad);
            platform::TableDef t{kind == QLatin1String("othertable") ? QStringLiteral("Autre")
                                                                     : QStringLiteral("Transmission"),
                                 {platform::ColumnDef{QStringLiteral("Date"), platform::ColumnType::DateTime, 0}}};
            platform::EngineError e;
            QVERIFY(platform::Connection::create(bad, t, &e));
        }
    }
    const QByteArray before = QFile::exists(bad) && !QFileInfo(bad).isDir() ? [&] {
        QFile r(bad);
        r.open(QIODevice::ReadOnly);
        return r.readAll();
    }() : QByteArray();

    f.prompts.queuedFiles << bad;
    f.w->mnuOuvrir_Click();
    QCOMPARE(f.prompts.messages.size(), 1);
    QCOMPARE(f.prompts.messages[0].icon, platform::MessageIcon::Critical);
    QVERIFY2(f.prompts.messages[0].text.contains(expected), qPrintable(f.prompts.messages[0].text));
    QVERIFY(f.prompts.messages[0].text.contains(QStringLiteral("bad.adb")));
    QCOMPARE(f.w->windowTitle(), title);
    QCOMPARE(f.w->Data1->databaseName(), good);
    QCOMPARE(f.shownSerial(), QStringLiteral("2"));
    QVERIFY(f.w->cmdSuivant->isEnabled());
    // The refused file is left exactly as it was.
    if (!before.isNull()) {
        QFile r(bad);
        QVERIFY(r.open(QIODevice::ReadOnly));
        QCOMPARE(r.readAll(), before);
    }
    if (kind == QLatin1String("missing"))
        QVERIFY(!QFile::exists(bad));
    // The bound file still works.
    f.w->cmdSuivant->click();
    QCOMPARE(f.shownSerial(), QStringLiteral("3"));
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
