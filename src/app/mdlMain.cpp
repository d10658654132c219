#include "mdlMain.h"

#include "ProgramFolder.h"
#include "frmMain.h"
#include "frmSplash.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>

namespace mdlMain {

frmMain *Main(std::chrono::milliseconds splashTime)
{
    auto *main = new frmMain;
    main->setAttribute(Qt::WA_DeleteOnClose);

    // The wait is measured on a monotonic clock: it lasts the same whatever
    // the time of day, midnight included.
    QElapsedTimer start;
    start.start();

    {
        frmSplash splash;
        splash.Splash->setVisible(false);
        splash.setWindowFlag(Qt::WindowStaysOnTopHint, true);
        splash.show();
        splash.raise();
        splash.repaint();
        QApplication::processEvents();

        // The splash stays as painted and the program takes no input
        // meanwhile; only the window system's own requests (expose, paint)
        // are served so that the splash does not turn blank.
        while (start.elapsed() < splashTime.count()) {
            QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            QThread::msleep(10);
        }
        splash.close();
    }

    QDir::setCurrent(platform::programFolder());
    main->show();
    main->repaint();
    return main;
}

} // namespace mdlMain
