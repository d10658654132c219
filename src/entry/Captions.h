#pragma once
// Captions of the three editing buttons, which change with the main window's
// editing state.
#include <QString>

namespace captions {

inline const QString kNouveau = QStringLiteral("&Nouveau");
inline const QString kModifier = QStringLiteral("&Modifier");
inline const QString kSupprimer = QStringLiteral("&Supprimer");
inline const QString kValider = QStringLiteral("&Valider");
inline const QString kAnnuler = QStringLiteral("&Annuler");

} // namespace captions
