#pragma once
// How the program reaches a shared log's server: the address read, a
// connection made (libpq), and the link of the process to the server, which
// listens for the other stations' changes, watches that the server still
// answers and makes the connections that were lost again, on a thread of
// its own: the thread that asks never waits for a connection being made
// again. Private to the platform library.
#include "Engine.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

typedef struct pg_conn PGconn;

namespace platform {

// SQLSTATEs of failures the program finds itself, in a class the server
// does not use, beside the server's own.
namespace state {
inline const QString BadAddress = QStringLiteral("SQ001");    // not a shared log's address
inline const QString BadJournal = QStringLiteral("SQ002");    // not a journal's name
inline const QString Client = QStringLiteral("SQ003");        // the client library's own failure
inline const QString NotReadable = QStringLiteral("SQ004");   // the role may not read the journal
inline const QString Tls = QStringLiteral("SQ005");           // no encrypted link as the address asks
inline const QString Unreachable = QStringLiteral("08006");   // no connection, or lost before anything was sent
inline const QString Unknown = QStringLiteral("08007");       // lost after a commit was sent, before its answer
inline const QString NeedsPassword = QStringLiteral("28P01"); // no password, or a wrong one
} // namespace state

EngineError serverFailure(const QString &text, const QString &sqlState);

struct ServerAddress {
    QString user, password, host, base, journal;
    int port = -1;
    QStringList options; // other connection parameters, key=value
    QString shown;       // the address without its password
};
// postgresql://[user[:password]@][host][:port][/base][?key=value&...]; nothing,
// with *problem the program's SQLSTATE, when it is not a shared log's.
std::optional<ServerAddress> parseAddress(const QString &address, QString *problem);

// What a connection is for, as the server lists it (application_name).
enum class Purpose { Station, Reader, Listener };

// A connection to the server's base, with the session set for the journal
// (its schema first on the search path, ISO dates, the server's own
// keepalives), its socket non-blocking; nullptr and *error on failure.
// Gives up after timeout seconds, or when wake becomes readable.
PGconn *connectServer(const ServerAddress &a, Purpose purpose, EngineError *error, int timeout = 10, int wake = -1);

// How long a statement waits without a byte from the server.
int answerTimeoutMs();

// The link of this process to one journal of one server, shared by every
// connection to it.
class ServerLink
{
public:
    static std::shared_ptr<ServerLink> of(const ServerAddress &a);
    ~ServerLink();
    ServerLink(const ServerLink &) = delete;
    ServerLink &operator=(const ServerLink &) = delete;

    // Where the link puts a connection made again for one user of it.
    struct Slot {
        std::mutex lock;
        Purpose purpose = Purpose::Station;
        PGconn *ready = nullptr; // made, not taken yet
        bool wanted = false;     // one is to be made
        bool stale = false;      // the link was lost since: the connection in use is given up
        ~Slot();
    };
    std::shared_ptr<Slot> newSlot(Purpose purpose);
    // The connection the user of slot is to use from now on: conn as it
    // is, or the one made again for it (conn is then finished). nullptr
    // when there is none yet: one is asked for, never waited for.
    PGconn *renew(Slot &slot, PGconn *conn);

    // The other stations' changes heard so far, leaving out those of the
    // session ownPid; -1 while the link does not listen (yet, or no more).
    // The first question starts the listening.
    qint64 changesHeard(int ownPid);
    // Starts the listening, and waits (seconds at most) until the link
    // listens: what a station reads after its opening, it hears change.
    void listenNow(int seconds);

    // True while the server cannot be reached: statements fail at once.
    bool isDown() const { return m_down.load(); }
    LinkState state() const;

private:
    explicit ServerLink(const ServerAddress &a);
    void start();
    void run();
    void wake();
    void lose();
    bool connectWanted();
    void listen();
    bool readListener();
    void dropListener();

    ServerAddress m_address;
    std::thread m_thread;
    int m_wake[2] = {-1, -1}, m_stopping[2] = {-1, -1}; // pipes: work to do, and the end
    std::atomic<bool> m_down{false}, m_stop{false};

    mutable std::mutex m_lock; // what follows, shared with the thread
    std::condition_variable m_tried; // a try to listen is over
    std::vector<std::weak_ptr<Slot>> m_slots;
    bool m_listening = false; // asked for
    bool m_heard = false;     // the listener has been up
    bool m_up = false;        // the listener is up
    PGconn *m_listener = nullptr;
    bool m_encrypted = false, m_network = false;
    qint64 m_total = 0, m_epochs = 0;
    std::vector<std::pair<int, qint64>> m_perSession; // notifications by the session that made them
    qint64 m_nextTryMs = 0, m_backMs = -1;           // on the link's clock
    bool m_trying = false;
};

} // namespace platform
