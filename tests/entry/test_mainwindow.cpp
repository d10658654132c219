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
        for (QWidget *c : w.centralWidget()->findChildren<QWidget *>())
            if (qobject_cast<QLineEdit *>(c) || qobject_cast<QComboBox *>(c) || qobject_cast<QPushButton *>(c))
                QVERIFY2(!c->isEnabled(), qPrintable(c->objectName()));
        QVERIFY(!w.controls().mnuImprimer->isEnabled() && !w.controls().Toolbar1Buttons[3]->isEnabled());
        for (QAction *a : QList<QAction *>{w.controls().mnuNouveau, w.controls().mnuOuvrir, w.controls().mnuQuitter, w.controls().mnuOrientation, w.controls().mnuHelp, w.controls().mnuAPropos,
                                           w.controls().Toolbar1Buttons[0], w.controls().Toolbar1Buttons[1], w.controls().Toolbar1Buttons[5]} + w.controls().mnuH)
            QVERIFY2(a->isEnabled(), qPrintable(a->text()));

        // Every list accepts a value that is not in it.
        for (QComboBox *c : w.centralWidget()->findChildren<QComboBox *>())
            QVERIFY2(c->isEditable(), qPrintable(c->objectName()));
        QCOMPARE(w.controls().txtNrSequanel->text(), QStringLiteral("   "));
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
        MainWindowFixture f(contacts);
        frmMain &w = *f.w;
        QVERIFY(w.controls().cmdNouveau->isEnabled() && w.controls().mnuImprimer->isEnabled() && w.controls().Toolbar1Buttons[3]->isEnabled());
        QVERIFY(!w.controls().txtRST->isEnabled());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.controls().cmdNouveau));
        auto state = [&] {
            QString s = f.shownSerial().trimmed() + ' ';
            for (auto [b, c] : {std::pair{w.controls().cmdPrécédent, 'P'}, {w.controls().cmdSuivant, 'S'}, {w.controls().cmdModifier, 'M'}, {w.controls().cmdSupprimer, 'X'}})
                s += b->isEnabled() ? QChar(c) : QChar('-');
            return s;
        };
        QStringList seen{state()};
        for (const QChar c : clicks) {
            QTest::mouseClick(c == 'S' ? w.controls().cmdSuivant : w.controls().cmdPrécédent, Qt::LeftButton);
            seen << state();
        }
        QCOMPARE(seen, states);
        // A button that greys itself under the click hands the focus to
        // "Nouveau": Enter then starts a contact.
        if (w.controls().cmdSuivant->isEnabled()) {
            while (w.controls().cmdSuivant->isEnabled())
                QTest::mouseClick(w.controls().cmdSuivant, Qt::LeftButton);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QCOMPARE(w.controls().cmdNouveau->text(), QStringLiteral("&Valider"));
        }
    }

    // Paths up to 30 characters show whole; longer ones as their first 3 and
    // last 24 characters around "...".
    void titleShortensLongPaths_data()
    {
        QTest::addColumn<QString>("name"); // in /tmp/sequanel-titre
        QTest::addColumn<QString>("title");
        QTest::newRow("29") << "abcde.adb" << "Sequanel (Saisie des contacts) [/tmp/sequanel-titre/abcde.adb]";
        QTest::newRow("30") << "abcdef.adb" << "Sequanel (Saisie des contacts) [/tmp/sequanel-titre/abcdef.adb]";
        QTest::newRow("31") << "abcdefg.adb" << "Sequanel (Saisie des contacts) [/tm...quanel-titre/abcdefg.adb]";
        QTest::newRow("48") << "sous/dossier/abcdefghijk.adb" << "Sequanel (Saisie des contacts) [/tm.../dossier/abcdefghijk.adb]";
    }
    void titleShortensLongPaths()
    {
        QFETCH(QString, name);
        QFETCH(QString, title);
        const QString p = QStringLiteral("/tmp/sequanel-titre/") + name;
        QDir(QStringLiteral("/tmp/sequanel-titre")).removeRecursively();
        QVERIFY(QDir().mkpath(QFileInfo(p).path()));
        testsupport::makeLogFile(p);
        MainWindowFixture f;
        f.prompts.queuedFiles << p;
        f.w->controls().mnuOuvrir->trigger();
        QCOMPARE(f.w->windowTitle(), title);
        QDir(QStringLiteral("/tmp/sequanel-titre")).removeRecursively();
    }

    // Cancelled file dialogs change nothing, with or without a file open.
    // "Nouveau" over an existing file empties it (the dialog asked); a name
    // without extension is used as it is.
    void newAndOpenDialogs()
    {
        MainWindowFixture f;
        f.w->controls().mnuOuvrir->trigger();
        f.w->controls().mnuNouveau->trigger();
        QCOMPARE(f.w->windowTitle(), QStringLiteral("Saisie des contacts"));
        QVERIFY(!f.w->controls().cmdNouveau->isEnabled());
        const QString p = f.openWith(QStringLiteral("old.adb"), 2);
        const QString title = f.w->windowTitle();
        f.w->controls().cmdPrécédent->click();
        f.w->controls().mnuNouveau->trigger();
        f.w->controls().mnuOuvrir->trigger();
        QCOMPARE(f.w->windowTitle() + f.shownSerial(), title + QStringLiteral("1"));
        QCOMPARE(testsupport::readRows(p).size(), 2);

        f.prompts.queuedFiles << p;
        f.w->controls().mnuNouveau->trigger();
        QVERIFY(f.prompts.fileRequests.last().confirmOverwrite);
        QVERIFY(f.prompts.messages.isEmpty());
        QVERIFY(testsupport::readRows(p).isEmpty());
        QVERIFY(!f.w->controls().cmdModifier->isEnabled() && f.w->controls().cmdNouveau->isEnabled());
        f.prompts.queuedFiles << f.path(QStringLiteral("sans-extension"));
        f.w->controls().mnuNouveau->trigger();
        QCOMPARE(f.w->controls().Data1->databaseName(), f.path(QStringLiteral("sans-extension")));
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"old.adb", "sans-extension"}));
    }

    // A refused file gets a message giving the reason; the file in use stays
    // bound on the same contact (the many damaged files of the reliability
    // tests check the rest); the refused file is left exactly as it was, with
    // no journal beside it.
    void badFilesLeaveThePreviousOneBound_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected"); // part of the message
        QTest::newRow("missing") << "missing" << "n'existe pas";
        QTest::newRow("folder") << "folder" << "dossier";
        QTest::newRow("text") << "text" << "pas un fichier de contacts";
        QTest::newRow("another program's database") << "other" << "pas de table « Transmission »";
        QTest::newRow("missing column") << "Transmission" << "la colonne « Sequanel » manque";
        QTest::newRow("read-only file") << "read-only" << "lecture seule";
    }
    void badFilesLeaveThePreviousOneBound()
    {
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        MainWindowFixture f(3);
        f.w->controls().cmdPrécédent->click();
        const QString title = f.w->windowTitle();
        const QString bad = f.path(QStringLiteral("bad.adb"));
        if (kind == QLatin1String("folder")) {
            QDir().mkpath(bad);
        } else if (kind == QLatin1String("text")) {
            QFile text(bad);
            QVERIFY(text.open(QIODevice::WriteOnly) && text.write("Ceci n'est pas une base.\n") > 0);
        } else if (kind == QLatin1String("other")) { // left in write-ahead-log mode, which must stay
            QVERIFY(platform::Connection::create(bad, {QStringLiteral("Villes"), {{QStringLiteral("Nom"), platform::ColumnType::Text, 50}}}, nullptr));
            QVERIFY(platform::Connection::open(bad, platform::OpenMode::ReadWrite, nullptr)->exec("PRAGMA journal_mode=WAL"));
        } else if (kind == QLatin1String("Transmission")) { // a Date column only
            QVERIFY(platform::Connection::create(bad, {kind, {{QStringLiteral("Date"), platform::ColumnType::DateTime, 0}}}, nullptr));
        } else if (kind == QLatin1String("read-only")) { // refused even to root, whom the system lets write it
            testsupport::makeLogFile(bad, {testsupport::sampleRow(9)});
            QVERIFY(QFile::setPermissions(bad, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        }
        const QByteArray before = testsupport::fileBytes(bad);

        f.prompts.queuedFiles << bad;
        f.w->controls().mnuOuvrir->trigger();
        QCOMPARE(f.prompts.messages.size(), 1);
        QCOMPARE(f.prompts.messages[0].icon, platform::MessageIcon::Critical);
        QVERIFY2(f.prompts.messages[0].text.contains(expected) && f.prompts.messages[0].text.contains(QStringLiteral("bad.adb")),
                 qPrintable(f.prompts.messages[0].text));
        QCOMPARE(f.w->windowTitle(), title);
        QCOMPARE(f.w->controls().Data1->databaseName(), f.file);
        QCOMPARE(testsupport::fileBytes(bad), before);
        QCOMPARE(QFileInfo::exists(bad), kind != QLatin1String("missing"));
        for (const char *suffix : {"-journal", "-wal", "-shm"})
            QVERIFY2(!QFile::exists(bad + QLatin1String(suffix)), suffix);
        f.w->controls().cmdSuivant->click(); // still on the same contact of the same file
        QCOMPARE(f.shownSerial(), QStringLiteral("3"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
