#include "mdlMain.h"

#include "ProgramFolder.h"
#include "Style.h"
#include "frmMain.h"
#include "frmSplash.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QLocale>
#include <QPushButton>
#include <QStyleFactory>
#include <QThread>
#include <QTranslator>

namespace mdlMain {

void setUpApplication(QApplication &app)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setApplicationName(QStringLiteral("Sequanel"));
    QApplication::setWindowIcon(platform::programIcon(QStringLiteral("sequanel.svg")));
    auto *qtFrench = new QTranslator(&app);
    if (qtFrench->load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qtFrench);
}

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
        // (a change of flags makes Qt place the window by its frame: the
        // client area is put back where it was)
        const QRect placed = splash.geometry();
        splash.setWindowFlag(Qt::WindowStaysOnTopHint, true);
        splash.setGeometry(placed);
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
