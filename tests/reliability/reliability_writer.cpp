// Helper program of the crash test and of the shared log's stations:
// `reliability_writer <log>` opens the log in the real main window and stores
// contacts one after another through its store path, writing each serial
// number to stdout as soon as the store has returned.
#include "Reliability.h"
#include "Messages.h"
#include "TestSupport.h"

#include <QApplication>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    testsupport::PromptRecorder prompts;
    // A number taken by another station meanwhile is told, and the contact stored.
    prompts.onMessage = [](const platform::MessageRequest &m) {
        if (m.text.startsWith(msg::serialTaken().section(QLatin1Char('%'), 0, 0)))
            return;
        std::fprintf(stderr, "message: %s\n", qPrintable(m.text));
        std::exit(3);
    };

    frmMain w;
    if (!w.ChargerFichier(QString::fromLocal8Bit(argv[1])))
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
