#include "frmPartage.h"

#include "Engine.h"
#include "Messages.h"
#include "Prompts.h"
#include "Settings.h"
#include "Style.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QUrl>

namespace {

// Where the shared logs opened before are kept: one line each, their fields
// separated by tabs (server as typed, base, journal, user).
const QString kSection = QStringLiteral("Journaux partagés"), kKey = QStringLiteral("Récents");
constexpr int kKept = 8;

QString application() { return QCoreApplication::applicationDirPath(); }

QString encoded(const QString &part) { return QString::fromLatin1(QUrl::toPercentEncoding(part)); }

// The server as typed: "name", "name:port", "[v6 address]:port" or a folder.
QString serverText(const SharedLogRequest &log)
{
    const QString host = log.server.contains(QLatin1Char(':')) && !log.server.startsWith(QLatin1Char('/'))
                             ? QLatin1Char('[') + log.server + QLatin1Char(']')
                             : log.server;
    return log.port > 0 ? host + QLatin1Char(':') + QString::number(log.port) : host;
}

// Splits "server:port"; false when the port is not a port.
bool splitServer(const QString &typed, SharedLogRequest *log, QString *badPort)
{
    static const QRegularExpression form(QStringLiteral("^(\\[([^\\]]*)\\]|[^\\[]*?)(?::([^:\\]]*))?$"));
    const QString text = typed.trimmed();
    const auto m = form.match(text);
    QString host = m.captured(2).isEmpty() ? m.captured(1) : m.captured(2);
    QString port = m.captured(3);
    if (!m.hasMatch() || (host.contains(QLatin1Char(':')) && m.captured(2).isEmpty())) {
        host = text; // an IPv6 address without brackets: no port
        port.clear();
    }
    log->server = host;
    log->port = 0;
    if (m.hasMatch() && m.capturedLength(3) == 0 && text.endsWith(QLatin1Char(':')))
        port = QStringLiteral(":"); // "name:" names no port
    if (!port.isEmpty()) {
        bool number = false;
        const int value = port.toInt(&number);
        if (!number || value < 1 || value > 65535) {
            *badPort = port;
            return false;
        }
        log->port = value;
    }
    return true;
}

} // namespace

QString SharedLogRequest::address() const
{
    QString host = encoded(server);
    if (server.contains(QLatin1Char(':')) && !server.startsWith(QLatin1Char('/')))
        host = QLatin1Char('[') + server + QLatin1Char(']');
    return QStringLiteral("postgresql://%1%2%3/%4?journal=%5")
        .arg(user.isEmpty() ? QString() : encoded(user) + QLatin1Char('@'), host,
             port > 0 ? QLatin1Char(':') + QString::number(port) : QString(), encoded(base), encoded(journal));
}

QString SharedLogRequest::shortName() const { return platform::logDisplayName(address()); }

bool isJournalName(const QString &name)
{
    static const QRegularExpression form(QStringLiteral("^[\\p{L}_][\\p{L}\\p{N}_]*$"));
    return form.match(name).hasMatch() && name.toUtf8().size() <= 63
           && !name.startsWith(QLatin1String("pg_"), Qt::CaseInsensitive);
}

QVector<SharedLogRequest> recentSharedLogs()
{
    QVector<SharedLogRequest> out;
    const QString kept = platform::readSetting(application(), kSection, kKey, QString());
    for (const QString &line : kept.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char('\t'));
        SharedLogRequest log;
        QString badPort;
        // A garbled line is left out, not shown half.
        if (f.size() != 4 || !splitServer(f[0], &log, &badPort) || log.server.isEmpty() || f[1].isEmpty()
            || !isJournalName(f[2]))
            continue;
        log.base = f[1];
        log.journal = f[2];
        log.user = f[3];
        if (out.size() < kKept)
            out << log;
    }
    return out;
}

