#include "ServerLink.h"

#include "EngineBackend.h"
#include "Passwords.h"

#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>

#include <chrono>
#include <fcntl.h>
#include <libpq-fe.h>
#include <map>
#include <poll.h>
#include <unistd.h>

namespace platform {

namespace {

// A link lost is tried again this often; the server is asked for a sign of
// life this often while the link is idle, and taken as gone when it gives
// none within the second figure.
constexpr qint64 kRetryMs = 5000, kBeatMs = 1000, kBeatAnswerMs = 3000;
// A connection made again gives up after this many seconds (the next try
// follows kRetryMs after the start of this one).
constexpr int kReconnectSeconds = 4;
// Once changes are heard, the listener is not read again for this long: a
// burst of stores by the other stations is heard in a few reads instead of
// one wake of this thread per store (a change after a quiet spell is heard
// at once).
constexpr qint64 kHearingPauseMs = 20;

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::atomic<int> s_answerTimeout{0};
std::atomic<qint64> s_linkTurns{0};

QMutex s_madeLock;
QHash<const QThread *, int> &made()
{
    static QHash<const QThread *, int> counts;
    return counts;
}

// A journal's name is quoted in every statement; it is also held to the
// rules of an unquoted PostgreSQL name, so that it means the same written
// either way: letters, digits and underscores, not a digit first, 63 bytes
// at most, and not the prefix of the server's own schemas.
bool validJournal(const QString &name)
{
    if (name.isEmpty() || name.toUtf8().size() > 63 || name[0].isDigit()
        || name.startsWith(QLatin1String("pg_"), Qt::CaseInsensitive))
        return false;
    for (QChar ch : name)
        if (!ch.isLetterOrNumber() && ch != QLatin1Char('_'))
            return false;
    return true;
}

// The values a connection parameter given in the address may hold.
bool plainValue(const QString &value)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:@-]*$"));
    return plain.match(value).hasMatch();
}

// The SQLSTATE a connection's refusal carries: libpq writes it into its
// message in the verbose form ("FATAL:  28P01: ..."), whatever the
// server's language.
QString stateInMessage(const QString &message)
{
    static const QRegularExpression form(QStringLiteral(":  ([0-9A-Z]{5}): "));
    return form.match(message).captured(1);
}

} // namespace

EngineError serverFailure(const QString &text, const QString &sqlState)
{
    return EngineError{text.isEmpty() ? QStringLiteral("unknown error") : text, serverCode(sqlState)};
}

int answerTimeoutMs()
{
    const int set = s_answerTimeout.load();
    return set > 0 ? set : 5000;
}

void setServerAnswerTimeout(int milliseconds) { s_answerTimeout = milliseconds; }

qint64 serverLinkTurns() { return s_linkTurns.load(); }

int serverConnectionsMade(const QThread *thread)
{
    const QMutexLocker locked(&s_madeLock);
    return made().value(thread);
}

