// The main window on a shared log reached through a relay of the test's own
// on loopback, which cuts the window's connection after exactly N bytes,
// in either direction, for every N of the exchange of one addition, one
// change and one deletion, or stops passing bytes on without closing (a
// silent peer) at a few places. After each: the journal holds the change
// once or not at all, the window says which (never "done" when it was not),
// what it did not do stays on screen, one more click does it exactly once,
// and the serial numbers stay apart; while a silent server is waited for,
// the window's events go on. Prints the table of outcomes.
#include "../entry/MainWindowFixture.h"
#include "Engine.h"
#include "Listing.h"
#include "LogFile.h"
#include "PgServer.h"
#include "PrintSurface.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QMutex>
#include <QThread>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

// TCP on loopback to the server's Unix socket. The window's connections
// (application_name "sequanel", or the program given, read from their first
// message) count what they pass once armed; when the limit of the armed
// direction is passed, the relay cuts them, or stalls: passes nothing more,
// and closes when the program does.
class Relay
{
public:
    enum Direction { Up, Down }; // to the server, to the program
    explicit Relay(const QString &socket, const QByteArray &program = "sequanel")
        : m_socket(socket.toUtf8()), m_program(QByteArray("application_name\0", 17) + program + '\0')
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::bind(m_listen, reinterpret_cast<sockaddr *>(&a), n) != 0 || ::listen(m_listen, 16) != 0
            || ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &n) != 0 || ::pipe(m_stop) != 0)
            return;
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~Relay()
    {
        (void)!::write(m_stop[1], "x", 1);
        if (m_thread.joinable())
            m_thread.join();
        for (Pipe &p : m_pipes)
            close(p);
        for (int fd : {m_listen, m_stop[0], m_stop[1]})
            ::close(fd);
    }
    int port() const { return m_port; }
    void arm(Direction d, qint64 limit, bool stall = false)
    {
        QMutexLocker locked(&m_lock);
        m_passed[Up] = m_passed[Down] = 0;
        m_armed = true;
        m_direction = d;
        m_limit = limit;
        m_stall = stall;
    }
    qint64 passed(Direction d)
    {
        QMutexLocker locked(&m_lock);
        return m_passed[d];
    }
    // The window's connections the relay has seen.
    int windowConnections() const { return m_windows; }
    // What the window's connection sends next is kept from the server, and
    // no answer reaches the window, until deliver() gives the server what
    // was kept, late; held() counts the sessions so kept still open.
    void hold()
    {
        QMutexLocker locked(&m_lock);
        m_holding = true;
    }
    void deliver() { m_deliver = true; }
    int held() const { return m_held; }

