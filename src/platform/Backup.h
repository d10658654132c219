#pragma once
// A copy of a log file made while the log is in use, by the engine's online
// backup, for automatic copies on another disk (a USB stick).
#include <QString>
#include <atomic>

namespace platform {

// Copies the log file at from into the file at to (replaced when it exists).
// The log is read a few pages at a time, so that another program storing
// meanwhile waits no longer than a moment (a copy that its stores keep
// starting again gives up); the pages go first to a staging
// file in the system's temporary folder, which is checked, then written
// under a hidden name beside to, synced, and renamed. Setting stop ends the
// copy early (it then fails). Empty when the copy is in place; otherwise why
// not, in French, as a reason put into a sentence ("le disque est plein"),
// nothing being left at to or beside it.
QString copyLogFile(const QString &from, const QString &to, const std::atomic<bool> *stop = nullptr);

} // namespace platform
