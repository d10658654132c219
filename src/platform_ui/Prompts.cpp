#include "Prompts.h"
#include "Messages.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <optional>

namespace platform {

namespace {
std::optional<Responder> &responder()
{
    static std::optional<Responder> r;
    return r;
}

// The "Type" column of the file dialogs, in French whatever the user's
// language (Qt's own words there are English).
class FrenchFileTypes : public QFileIconProvider
{
public:
    QString type(const QFileInfo &info) const override
    {
        if (info.isRoot())
            return QStringLiteral("Lecteur");
        if (info.isDir())
            return QStringLiteral("Dossier");
        const QString suffix = info.suffix();
        if (suffix.compare(QLatin1String("adb"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("Base de données");
        return suffix.isEmpty() ? QStringLiteral("Fichier") : QStringLiteral("Fichier ") + suffix.toUpper();
    }
};

// Qt's file dialog, refusing what it would otherwise return wrongly: a file in
// a folder that does not exist, and a name holding a double quote (which Qt
// reads as a list of names, the first taken relative to the folder shown).
class FileDialog : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    // Save dialogs ask before a file is replaced; the question is ours, not
    // the toolkit's, so that it reads as the program's other messages.
    bool askBeforeReplacing = false;

protected:
    void accept() override
    {
        auto *edit = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (edit && edit->text().contains(QLatin1Char('"'))) {
            refuse(msg::nameWithQuote().arg(edit->text()));
            return;
        }
        const QStringList files = selectedFiles();
        if (!files.isEmpty()) {
            const QFileInfo chosen(files.first());
            if (!chosen.isDir() && !QFileInfo(chosen.absolutePath()).isDir()) {
                refuse(msg::folderMissing().arg(QDir::toNativeSeparators(chosen.absolutePath())));
                return;
            }
            if (askBeforeReplacing && acceptMode() == AcceptSave && chosen.isFile()
                && showMessage(this, msg::replaceExisting().arg(chosen.fileName()), MessageIcon::Warning,
                               MessageButtons::YesNo)
                       != Answer::Yes)
                return;
        }
        QFileDialog::accept();
    }

private:
    void refuse(const QString &text) { showMessage(this, text, MessageIcon::Warning); }
};
} // namespace

QString applicationTitle() { return QStringLiteral("Sequanel"); }

void setResponder(const Responder &r) { responder() = r; }
void clearResponder() { responder().reset(); }

Answer showMessage(const MessageRequest &request)
{
    if (responder() && responder()->message)
        return responder()->message(request);

    QMessageBox box(request.parent);
    box.setWindowTitle(applicationTitle());
    box.setText(request.text);
    switch (request.icon) {
    case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (request.buttons) {
    case MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoDefaultNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("&Oui"));
        box.button(QMessageBox::No)->setText(QStringLiteral("&Non"));
        if (request.buttons == MessageButtons::YesNoDefaultNo)
            box.setDefaultButton(QMessageBox::No);
        break;
    case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("Annuler"));
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Cancel: return Answer::Cancel;
    default: return Answer::Ok;
    }
}

QString qtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1];
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        // The description may already show the pattern; Qt reads the pattern from
        // the last parentheses, so append it only when it is not there.
        QString desc = parts[i];
        if (!desc.trimmed().endsWith(QLatin1Char(')')))
            desc += QStringLiteral(" (") + pattern + QLatin1Char(')');
        out << desc;
    }
    return out.join(QStringLiteral(";;"));
}

QString askSaveFile(QWidget *parent, const QString &title, const QString &typeName, const QString &suffix,
                    const QString &initialPath)
{
    FileRequest request;
    request.parent = parent;
    request.save = true;
    request.title = title;
    request.filter = QStringLiteral("%1 (*.%2)|*.%2").arg(typeName, suffix);
    request.confirmOverwrite = true;
    request.defaultSuffix = suffix;
    request.initialPath = initialPath;
    return askFileName(request);
}

QString askFileName(const FileRequest &request)
{
    if (responder() && responder()->file)
        return responder()->file(request);

    FrenchFileTypes types;
    FileDialog dialog(request.parent, request.title);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setIconProvider(&types);
    dialog.setNameFilter(qtFilter(request.filter));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.folder ? QFileDialog::Directory
                       : request.save || !request.fileMustExist ? QFileDialog::AnyFile
                                                                : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ShowDirsOnly, request.folder);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.askBeforeReplacing = request.confirmOverwrite;
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (request.initialPath.isEmpty()) {
        dialog.setDirectory(QDir::current());
    } else if (request.folder) {
        dialog.setDirectory(request.initialPath);
    } else {
        const QFileInfo proposed(request.initialPath);
        dialog.setDirectory(proposed.absolutePath());
        dialog.selectFile(proposed.fileName());
    }
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Regarder dans :"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Nom du fichier :"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Type :"));
    dialog.setLabelText(QFileDialog::Accept, request.folder ? QStringLiteral("&Choisir")
                                             : request.save ? QStringLiteral("&Enregistrer")
                                                            : QStringLiteral("&Ouvrir"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Annuler"));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : QDir::toNativeSeparators(files.first());
}

QString askFolder(QWidget *parent, const QString &title, const QString &initialFolder)
{
    FileRequest request;
    request.parent = parent;
    request.title = title;
    request.folder = true;
    request.initialPath = initialFolder;
    return askFileName(request);
}

void beep()
{
    if (responder() && responder()->beep) {
        responder()->beep();
        return;
    }
    QApplication::beep();
}

} // namespace platform