private:
    struct Pipe {
        int fd[2] = {-1, -1}; // the program's side, the server's
        bool window = false, stalled = false, held = false;
        QByteArray startup, kept;
    };
    static void close(Pipe &p)
    {
        for (int &fd : p.fd)
            if (fd >= 0)
                ::close(std::exchange(fd, -1));
    }
    void run()
    {
        for (;;) {
            std::vector<pollfd> fds{{m_stop[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
            for (const Pipe &p : m_pipes)
                for (int fd : p.fd)
                    fds.push_back({fd, POLLIN, 0});
            ::poll(fds.data(), fds.size(), 1);
            if (fds[0].revents)
                return;
            // Only the pipes polled: one accepted now has no entry in fds.
            const size_t polled = m_pipes.size();
            if (fds[1].revents) {
                Pipe p;
                p.fd[0] = ::accept(m_listen, nullptr, nullptr);
                p.fd[1] = ::socket(AF_UNIX, SOCK_STREAM, 0);
                sockaddr_un u{};
                u.sun_family = AF_UNIX;
                qstrncpy(u.sun_path, m_socket.constData(), sizeof u.sun_path);
                if (::connect(p.fd[1], reinterpret_cast<sockaddr *>(&u), sizeof u) == 0)
                    m_pipes.push_back(p);
                else
                    close(p);
            }
            for (size_t i = 0; i < polled; ++i)
                for (int d : {Up, Down})
                    if (fds[2 + 2 * i + d].revents && m_pipes[i].fd[d] >= 0)
                        pass(m_pipes[i], Direction(d));
            int held = 0;
            const bool deliver = m_deliver.exchange(false);
            for (Pipe &p : m_pipes)
                if (p.held && p.fd[1] >= 0) {
                    if (deliver && !p.kept.isEmpty()) {
                        (void)!::send(p.fd[1], p.kept.constData(), size_t(p.kept.size()), MSG_NOSIGNAL);
                        ::shutdown(p.fd[1], SHUT_WR);
                        p.kept.clear();
                    }
                    ++held;
                }
            m_held = held;
            std::erase_if(m_pipes, [](const Pipe &p) { return p.fd[0] < 0 && p.fd[1] < 0; });
        }
    }
    void pass(Pipe &p, Direction d)
    {
        char buffer[65536];
        const ssize_t n = ::read(p.fd[d], buffer, sizeof buffer);
        if (d == Up && n > 0 && p.window && !p.held) {
            QMutexLocker locked(&m_lock);
            p.held = std::exchange(m_holding, false);
        }
        if (p.held) { // the program's side closes alone; the server's, when the session ends
            if (n > 0 && d == Up)
                p.kept.append(buffer, n);
            else if (n <= 0 && d == Up)
                ::close(std::exchange(p.fd[Up], -1));
            else if (n <= 0)
                close(p);
            return;
        }
        if (n <= 0)
            return close(p);
        if (d == Up && p.startup.size() < 4096 && !p.window) {
            p.startup.append(buffer, n);
            p.window = p.startup.contains(m_program);
            m_windows += p.window;
        }
        qint64 through = p.stalled ? 0 : n;
        bool cut = false;
        {
            QMutexLocker locked(&m_lock);
            if (m_armed && p.window && !p.stalled) {
                if (d == m_direction && m_passed[d] + n > m_limit) {
                    through = m_limit - m_passed[d];
                    cut = !m_stall;
                    p.stalled = m_stall;
                    m_armed = false;
                }
                m_passed[d] += through;
            }
        }
        if (through > 0 && ::write(p.fd[1 - d], buffer, size_t(through)) != through)
            cut = true;
        if (cut)
            close(p);
    }

    QByteArray m_socket, m_program;
    int m_listen = -1, m_port = 0, m_stop[2] = {-1, -1};
    std::thread m_thread;
    std::vector<Pipe> m_pipes;
    std::atomic<int> m_windows{0}, m_held{0};
    std::atomic<bool> m_deliver{false};
    QMutex m_lock;
    bool m_armed = false, m_stall = false, m_holding = false;
    Direction m_direction = Up;
    qint64 m_limit = 0, m_passed[2] = {0, 0};
};

} // namespace

class TestRelay : public QObject
{
    Q_OBJECT
    testsupport::PgServer m_server;

    // The window on the journal "name", through relay.
    static bool openThrough(MainWindowFixture &f, const Relay &relay, const char *name)
    {
        QApplication::setDoubleClickInterval(0);
        platform::setServerAnswerTimeout(1500); // a silent server is given up sooner (a busy machine still answers)
        return f.w->ChargerFichier(QStringLiteral("postgresql://sequanel@127.0.0.1:%1/postgres?journal=%2&"
                                                  "sslmode=disable&gssencmode=disable")
                                       .arg(relay.port())
                                       .arg(QLatin1String(name)));
    }

private slots:
    void initTestCase() { QVERIFY2(m_server.isRunning(), qPrintable(m_server.error())); }
    // A store whose answer was lost may still reach the server later: here,
    // after the operator stored the change again and changed the contact
    // since. It must not put the old change back over the newer one. Nor
    // may a lost session keep the station's reserved number. Closed while
    // a store waits for a silent server, the window stays until the store
    // has its answer (its log is in use), then closes.
    void lostSessionsAreEnded()
    {
        QVERIFY(logfile::createEmpty(m_server.address("retard"), nullptr));
        auto db = platform::Connection::open(m_server.address("retard"), platform::OpenMode::ReadWrite, nullptr);
        Relay relay(m_server.socketPath());
        MainWindowFixture f;
        QVERIFY(db && relay.port() > 0 && openThrough(f, relay, "retard"));
        const frmMain::Controls &ui = f.ui();
        ui.cmdNouveau->click();
        f.fill();
        ui.cmdNouveau->click();
        auto change = [&](const QString &town, bool held) {
            ui.cmdModifier->click();
            ui.txtVille->setText(town);
            f.prompts.clear();
            if (held)
                relay.hold();
            ui.cmdModifier->click();
        };
        change("Ancienne", true);
        QVERIFY2(relay.held() == 1 && f.said().value(0).contains("peut-être"), qPrintable(QString::number(relay.held()) + f.said().join("/")));
        // Tried again until a try reaches the server; until then, whether it
        // is stored is not known, and no try says otherwise.
        for (QDeadlineTimer end(30000); ui.cmdModifier->text() != "&Modifier" && !end.hasExpired(); QTest::qWait(10)) {
            f.prompts.clear();
            ui.cmdModifier->click();
            QVERIFY2(ui.cmdModifier->text() == "&Modifier" || f.said().value(0).contains("peut-être"),
                     qPrintable(f.said().join('/')));
        }
        change("Récente", false);
        relay.deliver();
        QTRY_COMPARE_WITH_TIMEOUT(relay.held(), 0, 20000);
        QCOMPARE(db->scalar("SELECT string_agg(\"Ville\", ',') FROM \"Transmission\""), QVariant("Récente"));

        // The number reserved at "Nouveau" is the station's again on its new
        // connection: another station is proposed the next one.
        ui.cmdNouveau->click();
        const qint64 proposed = ui.txtNrSequanel->text().toLongLong();
        relay.arm(Relay::Down, 0);
        QVERIFY(!ui.Data1->database()->scalar("SELECT 1").isValid());
        QTRY_VERIFY_WITH_TIMEOUT(ui.Data1->database()->scalar("SELECT 1").isValid(), 20000);
        QCOMPARE(logfile::reserveNextSerial(db.get()), std::optional(proposed + 1));

        f.fill();
        f.prompts.answer = platform::Answer::Yes; // (closing without storing, when asked)
        relay.arm(Relay::Up, 0, true);
        int closeAsked = 0;
        QTimer::singleShot(100, f.w.get(), [&] {
            f.w->close();
            closeAsked = f.w->isVisible() ? 1 : 2;
        });
        ui.cmdNouveau->click();
        QCOMPARE(closeAsked, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!f.w->isVisible(), 20000);
    }

    // A listing whose stream of rows is cut half-way by a lost connection is
    // not printed short: it says the reading was interrupted, and no file is left.
    void listingCutHalfWay()
    {
        QVERIFY(logfile::createEmpty(m_server.address(QStringLiteral("liste")), nullptr));
        auto db = platform::Connection::open(m_server.address(QStringLiteral("liste")), platform::OpenMode::ReadWrite, nullptr);
        QVERIFY(db && db->scalar("WITH added AS (INSERT INTO \"Transmission\" (\"Sequanel\", \"Ville\") SELECT g::text, "
                                 "'Ville ' || g FROM generate_series(1, 3000) g RETURNING 1) SELECT count(*) FROM added") == 3000);
        Relay relay(m_server.socketPath(), "sequanel-lecture"); // (the connections that read a listing)
        MainWindowFixture f;
        QVERIFY(relay.port() > 0 && openThrough(f, relay, "liste"));
        const QString pdf = f.path(QStringLiteral("liste.pdf"));
        platform::setDefaultPrinterOverride(platform::PrintTarget::pdfFile(pdf));
        relay.arm(Relay::Down, std::numeric_limits<qint64>::max());
        const bool whole = listing::printListing(f.w.get(), f.ui().Data1->databaseName());
        const qint64 total = relay.passed(Relay::Down);
        QVERIFY(QFile::remove(pdf));
        relay.arm(Relay::Down, total / 2);
        const bool cut = listing::printListing(f.w.get(), f.ui().Data1->databaseName());
        platform::clearDefaultPrinterOverride();
        QVERIFY2(whole && !cut, qPrintable(QStringLiteral("%1 %2 %3 %4").arg(whole).arg(cut).arg(total).arg(f.said().join("/"))));
        QVERIFY2(total > 60000, qPrintable(QString::number(total))); // (half-way falls among the rows)
        QCOMPARE(f.said().size(), 1);
        QVERIFY2(f.said()[0].contains(msg::listingReadInterrupted().section('%', 0, 0)), qPrintable(f.said()[0]));
        QVERIFY(!QFileInfo::exists(pdf));
    }

    // One row per exchange, each on a journal of its own: CTest runs them
    // as three tests, side by side.
    void everyByte_data()
    {
        QTest::addColumn<int>("exchange");
        QTest::newRow("addition") << 0;
        QTest::newRow("change") << 1;
        QTest::newRow("deletion") << 2;
    }
    void everyByte()
    {
        QFETCH(int, exchange);
        const QByteArray journal = QByteArray("relais_") + QTest::currentDataTag();
        QVERIFY(logfile::createEmpty(m_server.address(QString::fromLatin1(journal)), nullptr));
        auto db = platform::Connection::open(m_server.address(QString::fromLatin1(journal)), platform::OpenMode::ReadWrite, nullptr);
        Relay relay(m_server.socketPath());
        MainWindowFixture f;
        QVERIFY(db && relay.port() > 0 && openThrough(f, relay, journal.constData()));
        const frmMain::Controls &ui = f.ui();
        auto toLast = [&] { // (the others' changes heard or not)
            ui.Data1->countAgain();
            ui.Data1->moveLast();
            f.w->ActualiserBoutons();
        };
        // The test's own statements, tried again while its connection is made
        // again (on a loaded machine, it too may wait past the answer time):
        // a statement of the test that failed says nothing of the window.
        auto ask = [&](const platform::Sql &sql, const QVariantList &params = {}) {
            QVariant v;
            for (QDeadlineTimer end(30000); !(v = db->scalar(sql, params)).isValid() && !end.hasExpired();)
                QTest::qWait(10);
            return v;
        };
        auto count = [&](const QString &town) {
            return ask("SELECT count(*) FROM \"Transmission\" WHERE \"Ville\" = ?1", {town}).toInt();
        };
        // Each exchange: the window made ready, the town it leaves, whether
        // the journal holds what it does, whether it says it did.
        struct Exchange {
            const char *name;
            QPushButton *button;
            std::function<void(const QString &)> prepare;
            std::function<bool(const QString &)> done, held;
        };
        ui.cmdNouveau->click(); // a contact that each change changes
        f.fill();
        ui.cmdNouveau->click();
        const Exchange exchanges[] = {
            {"addition", ui.cmdNouveau, [&](const QString &) { ui.cmdNouveau->click(); f.fill(""); },
             [&](const QString &) { return ui.cmdNouveau->text() == "&Nouveau"; },
             [&](const QString &town) { return count(town) == 1; }},
            {"change", ui.cmdModifier,
             [&](const QString &) {
                 toLast();
                 ui.cmdModifier->click();
             },
             [&](const QString &) { return ui.cmdModifier->text() == "&Modifier"; },
             [&](const QString &town) { return count(town) == 1; }},
            {"deletion", ui.cmdSupprimer,
             [&](const QString &town) {
                 ask("WITH added AS (INSERT INTO \"Transmission\" (\"Sequanel\", \"Ville\") SELECT '0', ?1 WHERE NOT EXISTS "
                     "(SELECT 1 FROM \"Transmission\" WHERE \"Ville\" = ?2) RETURNING 1) SELECT count(*) FROM added",
                     {town, town});
                 toLast();
             },
             // (done, but the next contact not read again over the cut: said so)
             [&](const QString &) {
                 return f.said().isEmpty() || f.said().value(0).startsWith(msg::logNotRereadShared().section(',', 0, 0));
             },
             [&](const QString &town) { return count(town) == 0; }},
        };
        QStringList table{"| exchange | bytes up / down | cut: done, said so | not done, said so | said unknown: done "
                          "| said unknown: not done | stalls |",
                          "|---|---|---:|---:|---:|---:|---|"};
        int town = 0, warm = -1;
        // One try: the window made ready on a connection that has done the
        // exchange before (a new one first does it once, unarmed, so that
        // every try sends the same bytes), then armed; what the window says
        // checked against the journal, then done again until it is done.
        int outcome = 0; // of the last try: done, not done, unknown and done, unknown and not done
        auto attempt = [&](const Exchange &e, int d, qint64 n, bool stall) {
            const QString name = QStringLiteral("R%1").arg(++town);

            while (!ui.Data1->database()->scalar("SELECT 1").isValid())
                QTest::qWait(1);
            const bool measure = d < 0;
            if (relay.windowConnections() != warm || measure) {
                f.prompts.clear();
                e.prepare(name + 'w');
                ui.txtVille->setText(name + 'w');
                ui.txtNrQRZ->setText(QString::number(town));
                e.button->click();
                QVERIFY(e.done(name + 'w') && relay.windowConnections() == (warm = relay.windowConnections()));
            }
            e.prepare(name);
            ui.txtVille->setText(name);
            ui.txtNrQRZ->setText(QString::number(town));
            f.prompts.clear();
            relay.arm(measure ? Relay::Up : Relay::Direction(d), measure ? std::numeric_limits<qint64>::max() : n, stall);
            // The window's events go on while it waits for a silent server.
            int ticks = 0;
            QTimer tick;
            QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
            tick.start(10);
            e.button->click();
            tick.stop();
            QVERIFY2(!stall || ticks > 0, qPrintable(QStringLiteral("%1: the window stopped while it waited").arg(e.name)));
            const QString said = f.said().value(0), where = QStringLiteral("%1, %2 %3: ").arg(e.name).arg(d).arg(n);
            const bool done = e.done(name), held = e.held(name), unknown = said.contains("peut-être");
            QVERIFY2(!done || held, qPrintable(where + "said done, not done"));
            QVERIFY2(done || unknown || !held, qPrintable(where + "said not done, done"));
            QVERIFY2(done || ui.txtVille->text() == name, qPrintable(where + "entry lost"));
            for (QDeadlineTimer end(60000); !e.done(name) && !end.hasExpired(); QTest::qWait(1)) {
                f.prompts.clear();
                e.button->click();
            }
            QVERIFY2(e.done(name) && e.held(name),
                     qPrintable(where + QStringLiteral("not done again (%1 in the journal; buttons %2, %3; said: %4)")
                                            .arg(count(name)).arg(ui.cmdNouveau->text(), ui.cmdModifier->text(),
                                                                  f.said().join(" / "))));
            QCOMPARE(ask("SELECT count(*) - count(DISTINCT \"Sequanel\") FROM \"Transmission\" WHERE \"Sequanel\" <> '0'"), QVariant(0LL));
            warm = relay.windowConnections();
            if (e.button == ui.cmdNouveau) // (the journal kept small: each reading stays as short)
                ask("WITH gone AS (DELETE FROM \"Transmission\" WHERE \"Ville\" IN (?1, ?2) RETURNING 1) SELECT count(*) FROM gone",
                    {name, name + 'w'});
            outcome = done ? 0 : !unknown ? 1 : held ? 2 : 3;
        };
        {
            const Exchange &e = exchanges[exchange];
            attempt(e, -1, 0, false);
            const qint64 total[2] = {relay.passed(Relay::Up), relay.passed(Relay::Down)};
            int outcomes[4] = {0, 0, 0, 0};
            QStringList stalls;
            const char *said[] = {"done", "not done", "unknown", "unknown"};
            for (int d : {Relay::Up, Relay::Down}) {
                for (qint64 n = 0; n < total[d]; ++n) {
                    attempt(e, d, n, false);
                    ++outcomes[outcome];
                }
                for (qint64 n : {qint64(0), total[d] / 2}) {
                    attempt(e, d, n, true);
                    stalls << QStringLiteral("%1 at %2: %3").arg(d == Relay::Up ? "up" : "down").arg(n).arg(said[outcome]);
                }
            }
            table << QStringLiteral("| %1 | %2 / %3 | %4 | %5 | %6 | %7 | %8 |")
                         .arg(e.name).arg(total[0]).arg(total[1]).arg(outcomes[0]).arg(outcomes[1]).arg(outcomes[2])
                         .arg(outcomes[3]).arg(stalls.join(", "));
        }
        qInfo().noquote() << '\n' + table.join('\n');
    }
};

QTEST_MAIN(TestRelay)
#include "tst_relay.moc"