// postgresql://[user[:password]@][host][:port][/base][?key=value&...], read
// by libpq's rules: every part percent-encoded, a host beginning with "/" is
// the folder of a Unix socket, and host, port, user, password and dbname
// may be given as parameters too. journal names the shared log.
std::optional<ServerAddress> parseAddress(const QString &address, QString *problem)
{
    static const QRegularExpression form(QStringLiteral(
        "^postgresql://(?:([^@/?]*)@)?(\\[[^\\]]*\\]|[^:/?]*)(?::(\\d*))?(?:/([^?]*))?(?:\\?(.*))?$"));
    const auto m = form.match(address);
    *problem = state::BadAddress;
    if (!m.hasMatch())
        return std::nullopt;
    auto decoded = [](const QString &part) { return QUrl::fromPercentEncoding(part.toUtf8()); };
    ServerAddress a;
    const QString userInfo = m.captured(1);
    const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
    a.user = decoded(userInfo.left(colon));
    if (colon >= 0)
        a.password = decoded(userInfo.mid(colon + 1));
    a.host = decoded(m.captured(2));
    if (a.host.startsWith(QLatin1Char('[')))
        a.host = a.host.mid(1, a.host.size() - 2);
    if (!m.captured(3).isEmpty())
        a.port = m.captured(3).toInt();
    a.base = decoded(m.captured(4));
    QStringList shownParams;
    for (const QString &pair : m.captured(5).split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return std::nullopt;
        const QString key = decoded(pair.left(eq)), value = decoded(pair.mid(eq + 1));
        if (key != QLatin1String("password"))
            shownParams << pair;
        if (key == QLatin1String("journal"))
            a.journal = value;
        else if (key == QLatin1String("host"))
            a.host = value;
        else if (key == QLatin1String("port"))
            a.port = value.toInt();
        else if (key == QLatin1String("user"))
            a.user = value;
        else if (key == QLatin1String("password"))
            a.password = value;
        else if (key == QLatin1String("dbname"))
            a.base = value;
        else if (plainValue(key) && plainValue(value) && key != QLatin1String("options"))
            a.options << key + QLatin1Char('=') + value;
        else
            return std::nullopt;
    }
    if (a.port == 0 || a.port > 65535 || a.base.isEmpty())
        return std::nullopt;
    if (!validJournal(a.journal)) {
        *problem = state::BadJournal;
        return std::nullopt;
    }
    a.shown = QStringLiteral("postgresql://%1%2%3/%4?%5")
                  .arg(m.captured(1).isEmpty() ? QString() : m.captured(1).left(colon) + QLatin1Char('@'),
                       m.captured(2), m.captured(3).isEmpty() ? QString() : QLatin1Char(':') + m.captured(3),
                       m.captured(4), shownParams.join(QLatin1Char('&')));
    problem->clear();
    return a;
}

