#pragma once
// Where the program is, where the files it reads are (reference database,
// help, icons), and its version.
#include <QString>

namespace platform {

// The folder of the running program (the settings are kept under its path).
QString programFolder();

// True when the program runs from the folder it is installed in (/usr/bin
// for the Debian package), false when it runs from its build folder.
bool isInstalled();

// The folder of the files the program reads: beside the program in its build
// folder; once installed, the data folder of the installation
// (/usr/share/sequanel for the Debian package). This is the one place that
// decides it.
QString dataFolder();

// A file of dataFolder(), by its path under it ("help/index.html").
QString programFile(const QString &relative);

// The program's version ("1.0"), set once for the whole build.
QString programVersion();

} // namespace platform
