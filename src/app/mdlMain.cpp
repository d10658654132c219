#include "mdlMain.h"

#include "Engine.h"
#include "ProgramFolder.h"
#include "Style.h"
#include "frmMain.h"
#include "frmSplash.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <QThread>
#include <QTranslator>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace mdlMain {

namespace {
// The window whose entry is settled when the desktop ends the program.
QPointer<frmMain> g_main;
// A signal handler may do next to nothing: it writes a byte into this pipe,
// and the event loop, woken by it, does the work.
int g_wakeUp[2] = {-1, -1};

extern "C" void onEndSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_wakeUp[1], &byte, 1);
    errno = saved;
}

// A request to quit closes every window, which would ask about an entry
// that cannot be stored: the entry is settled first, without a question.
class QuitWatch : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == qApp && event->type() == QEvent::Quit && g_main)
            g_main->endSession();
        return false;
    }
};

void onSignalled()
{
    char bytes[16];
    while (::read(g_wakeUp[0], bytes, sizeof bytes) > 0) {
    }
    if (g_main) {
        g_main->endSession();
        g_main->close();
    }
    // Every event loop ends, those of an open dialog or question included.
    QCoreApplication::exit(0);
}
} // namespace

void endWithTheDesktop(frmMain *main)
{
    g_main = main;
    if (g_wakeUp[0] >= 0 || ::pipe2(g_wakeUp, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_wakeUp[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, &onSignalled);
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);

    qApp->installEventFilter(new QuitWatch(qApp));
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, [] {
        if (g_main)
            g_main->endSession();
    });
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, qApp, [](QSessionManager &) {
        // The session may yet go on: an entry that cannot be stored stays.
        if (g_main)
            g_main->storePendingEntry(true);
    });
}

void setUpApplication(QApplication &app)
{
    frmSplash::drawPicturesAhead(); // (while the rest is set up and the splash built)
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setApplicationName(QStringLiteral("Sequanel"));
    QApplication::setApplicationVersion(platform::programVersion());
    QApplication::setWindowIcon(platform::programIcon(QStringLiteral("sequanel.svg")));
    auto *qtFrench = new QTranslator(&app);
    if (qtFrench->load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qtFrench);
}

frmMain *Main(std::chrono::milliseconds splashTime, const QString &log)
{
    const QString given = log.isEmpty() || platform::isServerAddress(log) ? log : QFileInfo(log).absoluteFilePath();

    // The wait is measured on a monotonic clock: it lasts the same whatever
    // the time of day, midnight included.
    QElapsedTimer start;
    start.start();

    frmMain *main = nullptr;
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
        // The main window is built while the splash shows (it takes longer
        // than painting the splash), hidden until the splash is gone.
        main = new frmMain;
        main->setAttribute(Qt::WA_DeleteOnClose);

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
    endWithTheDesktop(main);
    if (!given.isEmpty())
        main->openLog(given);
    return main;
}

} // namespace mdlMain
