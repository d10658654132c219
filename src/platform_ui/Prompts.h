#pragma once
// Questions and messages to the user: message boxes, file dialogs and the beep.
// Every window goes through these functions; tests install a Responder that
// answers instead of the user.
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace platform {

enum class MessageIcon { None, Information, Warning, Critical, Question };
// YesNoDefaultNo: Enter answers No.
enum class MessageButtons { Ok, YesNo, YesNoDefaultNo, OkCancel };
enum class Answer { Ok, Cancel, Yes, No };

struct MessageRequest {
    QWidget *parent = nullptr;
    QString text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

struct FileRequest {
    QWidget *parent = nullptr;
    bool save = false;             // save dialog (else open dialog)
    QString title;
    QString filter;                // "Description|pattern" pairs, as "Base de données  (*.adb)|*.adb"
    bool confirmOverwrite = false; // save dialog asks before replacing a file
    bool fileMustExist = false;    // open dialog accepts only existing files
    QString defaultSuffix;         // empty: never add an extension
    QString initialPath;           // folder and proposed name; empty: the current folder
    bool folder = false;           // a folder is chosen, not a file
};

// The title of every message box.
QString applicationTitle();

Answer showMessage(const MessageRequest &request);
inline Answer showMessage(QWidget *parent, const QString &text, MessageIcon icon,
                          MessageButtons buttons = MessageButtons::Ok)
{
    return showMessage(MessageRequest{parent, text, icon, buttons});
}

// The full path chosen, or an empty string when the user cancelled.
QString askFileName(const FileRequest &request);
// A save dialog for one type of file ("Fichier CSV", "csv"): it asks before
// replacing a file and adds the extension to a name typed without one.
QString askSaveFile(QWidget *parent, const QString &title, const QString &typeName, const QString &suffix,
                    const QString &initialPath = QString());

// A folder dialog: the existing folder chosen, or an empty string.
QString askFolder(QWidget *parent, const QString &title, const QString &initialFolder = QString());

void beep();

// Test seam: when set, these are called instead of showing anything.
struct Responder {
    std::function<Answer(const MessageRequest &)> message;
    std::function<QString(const FileRequest &)> file;
    std::function<void()> beep;
};
void setResponder(const Responder &responder);
void clearResponder();

// Turns "Desc|*.a|Desc2|*.b" into Qt's "Desc (*.a);;Desc2 (*.b)" form.
QString qtFilter(const QString &filter);

} // namespace platform
