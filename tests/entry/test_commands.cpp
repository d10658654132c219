// Commands of the main window: toolbar, shortcuts, access keys, Quit, help,
// About, the status-bar hints and the clock panel.
#include "MainWindowFixture.h"

#include "frmFuseau.h"
#include "frmOrientation.h"
#include "frmSplash.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>

namespace {

int visibleTopLevels(const QString &className)
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->inherits(qPrintable(className)))
            ++n;
    return n;
}

void moveOver(QWidget *w, QPoint pos = QPoint(3, 3))
{
    QMouseEvent e(QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Runs fn once the next modal dialog is on screen.
void whenModal(std::function<void(QWidget *)> fn)
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, fn] {
        if (QWidget *m = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            fn(m);
        }
    });
    timer->start();
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT
private slots:
    void toolbarAndShortcutsRunTheMenuCommands();
    void nothingRunsWhileDisabled();
    void printCommandRefusesAnEmptyFile();
    void orientationIsSingle();
    void everyZoneOpensItsClock();
    void quitClosesEveryWindow();
    void hints();
    void clockPanelTicksUnderTheAboutBox();
    void help();
    void accessKeys();
};

void TestCommands::toolbarAndShortcutsRunTheMenuCommands()
{
    MainWindowFixture f;
    frmMain &w = *f.w;
    struct Case {
        std::function<void()> run;
        QString title; // file dialog title expected
    };
    const QList<Case> cases{
        {[&] { w.mnuNouveau->trigger(); }, QStringLiteral("Création d'un fichier ")},
        {[&] { w.Toolbar1_ButtonClick(w.Toolbar1Buttons[0]); }, QStringLiteral("Création d'un fichier ")},
        {[&] { QTest::keyClick(&w, Qt::Key_N, Qt::ControlModifier); }, QStringLiteral("Création d'un fichier ")},
        {[&] { w.mnuOuvrir->trigger(); }, QStringLiteral("Ouvrir")},
        {[&] { w.Toolbar1_ButtonClick(w.Toolbar1Buttons[1]); }, QStringLiteral("Ouvrir")},
        {[&] { QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier); }, QStringLiteral("Ouvrir")},
    };
    for (const Case &c : cases) {
        f.prompts.clear();
        c.run();
        QCOMPARE(f.prompts.fileRequests.size(), 1);
        QCOMPARE(f.prompts.fileRequests[0].title, c.title);
    }
    // A real click on the toolbar button reaches the same command.
    f.prompts.clear();
    QWidget *button = w.Toolbar1->widgetForAction(w.Toolbar1Buttons[1]);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(f.prompts.fileRequests.size(), 1);
    // A key that matches no command does nothing.
    f.prompts.clear();
    QAction stray;
    stray.setProperty("Key", QStringLiteral("ouvrir"));
    w.Toolbar1_ButtonClick(&stray);
    w.Toolbar1_ButtonClick(w.Toolbar1Buttons[2]); // a separator
    QVERIFY(f.prompts.fileRequests.isEmpty() && f.prompts.messages.isEmpty());
    QCOMPARE(visibleTopLevels(QStringLiteral("frmOrientation")), 0);
}

void TestCommands::nothingRunsWhileDisabled()
{
    MainWindowFixture f;
    QTest::keyClick(f.w.get(), Qt::Key_I, Qt::ControlModifier);
    f.w->mnuImprimer->trigger();
    QTest::mouseClick(f.w->Toolbar1->widgetForAction(f.w->Toolbar1Buttons[3]), Qt::LeftButton);
    QVERIFY(f.prompts.messages.isEmpty());
    QCOMPARE(visibleTopLevels(QStringLiteral("frmListe")), 0);
}