void rememberSharedLog(const SharedLogRequest &log)
{
    QStringList lines{serverText(log) + QLatin1Char('\t') + log.base + QLatin1Char('\t') + log.journal + QLatin1Char('\t')
                      + log.user};
    for (const SharedLogRequest &before : recentSharedLogs())
        if (before.address() != log.address() && lines.size() < kKept)
            lines << serverText(before) + QLatin1Char('\t') + before.base + QLatin1Char('\t') + before.journal
                         + QLatin1Char('\t') + before.user;
    // Losing the list loses no contact: a failure is not said.
    platform::writeSetting(application(), kSection, kKey, lines.join(QLatin1Char('\n')));
}

frmPartage::frmPartage(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPartage"));
    setWindowTitle(msg::sharedTitle());
    setFont(platform::sansSerif(8.25));
    auto *form = new QFormLayout(this);
    auto line = [&](QLineEdit *&edit, const char *name, const QString &caption, const QString &hint = {}) {
        edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        edit->setToolTip(hint);
        edit->setMinimumWidth(260);
        form->addRow(caption, edit);
    };
    m_recent = recentSharedLogs();
    cmbRécents = new QComboBox(this);
    cmbRécents->setObjectName(QStringLiteral("cmbRécents"));
    for (const SharedLogRequest &log : m_recent)
        cmbRécents->addItem(log.shortName() + (log.user.isEmpty() ? QString() : QStringLiteral(" (") + log.user + QLatin1Char(')')));
    cmbRécents->setEnabled(!m_recent.isEmpty());
    form->addRow(msg::sharedRecent(), cmbRécents);
    line(txtServeur, "txtServeur", msg::sharedServer(), msg::sharedServerHint());
    line(txtBase, "txtBase", msg::sharedBase());
    line(txtJournal, "txtJournal", msg::sharedJournal());
    txtJournal->setMaxLength(63);
    line(txtUtilisateur, "txtUtilisateur", msg::sharedUser());
    line(txtMotDePasse, "txtMotDePasse", msg::sharedPassword(), msg::sharedPasswordHint());
    txtMotDePasse->setEchoMode(QLineEdit::Password);
    chkCréer = new QCheckBox(msg::sharedCreate(), this);
    chkCréer->setObjectName(QStringLiteral("chkCréer"));
    form->addRow(QString(), chkCréer);
    form->addRow(platform::okCancelButtons(this, &cmdOK, &cmdAnnuler));
    form->setSizeConstraint(QLayout::SetFixedSize);
    connect(cmbRécents, &QComboBox::activated, this, &frmPartage::fillFrom);
    if (!m_recent.isEmpty())
        fillFrom(0);
}

void frmPartage::fillFrom(int recent)
{
    if (recent < 0 || recent >= m_recent.size())
        return;
    const SharedLogRequest &log = m_recent[recent];
    txtServeur->setText(serverText(log));
    txtBase->setText(log.base);
    txtJournal->setText(log.journal);
    txtUtilisateur->setText(log.user);
    txtMotDePasse->clear();
}

void frmPartage::accept()
{
    SharedLogRequest log;
    QString badPort;
    auto refuse = [this](QLineEdit *field, const QString &why) {
        platform::showMessage(this, why, platform::MessageIcon::Warning);
        field->setFocus();
        field->selectAll();
    };
    if (!splitServer(txtServeur->text(), &log, &badPort))
        return refuse(txtServeur, msg::sharedBadPort().arg(badPort));
    if (log.server.isEmpty())
        return refuse(txtServeur, msg::sharedNeedServer());
    log.base = txtBase->text().trimmed();
    if (log.base.isEmpty())
        return refuse(txtBase, msg::sharedNeedBase());
    log.journal = txtJournal->text().trimmed();
    if (!isJournalName(log.journal))
        return refuse(txtJournal, msg::sharedBadJournal().arg(log.journal));
    log.user = txtUtilisateur->text().trimmed();
    log.password = txtMotDePasse->text();
    log.create = chkCréer->isChecked();
    m_request = log;
    QDialog::accept();
}
