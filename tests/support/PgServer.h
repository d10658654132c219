#pragma once
// A PostgreSQL server of a test's own: a new cluster in a temporary folder
// under /tmp, listening only on a Unix socket in that folder, with trust
// authentication for its superuser "sequanel". Run as the postgres system
// user when the test runs as root (the server refuses root). Stopped by its
// process id and its folder removed when the object goes.
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace testsupport {

class PgServer
{
public:
    // Makes the cluster and starts the server; see error(). Not durable: the
    // server does not wait for the disk at each commit (a test's data need
    // not survive a crash of the machine).
    explicit PgServer(bool durable = false);
    ~PgServer(); // stops the server and removes the folder

    bool isRunning() const;
    QString error() const { return m_error; }
    // The address of a shared log of this server's base.
    QString address(const QString &journal) const;

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
    bool m_durable = false;
    std::unique_ptr<QProcess> m_server;
    QString m_error;
};

} // namespace testsupport
