#include "frmSauvegarde.h"

#include "Messages.h"
#include "Prompts.h"
#include "Style.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

frmSauvegarde::frmSauvegarde(const logfile::BackupSettings &settings, QWidget *parent)
    : QDialog(parent), m_settings(settings)
{
    setObjectName(QStringLiteral("frmSauvegarde"));
    setWindowTitle(msg::backupTitle());
    setFont(platform::sansSerif(8.25));
    auto *form = new QFormLayout(this);

    chkActive = new QCheckBox(msg::backupActive(), this);
    chkActive->setObjectName(QStringLiteral("chkActive"));
    chkActive->setChecked(settings.active);
    form->addRow(chkActive);

    auto *folderRow = new QHBoxLayout;
    txtDossier = new QLineEdit(QDir::toNativeSeparators(settings.folder), this);
    txtDossier->setObjectName(QStringLiteral("txtDossier"));
    txtDossier->setMinimumWidth(260);
    cmdParcourir = new QPushButton(msg::backupBrowse(), this);
    cmdParcourir->setObjectName(QStringLiteral("cmdParcourir"));
    cmdParcourir->setAutoDefault(false);
    folderRow->addWidget(txtDossier, 1);
    folderRow->addWidget(cmdParcourir);
    form->addRow(msg::backupFolder(), folderRow);
    // (a layout takes no focus: the label's access key goes to the folder's box)
    if (auto *label = qobject_cast<QLabel *>(form->labelForField(folderRow)))
        label->setBuddy(txtDossier);

    // Whole numbers only, from a list the arrows walk: nothing to mistype.
    auto spin = [&](QSpinBox *&box, const char *name, int least, int most, int value, const QString &suffix,
                    const QString &caption) {
        box = new QSpinBox(this);
        box->setObjectName(QLatin1String(name));
        box->setRange(least, most);
        box->setValue(value);
        box->setSuffix(suffix);
        if (least == 0)
            box->setSpecialValueText(msg::backupNever());
        form->addRow(caption, box);
    };
    spin(spnContacts, "spnContacts", 0, 9999, settings.everyContacts, msg::backupContacts(), msg::backupEveryContacts());
    spin(spnMinutes, "spnMinutes", 0, 1440, settings.everyMinutes, msg::backupMinutes(), msg::backupEveryMinutes());
    spin(spnCopies, "spnCopies", 1, 999, settings.keep, msg::backupKept(), msg::backupKeep());

    form->addRow(platform::okCancelButtons(this, &cmdOK, &cmdAnnuler));
    form->setSizeConstraint(QLayout::SetFixedSize);
    connect(cmdParcourir, &QPushButton::clicked, this, &frmSauvegarde::cmdParcourir_Click);
}

void frmSauvegarde::cmdParcourir_Click()
{
    const QString chosen = platform::askFolder(this, msg::backupTitle(), txtDossier->text());
    if (!chosen.isEmpty())
        txtDossier->setText(chosen);
}

void frmSauvegarde::accept()
{
    logfile::BackupSettings s;
    s.active = chkActive->isChecked();
    s.folder = QDir::fromNativeSeparators(txtDossier->text().trimmed());
    s.everyContacts = spnContacts->value();
    s.everyMinutes = spnMinutes->value();
    s.keep = spnCopies->value();
    auto refuse = [this](QWidget *field, const QString &why) {
        platform::showMessage(this, why, platform::MessageIcon::Warning);
        field->setFocus();
        if (auto *edit = qobject_cast<QLineEdit *>(field))
            edit->selectAll();
    };
    if (s.active) {
        if (s.folder.isEmpty())
            return refuse(txtDossier, msg::backupNeedFolder());
        if (!QFileInfo(s.folder).isDir())
            return refuse(txtDossier, msg::folderMissing().arg(QDir::toNativeSeparators(s.folder)));
        if (s.everyContacts == 0 && s.everyMinutes == 0)
            return refuse(spnContacts, msg::backupNeedWhen());
    }
    m_settings = s;
    QDialog::accept();
}
