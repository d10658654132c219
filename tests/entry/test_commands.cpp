// Commands of the main window: toolbar, shortcuts, access keys, Quit, help,
// About, the status-bar hints and the clock panel.
#include "MainWindowFixture.h"

#include "frmSplash.h"

#include <QAction>
#include <QAbstractFileIconProvider>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTextBrowser>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>

namespace {

void moveOver(QWidget *w, QPoint pos)
{
    QMouseEvent e(QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT
private slots:
    // "Nouveau" and "Ouvrir" from the menu, the shortcut and a real click on
    // the toolbar all open their file dialog.
    void toolbarAndShortcutsRunTheMenuCommands()
    {
        MainWindowFixture f;
        frmMain &w = *f.w;
        for (const auto &[menu, button, key, title] : {std::tuple{w.controls().mnuNouveau, 0, Qt::Key_N, "Création d'un fichier "},
                                                       std::tuple{w.controls().mnuOuvrir, 1, Qt::Key_O, "Ouvrir"}}) {
            for (int way = 0; way < 3; ++way) {
                f.prompts.clear();
                if (way == 0)
                    menu->trigger();
                else if (way == 1)
                    QTest::keyClick(&w, key, Qt::ControlModifier);
                else
                    QTest::mouseClick(w.controls().Toolbar1->widgetForAction(w.controls().Toolbar1Buttons[button]), Qt::LeftButton);
                QCOMPARE(f.prompts.fileRequests.size(), 1);
                QCOMPARE(f.prompts.fileRequests[0].title, QString::fromUtf8(title));
            }
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
        save ? f.w->controls().mnuNouveau->trigger() : f.w->controls().mnuOuvrir->trigger();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(refusal), qPrintable(messages[0]));
        QVERIFY(stayed);
        QCOMPARE(folderType, QStringLiteral("Dossier"));
        QVERIFY(f.w->controls().Data1->databaseName().isEmpty());
        QVERIFY(QDir(f.dir.path()).isEmpty());
    }

    // Print is disabled with nothing open: its menu item, shortcut and button do
    // nothing. On an empty file each refuses with a message and opens no
    // window; with a contact the grid window opens modally.
    void printCommand()
    {
        MainWindowFixture f;
        QStringList opened;
        ModalWatch watch([&](QWidget *m) {
            opened << QString::fromLatin1(m->metaObject()->className());
            m->close();
        });
        for (bool open : {false, true}) {
            if (open)
                f.openWith(QStringLiteral("vide.adb"), 0);
            f.w->controls().mnuImprimer->trigger();
            QTest::keyClick(f.w.get(), Qt::Key_I, Qt::ControlModifier);
            QTest::mouseClick(f.w->controls().Toolbar1->widgetForAction(f.w->controls().Toolbar1Buttons[3]), Qt::LeftButton);
            QCOMPARE(f.prompts.messages.size(), open ? 3 : 0);
            QCOMPARE(opened, QStringList());
        }
        QCOMPARE(f.prompts.messages[2].text, QStringLiteral("Le fichier courant ne possède aucun enregistrement à imprimer"));
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
        f.w->controls().Toolbar1Buttons[5]->trigger();
        f.w->controls().mnuOrientation->trigger();
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

    void hints()
    {
        MainWindowFixture f(3);
        QLabel *panel = f.w->controls().StatusPanels[0];
        // Another control or a label keeps the hint; the bare surface empties it.
        QStringList seen{panel->text()};
        for (QWidget *w : {static_cast<QWidget *>(f.w->controls().cmdSuivant), static_cast<QWidget *>(f.w->controls().txtVille),
                           static_cast<QWidget *>(f.w->controls().lblVille), f.w->centralWidget(), static_cast<QWidget *>(f.w->controls().cmdPrécédent)}) {
            moveOver(w, w == f.w->centralWidget() ? QPoint(10, 200) : QPoint(3, 3));
            seen << panel->text();
        }
        QCOMPARE(seen, (QStringList{"", "Enregistrement suivant", "Enregistrement suivant", "Enregistrement suivant", "",
                                    "Enregistrement précédent"}));
    }

    void clockPanelTicksUnderTheAboutBox()
    {
        QDateTime now(QDate(2024, 7, 14), QTime(14, 5, 9));
        testsupport::ClockScope clock(now);
        MainWindowFixture f;
        QLabel *panel = f.w->controls().StatusPanels[1];
        QCOMPARE(panel->text(), QString()); // empty until the first tick
        QTRY_COMPARE_WITH_TIMEOUT(panel->text(), QStringLiteral("14:05:09"), 2500); // no time-zone name

        QStringList seenWhileModal;
        bool okVisible = false, onTop = true, seen = false;
        ModalWatch watch([&](QWidget *m) {
            if (std::exchange(seen, true))
                return;
            auto *about = qobject_cast<frmSplash *>(m);
            okVisible = about && about->Splash->isVisible();
            onTop = m->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            clock.set(now.addSecs(1));
            QTimer::singleShot(1300, m, [&, m] {
                seenWhileModal << panel->text();
                qobject_cast<frmSplash *>(m)->Splash->click();
            });
        });
        f.w->controls().mnuAPropos->trigger();
        QVERIFY(okVisible);
        QVERIFY(!onTop);
        QCOMPARE(seenWhileModal, QStringList{QStringLiteral("14:05:10")});
    }

    // Alt+S opens the time-zone menu rather than deleting a contact.
    void altSOpensTheClockMenu()
    {
        MainWindowFixture f(2);
        QTest::keyClick(f.w.get(), Qt::Key_S, Qt::AltModifier);
        QTRY_VERIFY(f.w->controls().mnuHeure->isVisible());
        f.w->controls().mnuHeure->close();
        QCOMPARE(testsupport::readRows(f.file).size(), 2);

        // No other access key of the window is taken twice, in any editing state.
        auto keys = [&] {
            QStringList k;
            for (QAction *a : f.w->menuBar()->actions())
                k << QKeySequence::mnemonic(a->text()).toString();
            for (QPushButton *b : f.w->centralWidget()->findChildren<QPushButton *>())
                if (!b->shortcut().isEmpty())
                    k << b->shortcut().toString();
            return QSet<QString>(k.begin(), k.end()).size() == k.size();
        };
        QVERIFY(keys());
        f.w->controls().cmdNouveau->click();
        QVERIFY(keys());
        f.w->controls().cmdSupprimer->click();
        f.w->controls().cmdModifier->click();
        QVERIFY(keys());
    }
};

QTEST_MAIN(TestCommands)
#include "test_commands.moc"