PGconn *connectServer(const ServerAddress &a, Purpose purpose, EngineError *error, int timeout, int wake)
{
    {
        const QMutexLocker locked(&s_madeLock);
        ++made()[QThread::currentThread()];
    }
    std::vector<std::pair<QByteArray, QByteArray>> params;
    auto put = [&](const char *key, const QString &value) { params.emplace_back(key, value.toUtf8()); };
    if (!a.host.isEmpty())
        put("host", a.host);
    if (a.port > 0)
        put("port", QString::number(a.port));
    if (!a.user.isEmpty())
        put("user", a.user);
    // Never in the log's name: the address's own, else one typed in this
    // session, else libpq's password file.
    if (const QString password = a.password.isEmpty() ? serverPassword(a.shown) : a.password; !password.isEmpty())
        put("password", password);
    put("dbname", a.base);
    const char *names[] = {"sequanel", "sequanel-lecture", "sequanel-ecoute"};
    put("application_name", QLatin1String(names[int(purpose)]));
    put("client_encoding", QStringLiteral("UTF8"));
    // Over TCP, a peer gone without a word (a cable pulled, a machine off)
    // is told within about 20 s, not after the system's retransmissions (a
    // quarter of an hour), on both sides: data unacknowledged for 15 s, or
    // an idle connection unanswered to three probes 5 s apart after 10 s,
    // ends it; the server then rolls back what the station had begun and
    // frees the journal's lock. (Both leave them aside on a Unix socket.)
    put("keepalives_idle", QStringLiteral("10"));
    put("keepalives_interval", QStringLiteral("5"));
    put("keepalives_count", QStringLiteral("3"));
    put("tcp_user_timeout", QStringLiteral("15000"));
    // The session's settings go with the connection, not as statements: the
    // journal's table named alone, ISO dates, and only warnings and errors
    // of the server on the program's standard error.
    put("options", QStringLiteral("-c search_path=\"%1\" -c client_min_messages=warning -c DateStyle=ISO "
                                  "-c tcp_keepalives_idle=10 -c tcp_keepalives_interval=5 -c tcp_keepalives_count=3 "
                                  "-c tcp_user_timeout=15000")
                       .arg(a.journal));
    bool verified = false; // the address asks for an encrypted link
    for (const QString &option : a.options) {
        const QString key = option.section(QLatin1Char('='), 0, 0), value = option.section(QLatin1Char('='), 1);
        put(qPrintable(key), value);
        if (key == QLatin1String("sslmode"))
            verified = value == QLatin1String("require") || value.startsWith(QLatin1String("verify"));
    }
    std::vector<const char *> keys, values;
    for (const auto &[key, value] : params) {
        keys.push_back(key.constData());
        values.push_back(value.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);

    auto fail = [&](PGconn *conn, const QString &sqlState) -> PGconn * {
        const QString text = conn ? QString::fromUtf8(PQerrorMessage(conn)).trimmed() : QString();
        if (error)
            *error = serverFailure(text.isEmpty() ? QStringLiteral("no answer") : text, sqlState);
        PQfinish(conn);
        return nullptr;
    };
    PGconn *conn = PQconnectStartParams(keys.data(), values.data(), 0);
    if (!conn)
        return fail(nullptr, state::Client);
    // The refusal's SQLSTATE is written in the message in this form.
    PQsetErrorVerbosity(conn, PQERRORS_VERBOSE);
    const qint64 deadline = nowMs() + qint64(timeout) * 1000;
    bool inTls = false;
    for (PostgresPollingStatusType st = PGRES_POLLING_WRITING; st != PGRES_POLLING_OK;) {
        if (st == PGRES_POLLING_FAILED) {
            const QString message = QString::fromUtf8(PQerrorMessage(conn));
            QString found = stateInMessage(message);
            if (PQconnectionNeedsPassword(conn))
                found = state::NeedsPassword;
            else if (found.isEmpty() && inTls && verified)
                found = state::Tls;
            return fail(conn, found.isEmpty() ? state::Unreachable : found);
        }
        pollfd fds[2] = {{PQsocket(conn), short(st == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0}, {wake, POLLIN, 0}};
        const qint64 left = deadline - nowMs();
        if (left <= 0 || ::poll(fds, wake >= 0 ? 2 : 1, int(left)) < 0 || (fds[1].revents & POLLIN))
            return fail(conn, state::Unreachable);
        inTls = inTls || PQstatus(conn) == CONNECTION_SSL_STARTUP;
        st = PQconnectPoll(conn);
    }
    PQsetErrorVerbosity(conn, PQERRORS_DEFAULT);
    PQsetnonblocking(conn, 1);
    // A password the address carried serves the log's other connections
    // too (its readings, its listening), which are made from its name alone.
    if (!a.password.isEmpty())
        setServerPassword(a.shown, a.password);
    return conn;
}

// ---------------------------------------------------------------- the link

ServerLink::Slot::~Slot() { PQfinish(ready); }

std::shared_ptr<ServerLink> ServerLink::of(const ServerAddress &a)
{
    static std::mutex lock;
    static std::map<QString, std::weak_ptr<ServerLink>> links;
    const std::lock_guard<std::mutex> locked(lock);
    std::weak_ptr<ServerLink> &kept = links[a.shown];
    std::shared_ptr<ServerLink> link = kept.lock();
    if (!link) {
        link.reset(new ServerLink(a));
        kept = link;
    }
    return link;
}

ServerLink::ServerLink(const ServerAddress &a) : m_address(a)
{
    for (int *pipe : {m_wake, m_stopping})
        if (::pipe(pipe) == 0)
            for (int i : {0, 1})
                ::fcntl(pipe[i], F_SETFL, O_NONBLOCK);
}

ServerLink::~ServerLink()
{
    m_stop = true;
    const char byte = 0;
    (void)!::write(m_stopping[1], &byte, 1);
    if (m_thread.joinable())
        m_thread.join();
    PQfinish(m_listener);
    for (int fd : {m_wake[0], m_wake[1], m_stopping[0], m_stopping[1]})
        if (fd >= 0)
            ::close(fd);
}

void ServerLink::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

void ServerLink::wake()
{
    const char byte = 0;
    if (m_wake[1] >= 0)
        (void)!::write(m_wake[1], &byte, 1);
}

std::shared_ptr<ServerLink::Slot> ServerLink::newSlot(Purpose purpose)
{
    auto slot = std::make_shared<Slot>();
    slot->purpose = purpose;
    const std::lock_guard<std::mutex> locked(m_lock);
    std::erase_if(m_slots, [](const std::weak_ptr<Slot> &s) { return s.expired(); });
    m_slots.push_back(slot);
    return slot;
}

PGconn *ServerLink::renew(Slot &slot, PGconn *conn)
{
    {
        const std::lock_guard<std::mutex> locked(slot.lock);
        if (std::exchange(slot.stale, false) || (conn && PQstatus(conn) != CONNECTION_OK)) {
            PQfinish(conn);
            conn = nullptr;
        }
        if (conn)
            return conn;
        if (PGconn *ready = std::exchange(slot.ready, nullptr))
            return ready;
        slot.wanted = true;
    }
    {
        const std::lock_guard<std::mutex> locked(m_lock);
        start();
    }
    wake();
    return nullptr;
}

qint64 ServerLink::changesHeard(int ownPid)
{
    const std::lock_guard<std::mutex> locked(m_lock);
    if (!m_listening) {
        m_listening = true;
        start();
        wake();
    }
    if (!m_up || m_down)
        return -1;
    qint64 own = 0;
    for (const auto &[pid, count] : m_perSession)
        if (pid == ownPid)
            own = count;
    return m_total - own + m_epochs;
}

void ServerLink::listenNow(int seconds)
{
    std::unique_lock<std::mutex> locked(m_lock);
    if (!m_listening) {
        m_listening = true;
        start();
        wake();
    }
    m_tried.wait_for(locked, std::chrono::seconds(seconds), [this] { return m_up || m_down; });
}

LinkState ServerLink::state() const
{
    const std::lock_guard<std::mutex> locked(m_lock);
    LinkState s;
    const qint64 now = nowMs();
    s.kind = m_down ? LinkState::Down : m_backMs >= 0 && now - m_backMs < 10000 ? LinkState::Back : LinkState::Up;
    s.retryIn = m_trying ? 0 : int(std::max<qint64>(1, (m_nextTryMs - now + 999) / 1000));
    s.encrypted = m_encrypted;
    s.network = m_network;
    return s;
}

// Makes what is wanted and not there: the listener, the connections of the
// slots. The link is down when one of them could not be made, up again
// when all were.
bool ServerLink::connectWanted()
{
    std::vector<std::shared_ptr<Slot>> wanted;
    bool listener = false;
    {
        const std::lock_guard<std::mutex> locked(m_lock);
        listener = m_listening && !m_listener;
        for (const auto &weak : m_slots)
            if (auto slot = weak.lock()) {
                const std::lock_guard<std::mutex> slotLocked(slot->lock);
                if (slot->wanted && !slot->ready)
                    wanted.push_back(slot);
            }
        if (!listener && wanted.empty())
            return true;
        m_trying = true;
    }
    const qint64 started = nowMs();
    bool failed = false;
    if (listener)
        listen();
    failed = listener && !m_listener;
    for (const auto &slot : wanted) {
        if (failed || m_stop)
            break;
        EngineError e;
        PGconn *made = connectServer(m_address, slot->purpose, &e, kReconnectSeconds, m_stopping[0]);
        const std::lock_guard<std::mutex> slotLocked(slot->lock);
        if (made) {
            PQfinish(slot->ready);
            slot->ready = made;
            slot->wanted = false;
        }
        failed = !made;
    }
    if (failed)
        lose();
    const std::lock_guard<std::mutex> locked(m_lock);
    m_tried.notify_all();
    m_trying = false;
    if (failed) {
        m_nextTryMs = started + kRetryMs;
    } else if (m_down) {
        m_down = false;
        m_backMs = nowMs();
    }
    return !failed;
}

// The server cannot be reached: statements fail at once, those under way
// give up, and every connection is made again once it answers.
void ServerLink::lose()
{
    m_down = true;
    const std::lock_guard<std::mutex> locked(m_lock);
    for (const auto &weak : m_slots)
        if (auto slot = weak.lock()) {
            const std::lock_guard<std::mutex> slotLocked(slot->lock);
            slot->stale = slot->wanted = true;
        }
}

// The listener made and listening to the journal's channel. Listening
// again after an outage counts as a change: what happened meanwhile was
// not heard.
void ServerLink::listen()
{
    EngineError e;
    PGconn *conn = connectServer(m_address, Purpose::Listener, &e, kReconnectSeconds, m_stopping[0]);
    if (!conn)
        return;
    const QByteArray statement = "LISTEN " + quoteIdentifier(m_address.journal).toUtf8();
    bool ok = PQsendQuery(conn, statement.constData()) != 0;
    const qint64 deadline = nowMs() + kBeatAnswerMs;
    while (ok && (PQflush(conn) != 0 || PQisBusy(conn))) {
        pollfd p{PQsocket(conn), POLLIN, 0};
        ok = nowMs() < deadline && ::poll(&p, 1, 50) >= 0 && PQconsumeInput(conn);
    }
    while (PGresult *r = ok ? PQgetResult(conn) : nullptr) {
        ok = ok && PQresultStatus(r) == PGRES_COMMAND_OK;
        PQclear(r);
    }
    if (!ok) {
        PQfinish(conn);
        return;
    }
    m_listener = conn;
    const char *host = PQhost(conn);
    const std::lock_guard<std::mutex> locked(m_lock);
    m_encrypted = PQsslInUse(conn);
    m_network = host && host[0] != '/';
    m_up = true;
    if (std::exchange(m_heard, true))
        ++m_epochs;
}

// The listener lost, or silent: the server is taken as gone until a new
// one is made, which is tried at once.
void ServerLink::dropListener()
{
    PQfinish(m_listener);
    m_listener = nullptr;
    m_down = true;
    const std::lock_guard<std::mutex> locked(m_lock);
    m_up = false;
    m_nextTryMs = nowMs();
}

// Notifications and the answers to the signs of life asked for; whether
// any change was heard.
bool ServerLink::readListener()
{
    if (!PQconsumeInput(m_listener)) {
        dropListener();
        return false;
    }
    const std::lock_guard<std::mutex> locked(m_lock);
    const qint64 before = m_total;
    while (PGnotify *n = PQnotifies(m_listener)) {
        ++m_total;
        auto it = std::find_if(m_perSession.begin(), m_perSession.end(), [&](const auto &p) { return p.first == n->be_pid; });
        if (it == m_perSession.end())
            m_perSession.emplace_back(n->be_pid, 1);
        else
            ++it->second;
        PQfreemem(n);
    }
    return m_total != before;
}

void ServerLink::run()
{
    qint64 beatSent = -1, nextBeat = 0, deafUntil = 0;
    while (!m_stop) {
        s_linkTurns.fetch_add(1, std::memory_order_relaxed);
        bool tryNow = false;
        {
            const std::lock_guard<std::mutex> locked(m_lock);
            tryNow = !m_down || nowMs() >= m_nextTryMs;
        }
        if (tryNow && connectWanted() && m_listener)
            nextBeat = std::max(nextBeat, nowMs());
        const qint64 now = nowMs();
        if (m_listener && beatSent < 0 && now >= nextBeat) {
            // An empty statement: the server answers it at once, whatever it is doing.
            if (PQsendQuery(m_listener, "") && PQflush(m_listener) >= 0)
                beatSent = now;
            else
                dropListener();
        } else if (m_listener && beatSent >= 0 && now - beatSent > kBeatAnswerMs) {
            dropListener();
            beatSent = -1;
        }
        qint64 until = now + 1000;
        if (m_listener)
            until = std::min(until, beatSent < 0 ? nextBeat : beatSent + kBeatAnswerMs);
        {
            const std::lock_guard<std::mutex> locked(m_lock);
            if (m_down)
                until = std::min(until, m_nextTryMs);
        }
        const bool hearing = m_listener && now >= deafUntil;
        if (m_listener && !hearing)
            until = std::min(until, deafUntil);
        pollfd fds[3] = {{m_wake[0], POLLIN, 0}, {m_stopping[0], POLLIN, 0}, {hearing ? PQsocket(m_listener) : -1, POLLIN, 0}};
        ::poll(fds, 3, int(std::clamp<qint64>(until - nowMs(), 0, 1000)));
        char drained[64];
        while (::read(m_wake[0], drained, sizeof drained) > 0) {
        }
        if (hearing && (fds[2].revents & (POLLIN | POLLERR | POLLHUP))) {
            if (readListener())
                deafUntil = nowMs() + kHearingPauseMs;
            while (m_listener && !PQisBusy(m_listener)) {
                PGresult *r = PQgetResult(m_listener);
                if (!r)
                    break;
                if (PQresultStatus(r) == PGRES_EMPTY_QUERY) {
                    beatSent = -1;
                    nextBeat = nowMs() + kBeatMs;
                }
                PQclear(r);
            }
            if (!m_listener)
                beatSent = -1;
        }
    }
}

} // namespace platform
