// Start-up: the splash on top for its time with no "OK" button, then the main
// window in the program's folder.
#include "frmMain.h"
#include "frmSplash.h"
#include "mdlMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void splashThenMainWindow();
    void aboutBoxIsBuiltAfresh();
};

void TestStartup::splashThenMainWindow()
{
    QDir::setCurrent(QDir::tempPath());
    bool splashSeen = false, onTop = false, okHidden = false, mainHidden = false;
    QTimer probe;
    probe.setInterval(50);
    connect(&probe, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *s = qobject_cast<frmSplash *>(w);
            if (s && s->isVisible() && !splashSeen) {
                splashSeen = true;
                onTop = s->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
                okHidden = !s->Splash->isVisible();
                for (QWidget *m : QApplication::topLevelWidgets())
                    if (qobject_cast<frmMain *>(m))
                        mainHidden = !m->isVisible();
            }
        }
    });
    probe.start();
    QElapsedTimer t;
    t.start();
    frmMain *main = mdlMain::Main(std::chrono::milliseconds(600));
    probe.stop();
    QVERIFY(t.elapsed() >= 600);
    QVERIFY(splashSeen);
    QVERIFY(onTop);
    QVERIFY(okHidden);
    QVERIFY(mainHidden);
    QVERIFY(main->isVisible());
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<frmSplash *>(w) || !w->isVisible());
    QCOMPARE(QDir::currentPath(), QCoreApplication::applicationDirPath());
    QCOMPARE(main->windowTitle(), QStringLiteral("Saisie des contacts"));
    main->close();
}

void TestStartup::aboutBoxIsBuiltAfresh()
{
    frmMain main;
    for (int round = 0; round < 2; ++round) {
        bool ok = false;
        QTimer::singleShot(100, [&] {
            auto *about = qobject_cast<frmSplash *>(QApplication::activeModalWidget());
            ok = about && about->Splash->isVisible() && about->Splash->text() == QLatin1String("OK");
            if (about)
                QTest::mouseClick(about->Splash, Qt::LeftButton);
        });
        main.mnuAPropos_Click();
        QVERIFY(ok);
    }
}

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
