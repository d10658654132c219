// The main window as built, its record navigation, and opening log files.
#include "MainWindowFixture.h"

#include <QAction>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    // Nothing open: the entry controls and record buttons are locked, Print
    // too; the file, orientation, clock and help commands are available.
    void startUpState()
    {
        MainWindowFixture f;
        frmMain &w = *f.w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Saisie des contacts"));
        QCOMPARE(w.txtNrSequanel->text(), QStringLiteral("   "));
        for (QWidget *c : w.centralWidget()->findChildren<QWidget *>())
            if (qobject_cast<QLineEdit *>(c) || qobject_cast<QComboBox *>(c) || qobject_cast<QPushButton *>(c))
                QVERIFY2(!c->isEnabled(), qPrintable(c->objectName()));
        QVERIFY(!w.mnuImprimer->isEnabled() && !w.Toolbar1Buttons[3]->isEnabled());
        for (QAction *a : QList<QAction *>{w.mnuNouveau, w.mnuOuvrir, w.mnuQuitter, w.mnuOrientation, w.mnuHelp, w.mnuAPropos,
                                           w.Toolbar1Buttons[0], w.Toolbar1Buttons[1], w.Toolbar1Buttons[5]} + w.mnuH)
            QVERIFY2(a->isEnabled(), qPrintable(a->text()));
    }

    // The three spelling lists differ in exactly five places; every list
    // accepts a value that is not in it.
    void lists()
    {
        MainWindowFixture f;
        auto items = [](QComboBox *c) {
            QStringList l;
            if (!c->isEditable())
                l << QStringLiteral("(not editable)");
            for (int i = 0; i < c->count(); ++i)
                l << c->itemText(i);
            return l;
        };
        QCOMPARE(items(f.w->cmbBande), (QStringList{"AM", "FM", "LSB", "USB"}));
        QCOMPARE(items(f.w->cmbMHz), (QStringList{"26", "27", "28"}));
        const QStringList hz = items(f.w->cmbHz);
        QCOMPARE((QStringList{hz.value(0), hz.value(1), hz.value(99), QString::number(hz.size())}), (QStringList{"005", "015", "995", "100"}));
        const QStringList q1 = items(f.w->cmbQRZ1), q2 = items(f.w->cmbQRZ2), q3 = items(f.w->cmbQRZ3);
        QVERIFY(q1.size() == 26 && q2.size() == 26 && q3.size() == 26);
        QStringList differing;
        for (int i = 0; i < 26; ++i)
            if (q1[i] != q2[i] || q2[i] != q3[i])
                differing << q1[i] + '/' + q2[i] + '/' + q3[i];
        QCOMPARE(differing, (QStringList{"Charly/Charlie/Charly", "Hotel/Hôtel/Hôtel", "Juliette/Juliette/Juiliette",
                                         "Québec/Québec/Quebec", "X-Ray/X-ray/X-ray"}));
        QCOMPARE(q1.first() + '/' + q3.last(), QStringLiteral("Alpha/Zoulou"));
    }

    void tabOrder()
    {
        MainWindowFixture f;
        frmMain &w = *f.w;
        f.openWith(QStringLiteral("tab.adb"), 3);
        w.ActiverSaisie(true);
        for (QPushButton *b : {w.cmdPrécédent, w.cmdNouveau, w.cmdModifier, w.cmdSupprimer, w.cmdSuivant})
            b->setEnabled(true);
        w.txtDateHeure->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.txtDateHeure));
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int i = 1; i < 22; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *fw = QApplication::focusWidget();
            if (fw && qobject_cast<QComboBox *>(fw->parentWidget())) // a combo box's line edit stands for it
                fw = fw->parentWidget();
            visited << (fw ? fw->objectName() : QString());
        }
        QCOMPARE(visited, (QStringList{"txtDateHeure", "txtNrSequanel", "txtRST", "cmbBande", "cmbMHz", "cmbHz", "txtOpérateur",
                                       "txtPréfixeQRZ", "cmbQRZ1", "cmbQRZ2", "cmbQRZ3", "txtNrQRZ", "txtCodePostal", "txtVille",
                                       "txtBP", "txtPays", "cmdNouveau", "cmdSupprimer", "cmdModifier", "cmdSuivant",
                                       "cmdPrécédent", "cmdMaintenant"}));
    }

    // Opening shows the last contact with the focus on "Nouveau"; the record
    // buttons follow the number of contacts, and "next"/"previous" stay
    // enabled on the last/first contact until pressed once more.
    void buttonsFollowRecordCount_data()
    {
        QTest::addColumn<int>("contacts");
        QTest::addColumn<QString>("clicks"); // S suivant, P précédent
        QTest::addColumn<QStringList>("states"); // serial, then enabled: P précédent, S suivant, M modifier, X supprimer
        QTest::newRow("empty") << 0 << "" << QStringList{" ----"};
        QTest::newRow("one") << 1 << "" << QStringList{"1 --MX"};
        QTest::newRow("three") << 3 << "SPPPS"
                               << QStringList{"3 PSMX", "3 P-MX", "2 PSMX", "1 PSMX", "1 -SMX", "2 PSMX"};
    }
    void buttonsFollowRecordCount()
    {
        QFETCH(int, contacts);
        QFETCH(QString, clicks);
        QFETCH(QStringList, states);
        MainWindowFixture f;
        frmMain &w = *f.w;
        f.openWith(QStringLiteral("log.adb"), contacts);
        QVERIFY(w.cmdNouveau->isEnabled() && w.mnuImprimer->isEnabled() && w.Toolbar1Buttons[3]->isEnabled());
        QVERIFY(!w.txtRST->isEnabled());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.cmdNouveau));
        auto state = [&] {
            QString s = f.shownSerial().trimmed() + ' ';
            for (auto [b, c] : {std::pair{w.cmdPrécédent, 'P'}, {w.cmdSuivant, 'S'}, {w.cmdModifier, 'M'}, {w.cmdSupprimer, 'X'}})
                s += b->isEnabled() ? QChar(c) : QChar('-');
            return s;
        };
        QStringList seen{state()};
        for (const QChar c : clicks) {
            (c == 'S' ? w.cmdSuivant : w.cmdPrécédent)->click();
            seen << state();
        }
        QCOMPARE(seen, states);
    }

    // Paths up to 30 characters show whole; longer ones as their first 3 and
    // last 24 characters around "...".
    void titleShortensLongPaths_data()
    {
        QTest::addColumn<int>("length");
        for (int n : {29, 30, 31, 41, 80})
            QTest::addRow("%d", n) << n;
    }
    void titleShortensLongPaths()
    {
        QFETCH(int, length);
        QTemporaryDir base(QStringLiteral("/tmp/tXXXXXX")); // 12 characters
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

    // "Nouveau" over an existing file empties it (the dialog asked); a name
    // without extension is used as it is.
    void newReplacesAnExistingFile()
    {
        MainWindowFixture f;
        const QString p = f.openWith(QStringLiteral("old.adb"), 4);
        f.prompts.queuedFiles << p;
        f.w->mnuNouveau_Click();
        QVERIFY(f.prompts.fileRequests.last().confirmOverwrite);
        QVERIFY(f.prompts.messages.isEmpty());
        QVERIFY(testsupport::readRows(p).isEmpty());
        QVERIFY(!f.w->cmdModifier->isEnabled() && f.w->cmdNouveau->isEnabled());
        const QString bare = f.path(QStringLiteral("sans-extension"));
        f.prompts.queuedFiles << bare;
        f.w->mnuNouveau_Click();
        QCOMPARE(f.w->Data1->databaseName(), bare);
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"old.adb", "sans-extension"}));
    }

    void cancelledDialogsChangeNothing()
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

    void badFilesLeaveThePreviousOneBound_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected"); // part of the message
        QTest::newRow("missing") << "missing" << "n'existe pas";
        QTest::newRow("folder") << "folder" << "dossier";
        QTest::newRow("text") << "text" << "pas un fichier de contacts";
        QTest::newRow("empty") << "empty" << "pas un fichier de contacts";
        QTest::newRow("other table") << "Autre" << "Transmission";
        QTest::newRow("missing column") << "Transmission" << "la colonne « Sequanel » manque";
    }
    void badFilesLeaveThePreviousOneBound()
    {
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        MainWindowFixture f;
        const QString good = f.openWith(QStringLiteral("good.adb"), 3);
        f.w->cmdPrécédent->click();
        const QString title = f.w->windowTitle();
        const QString bad = f.path(QStringLiteral("bad.adb"));
        QFile file(bad);
        if (kind == QLatin1String("folder"))
            QDir().mkpath(bad);
        else if (kind == QLatin1String("text") || kind == QLatin1String("empty"))
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kind == QLatin1String("text") ? "Ceci n'est pas une base.\n" : "") >= 0);
        else if (kind != QLatin1String("missing")) // a table of that name with a Date column only
            QVERIFY(platform::Connection::create(bad, {kind, {{QStringLiteral("Date"), platform::ColumnType::DateTime, 0}}}, nullptr));
        file.close();
        const QByteArray before = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        file.close();

        f.prompts.queuedFiles << bad;
        f.w->mnuOuvrir_Click();
        QCOMPARE(f.prompts.messages.size(), 1);
        QCOMPARE(f.prompts.messages[0].icon, platform::MessageIcon::Critical);
        QVERIFY2(f.prompts.messages[0].text.contains(expected) && f.prompts.messages[0].text.contains(QStringLiteral("bad.adb")),
                 qPrintable(f.prompts.messages[0].text));
        QCOMPARE(f.w->windowTitle(), title);
        QCOMPARE(f.w->Data1->databaseName(), good);
        QCOMPARE(f.shownSerial(), QStringLiteral("2"));
        // The refused file is left exactly as it was; the bound file still works.
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), before);
        QCOMPARE(QFileInfo::exists(bad), kind != QLatin1String("missing"));
        f.w->cmdSuivant->click();
        QCOMPARE(f.shownSerial(), QStringLiteral("3"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
