#pragma once
// Pieces shared by the reliability tests and their helper programs: the
// contact a writer stores for a serial number, and typing a contact into the
// main window.
#include "frmMain.h"

#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QVariantList>

namespace reliability {

// The moment the clock shows when contact n is started.
inline QDateTime momentOf(int n) { return QDateTime(QDate(2024, 6, 1), QTime(8, 0)).addSecs(n); }

// What the operator types for contact n, in the order of the entry controls
// after the date and the serial number (which the window fills itself).
struct Typed {
    QString rst, bande, mhz, hz, operateur, prefixe, qrz1, qrz2, qrz3, nrQrz, cp, ville, bp, pays;
};

inline Typed typedFor(int n)
{
    return Typed{QString::number(51 + n % 9), QStringLiteral("USB"), QString::number(26 + n % 3),
                 QString::number(5 + (n * 10) % 1000).rightJustified(3, QLatin1Char('0')),
                 QStringLiteral("Hélène"), QString::number(n % 200), QStringLiteral("Québec"),
                 QStringLiteral("Hôtel"), QStringLiteral("Zoulou"), QString::number(n % 30000),
                 QString::number(10000 + n), QStringLiteral("Saint-Étienne"), QStringLiteral("BP %1").arg(n % 97),
                 QStringLiteral("France")};
}

inline void type(frmMain &w, const Typed &t)
{
    w.txtRST->setText(t.rst);
    w.cmbBande->setEditText(t.bande);
    w.cmbMHz->setEditText(t.mhz);
    w.cmbHz->setEditText(t.hz);
    w.txtOpérateur->setText(t.operateur);
    w.txtPréfixeQRZ->setText(t.prefixe);
    w.cmbQRZ1->setEditText(t.qrz1);
    w.cmbQRZ2->setEditText(t.qrz2);
    w.cmbQRZ3->setEditText(t.qrz3);
    w.txtNrQRZ->setText(t.nrQrz);
    w.txtCodePostal->setText(t.cp);
    w.txtVille->setText(t.ville);
    w.txtBP->setText(t.bp);
    w.txtPays->setText(t.pays);
}

// The stored row of contact n (column order of Transmission), as text; an
// empty column reads as a null.
inline QStringList storedFor(int n)
{
    const Typed t = typedFor(n);
    return {momentOf(n).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), QString::number(n), t.rst, t.mhz,
            QString::number(t.hz.toInt()), t.bande, t.prefixe, t.qrz1, t.qrz2, t.qrz3, t.nrQrz, t.bp, t.ville,
            t.cp, t.pays, t.operateur};
}

inline QStringList asText(const QVariantList &row)
{
    QStringList out;
    for (const QVariant &v : row)
        out << v.toString();
    return out;
}

// Texts of the entry controls, in column order, as the window shows them.
inline QStringList shown(const frmMain &w)
{
    return {w.txtDateHeure->text(), w.txtNrSequanel->text(), w.txtRST->text(), w.cmbMHz->currentText(),
            w.cmbHz->currentText(), w.cmbBande->currentText(), w.txtPréfixeQRZ->text(), w.cmbQRZ1->currentText(),
            w.cmbQRZ2->currentText(), w.cmbQRZ3->currentText(), w.txtNrQRZ->text(), w.txtBP->text(),
            w.txtVille->text(), w.txtCodePostal->text(), w.txtPays->text(), w.txtOpérateur->text()};
}

} // namespace reliability
