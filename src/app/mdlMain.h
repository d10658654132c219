#pragma once
#include <QDateTime>
#include <chrono>
#include <functional>

class frmMain;

namespace mdlMain {

// Start-up: builds the main window, shows the splash window on top for the
// given time, makes the program's folder the current directory and shows the
// main window. Returns the main window, which deletes itself when closed.
frmMain *Main(std::chrono::milliseconds splashTime = std::chrono::seconds(4));

} // namespace mdlMain
