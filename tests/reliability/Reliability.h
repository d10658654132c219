#pragma once
// Pieces shared by the reliability tests and their helper programs: the
// contact a writer stores for a serial number, and typing a contact into the
// main window.
#include "Regional.h"
#include "frmMain.h"

#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QVariantList>

namespace reliability {

// The moment the clock shows when contact n is started.
inline QDateTime momentOf(int n) { return QDateTime(QDate(2024, 6, 1), QTime(8, 0)).addSecs(n); }

// The stored row of contact n (column order of Transmission), as text.
inline QStringList storedFor(int n)
{
    return {momentOf(n).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), QString::number(n), QString::number(51 + n % 9),
            QString::number(26 + n % 3), QString::number(5 + (n * 10) % 1000), QStringLiteral("USB"), QString::number(n % 200),
            QStringLiteral("Québec"), QStringLiteral("Hôtel"), QStringLiteral("Zoulou"), QString::number(n % 30000),
            QStringLiteral("BP %1").arg(n % 97), QStringLiteral("Saint-Étienne"), QString::number(10000 + n),
            QStringLiteral("France"), QStringLiteral("Hélène")};
}

// The entry controls of the window, in column order, and the property that holds their text.
inline QList<QWidget *> controls(const frmMain &w)
{
    const frmMain::Controls &c = w.controls();
    return {c.txtDateHeure, c.txtNrSequanel, c.txtRST, c.cmbMHz,   c.cmbHz,         c.cmbBande, c.txtPréfixeQRZ, c.cmbQRZ1,
            c.cmbQRZ2,      c.cmbQRZ3,       c.txtNrQRZ, c.txtBP, c.txtVille, c.txtCodePostal, c.txtPays, c.txtOpérateur};
}
inline const char *textProperty(QWidget *c) { return qobject_cast<QComboBox *>(c) ? "currentText" : "text"; }

// Types contact n as the operator does, the serial number left to the window;
// the hertz are typed with their leading zeros.
inline void type(frmMain &w, int n)
{
    QStringList typed = storedFor(n);
    typed[0] = platform::formatDateTime(momentOf(n));
    typed[4] = typed[4].rightJustified(3, QLatin1Char('0'));
    const QList<QWidget *> c = controls(w);
    for (int i : {0, 2, 5, 3, 4, 15, 6, 7, 8, 9, 10, 13, 12, 11, 14})
        c[i]->setProperty(textProperty(c[i]), typed[i]);
}

// Contact i of station s among several logging into one shared log: told
// apart by its postal code (10000 + 1000 s + i); the call signs repeat from
// one station to another (prefix 14, number i % 50).
inline int stationContact(int s, int i) { return 1000 * s + i; }
inline void typeStation(frmMain &w, int s, int i)
{
    type(w, stationContact(s, i));
    w.controls().txtPréfixeQRZ->setText(QStringLiteral("14"));
    w.controls().txtNrQRZ->setText(QString::number(i % 50));
    w.controls().txtOpérateur->setText(QStringLiteral("Poste %1").arg(s));
}

// Texts of the entry controls, in column order, as the window shows them.
inline QStringList shown(const frmMain &w)
{
    QStringList out;
    for (QWidget *c : controls(w))
        out << c->property(textProperty(c)).toString();
    return out;
}

inline QStringList asText(const QVariantList &row)
{
    QStringList out;
    for (const QVariant &v : row)
        out << v.toString();
    return out;
}

} // namespace reliability
