#include "Passwords.h"

#include <QHash>
#include <QMutex>

namespace platform {

namespace {
QMutex s_lock; // the readings' threads connect too
QHash<QString, QString> &passwords()
{
    static QHash<QString, QString> kept;
    return kept;
}
} // namespace

void setServerPassword(const QString &address, const QString &password)
{
    const QMutexLocker locked(&s_lock);
    if (password.isEmpty())
        passwords().remove(address);
    else
        passwords().insert(address, password);
}

QString serverPassword(const QString &address)
{
    const QMutexLocker locked(&s_lock);
    return passwords().value(address);
}

} // namespace platform
