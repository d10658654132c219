#include "Prompts.h"

#include <QApplication>
#include <QFileDialog>
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
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("&Oui"));
        box.button(QMessageBox::No)->setText(QStringLiteral("&Non"));
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

QString askFileName(const FileRequest &request)
{
    if (responder() && responder()->file)
        return responder()->file(request);

    QFileDialog dialog(request.parent, request.title);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setNameFilter(qtFilter(request.filter));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save || !request.fileMustExist ? QFileDialog::AnyFile
                                                              : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setDirectory(QDir::current());
    if (!request.proposedPath.isEmpty())
        dialog.selectFile(request.proposedPath);
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Regarder dans :"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Nom du fichier :"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Type :"));
    dialog.setLabelText(QFileDialog::Accept, request.save ? QStringLiteral("&Enregistrer")
                                                          : QStringLiteral("&Ouvrir"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Annuler"));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : QDir::toNativeSeparators(files.first());
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
