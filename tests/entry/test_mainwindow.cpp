// The main window: its controls as built and as the log grows, its menus,
// toolbar, shortcuts and status bar, and opening log files.
#include "MainWindowFixture.h"

#include "frmSplash.h"

#include <QAbstractFileIconProvider>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QTextBrowser>
#include <QToolBar>

namespace {

int visibleTopLevels(const char *className)
{
    int n = 0;
    for (QWidget *t : QApplication::topLevelWidgets())
        n += t->isVisible() && t->inherits(className);
    return n;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    // Nothing open: every entry control and button is locked, Print too;
    // every list accepts a value that is not in it.
    void startUpState()
    {
        MainWindowFixture f;
        for (QWidget *c : f.w->centralWidget()->findChildren<QWidget *>()) {
            if (qobject_cast<QLineEdit *>(c) || qobject_cast<QComboBox *>(c) || qobject_cast<QPushButton *>(c))
                QVERIFY2(!c->isEnabled(), qPrintable(c->objectName()));
            if (auto *list = qobject_cast<QComboBox *>(c))
                QVERIFY2(list->isEditable(), qPrintable(c->objectName()));
        }
        QVERIFY(!f.w->controls().mnuImprimer->isEnabled() && !f.w->controls().Toolbar1Buttons[3]->isEnabled());
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
        QTest::newRow("three") << 3 << "SPPPS" << QStringList{"3 PSMX", "3 P-MX", "2 PSMX", "1 PSMX", "1 -SMX", "2 PSMX"};
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
        QTest::newRow("30") << "abcdef.adb" << "Sequanel (Saisie des contacts) [/tmp/sequanel-titre/abcdef.adb]";
        QTest::newRow("31") << "abcdefg.adb" << "Sequanel (Saisie des contacts) [/tm...quanel-titre/abcdefg.adb]";
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
        QCOMPARE(f.w->windowTitle() + f.buttons(), QStringLiteral("Saisie des contacts-&Nouveau -&Modifier -&Supprimer"));
        const QString p = f.openWith(QStringLiteral("old.adb"), 2);
        const QString title = f.w->windowTitle();
        f.w->controls().cmdPrécédent->click();
        f.w->controls().mnuNouveau->trigger();
        f.w->controls().mnuOuvrir->trigger();
        QCOMPARE(f.w->windowTitle() + f.shownSerial(), title + QStringLiteral("1"));
        QCOMPARE(testsupport::readRows(p).size(), 2);

        f.prompts.queuedFiles << p << f.path(QStringLiteral("sans-extension"));
        f.w->controls().mnuNouveau->trigger();
        QVERIFY(f.prompts.fileRequests.last().confirmOverwrite);
        QVERIFY(testsupport::readRows(p).isEmpty());
        QCOMPARE(f.buttons(), QStringLiteral("&Nouveau -&Modifier -&Supprimer"));
        f.w->controls().mnuNouveau->trigger();
        QVERIFY(f.prompts.messages.isEmpty());
        QCOMPARE(f.w->controls().Data1->databaseName(), f.path(QStringLiteral("sans-extension")));
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"old.adb", "sans-extension"}));
    }

    // A file that cannot be used gets a message giving the reason; the file
    // in use stays bound on the same contact; the refused file is left
    // exactly as it was, with no journal beside it. (Damaged files and files
    // of the wrong shape are the reliability tests'.)
    void badFilesLeaveThePreviousOneBound_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected"); // part of the message
        QTest::newRow("missing") << "missing" << "n'existe pas";
        QTest::newRow("folder") << "folder" << "dossier";
        QTest::newRow("text") << "text" << "pas un fichier de contacts";
        QTest::newRow("another program's database") << "other" << "pas de table « Transmission »";
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
            QVERIFY(testsupport::rawExec(bad, QStringLiteral("CREATE TABLE Villes (Nom TEXT)")));
            QVERIFY(testsupport::rawExec(bad, QStringLiteral("PRAGMA journal_mode=WAL")));
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

    // "Nouveau" and "Ouvrir" from the menu, the shortcut and a real click on
    // the toolbar all open their file dialog.
    void toolbarAndShortcutsRunTheMenuCommands()
    {
        MainWindowFixture f;
        frmMain &w = *f.w;
        for (const auto &[menu, button, key, title] : {std::tuple{w.controls().mnuNouveau, 0, Qt::Key_N, "Création d'un fichier "},
                                                       std::tuple{w.controls().mnuOuvrir, 1, Qt::Key_O, "Ouvrir"}}) {
            menu->trigger();
            QTest::keyClick(&w, key, Qt::ControlModifier);
            QTest::mouseClick(w.controls().Toolbar1->widgetForAction(w.controls().Toolbar1Buttons[button]), Qt::LeftButton);
            QCOMPARE(f.prompts.fileRequests.size(), 3);
            for (const platform::FileRequest &r : std::as_const(f.prompts.fileRequests))
                QCOMPARE(r.title, QString::fromUtf8(title));
            f.prompts.clear();
        }
    }

    // The file dialogs themselves refuse, in French, a folder that does not
    // exist and a name holding a double quote (which Qt reads as a list of
    // names), and stay open; nothing is bound. Their type column is French.
    void fileDialogsRefuseWhatTheyCannotUse_data()
    {
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("typed"); // in the test's folder
        QTest::addColumn<QString>("refusal");
        for (bool save : {true, false}) {
            QTest::addRow("%s, missing folder", save ? "New" : "Open") << save << "absent/a.adb" << "n'existe pas";
            QTest::addRow("%s, double quotes", save ? "New" : "Open") << save << "a\"b\"c.adb" << "guillemet";
        }
    }
    void fileDialogsRefuseWhatTheyCannotUse()
    {
        QFETCH(bool, save);
        QFETCH(QString, typed);
        QFETCH(QString, refusal);
        MainWindowFixture f;
        QStringList messages;
        platform::Responder answers; // messages only: the dialogs are the real ones
        answers.message = [&](const platform::MessageRequest &m) {
            messages << m.text;
            return platform::Answer::Ok;
        };
        platform::setResponder(answers);
        QString folderType;
        bool stayed = false;
        ModalWatch watch([&](QWidget *m) {
            auto *dialog = qobject_cast<QFileDialog *>(m);
            folderType = dialog->iconProvider()->type(QFileInfo(f.dir.path()));
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            edit->setText(f.path(typed));
            QTest::keyClick(edit, Qt::Key_Return);
            stayed = dialog->isVisible();
            dialog->reject();
        });
        (save ? f.w->controls().mnuNouveau : f.w->controls().mnuOuvrir)->trigger();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(refusal), qPrintable(messages[0]));
        QVERIFY(stayed);
        QCOMPARE(folderType, QStringLiteral("Dossier"));
        QVERIFY(f.w->controls().Data1->databaseName().isEmpty());
        QVERIFY(QDir(f.dir.path()).isEmpty());
    }

    // On an empty file the print menu item, shortcut and button each refuse
    // with a message and open no window; with a contact the grid window
    // opens modally.
    void printCommand()
    {
        MainWindowFixture f(0);
        QStringList opened;
        ModalWatch watch([&](QWidget *m) {
            opened << QString::fromLatin1(m->metaObject()->className());
            m->close();
        });
        f.w->controls().mnuImprimer->trigger();
        QTest::keyClick(f.w.get(), Qt::Key_I, Qt::ControlModifier);
        QTest::mouseClick(f.w->controls().Toolbar1->widgetForAction(f.w->controls().Toolbar1Buttons[3]), Qt::LeftButton);
        QCOMPARE(f.prompts.messages.size(), 3);
        QCOMPARE(f.prompts.messages[2].text, QStringLiteral("Le fichier courant ne possède aucun enregistrement à imprimer"));
        QCOMPARE(opened, QStringList());
        f.openWith(QStringLiteral("un.adb"), 1);
        f.prompts.clear();
        QTest::keyClick(f.w.get(), Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(opened, QStringList{QStringLiteral("frmListe")});
        QVERIFY(f.prompts.messages.isEmpty());
    }

    // The orientation window opens once, from the menu or the toolbar; each
    // zone opens a clock of its own (their times are the clock tests');
    // help opens on its contents; Quit closes every window without asking.
    void windowsOfTheMenusAndQuit()
    {
        MainWindowFixture f;
        f.w->controls().mnuOrientation->trigger();
        QTest::mouseClick(f.w->controls().Toolbar1->widgetForAction(f.w->controls().Toolbar1Buttons[5]), Qt::LeftButton);
        QCOMPARE(visibleTopLevels("frmOrientation"), 1);
        for (QAction *a : f.w->controls().mnuH)
            a->trigger();
        f.w->controls().mnuH[11]->trigger(); // the same zone twice: two windows
        QCOMPARE(visibleTopLevels("frmFuseau"), 25);
        f.w->controls().mnuHelp->trigger();
        auto *browser = f.w->findChild<QTextBrowser *>(QStringLiteral("helpBrowser"));
        QVERIFY(browser && browser->window()->isVisible());
        QVERIFY(browser->source().toString().endsWith(QStringLiteral("help/index.html")));
        f.w->controls().mnuQuitter->trigger();
        QVERIFY(f.prompts.messages.isEmpty());
        QTRY_COMPARE(visibleTopLevels("QWidget"), 0);
    }

    // The clock panel shows the time without a zone name and keeps ticking
    // under the About box, which has its "OK" and does not stay on top.
    void clockPanel()
    {
        const QDateTime now(QDate(2024, 7, 14), QTime(14, 5, 9));
        testsupport::ClockScope clock(now);
        MainWindowFixture f;
        QLabel *panel = f.w->controls().StatusPanels[1];
        QTRY_COMPARE_WITH_TIMEOUT(panel->text(), QStringLiteral("14:05:09"), 2500);
        QString seenWhileModal;
        bool okVisible = false, onTop = true;
        ModalWatch watch([&](QWidget *m) {
            auto *about = qobject_cast<frmSplash *>(m);
            if (!about || !seenWhileModal.isNull())
                return;
            okVisible = about->Splash->isVisible();
            onTop = m->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            clock.set(now.addSecs(1));
            seenWhileModal = QStringLiteral("");
            QTimer::singleShot(1300, m, [&, about] {
                seenWhileModal = panel->text();
                about->Splash->click();
            });
        });
        f.w->controls().mnuAPropos->trigger();
        QVERIFY(okVisible && !onTop);
        QCOMPARE(seenWhileModal, QStringLiteral("14:05:10"));
    }

    // Alt+S opens the time-zone menu rather than deleting a contact; no
    // access key of the window is taken twice, in any editing state.
    void accessKeys()
    {
        MainWindowFixture f(2);
        QTest::keyClick(f.w.get(), Qt::Key_S, Qt::AltModifier);
        QTRY_VERIFY(f.w->controls().mnuHeure->isVisible());
        f.w->controls().mnuHeure->close();
        QCOMPARE(f.stored().size(), 2);
        for (QPushButton *start : {f.w->controls().cmdNouveau, f.w->controls().cmdSupprimer, f.w->controls().cmdModifier}) {
            QStringList keys;
            for (QAction *a : f.w->menuBar()->actions())
                keys << QKeySequence::mnemonic(a->text()).toString();
            for (QPushButton *b : f.w->centralWidget()->findChildren<QPushButton *>())
                keys << b->shortcut().toString();
            keys.removeAll(QString());
            QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
            start->click(); // adding, then (cancelled) changing
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
