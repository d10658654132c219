#include "Style.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>
#include <memory>

namespace platform {

namespace {
QFont face(const QString &family, double points, bool bold)
{
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}
} // namespace

QFont arial(double points, bool bold) { return face(QStringLiteral("Arial"), points, bold); }
QFont sansSerif(double points, bool bold) { return face(QStringLiteral("Liberation Sans"), points, bold); }

void setToolWindowLook(QWidget *window)
{
    QPalette pal = window->palette();
    if (std::unique_ptr<QStyle> fusion{QStyleFactory::create(QStringLiteral("Fusion"))})
        pal.setColor(QPalette::Window, fusion->standardPalette().color(QPalette::Window));
    window->setPalette(pal);
    window->setAutoFillBackground(true);
    window->setFont(sansSerif(8.25));
}

QDialogButtonBox *okCancelButtons(QDialog *dialog, QPushButton **ok, QPushButton **cancel)
{
    auto *buttons = new QDialogButtonBox(dialog);
    *ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    (*ok)->setObjectName(QStringLiteral("cmdOK"));
    (*ok)->setDefault(true);
    *cancel = buttons->addButton(QStringLiteral("Annuler"), QDialogButtonBox::RejectRole);
    (*cancel)->setObjectName(QStringLiteral("cmdAnnuler"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace platform