void TestCommands::printCommandRefusesAnEmptyFile()
{
    MainWindowFixture f;
    f.openWith(QStringLiteral("vide.adb"), 0);
    for (auto run : std::initializer_list<std::function<void()>>{
             [&] { f.w->mnuImprimer->trigger(); },
             [&] { QTest::keyClick(f.w.get(), Qt::Key_I, Qt::ControlModifier); },
             [&] { f.w->Toolbar1_ButtonClick(f.w->Toolbar1Buttons[3]); }}) {
        f.prompts.clear();
        run();
        QCOMPARE(f.prompts.messages.size(), 1);
        QCOMPARE(f.prompts.messages[0].text,
                 QStringLiteral("Le fichier courant ne possède aucun enregistrement à imprimer"));
        QCOMPARE(f.prompts.messages[0].icon, platform::MessageIcon::Warning);
    }
    // With a contact the grid window opens modally; "Fermer" brings us back.
    f.openWith(QStringLiteral("un.adb"), 1);
    f.prompts.clear();
    bool seen = false;
    whenModal([&](QWidget *m) {
        seen = m->objectName() == QLatin1String("frmListe") || m->inherits("frmListe");
        m->close();
    });
    QTest::keyClick(f.w.get(), Qt::Key_I, Qt::ControlModifier);
    QVERIFY(seen);
    QVERIFY(f.prompts.messages.isEmpty());
}

void TestCommands::orientationIsSingle()
{
    MainWindowFixture f;
    f.w->mnuOrientation->trigger();
    f.w->Toolbar1_ButtonClick(f.w->Toolbar1Buttons[5]);
    f.w->mnuOrientation->trigger();
    QCOMPARE(visibleTopLevels(QStringLiteral("frmOrientation")), 1);
    frmOrientation::instance()->close();
    QTRY_COMPARE(visibleTopLevels(QStringLiteral("frmOrientation")), 0);
}

void TestCommands::everyZoneOpensItsClock()
{
    MainWindowFixture f;
    for (int i = 1; i <= 24; ++i)
        f.w->mnuH[i - 1]->trigger();
    f.w->mnuH[11]->trigger(); // the same zone twice: two windows
    QCOMPARE(visibleTopLevels(QStringLiteral("frmFuseau")), 25);
    QStringList infos;
    for (QWidget *t : QApplication::topLevelWidgets())
        if (auto *c = qobject_cast<frmFuseau *>(t); c && c->isVisible())
            infos << c->lblInfo->text();
    for (QAction *a : f.w->mnuH)
        QVERIFY2(infos.contains(a->text()), qPrintable(a->text()));
    for (QWidget *t : QApplication::topLevelWidgets())
        if (qobject_cast<frmFuseau *>(t))
            t->close();
    QTRY_COMPARE(visibleTopLevels(QStringLiteral("frmFuseau")), 0);
}

void TestCommands::quitClosesEveryWindow()
{
    MainWindowFixture f;
    f.w->mnuOrientation->trigger();
    f.w->mnuH[0]->trigger();
    f.w->mnuH[23]->trigger();
    QCOMPARE(visibleTopLevels(QStringLiteral("frmFuseau")), 2);
    f.w->mnuQuitter->trigger();
    QVERIFY(f.prompts.messages.isEmpty());
    QTRY_COMPARE(visibleTopLevels(QStringLiteral("QWidget")), 0);
}

void TestCommands::hints()
{
    MainWindowFixture f;
    f.openWith(QStringLiteral("h.adb"), 3);
    QLabel *panel = f.w->StatusPanels[0];
    QCOMPARE(panel->text(), QString());
    moveOver(f.w->cmdSuivant);
    QCOMPARE(panel->text(), QStringLiteral("Enregistrement suivant"));
    moveOver(f.w->txtVille); // another control keeps the hint
    QCOMPARE(panel->text(), QStringLiteral("Enregistrement suivant"));
    moveOver(f.w->lblVille);
    QCOMPARE(panel->text(), QStringLiteral("Enregistrement suivant"));
    moveOver(f.w->centralWidget(), QPoint(10, 200)); // the bare surface empties it
    QCOMPARE(panel->text(), QString());
    moveOver(f.w->cmdPrécédent);
    QCOMPARE(panel->text(), QStringLiteral("Enregistrement précédent"));
}

