// Helper program of the crash test and of the shared log's stations:
// `reliability_writer <log>` opens the log in the real main window and stores
// contacts one after another through its store path, writing each serial
// number to stdout as soon as the store has returned.
// `reliability_writer <log> <station> <count>` is one station of several:
// it stores contacts 1..count (reliability::stationContact), each written
// to stdout once stored, as an operator does: when the server does not
// answer, the entry stays on screen and "Valider" is pressed again.
#include "Reliability.h"
#include "Messages.h"
#include "TestSupport.h"

#include <QApplication>
#include <QPushButton>
#include <QThread>
#include <cstdio>
#include <cstdlib>

namespace {
bool adding(const frmMain &w) { return w.controls().cmdNouveau->text() == QLatin1String("&Valider"); }

void waitABit()
{
    QThread::msleep(100);
    QCoreApplication::processEvents();
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2 && argc != 4)
        return 2;
    const bool station = argc == 4;
    testsupport::PromptRecorder prompts;
    // A station is told when the server does not answer, or answered too late.
    prompts.onMessage = [station](const platform::MessageRequest &m) {
        if (station && (m.text.contains(msg::serverUnreachable()) || m.text == msg::contactMaybeStored()))
            return;
        std::fprintf(stderr, "message: %s\n", qPrintable(m.text));
        std::exit(3);
    };

    frmMain w;
    if (!w.ChargerFichier(QString::fromLocal8Bit(argv[1])))
        return 4;
    std::printf("ready\n");
    std::fflush(stdout);
    if (station) {
        const int s = std::atoi(argv[2]), count = std::atoi(argv[3]);
        for (int i = 1; i <= count; ++i) {
            // "Nouveau" until a number is proposed (none while the server is away).
            for (;;) {
                w.controls().cmdNouveau->click();
                if (adding(w) && !w.controls().txtNrSequanel->text().isEmpty())
                    break;
                if (adding(w))
                    w.controls().cmdSupprimer->click(); // Annuler
                waitABit();
            }
            reliability::typeStation(w, s, i);
            const QStringList typed = reliability::shown(w);
            for (w.controls().cmdNouveau->click(); adding(w); w.controls().cmdNouveau->click()) {
                if (reliability::shown(w) != typed)
                    return 6; // the entry was not kept as typed
                waitABit();
            }
            std::printf("%d\n", i);
            std::fflush(stdout);
        }
        return 0;
    }
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
