// Two stations on one shared log of a private server, photographed while
// the server is away and once it is back: the whole screen, and each
// window's status bar. For looking at them, under a virtual X server:
//   xvfb-run -a build/bin/sequanel-shots-partage OUTPUT_FOLDER
#include "Engine.h"
#include "LogFile.h"
#include "PgServer.h"
#include "Prompts.h"
#include "frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTimer>

namespace {

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Waits until every window's link panel says what starts with text.
bool until(const QList<frmMain *> &windows, const QString &text)
{
    for (QDeadlineTimer end(30000); !end.hasExpired(); wait(100))
        if (std::all_of(windows.begin(), windows.end(),
                        [&](frmMain *w) { return w->controls().lblLiaison->text().startsWith(text); }))
            return true;
    return false;
}

void shoot(const QList<frmMain *> &windows, const QString &folder, const QString &name)
{
    wait(300);
    QGuiApplication::primaryScreen()->grabWindow(0).save(folder + '/' + name + ".png");
    for (int i = 0; i < windows.size(); ++i)
        windows[i]->controls().StatusBar1->grab().save(QStringLiteral("%1/%2-barre-%3.png").arg(folder, name).arg(i + 1));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    platform::Responder quiet; // messages answered, not shown: the status bars are the subject
    quiet.message = [](const platform::MessageRequest &) { return platform::Answer::Ok; };
    quiet.beep = [] {};
    platform::setResponder(quiet);
    testsupport::PgServer server;
    const QString address = server.address(QStringLiteral("club"));
    if (!server.isRunning() || !logfile::createEmpty(address, nullptr))
        return 1;
    frmMain a, b;
    const QList<frmMain *> windows{&a, &b};
    for (int i = 0; i < 2; ++i) {
        windows[i]->move(10 + i * (windows[i]->width() + 20), 10);
        windows[i]->show();
        if (!windows[i]->ChargerFichier(address))
            return 1;
    }
    // A contact stored by each, then one being typed in the second.
    for (frmMain *w : windows)
        for (int k = 0; k < 2; ++k) {
            w->controls().cmdNouveau->click();
            for (auto [edit, text] : {std::pair{w->controls().txtRST, "59"}, {w->controls().txtPréfixeQRZ, "14"},
                                      {w->controls().txtNrQRZ, "12"}, {w->controls().txtVille, "Lyon"}})
                edit->setText(QString::fromUtf8(text));
            for (QComboBox *c : {w->controls().cmbMHz, w->controls().cmbHz})
                c->setEditText(QStringLiteral("27"));
            if (w == &a || k == 0)
                w->controls().cmdNouveau->click();
        }
    server.stop();
    if (!until(windows, QStringLiteral("Serveur injoignable")))
        return 2;
    b.controls().cmdNouveau->click(); // Valider while the server is away
    shoot(windows, folder, QStringLiteral("partage-coupure"));
    server.start();
    if (!until(windows, QStringLiteral("Reconnecté")))
        return 3;
    shoot(windows, folder, QStringLiteral("partage-reconnecte"));
    return 0;
}