void TestCommands::clockPanelTicksUnderTheAboutBox()
{
    QDateTime now(QDate(2024, 7, 14), QTime(14, 5, 9));
    testsupport::ClockScope clock(now);
    MainWindowFixture f;
    QLabel *panel = f.w->StatusPanels[1];
    QCOMPARE(panel->text(), QString()); // empty until the first tick
    QTRY_COMPARE_WITH_TIMEOUT(panel->text(), QStringLiteral("14:05:09"), 2500);
    QVERIFY(!panel->text().contains(QLatin1Char('C'))); // no time-zone name

    QStringList seenWhileModal;
    bool okVisible = false, onTop = true;
    whenModal([&](QWidget *m) {
        auto *about = qobject_cast<frmSplash *>(m);
        okVisible = about && about->Splash->isVisible();
        onTop = m->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        clock.set(now.addSecs(1));
        QTimer::singleShot(1300, m, [&, m] {
            seenWhileModal << panel->text();
            qobject_cast<frmSplash *>(m)->Splash->click();
        });
    });
    f.w->mnuAPropos->trigger();
    QVERIFY(okVisible);
    QVERIFY(!onTop);
    QCOMPARE(seenWhileModal, QStringList{QStringLiteral("14:05:10")});
}

void TestCommands::help()
{
    MainWindowFixture f;
    f.w->mnuHelp->trigger();
    auto *browser = f.w->findChild<QTextBrowser *>(QStringLiteral("helpBrowser"));
    QVERIFY(browser);
    QVERIFY(browser->window()->isVisible());
    QVERIFY(browser->source().toString().endsWith(QStringLiteral("help/index.html")));
    QVERIFY(f.prompts.messages.isEmpty());
    browser->window()->close();

    // Without its help book the program says so and goes on.
    const QString book = QCoreApplication::applicationDirPath() + QStringLiteral("/help");
    const QString moved = book + QStringLiteral("-moved");
    QVERIFY(QDir().rename(book, moved));
    f.w->mnuHelp->trigger();
    QDir().rename(moved, book);
    QCOMPARE(f.prompts.messages.size(), 1);
    QVERIFY(f.prompts.messages[0].text.contains(QStringLiteral("index.html")));
}

void TestCommands::accessKeys()
{
    MainWindowFixture f;
    f.openWith(QStringLiteral("k.adb"), 2);
    // Alt+S opens the time-zone menu rather than deleting a contact.
    QTest::keyClick(f.w.get(), Qt::Key_S, Qt::AltModifier);
    QTRY_VERIFY(f.w->mnuHeure->isVisible());
    f.w->mnuHeure->close();
    QCOMPARE(testsupport::readRows(f.path(QStringLiteral("k.adb"))).size(), 2);
    QCOMPARE(f.w->cmdSupprimer->text(), QStringLiteral("&Supprimer"));

    // No access key of the window is taken twice, in any editing state.
    auto keys = [&] {
        QStringList k;
        for (QAction *a : f.w->menuBar()->actions())
            k << QKeySequence::mnemonic(a->text()).toString();
        for (QPushButton *b : f.w->centralWidget()->findChildren<QPushButton *>())
            if (!b->shortcut().isEmpty())
                k << b->shortcut().toString();
        return k;
    };
    for (int state = 0; state < 3; ++state) {
        if (state == 1)
            f.w->cmdNouveau->click();
        if (state == 2) {
            f.w->cmdSupprimer->click();
            f.w->cmdModifier->click();
        }
        const QStringList k = keys();
        QCOMPARE(QSet<QString>(k.begin(), k.end()).size(), k.size());
    }
}

QTEST_MAIN(TestCommands)
#include "test_commands.moc"
