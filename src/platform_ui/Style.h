#pragma once
// The look shared by the program's windows: faces, the window background and
// the icons delivered beside the program.
#include "ProgramFolder.h"

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QString>

class QDialog;
class QDialogButtonBox;
class QPushButton;
class QWidget;

namespace platform {

// "Arial" resolves to Liberation Sans (same metrics); "MS Sans Serif", the
// face of small windows and dialogs, is drawn with Liberation Sans too.
QFont arial(double points, bool bold = false);
QFont sansSerif(double points, bool bold = false);

// A small tool window: the plain grey background of dialogs (filled, so that
// it does not depend on the desktop's colours) and its 8.25-point face.
void setToolWindowLook(QWidget *window);

// The "OK" (default) and "Annuler" buttons of a dialog, named cmdOK and
// cmdAnnuler, which accept and reject it.
QDialogButtonBox *okCancelButtons(QDialog *dialog, QPushButton **ok, QPushButton **cancel);

// An icon of data/icons, copied to icons/ beside the program.
inline QIcon programIcon(const QString &name) { return QIcon(programFile(QStringLiteral("icons/") + name)); }

// A picture of icons/ drawn to fit a size in device pixels, its proportions
// kept. drawPictureAhead starts the drawing on another thread, at start-up,
// so that the first paint of the window showing it need not wait for it all;
// picture() then takes that drawing (waiting for its end), or draws it.
void drawPictureAhead(const QString &name, QSize size);
QImage picture(const QString &name, QSize size);

} // namespace platform
