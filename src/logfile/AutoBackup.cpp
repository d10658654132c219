#include "AutoBackup.h"

#include "Backup.h"
#include "Clock.h"
#include "SaveFile.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentRun>

namespace logfile {

namespace {
const QString kSection = QStringLiteral("Sauvegarde");
const QString kStamp = QStringLiteral("yyyy-MM-dd HH.mm.ss");

QString setting(const QString &key, const QString &fallback)
{
    return platform::readSetting(QCoreApplication::applicationDirPath(), kSection, key, fallback);
}
int number(const QString &key, int fallback, int least)
{
    bool ok = false;
    const int n = setting(key, QString::number(fallback)).toInt(&ok);
    return ok && n >= least ? n : fallback;
}
} // namespace

BackupSettings readBackupSettings()
{
    BackupSettings s;
    s.active = setting(QStringLiteral("Active"), QStringLiteral("0")) == QLatin1String("1");
    s.folder = setting(QStringLiteral("Dossier"), QString());
    s.everyContacts = number(QStringLiteral("Contacts"), s.everyContacts, 0);
    s.everyMinutes = number(QStringLiteral("Minutes"), s.everyMinutes, 0);
    s.keep = number(QStringLiteral("Copies"), s.keep, 1);
    return s;
}

bool writeBackupSettings(const BackupSettings &s)
{
    const QString app = QCoreApplication::applicationDirPath();
    bool ok = platform::writeSetting(app, kSection, QStringLiteral("Active"), s.active ? QStringLiteral("1") : QStringLiteral("0"));
    ok = platform::writeSetting(app, kSection, QStringLiteral("Dossier"), s.folder) && ok;
    ok = platform::writeSetting(app, kSection, QStringLiteral("Contacts"), QString::number(s.everyContacts)) && ok;
    ok = platform::writeSetting(app, kSection, QStringLiteral("Minutes"), QString::number(s.everyMinutes)) && ok;
    return platform::writeSetting(app, kSection, QStringLiteral("Copies"), QString::number(s.keep)) && ok;
}

QString backupName(const QString &folder, const QString &log, const QDateTime &when)
{
    return QDir(folder).filePath(QFileInfo(log).completeBaseName() + QLatin1Char(' ') + when.toString(kStamp)
                                 + QStringLiteral(".adb"));
}

QStringList backupsOf(const QString &folder, const QString &log)
{
    const QRegularExpression name(QLatin1Char('^') + QRegularExpression::escape(QFileInfo(log).completeBaseName())
                                  + QStringLiteral(" \\d{4}-\\d\\d-\\d\\d \\d\\d\\.\\d\\d\\.\\d\\d\\.adb$"));
    QStringList out;
    for (const QString &file : QDir(folder).entryList(QDir::Files, QDir::Name))
        if (name.match(file).hasMatch())
            out << QDir(folder).filePath(file);
    return out; // (the time in the name sorts them)
}

AutoBackup::AutoBackup(QObject *parent) : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
    m_retry.setSingleShot(true);
    m_retry.setInterval(60 * 1000);
    connect(&m_every, &QTimer::timeout, this, [this] {
        if (m_changed)
            startCopy();
    });
    connect(&m_retry, &QTimer::timeout, this, &AutoBackup::startCopy);
    connect(&m_watcher, &QFutureWatcher<QString>::finished, this, &AutoBackup::copyDone);
}

AutoBackup::~AutoBackup()
{
    if (m_stop)
        *m_stop = true;
    m_copy.waitForFinished();
}

void AutoBackup::setSettings(const BackupSettings &settings)
{
    m_settings = settings;
    m_every.stop();
    m_retry.stop();
    if (m_settings.active && m_settings.everyMinutes > 0) {
        m_every.setInterval(m_settings.everyMinutes * m_minuteMs);
        m_every.start();
    }
}

void AutoBackup::setLog(const QString &path)
{
    if (path == m_log)
        return;
    m_log = path;
    m_stored = 0;
    m_changed = false;
    m_retry.stop();
}

void AutoBackup::contactStored()
{
    m_changed = true;
    if (++m_stored >= m_settings.everyContacts && m_settings.everyContacts > 0)
        startCopy();
}

void AutoBackup::logChanged() { m_changed = true; }

void AutoBackup::startCopy()
{
    if (!m_settings.active || m_log.isEmpty() || m_settings.folder.isEmpty())
        return;
    if (m_copy.isRunning()) {
        m_again = true;
        return;
    }
    m_retry.stop();
    m_stored = 0;
    m_changed = false;
    m_target = backupName(m_settings.folder, m_log, platform::now());
    m_stop = std::make_shared<std::atomic<bool>>(false);
    m_copy = QtConcurrent::run(&m_pool, [log = m_log, target = m_target, folder = m_settings.folder,
                                         keep = m_settings.keep, stop = m_stop] {
        const QString why = platform::copyLogFile(log, target, stop.get());
        if (why.isEmpty()) {
            // The oldest copies of this log beyond the number kept go.
            const QStringList copies = backupsOf(folder, log);
            for (qsizetype i = 0; i + keep < copies.size(); ++i)
                QFile::remove(copies[i]);
            platform::syncFolder(folder);
        }
        return why;
    });
    m_watcher.setFuture(m_copy);
}

void AutoBackup::copyDone()
{
    const QString why = m_copy.result();
    if (why.isEmpty()) {
        emit copied(m_target);
    } else {
        // Tried again in a while; meanwhile the log counts as changed.
        m_changed = true;
        if (m_settings.active)
            m_retry.start();
        emit failed(why);
    }
    if (std::exchange(m_again, false))
        startCopy();
}

} // namespace logfile
