// Child process of the start-up benchmark: the program's own start-up
// (the same steps as the program's main(), then mdlMain::Main) with the
// splash time set to zero, reporting on standard output the monotonic time at
// which the splash window's first paint ended.
//
//   sequanel_bench_startup           the program's start-up
//   sequanel_bench_startup --bare    reference: a bare Qt widget shown and painted
#include "frmMain.h"
#include "mdlMain.h"

#include <QApplication>
#include <QStyleFactory>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <time.h>

namespace {

long long monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// Sees every paint event of the process. The splash's first paint has ended
// when the first paint of a widget outside the splash comes (the main window,
// shown right after the splash closes); the time kept is the end of the last
// splash paint event before it.
class PaintSpy : public QObject
{
public:
    QWidget *splashWindow = nullptr;
    long long lastSplashPaint = 0;
    bool done = false;

    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Paint && !done && o->isWidgetType()) {
            QWidget *w = static_cast<QWidget *>(o)->window();
            if (w->objectName() == QLatin1String("frmSplash")) {
                // Let the widget paint, then note the time.
                o->removeEventFilter(this);
                qApp->removeEventFilter(this);
                const bool r = o->event(e);
                lastSplashPaint = monotonicNs();
                qApp->installEventFilter(this);
                return r || true;
            }
            if (lastSplashPaint)
                done = true;
        }
        return false;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    const bool bare = argc > 1 && std::strcmp(argv[1], "--bare") == 0;
    QApplication app(argc, argv);

    if (bare) {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QWidget w;
        w.resize(443, 416);
        w.show();
        w.repaint();
        std::printf("painted %lld\n", monotonicNs());
        std::fflush(stdout);
        std::_Exit(0);
    }

    // The program's main().
    mdlMain::setUpApplication(app);

    PaintSpy spy;
    app.installEventFilter(&spy);
    mdlMain::Main(std::chrono::milliseconds(0));
    std::printf("painted %lld\n", spy.lastSplashPaint);
    std::fflush(stdout);
    std::_Exit(0);
}
