// Opening an old log file (Jet 3.0): it is converted into a new Sequanel log
// file, which is then opened; the old file is never changed.
#include "frmMain.h"
#include "frmPartage.h"
#include "Passwords.h"
#include "Messages.h"

#include "Converter.h"
#include "LogFile.h"
#include "Progress.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
// "journal.adb" -> "journal (converti).adb", in the same folder.
QString convertedName(const QString &old)
{
    const QFileInfo info(old);
    QString name = info.completeBaseName() + QStringLiteral(" (converti)");
    if (!info.suffix().isEmpty())
        name += QLatin1Char('.') + info.suffix();
    return QDir::toNativeSeparators(info.absoluteDir().filePath(name));
}
} // namespace

void frmMain::convertOldLog(const QString &old)
{
    const QString oldName = QDir::toNativeSeparators(old);
    const QString question = msg::convertQuestion().arg(oldName);
    if (platform::showMessage(this, question, platform::MessageIcon::Question, platform::MessageButtons::YesNo)
        != platform::Answer::Yes)
        return;

    const QString path = askLogFile(true, convertedName(old));
    if (path.isEmpty())
        return;

    const QFileInfo target(path);
    QString refusal;
    if (target.exists() && target.canonicalFilePath() == QFileInfo(old).canonicalFilePath())
        refusal = msg::convertOtherName().arg(oldName);
    else
        refusal = logfile::newFileProblem(path);
    if (!refusal.isEmpty()) {
        platform::showMessage(this, refusal, platform::MessageIcon::Critical);
        return;
    }

    // Converted beside the chosen file, then put in its place.
    const QString temp = logfile::temporaryBeside(path);
    QFile::remove(temp);
    legacy::ChildResult result;
    {
        platform::Progress progress(this, msg::convertProgress().arg(oldName));
        result = legacy::runConverter(
            old, temp, [&](qint64 done, qint64 total) { return progress.report(done, total); }, QString(), path);
    }
    if (result.status == legacy::ChildResult::Canceled)
        return;
    // A damaged file read in part: the readable contacts are kept only when
    // the user says so.
    if (result.status == legacy::ChildResult::Partial
        && platform::showMessage(this, msg::convertPartialQuestion().arg(oldName, result.damage),
                                 platform::MessageIcon::Warning, platform::MessageButtons::YesNo)
               != platform::Answer::Yes) {
        QFile::remove(temp);
        QFile::remove(temp + QStringLiteral("-journal"));
        return;
    }
    if (result.status != legacy::ChildResult::Done && result.status != legacy::ChildResult::Partial) {
        platform::showMessage(this, result.message, platform::MessageIcon::Critical);
        return;
    }
    if (!settlePendingEntry(msg::openWithoutStoring())) {
        QFile::remove(temp);
        return;
    }
    QString message;
    platform::FilePlacement placement;
    if (!logfile::replaceFile(temp, path, &message, &placement)) {
        QFile::remove(temp);
        platform::showMessage(this, message, platform::MessageIcon::Critical);
        return;
    }
    if (bindPlacedFile(placement, temp, path))
        platform::showMessage(this, result.message, platform::MessageIcon::Information);
}

std::optional<QString> frmMain::copyOpenLog(const QString &target, const QString &shownTarget)
{
    auto quoted = [](const QString &name) { return QStringLiteral("« %1 »").arg(QDir::toNativeSeparators(name)); };
    const QString source = ui.Data1->databaseName();
    const QString shownSource = quoted(platform::logDisplayName(source));
    QString message;
    std::optional<qint64> copied;
    {
        platform::Progress progress(this, msg::copyProgress().arg(shownSource));
        copied = logfile::copyLog(source, target, &message, shownSource, quoted(shownTarget),
                                  [&] { return progress.report(0, 0); });
    }
    if (!copied) {
        if (!message.isEmpty()) // (nothing to say when the user cancelled)
            platform::showMessage(this, message, platform::MessageIcon::Critical);
        return std::nullopt;
    }
    const QString done = *copied == 0   ? msg::copiedNone().arg(shownSource)
                         : *copied == 1 ? msg::copiedOne().arg(shownSource)
                                        : msg::copiedMany().arg(*copied).arg(shownSource);
    return done + QLatin1Char('\n') + msg::copyNewLog().arg(quoted(shownTarget));
}

void frmMain::mnuCopierPartage_Click()
{
    frmPartage dialog(this);
    dialog.setWindowTitle(msg::copyToSharedTitle());
    dialog.chkCréer->hide(); // the copy always makes a new journal
    if (dialog.exec() != QDialog::Accepted)
        return;
    const SharedLogRequest log = dialog.request();
    platform::setServerPassword(log.address(), log.password);
    if (const auto done = copyOpenLog(log.address(), log.shortName())) {
        rememberSharedLog(log);
        platform::showMessage(this, *done, platform::MessageIcon::Information);
    }
}

void frmMain::mnuCopierFichier_Click()
{
    const QString path = askLogFile(true);
    if (path.isEmpty())
        return;
    if (const QString refusal = logfile::newFileProblem(path); !refusal.isEmpty()) {
        platform::showMessage(this, refusal, platform::MessageIcon::Critical);
        return;
    }
    // Made beside the chosen file, then put in its place (the dialog asked
    // before a file there is replaced).
    const QString temp = logfile::temporaryBeside(path);
    platform::Connection::remove(temp);
    const auto done = copyOpenLog(temp, path);
    if (!done)
        return;
    QString message;
    if (!logfile::replaceFile(temp, path, &message)) {
        platform::Connection::remove(temp);
        platform::showMessage(this, message, platform::MessageIcon::Critical);
        return;
    }
    platform::showMessage(this, *done, platform::MessageIcon::Information);
}
