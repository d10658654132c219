// Helper program of the reliability tests.
//   reliability_writer store <file>  opens the log file in the real main window
//       and stores contacts one after another through its store path, writing
//       each serial number to stdout as soon as the store has returned.
//   reliability_writer lock <file>   holds the file under an exclusive lock
//       until its standard input closes.
#include "Engine.h"
#include "Prompts.h"
#include "Regional.h"
#include "Reliability.h"

#include <QApplication>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

static int holdLock(const QString &path)
{
    platform::EngineError e;
    auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, &e);
    if (!c || !c->exec("BEGIN EXCLUSIVE")) {
        std::fprintf(stderr, "cannot lock %s\n", qPrintable(path));
        return 2;
    }
    std::printf("locked\n");
    std::fflush(stdout);
    char buf[64];
    while (::read(0, buf, sizeof buf) > 0) {
    }
    return 0;
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString path = QString::fromLocal8Bit(argv[2]);
    if (mode == QLatin1String("lock"))
        return holdLock(path);

    platform::Responder r;
    r.message = [](const platform::MessageRequest &m) {
        std::fprintf(stderr, "message: %s\n", qPrintable(m.text));
        std::exit(3);
        return platform::Answer::Ok;
    };
    r.beep = [] {};
    platform::setResponder(r);

    frmMain w;
    if (!w.ChargerFichier(path))
        return 4;
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        w.controls().cmdNouveau->click();
        const int n = w.controls().txtNrSequanel->text().toInt();
        reliability::type(w, n);
        w.controls().cmdNouveau->click(); // Valider: the store
        if (w.controls().cmdNouveau->text() != QLatin1String("&Nouveau"))
            return 5;
        std::printf("%d\n", n);
        std::fflush(stdout);
    }
}
