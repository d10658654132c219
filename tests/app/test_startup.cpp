// Start-up: the splash on top with no "OK" button, then the main window, with the program's folder as the
// current folder.
#include "frmMain.h"
#include "frmSplash.h"
#include "mdlMain.h"

#include <QDir>
#include <QTest>
#include <QTimer>

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void splashThenMainWindow()
    {
        QDir::setCurrent(QDir::tempPath());
        bool splashSeen = false, onTop = false, okHidden = false;
        QTimer probe;
        probe.setInterval(50);
        connect(&probe, &QTimer::timeout, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *s = qobject_cast<frmSplash *>(w);
                if (s && s->isVisible() && !splashSeen) {
                    splashSeen = true;
                    onTop = s->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
                    okHidden = !s->Splash->isVisible();
                }
            }
        });
        probe.start();
        frmMain *main = mdlMain::Main(std::chrono::milliseconds(600));
        probe.stop();
        QVERIFY(splashSeen && onTop && okHidden);
        QVERIFY(main->isVisible());
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<frmSplash *>(w) || !w->isVisible());
        QCOMPARE(QDir::currentPath(), QCoreApplication::applicationDirPath());
        main->close();
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
