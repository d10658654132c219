#pragma once
#include <QDateTime>
#include <chrono>
#include <functional>

class QApplication;
class frmMain;

namespace mdlMain {

// The application's look, name and icon, and Qt's own dialogs (file dialog,
// message box buttons) in French; the splash's pictures start being drawn.
void setUpApplication(QApplication &app);

// Start-up: shows the splash window on top for the given time, building the
// main window meanwhile, makes the program's folder the current directory and
// shows the main window, then opens the log given, if any (a file named from
// the folder the program started in, or a shared log's address). Returns the
// main window, which deletes itself when closed.
frmMain *Main(std::chrono::milliseconds splashTime = std::chrono::seconds(4), const QString &log = QString());

// When the desktop ends the program (SIGTERM or SIGHUP, the end of the
// session, any request to quit), main's pending entry is stored when it can
// be and given up otherwise, without a question: nobody may be there to
// answer. A signal then closes main and ends the program, whatever window or
// question is open. Main() calls it once the splash is gone; a later call
// moves it to another window.
void endWithTheDesktop(frmMain *main);

} // namespace mdlMain
