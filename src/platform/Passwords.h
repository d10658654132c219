#pragma once
// Passwords typed for shared logs, kept in this process's memory only, for
// as long as it runs: never written in the settings, the log's name or a
// message.
#include <QString>

namespace platform {

// The password to give the server of a shared log's address (empty: none,
// then the client library's own password file is read, when there is one).
void setServerPassword(const QString &address, const QString &password);
QString serverPassword(const QString &address);

} // namespace platform
