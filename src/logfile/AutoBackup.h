#pragma once
// Automatic copies of the open log file into a folder of the user's choice
// (a USB stick), every so many contacts stored or minutes gone by, the last
// few kept. Each copy is made on a thread of its own and never holds up the
// window or a store; a copy that fails is said and tried again.
#include <QDateTime>
#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <memory>

namespace logfile {

struct BackupSettings {
    bool active = false;
    QString folder;
    int everyContacts = 20; // 0: not by count
    int everyMinutes = 10;  // 0: not by time
    int keep = 5;           // copies kept of each log
    bool operator==(const BackupSettings &) const = default;
};

// The settings as kept in the settings store (the defaults above when none).
BackupSettings readBackupSettings();
bool writeBackupSettings(const BackupSettings &settings);

// The copy of the log at path made at when: "<folder>/<log's name>
// yyyy-MM-dd HH.mm.ss.adb" (no colon: a USB stick's file system refuses it).
QString backupName(const QString &folder, const QString &log, const QDateTime &when);
// The copies of the log at path in folder, oldest first.
QStringList backupsOf(const QString &folder, const QString &log);

class AutoBackup : public QObject
{
    Q_OBJECT
public:
    explicit AutoBackup(QObject *parent = nullptr);
    // A copy under way is stopped, and waited for.
    ~AutoBackup() override;

    void setSettings(const BackupSettings &settings);
    const BackupSettings &settings() const { return m_settings; }
    // The log copied: a log file the window may write; empty for none.
    void setLog(const QString &path);
    // The window stored a new contact.
    void contactStored();
    // The log changed: a contact stored, changed or deleted, here or by
    // another program.
    void logChanged();
    // How long after a failed copy it is tried again (a minute at first).
    void setRetryInterval(int ms) { m_retry.setInterval(ms); }
    // How long a minute of the settings lasts (shortened by tests).
    void setMinuteLength(int ms) { m_minuteMs = ms; }
    // How often a copy falls due by time, in milliseconds; 0: never.
    int everyMs() const { return m_every.isActive() ? m_every.interval() : 0; }

signals:
    void copied(const QString &path);
    void failed(const QString &why);

private:
    void startCopy();
    void copyDone();

    BackupSettings m_settings;
    QString m_log;
    int m_stored = 0;       // contacts stored since the last copy began
    bool m_changed = false; // the log changed since the last copy began
    bool m_again = false;   // a copy fell due while one was under way
    int m_minuteMs = 60 * 1000;
    QTimer m_every, m_retry;
    QThreadPool m_pool;
    QString m_target;
    QFuture<QString> m_copy;
    QFutureWatcher<QString> m_watcher;
    std::shared_ptr<std::atomic<bool>> m_stop;
};

} // namespace logfile
