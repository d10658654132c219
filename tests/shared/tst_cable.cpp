// Two windows store into a shared log whose server stands behind a cable
// of the test's own (support/Cable: a network namespace, a veth pair),
// which is pulled for 30 s, then plugged in again. Every contact is stored
// once, none twice, the serial numbers stay apart, and the windows' thread
// never made a connection meanwhile (counted, not timed). Root only.
#include "../entry/MainWindowFixture.h"
#include "Cable.h"
#include "Engine.h"
#include "LogFile.h"
#include "PgServer.h"

#include <QDeadlineTimer>
#include <QThread>

class TestCable : public QObject
{
    Q_OBJECT

private slots:
    void cablePulled()
    {
        testsupport::Cable cable;
        if (!cable.isReady())
            QSKIP(qPrintable("no cable of the test's own: " + cable.error()));
        testsupport::PgServer server({false, cable.inside(), false, {}, cable.netns(), {"host all all 198.18.0.0/15 trust"}});
        QVERIFY2(server.isRunning(), qPrintable(server.error()));
        QVERIFY(logfile::createEmpty(server.address("cable"), nullptr));
        auto db = platform::Connection::open(server.address("cable"), platform::OpenMode::ReadOnly, nullptr);
        MainWindowFixture a, b;
        MainWindowFixture *windows[] = {&a, &b};
        for (MainWindowFixture *f : windows)
            QVERIFY(f->w->ChargerFichier(server.address("cable", cable.inside())));
        const int made = platform::serverConnectionsMade(QThread::currentThread());
        // Each window stores contacts one after the other, its town telling
        // them apart, pressing Valider again while one is not stored.
        int next = 0;
        QStringList typed;
        auto work = [&](MainWindowFixture &f) {
            const frmMain::Controls &ui = f.ui();
            if (ui.cmdNouveau->text() == "&Nouveau") {
                ui.cmdNouveau->click();
                f.fill();
                ui.txtVille->setText(typed.emplace_back(QStringLiteral("C%1").arg(++next)));
            }
            ui.cmdNouveau->click();
        };
        auto runFor = [&](int ms) {
            for (QDeadlineTimer end(ms); !end.hasExpired(); QTest::qWait(200))
                for (MainWindowFixture *f : windows)
                    work(*f);
        };
        runFor(2000);
        QVERIFY(cable.plug(false));
        runFor(30000);
        QVERIFY(cable.plug(true));
        for (QDeadlineTimer end(60000); !end.hasExpired() && (a.ui().cmdNouveau->text() != "&Nouveau"
                                                               || b.ui().cmdNouveau->text() != "&Nouveau");) {
            QTest::qWait(200);
            for (MainWindowFixture *f : windows)
                if (f->ui().cmdNouveau->text() != "&Nouveau")
                    f->ui().cmdNouveau->click();
        }
        QCOMPARE(a.ui().cmdNouveau->text() + b.ui().cmdNouveau->text(), QStringLiteral("&Nouveau&Nouveau"));
        const QVariantList stored = db->rows("SELECT count(*), count(DISTINCT \"Ville\"), count(DISTINCT \"Sequanel\") "
                                             "FROM \"Transmission\"").value(0);
        const qlonglong n = typed.size();
        QCOMPARE(stored, (QVariantList{n, n, n}));
        QCOMPARE(platform::serverConnectionsMade(QThread::currentThread()), made);
        qInfo("%lld contacts typed, each stored once", n);
    }
};

QTEST_MAIN(TestCable)
#include "tst_cable.moc"
