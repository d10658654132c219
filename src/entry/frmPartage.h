#pragma once
// The dialog that names a shared log: a journal in a base of a database
// server, and who connects to it. The shared logs opened before are offered
// again; a password is never written anywhere.
#include <QDialog>
#include <QVector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

struct SharedLogRequest {
    QString server; // name or address of the server, or the folder of its socket
    int port = 0;   // 0: the server's usual one
    QString base, journal, user, password;
    bool create = false;

    // postgresql://user@server:port/base?journal=NAME, each part
    // percent-encoded, without the password.
    QString address() const;
    // server/base/journal, for titles and lists.
    QString shortName() const;
};

// The shared logs opened before, the latest first.
QVector<SharedLogRequest> recentSharedLogs();
// Puts a shared log first among them (its password left out).
void rememberSharedLog(const SharedLogRequest &log);

class frmPartage : public QDialog
{
    Q_OBJECT
public:
    explicit frmPartage(QWidget *parent = nullptr);

    QComboBox *cmbRécents = nullptr;
    QLineEdit *txtServeur = nullptr;
    QLineEdit *txtBase = nullptr;
    QLineEdit *txtJournal = nullptr;
    QLineEdit *txtUtilisateur = nullptr;
    QLineEdit *txtMotDePasse = nullptr;
    QCheckBox *chkCréer = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdAnnuler = nullptr;

    // What the fields name; valid only once the dialog was accepted.
    SharedLogRequest request() const { return m_request; }
    // Checks the fields: a field that cannot name a shared log is said, and
    // the dialog stays.
    void accept() override;

private:
    void fillFrom(int recent);
    QVector<SharedLogRequest> m_recent;
    SharedLogRequest m_request;
};

// True when name is written as PostgreSQL writes a name without quotes:
// letters, digits and underscores, not a digit first, at most 63 bytes, and
// not beginning with pg_ (the server's own schemas).
bool isJournalName(const QString &name);
