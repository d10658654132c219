#pragma once
// The help viewer: a small window that shows the HTML help book delivered
// beside the program, with working links, "Sommaire", "Précédent" and
// "Suivant".
#include <QString>

class QWidget;

namespace platform {

// Shows the page indexPath (the contents page of the help book) in the help
// window of owner, opening that window if needed or bringing it forward.
// The window is a separate window owned by owner: it stays above owner and
// closes with it; owner has at most one. When indexPath is missing or cannot
// be read, nothing is shown, *errorMessage (if given) receives a French
// message naming the file, and the result is false.
//
// Object names, for whoever needs to find the parts: the window is
// "helpWindow", its browser "helpBrowser", its actions "helpHome",
// "helpBack" and "helpForward".
bool showHelpContents(QWidget *owner, const QString &indexPath, QString *errorMessage);

} // namespace platform
