#pragma once
// A PostgreSQL server of a test's own: a new cluster in a temporary folder
// under /tmp, listening on a Unix socket in that folder (and on a TCP
// address of the test's when asked), with trust authentication for its
// superuser "sequanel". Run as the postgres system user when the test runs
// as root (the server refuses root). Stopped by its process id and its
// folder removed when the object goes.
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace testsupport {

class PgServer
{
public:
    struct Options {
        bool durable = false; // the server waits for the disk at each commit
        QString listen;       // a TCP address it listens on too, on the socket's port
        bool tls = false;     // encrypted links, its certificate ("localhost") signed by a CA of its own: caFile()
        QString messages;     // the language of its messages (lc_messages)
        QString netns;        // a network namespace it runs in (root only)
        QStringList hba;      // lines put first in pg_hba.conf
    };
    // Makes the cluster and starts the server; see error(). Not durable by
    // default: a test's data need not survive a crash of the machine.
    explicit PgServer(const Options &options);
    explicit PgServer(bool durable = false) : PgServer(Options{durable, {}, false, {}, {}, {}}) {}
    ~PgServer(); // stops the server and removes the folder

    bool isRunning() const;
    QString error() const { return m_error; }
    // The address of a shared log of this server's base: through the socket,
    // or over TCP at host; parameters (key=value&...) added.
    QString address(const QString &journal, const QString &host = {}, const QString &user = QStringLiteral("sequanel"),
                    const QString &parameters = {}) const;
    QString caFile() const { return m_folder.filePath(QStringLiteral("ca.crt")); }
    QString socketPath() const { return m_folder.filePath(QStringLiteral(".s.PGSQL.%1").arg(m_port)); }

    // Stops the server (fast shutdown: the sessions are ended) and waits for it.
    bool stop();
    // Starts it (again) on the same cluster; it must not be running.
    bool start();

private:
    void setUp(QProcess &process) const;
    QString logTail() const;

    QTemporaryDir m_folder;
    QString m_bin;
    int m_port = 0;
    Options m_options;
    std::unique_ptr<QProcess> m_server;
    QString m_error;
};

} // namespace testsupport
