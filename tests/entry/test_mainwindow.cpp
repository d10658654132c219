// The main window: its controls as built and as the log grows, its menus,
// toolbar, shortcuts and status bar, and opening log files.
#include "MainWindowFixture.h"
#include "Listing.h"
#include "PrintSurface.h"
#include "Settings.h"
#include "frmListe.h"
#include "frmStatistiques.h"

#include <QAbstractFileIconProvider>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QTableView>
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
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.controls().cmdNouveau));
        auto state = [&] {
            QString s = f.shownSerial().trimmed() + ' ';
            for (auto [b, c] : {std::pair{f.ui().cmdPrécédent, 'P'}, {f.ui().cmdSuivant, 'S'}, {f.ui().cmdModifier, 'M'},
                                {f.ui().cmdSupprimer, 'X'}})
                s += b->isEnabled() ? QChar(c) : QChar('-');
            return s;
        };
        QStringList seen{state()};
        for (const QChar c : clicks) {
            QTest::mouseClick(c == 'S' ? w.controls().cmdSuivant : w.controls().cmdPrécédent, Qt::LeftButton);
            seen << state();
        }
        QCOMPARE(seen, states);
        // Hovering "Suivant" or "Précédent" says in the status bar what it
        // does; the bare surface of the window takes the hint away.
        QPoint bare(5, 5);
        while (w.centralWidget()->childAt(bare))
            bare += QPoint(5, 5);
        for (auto [b, hint] : {std::pair<QWidget *, QString>{w.controls().cmdSuivant, msg::hintNext()}, {w.controls().cmdPrécédent, msg::hintPrevious()},
                               {w.centralWidget(), QString()}}) {
            const QPointF at = b == w.centralWidget() ? QPointF(bare) : QPointF(5, 5);
            QMouseEvent move(QEvent::MouseMove, at, b->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(b, &move);
            QCOMPARE(f.ui().StatusPanels[0]->text(), hint);
        }
        // A button that greys itself under the click hands the focus to
        // "Nouveau": Enter then starts a contact.
        if (w.controls().cmdSuivant->isEnabled()) {
            while (w.controls().cmdSuivant->isEnabled())
                QTest::mouseClick(w.controls().cmdSuivant, Qt::LeftButton);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QCOMPARE(w.controls().cmdNouveau->text(), QStringLiteral("&Valider"));
            QVERIFY(w.controls().cmdMaintenant->isEnabled());
        }
        // A copy into another file says how many contacts it took.
        f.prompts.queuedFiles << f.path(QStringLiteral("copie.adb"));
        f.ui().mnuCopierFichier->trigger();
        const QString from = "« " + f.file + " »", copied = contacts == 0 ? msg::copiedNone().arg(from)
                                                          : contacts == 1 ? msg::copiedOne().arg(from)
                                                                          : msg::copiedMany().arg(contacts).arg(from);
        QCOMPARE(f.said().last(), copied + '\n' + msg::copyNewLog().arg("« " + f.path(QStringLiteral("copie.adb")) + " »"));
    }

    // An archive on a CD (a file and a folder that cannot be written, even by
    // root) opens read only: the title says so and the editing buttons and
    // "Importer…" stay off, Enter adds nothing, while browsing, the grid,
    // printing, the exports and the statistics work, and the file and its
    // folder stay as they were.
    void readOnlyLog()
    {
        MainWindowFixture f;
        const QString cd = f.path(QStringLiteral("cd")), log = cd + QStringLiteral("/archive.adb");
        QVERIFY(QDir().mkpath(cd));
        testsupport::makeLogFile(log, {testsupport::sampleRow(1), testsupport::sampleRow(2), testsupport::sampleRow(3)});
        const auto readable = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
        QVERIFY(QFile::setPermissions(log, readable) && QFile::setPermissions(cd, readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
        const QByteArray bytes = testsupport::fileBytes(log);
        f.prompts.queuedFiles << log << f.path(QStringLiteral("archive.csv"));
        f.ui().mnuOuvrir->trigger();
        QVERIFY2(f.w->windowTitle().endsWith(QStringLiteral("archive.adb] (lecture seule)")), qPrintable(f.w->windowTitle()));
        QCOMPARE(f.buttons(), QStringLiteral("-&Nouveau -&Modifier -&Supprimer"));
        QVERIFY(f.ui().mnuExporterAdif->isEnabled() && !f.ui().mnuImporter->isEnabled());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // ("Précédent", which has the focus)
        QCOMPARE(f.buttons() + ' ' + f.shownSerial(), QStringLiteral("-&Nouveau -&Modifier -&Supprimer 2"));
        platform::setDefaultPrinterOverride(platform::PrintTarget::pdfFile(f.path(QStringLiteral("archive.pdf"))));
        ModalWatch watch([](QWidget *m) {
            if (auto *liste = qobject_cast<frmListe *>(m)) {
                QCOMPARE(liste->dbgrd->model()->rowCount(), 3);
                liste->Command2->click();
                liste->close();
            }
        });
        QTest::keyClick(f.w.get(), Qt::Key_I, Qt::ControlModifier);
        platform::clearDefaultPrinterOverride();
        f.ui().mnuExporter->trigger();
        f.ui().mnuStatistiques->trigger();
        QTRY_VERIFY(frmStatistiques::instance());
        QTRY_VERIFY2(frmStatistiques::instance()->lblTotals->text().startsWith(msg::statsTotalContacts().arg(3)),
                     qPrintable(frmStatistiques::instance()->lblTotals->text()));
        frmStatistiques::instance()->close();
        QCOMPARE(f.said(), QStringList{msg::exportedMany().arg(3).arg(f.path(QStringLiteral("archive.csv")))});
        QVERIFY(testsupport::fileBytes(f.path(QStringLiteral("archive.pdf"))).startsWith("%PDF"));
        QCOMPARE(testsupport::fileBytes(log), bytes);
        QCOMPARE(QDir(cd).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("archive.adb")});
        QFile::setPermissions(cd, readable | QFile::WriteOwner | QFile::ExeOwner); // (for the folder's removal)
    }

    // The tool bar's buttons and separators in their order. The menu item,
    // its shortcut and a real click on its toolbar button run the same
    // command. On an empty log, "Nouveau" and "Ouvrir" open their
    // file dialog (cancelled, they change nothing; the first asks before
    // replacing a file) and "Imprimer" refuses
    // with a message, opening no window; with a contact the grid window
    // opens modally, unless the log was deleted meanwhile.
    void menuShortcutAndToolbarRunTheCommands()
    {
        MainWindowFixture f(0);
        f.prompts.clear();
        frmMain &w = *f.w;
        QStringList bar; // the tool bar's buttons by their tips, a separator as "|"
        for (const QAction *a : w.controls().Toolbar1->actions())
            bar << (a->isSeparator() ? QStringLiteral("|") : a->toolTip());
        QCOMPARE(bar.join(' '), "Créer un nouveau fichier Ouvrir un fichier | Imprimer la liste | Orientation " + msg::statsToolTip() + " |");
        QStringList opened;
        ModalWatch watch([&](QWidget *m) {
            opened << QString::fromLatin1(m->metaObject()->className());
            m->close();
        });
        for (const auto &[menu, button, key] : {std::tuple{w.controls().mnuNouveau, 0, Qt::Key_N},
                                                {w.controls().mnuOuvrir, 1, Qt::Key_O},
                                                {w.controls().mnuImprimer, 3, Qt::Key_I}}) {
            menu->trigger();
            QTest::keyClick(&w, key, Qt::ControlModifier);
            QTest::mouseClick(w.controls().Toolbar1->widgetForAction(w.controls().Toolbar1Buttons[button]), Qt::LeftButton);
        }
        QStringList seen;
        for (const platform::FileRequest &r : std::as_const(f.prompts.fileRequests))
            seen << r.title + (r.confirmOverwrite ? "?" : "");
        seen += f.said() + opened; // and no grid opened for an empty log
        const QString create = QStringLiteral("Création d'un fichier ?"), open = QStringLiteral("Ouvrir"), empty = msg::nothingToPrint();
        QCOMPARE(seen, (QStringList{create, create, create, open, open, open, empty, empty, empty}));
        f.openWith(QStringLiteral("un.adb"), 1);
        f.prompts.clear();
        QTest::keyClick(&w, Qt::Key_I, Qt::ControlModifier);
        QVERIFY(f.prompts.messages.isEmpty() && QFile::remove(f.path(QStringLiteral("un.adb"))));
        w.controls().mnuImprimer->trigger(); // the log deleted: said, and no empty grid after it
        QCOMPARE(QStringLiteral("%1 grid, %2 message").arg(opened.size()).arg(f.prompts.messages.size()), "1 grid, 1 message");
    }

    // The file dialogs, their labels, buttons and kinds of file in French, themselves
    // refuse a folder that does not exist and a name holding a double quote
    // (which Qt reads as a list of names), and stay open; nothing is bound.
    void fileDialogsRefuseWhatTheyCannotUse_data()
    {
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("typed"); // in the test's folder
        QTest::addColumn<QString>("refusal");
        QTest::newRow("New, missing folder") << true << "absent/a.adb" << "n'existe pas";
        QTest::newRow("Open, double quotes") << false << "a\"b\"c.adb" << "guillemet";
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
        bool stayed = false;
        QStringList texts; // the dialog's own, in French
        ModalWatch watch([&](QWidget *dialog) {
            for (const QPushButton *b : dialog->findChildren<QPushButton *>())
                texts << b->text();
            for (const QLabel *l : dialog->findChildren<QLabel *>())
                texts << l->text();
            const QAbstractFileIconProvider *types = qobject_cast<QFileDialog *>(dialog)->iconProvider();
            for (const QString &name : {QStringLiteral("/"), f.dir.path(), f.path("a.ADB"), f.path("a.adi")})
                texts << types->type(QFileInfo(name));
            texts << "." + qobject_cast<QFileDialog *>(dialog)->defaultSuffix(); // (a name typed alone gets it)
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            edit->setText(f.path(typed));
            QTest::keyClick(edit, Qt::Key_Return);
            stayed = dialog->isVisible();
            qobject_cast<QFileDialog *>(dialog)->reject();
        });
        (save ? f.ui().mnuNouveau : f.ui().mnuOuvrir)->trigger();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(refusal), qPrintable(messages[0]));
        QVERIFY(stayed);
        for (const char *text : {"Regarder dans :", "Nom du fichier :", "Type :", "Annuler", "Lecteur", "Dossier", "Base de données", "Fichier ADI"})
            QVERIFY2(texts.contains(QString::fromUtf8(text)), text);
        QVERIFY(texts.contains(save ? "&Enregistrer" : "&Ouvrir") && texts.contains(save ? ".adb" : "."));
        QVERIFY(f.ui().Data1->databaseName().isEmpty() && QDir(f.dir.path()).isEmpty()); // (nothing bound, nothing written)
    }

    // File dialogs start in the open log's folder, else in the last folder
    // chosen (kept in the settings); the PDF listing proposes the log's name.
    void fileDialogsStartWhereTheLogIs()
    {
        { // The real dialog opens on the file proposed: in its folder, its name given.
            MainWindowFixture f;
            f.openWith(QStringLiteral("concours.adb"), 1);
            platform::setResponder(platform::Responder{});
            QStringList shown;
            ModalWatch watch([&](QWidget *m) {
                auto *dialog = qobject_cast<QFileDialog *>(m);
                shown << dialog->directory().path() << dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text();
                dialog->reject();
            });
            f.ui().mnuExporterAdif->trigger();
            QCOMPARE(shown, QStringList({QDir(f.dir.path()).canonicalPath(), QStringLiteral("concours.adi")}));
        }
        QTemporaryDir elsewhere;
        const QString log = elsewhere.filePath(QStringLiteral("coupe.adb"));
        testsupport::makeLogFile(log, {testsupport::sampleRow(1)});
        {
            MainWindowFixture f;
            f.prompts.queuedFiles << log;
            f.ui().mnuOuvrir->trigger();
            f.ui().mnuNouveau->trigger(); // cancelled
            platform::setDefaultPrinterOverride(std::nullopt);
            f.prompts.answer = platform::Answer::Yes;
            listing::printListing(f.w.get(), log);
            platform::clearDefaultPrinterOverride();
            QCOMPARE(f.prompts.fileRequests.at(1).initialPath, elsewhere.path() + '/');
            QCOMPARE(f.prompts.fileRequests.at(2).initialPath, elsewhere.path() + "/coupe.pdf");
        }
        MainWindowFixture nothingOpen;
        nothingOpen.ui().mnuOuvrir->trigger();
        QCOMPARE(nothingOpen.prompts.fileRequests.at(0).initialPath, elsewhere.path() + '/');
        const QFileInfo store(platform::settingsFilePath(QCoreApplication::applicationDirPath()));
        QCOMPARE(store.dir().entryList(QDir::Files | QDir::Hidden), QStringList{store.fileName()});
    }

    // The window with no log open: every control and command as kept in
    // entry/layouts/frmMain.txt (place, face, colours set, text and state,
    // and the lists the form offers, item for item: the three call-sign lists
    // differ in a few spellings, kept as they are). Paths of logs up to 30
    // characters show whole in the title; longer ones as their first 3 and
    // last 24 characters around "...".
    void withNoLogOpen()
    {
        testsupport::ClockScope clock(QDateTime(QDate(2024, 3, 2), QTime(10, 1)));
        MainWindowFixture f;
        QCOMPARE(testsupport::layoutChanges(f.w.get(), QStringLiteral("entry/layouts/frmMain.txt")), QString());
        const frmMain::Controls &ui = f.ui();
        // What is typed stays as typed: "1" in the hertz is not completed to "105".
        for (QComboBox *box : {ui.cmbBande, ui.cmbHz, ui.cmbQRZ1}) {
            box->setEnabled(true);
            box->setFocus();
            QTest::keyClicks(box, box == ui.cmbHz ? "1" : "L");
            QCOMPARE(box->currentText(), box == ui.cmbHz ? "1" : "L");
        }
        // (a folder of the test's own, so that two runs at once do not meet)
        QTemporaryDir folder(QStringLiteral("/tmp/sequanel-XXXXXX"));
        const QString base = folder.path() + '/';
        QVERIFY(folder.isValid() && base.size() < 25);
        for (const int size : {30, 31}) {
            const QString path = base + QString(size - base.size() - 4, 'a') + ".adb";
            testsupport::makeLogFile(path);
            f.prompts.queuedFiles << path;
            f.ui().mnuOuvrir->trigger();
            const QString shown = size == 30 ? path : path.left(3) + "..." + path.right(24);
            QCOMPARE(f.w->windowTitle(), QStringLiteral("Sequanel (Saisie des contacts) [%1]").arg(shown));
        }
    }

    // The clock panel shows the time without a zone name; Alt+S opens the
    // time-zone menu rather than deleting a contact. The orientation window
    // opens once, from the menu or the toolbar; each zone opens a clock of
    // its own (their times are the clock tests'); help opens on its contents;
    // Quit closes every window without asking.
    void windowsOfTheMenusAndQuit()
    {
        testsupport::ClockScope clock(QDateTime(QDate(2024, 7, 14), QTime(14, 5, 9)));
        MainWindowFixture f(2);
        QTRY_COMPARE_WITH_TIMEOUT(f.ui().StatusPanels[1]->text(), QStringLiteral("14:05:09"), 2500);
        QTest::keyClick(f.w.get(), Qt::Key_S, Qt::AltModifier);
        QTRY_VERIFY(f.ui().mnuHeure->isVisible());
        f.ui().mnuHeure->close();
        for (int button : {5, 6}) // Orientation, Statistiques
            QTest::mouseClick(f.ui().Toolbar1->widgetForAction(f.ui().Toolbar1Buttons[button]), Qt::LeftButton);
        QCOMPARE(std::pair(visibleTopLevels("frmOrientation"), visibleTopLevels("frmStatistiques")), std::pair(1, 1));
        for (QWidget *t : QApplication::topLevelWidgets())
            if (t->inherits("frmOrientation"))
                t->close();
        f.ui().mnuOrientation->trigger();
        QCOMPARE(visibleTopLevels("frmOrientation"), 1);
        for (QAction *a : f.ui().mnuH)
            a->trigger();
        f.ui().mnuH[11]->trigger(); // the same zone twice: two windows
        QCOMPARE(visibleTopLevels("frmFuseau"), 25);
        f.ui().mnuHelp->trigger();
        auto *browser = f.w->findChild<QTextBrowser *>(QStringLiteral("helpBrowser"));
        QVERIFY(browser && browser->window()->isVisible());
        // Every control of every window open carries its name, lies in its
        // window, clear of the others.
        QStringList unnamed;
        for (QWidget *t : QApplication::topLevelWidgets())
            unnamed << testsupport::unnamedControls(t) << (t->isVisible() ? testsupport::misplacedControls(t) : QStringList());
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join('\n')));
        f.ui().mnuQuitter->trigger();
        QVERIFY(f.prompts.messages.isEmpty());
        QTRY_COMPARE(visibleTopLevels("QWidget"), 0);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
