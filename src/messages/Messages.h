#pragma once
// Every message the program shows or prints, in French, in one place. A
// text with %1, %2... is completed by the caller with QString::arg(), in the
// order of the numbers.
#include <QString>

namespace msg {

// Files and the engine
inline QString fileBusy()
{
    return QStringLiteral("Le fichier est occupé par un autre programme ; réessayez dans un instant.");
}
inline QString fileLocked() { return QStringLiteral("Le fichier est verrouillé par un autre programme."); }
inline QString fileReadOnly() { return QStringLiteral("Le fichier ou son dossier est en lecture seule."); }
inline QString notADatabase() { return QStringLiteral("Ce n'est pas un fichier de base de données."); }
inline QString fileDamaged() { return QStringLiteral("Le fichier est endommagé."); }
inline QString diskFull() { return QStringLiteral("Le disque est plein."); }
inline QString isFolder() { return QStringLiteral("C'est un dossier, pas un fichier."); }
inline QString cannotOpen()
{
    return QStringLiteral("Le fichier ne peut pas être ouvert : il n'existe pas, ou son dossier est "
                          "inaccessible.");
}
inline QString diskError() { return QStringLiteral("Le disque a signalé une erreur de lecture ou d'écriture."); }
inline QString noPermission() { return QStringLiteral("Vous n'avez pas le droit d'accéder à ce fichier."); }
inline QString fileMoved()
{
    return QStringLiteral("Le fichier n'existe plus à cet endroit : il a été renommé, déplacé ou supprimé.");
}
inline QString changeRefusedByRule()
{
    return QStringLiteral("Le fichier a refusé la modification : une règle enregistrée dans le fichier "
                          "l'interdit.");
}
inline QString engineError()
{
    return QStringLiteral("Le moteur de base de données a signalé une erreur (code %1).");
}

// Shared logs on a server
inline QString serverUnreachable()
{
    return QStringLiteral("Le serveur ne répond pas : il est arrêté, ou le réseau est coupé ; réessayez dans un instant.");
}
inline QString serverNoPermission()
{
    return QStringLiteral("Le serveur refuse l'accès : l'utilisateur, le mot de passe ou ses droits ne conviennent pas.");
}
inline QString sharedLogMissing() { return QStringLiteral("Ce journal partagé ou sa base n'existe pas sur le serveur."); }
inline QString sharedCreateHint()
{
    return QStringLiteral("\nPour créer le journal, cochez « Créer ce journal s'il n'existe pas » dans « Ouvrir un journal "
                          "partagé… ».");
}
inline QString sharedLogExists() { return QStringLiteral("Un journal partagé de ce nom existe déjà sur le serveur."); }
inline QString sharedLogBusy()
{
    return QStringLiteral("Le journal partagé est occupé par un autre poste ; réessayez dans un instant.");
}
inline QString sharedLogReadOnly() { return QStringLiteral("Le journal partagé est ouvert en lecture seule."); }
inline QString serverRefusedByRule()
{
    return QStringLiteral("Le serveur a refusé la modification : une règle du journal partagé l'interdit.");
}
inline QString serverDiskFull() { return QStringLiteral("Le disque du serveur est plein."); }
inline QString serverDamaged()
{
    return QStringLiteral("Le serveur a signalé une erreur de lecture ou d'écriture de ses données.");
}
inline QString sharedAddressInvalid()
{
    return QStringLiteral("L'adresse du journal partagé n'est pas valable ; elle s'écrit "
                          "postgresql://utilisateur@serveur/base?journal=NOM.");
}
inline QString sharedJournalNameInvalid()
{
    return QStringLiteral("Le nom du journal partagé n'est pas valable : lettres, chiffres et « _ » seulement, "
                          "sans chiffre au début ni « pg_ », 63 octets au plus.");
}
inline QString serverError()
{
    return QStringLiteral("Le serveur de base de données a signalé une erreur (code %1).");
}
inline QString serverAnswerLost()
{
    return QStringLiteral("Le serveur n'a pas répondu après avoir reçu la demande : on ne sait pas si elle a été faite.");
}
inline QString sharedLogNotReadable()
{
    return QStringLiteral("Vous n'avez pas le droit de lire ce journal partagé : demandez-le à l'organisateur du serveur.");
}
inline QString serverTlsRefused()
{
    return QStringLiteral("La liaison chiffrée demandée n'a pas pu être établie : le serveur ne la propose pas, ou son "
                          "certificat n'a pas pu être vérifié (autorité inconnue, ou nom du serveur différent).");
}
inline QString serverClientError()
{
    return QStringLiteral("La demande n'a pas pu être préparée pour le serveur (erreur du programme, non du serveur ni du "
                          "réseau).");
}

// Help
inline QString helpHomeTip() { return QStringLiteral("Revenir au sommaire de l'aide (Alt+Origine)"); }
inline QString helpBackTip() { return QStringLiteral("Page précédente (Alt+Gauche)"); }
inline QString helpForwardTip() { return QStringLiteral("Page suivante (Alt+Droite)"); }
inline QString noHelpFile() { return QStringLiteral("Aucun fichier d'aide n'est indiqué."); }
inline QString helpFileMissing() { return QStringLiteral("Le fichier d'aide « %1 » est introuvable."); }
inline QString notAHelpFile() { return QStringLiteral("« %1 » n'est pas un fichier d'aide lisible."); }
inline QString helpFileUnreadable() { return QStringLiteral("Le fichier d'aide « %1 » ne peut pas être lu."); }
// Under the About box's pictures. %1: the version number.
inline QString aboutVersion() { return QStringLiteral("Version %1"); }

// Printing
inline QString printNotStarted() { return QStringLiteral("L'impression n'a pas pu commencer."); }
inline QString printerRefusedPage() { return QStringLiteral("L'imprimante a refusé de changer de page."); }
inline QString noPrinter() { return QStringLiteral("Aucune imprimante n'est installée."); }
inline QString printNotSent() { return QStringLiteral("Le document n'a pas pu être transmis à l'imprimante."); }
inline QString printerError() { return QStringLiteral("L'imprimante a signalé une erreur."); }

// File dialogs
inline QString replaceExisting()
{
    return QStringLiteral("Le fichier %1 existe déjà.\nVoulez-vous l'écraser ?");
}
inline QString nameWithQuote()
{
    return QStringLiteral("Le nom « %1 » contient un guillemet (\"), que cette fenêtre ne sait pas lire.\n"
                          "Choisissez un nom sans guillemet.");
}
inline QString folderMissing()
{
    return QStringLiteral("Le dossier « %1 » n'existe pas.\n"
                          "Vérifiez le chemin indiqué.");
}

// Saving a file beside the log (reasons, put into a sentence)
inline QString saveIsFolder() { return QStringLiteral("« %1 » est un dossier"); }
inline QString saveFolderMissing() { return QStringLiteral("le dossier « %1 » n'existe pas"); }
inline QString saveFolderReadOnly() { return QStringLiteral("le dossier « %1 » est protégé en écriture"); }
inline QString saveCannotWrite()
{
    return QStringLiteral("le fichier « %1 » ne peut pas être écrit dans ce dossier");
}
inline QString saveCannotReplace() { return QStringLiteral("le fichier « %1 » n'a pas pu être remplacé"); }
inline QString saveDiskFull() { return QStringLiteral("le disque est plein"); }
inline QString saveNotAllowed() { return QStringLiteral("le système a refusé l'écriture de ce fichier"); }
inline QString saveWriteError() { return QStringLiteral("une erreur s'est produite en écrivant sur le disque"); }

// Log files: making, opening, storing
inline QString cannotCreateFile() { return QStringLiteral("Impossible de créer le fichier « %1 ».\n\n%2"); }
inline QString cannotReplaceFile() { return QStringLiteral("Impossible de remplacer le fichier « %1 ».\n\n%2"); }
inline QString newFileIsFolder()
{
    return QStringLiteral("Impossible de créer le fichier « %1 » : c'est un dossier.");
}
inline QString newFileNameTooLong()
{
    return QStringLiteral("Impossible de créer le fichier « %1 » : son nom est trop long. Choisissez un nom"
                          " plus court.");
}
// %1: the file; %2: its folder.
inline QString newFileFolderReadOnly()
{
    return QStringLiteral("Impossible de créer le fichier « %1 » : le dossier « %2 » est protégé en écriture.");
}
inline QString logMissing() { return QStringLiteral("Ce fichier n'existe pas."); }
inline QString logNotReadable() { return QStringLiteral("Vous n'avez pas le droit de lire ce fichier."); }
inline QString logWithoutTable()
{
    return QStringLiteral("Ce n'est pas un fichier de contacts : il ne contient pas de table « Transmission"
                          " ».");
}
inline QString logWithoutColumn()
{
    return QStringLiteral("Ce n'est pas un fichier de contacts : la colonne « %1 » manque dans la table « "
                          "Transmission ».");
}
inline QString logReadOnly()
{
    return QStringLiteral("Le fichier ou son dossier est en lecture seule : les contacts ne pourraient pas "
                          "y être enregistrés.");
}
// After the log's name in the window's title, for a log opened read only.
inline QString titleReadOnly() { return QStringLiteral(" (lecture seule)"); }
inline QString notALog() { return QStringLiteral("Ce n'est pas un fichier de contacts, ou il est endommagé."); }
inline QString cannotOpenFile() { return QStringLiteral("Impossible d'ouvrir le fichier « %1 ».\n\n%2"); }
inline QString cannotOpenShared() { return QStringLiteral("Impossible d'ouvrir le journal partagé « %1 ».\n\n%2"); }
inline QString fieldTooLong() { return QStringLiteral("Le champ « %1 » est trop long : %2 caractères au plus."); }
inline QString fieldOutOfRange()
{
    return QStringLiteral("Le champ « %1 » doit être un nombre entier compris entre -32768 et 32767.");
}
inline QString fieldNotWhole()
{
    return QStringLiteral("Le champ « %1 » doit être un nombre entier, sans décimales.");
}
inline QString fieldNotNumber() { return QStringLiteral("Le champ « %1 » doit être un nombre."); }
inline QString fieldNotDate() { return QStringLiteral("Le champ « %1 » doit être une date et une heure."); }
inline QString fieldBadCharacter()
{
    return QStringLiteral("Le champ « %1 » contient un caractère qui ne peut pas être enregistré.");
}
inline QString contactNotStored() { return QStringLiteral("Le contact n'a pas pu être enregistré dans le fichier."); }
inline QString contactNotStoredShared()
{
    return QStringLiteral("Le contact n'a pas pu être enregistré dans le journal partagé.");
}
// A store or a deletion whose answer the server did not give.
inline QString contactMaybeStored()
{
    return QStringLiteral("Le contact a peut-être été enregistré : le serveur n'a pas répondu après avoir reçu la demande.\n"
                          "Il reste à l'écran : « Valider », une fois le serveur revenu, le retrouvera ou l'enregistrera, "
                          "une seule fois.");
}
inline QString changeMaybeStored()
{
    return QStringLiteral("La modification a peut-être été enregistrée : le serveur n'a pas répondu après avoir reçu la "
                          "demande.\nElle reste à l'écran : « Valider », une fois le serveur revenu, l'enregistrera.");
}
inline QString contactMaybeDeleted()
{
    return QStringLiteral("Le contact a peut-être été supprimé : le serveur n'a pas répondu après avoir reçu la demande.\n"
                          "« Supprimer », une fois le serveur revenu, le supprimera s'il est encore là.");
}
inline QString logMoved()
{
    return QStringLiteral("Le fichier « %1 » n'existe plus à cet endroit : il a été renommé, déplacé ou supprimé.");
}

// The contact form
inline QString nothingToPrint()
{
    return QStringLiteral("Le fichier courant ne possède aucun enregistrement à imprimer");
}
inline QString nothingToPrintShared() { return QStringLiteral("Le journal partagé ne contient aucun contact à imprimer."); }
inline QString contactGone()
{
    return QStringLiteral("Ce contact n'est plus dans le fichier : un autre programme l'a modifié ou "
                          "supprimé.");
}
inline QString contactGoneShared()
{
    return QStringLiteral("Ce contact n'est plus dans le journal partagé : une autre station l'a modifié ou supprimé.");
}
inline QString entryNotValid() { return QStringLiteral("L'une des entrées n'est pas conforme, vérifiez !"); }
inline QString serialsFull()
{
    return QStringLiteral("La numérotation de ce fichier est pleine : le numéro suivant ne tient pas dans "
                          "les %1 caractères du « N° de Sequ ».\n"
                          "\n"
                          "Tapez vous-même un numéro pour ce contact.");
}
inline QString serialNotRead()
{
    return QStringLiteral("Le numéro suivant n'a pas pu être lu dans le fichier : aucun n'est proposé.\n%1\n\n"
                          "Tapez vous-même un numéro pour ce contact, ou annulez et réessayez dans un instant.");
}
inline QString serialTaken()
{
    return QStringLiteral("Un autre programme a enregistré le n° %1 entre-temps : ce contact est enregistré "
                          "sous le n° %2.");
}
inline QString serialTakenByStation()
{
    return QStringLiteral("Une autre station a enregistré le n° %1 entre-temps : ce contact est enregistré sous le n° %2.");
}
// Passing notices of a shared log in the status bar.
inline QString serialWhenServerBack() { return QStringLiteral("Serveur injoignable : le n° sera donné à son retour."); }
inline QString serialGiven() { return QStringLiteral("Le serveur répond : n° %1 proposé."); }
inline QString storedUnder() { return QStringLiteral("Contact enregistré sous le n° %1."); }
// The link to a shared log's server, in its panel of the status bar.
inline QString linkDown() { return QStringLiteral("Serveur injoignable : nouvel essai dans %1 s"); }
inline QString linkTrying() { return QStringLiteral("Serveur injoignable : nouvel essai en cours…"); }
inline QString linkBack() { return QStringLiteral("Reconnecté"); }
inline QString linkEncrypted() { return QStringLiteral("chiffré"); }
inline QString linkPlain() { return QStringLiteral("non chiffré"); }
// The box that asks a shared log's password. %1: the server; %2: the user.
inline QString passwordAsked() { return QStringLiteral("Mot de passe de « %2 » sur le serveur « %1 » :"); }
inline QString passwordRefused()
{
    return QStringLiteral("Le serveur « %1 » a refusé le mot de passe de « %2 ». Tapez-le de nouveau :");
}
// The duplicate warning, in pieces: "Déjà contacté : n° 12 le 07/12/26 à 21:05 (3 fois)".
inline QString workedBefore() { return QStringLiteral("Déjà contacté :"); }
inline QString workedSerial() { return QStringLiteral(" n° %1"); }
inline QString workedWhen() { return QStringLiteral(" le %1 à %2"); }
inline QString workedTimes() { return QStringLiteral(" (%1 fois)"); }
// Status bar hints of the record buttons.
inline QString hintNext() { return QStringLiteral("Enregistrement suivant"); }
inline QString hintPrevious() { return QStringLiteral("Enregistrement précédent"); }
inline QString checkingDuplicates() { return QStringLiteral("Vérification des doublons…"); }
inline QString entryKeptAsNew()
{
    return QStringLiteral("\n"
                          "\n"
                          "Vos saisies restent à l'écran comme un nouveau contact : « Valider » "
                          "l'enregistre, « Annuler » l'abandonne.");
}
inline QString logNotReread()
{
    return QStringLiteral("Le contact a été supprimé, mais le fichier n'a pas pu être relu pour afficher le "
                          "contact suivant.\n");
}
inline QString logNotRereadShared()
{
    return QStringLiteral("Le contact a été supprimé, mais le journal partagé n'a pas pu être relu pour afficher le "
                          "contact suivant.\n");
}
// %1: why, as the refusal says it (with its own full stop); %2: one of the three questions below.
inline QString pendingNotStored() { return QStringLiteral("Le contact en cours n'a pas pu être enregistré.\n%1\n\n%2"); }
inline QString closeWithoutStoring() { return QStringLiteral("Fermer sans l'enregistrer ?"); }
inline QString openWithoutStoring() { return QStringLiteral("Ouvrir un autre fichier sans l'enregistrer ?"); }
inline QString newWithoutStoring() { return QStringLiteral("Créer un nouveau fichier sans l'enregistrer ?"); }
inline QString contactNotDeleted() { return QStringLiteral("Le contact n'a pas pu être supprimé du fichier.\n"); }
inline QString contactNotDeletedShared()
{
    return QStringLiteral("Le contact n'a pas pu être supprimé du journal partagé.\n");
}
// Notices in the status bar after a deletion and its undoing (%1: the serial number).
inline QString contactDeleted() { return QStringLiteral("N° %1 supprimé (Ctrl+Z)"); }
inline QString contactRestored() { return QStringLiteral("N° %1 rétabli"); }
inline QString contactNotRestored() { return QStringLiteral("Le contact supprimé n'a pas pu être rétabli dans le fichier.\n"); }
inline QString contactNotRestoredShared()
{
    return QStringLiteral("Le contact supprimé n'a pas pu être rétabli dans le journal partagé.\n");
}
// Options of the entry in the Fichier menu.
inline QString keepFieldsMenu() { return QStringLiteral("&Reprendre le mode, la fréquence et l'opérateur"); }
inline QString backupMenu() { return QStringLiteral("&Sauvegarde automatique…"); }
// The automatic copies of the log: their dialog, and their notices in the
// status bar (%1: the time of the copy; the reason, put into a sentence).
inline QString backupTitle() { return QStringLiteral("Sauvegarde automatique"); }
inline QString backupActive() { return QStringLiteral("&Copier le journal automatiquement"); }
inline QString backupFolder() { return QStringLiteral("&Dossier des copies :"); }
inline QString backupBrowse() { return QStringLiteral("&Parcourir…"); }
inline QString backupEveryContacts() { return QStringLiteral("Une copie &tous les :"); }
inline QString backupContacts() { return QStringLiteral(" contacts"); }
inline QString backupEveryMinutes() { return QStringLiteral("ou toutes &les :"); }
inline QString backupMinutes() { return QStringLiteral(" minutes"); }
inline QString backupNever() { return QStringLiteral("jamais"); }
inline QString backupKeep() { return QStringLiteral("&Garder les :"); }
inline QString backupKept() { return QStringLiteral(" dernières copies"); }
inline QString backupNeedFolder() { return QStringLiteral("Indiquez le dossier où copier le journal."); }
inline QString backupNeedWhen()
{
    return QStringLiteral("Indiquez tous les combien de contacts, ou de minutes, copier le journal.");
}
inline QString backupDone() { return QStringLiteral("Copie faite à %1"); }
inline QString backupFailed() { return QStringLiteral("Copie impossible : %1"); }
inline QString backupLogChanging() { return QStringLiteral("le fichier de contacts change trop souvent pour être copié"); }
inline QString backupLogBusy() { return QStringLiteral("le fichier de contacts est occupé par un autre programme"); }
inline QString backupLogDamaged() { return QStringLiteral("le fichier de contacts est endommagé"); }
inline QString backupLogUnreadable() { return QStringLiteral("le fichier « %1 » ne peut pas être lu"); }
inline QString backupStopped() { return QStringLiteral("la copie a été interrompue"); }
inline QString convertQuestion()
{
    return QStringLiteral("« %1 » est un ancien fichier de contacts (format Jet).\n"
                          "\n"
                          "Voulez-vous le convertir en fichier Sequanel ? L'ancien fichier ne sera pas "
                          "modifié.");
}
inline QString convertOtherName()
{
    return QStringLiteral("Choisissez un autre nom pour le nouveau fichier : l'ancien fichier « %1 » n'est "
                          "jamais remplacé.");
}

// The listing
inline QString noPrinterSavePdf()
{
    return QStringLiteral("Aucune imprimante n'est installée sur cet ordinateur.\n"
                          "\n"
                          "Voulez-vous enregistrer la liste des contacts dans un fichier PDF ?");
}
inline QString listingCannotRead()
{
    return QStringLiteral("Impossible de lire le fichier « %1 » pour imprimer la liste.\n"
                          "\n"
                          "%2");
}
inline QString listingCannotReadShared()
{
    return QStringLiteral("Impossible de lire le journal partagé « %1 » pour imprimer la liste.\n"
                          "\n"
                          "%2");
}
inline QString listingReadInterrupted() { return QStringLiteral("La lecture du fichier s'est interrompue. %1"); }
inline QString pdfDiskFull()
{
    return QStringLiteral("Le disque est plein : le fichier « %1 » n'a pas pu être écrit jusqu'au bout. "
                          "Il n'a été ni créé ni modifié.");
}
inline QString pdfNotWritten()
{
    return QStringLiteral("Le fichier « %1 » n'a pas pu être écrit jusqu'au bout (erreur d'écriture sur le "
                          "disque). Il n'a été ni créé ni modifié.");
}
inline QString listingSaveTitle() { return QStringLiteral("Enregistrer la liste des contacts"); }
inline QString listingNotPrinted() { return QStringLiteral("La liste des contacts n'a pas pu être imprimée.\n\n%1"); }

// The command line of the program and its commands. %1: the command's name.
inline QString usageLine() { return QStringLiteral("Usage : %1 %2"); }
inline QString usageOptions() { return QStringLiteral("Options :"); }
inline QString helpOption() { return QStringLiteral("affiche cette aide"); }
inline QString versionOption() { return QStringLiteral("affiche le nom et la version du programme"); }
// %2: the option as typed.
inline QString unknownOption() { return QStringLiteral("%1 : option inconnue « %2 »."); }
inline QString optionWithoutValue() { return QStringLiteral("%1 : l'option « %2 » attend une valeur."); }
inline QString optionWithValue() { return QStringLiteral("%1 : l'option « %2 » ne prend pas de valeur."); }
// %2: what is wrong with the names given (one of the commands' texts below).
inline QString wrongNames() { return QStringLiteral("%1 : %2."); }
inline QString seeHelp() { return QStringLiteral("Essayez « %1 --help »."); }
// The program's window, started with a log.
inline QString programSynopsis() { return QStringLiteral("[JOURNAL]"); }
inline QString programSummary()
{
    return QStringLiteral("Ouvre la fenêtre de saisie des contacts d'un concours et, si JOURNAL est donné,\n"
                          "ce journal : un fichier de contacts, ou l'adresse postgresql://… d'un journal partagé.");
}
inline QString programNames() { return QStringLiteral("un seul journal peut être ouvert à la fois"); }
inline QString programStatuses()
{
    return QStringLiteral("Code de sortie : 0 à la fermeture de la fenêtre, 2 pour une commande mal formée.");
}

// The export (reasons, put into a sentence)
inline QString exportLogMissing() { return QStringLiteral("le fichier « %1 » n'existe pas"); }
inline QString exportLogIsFolder() { return QStringLiteral("« %1 » est un dossier, pas un fichier de contacts"); }
inline QString exportLogNotReadable() { return QStringLiteral("vous n'avez pas le droit de lire le fichier « %1 »"); }
inline QString exportNotALog()
{
    return QStringLiteral("le fichier « %1 » n'est pas un fichier de contacts, ou il est endommagé");
}
inline QString exportLogBusy()
{
    return QStringLiteral("le fichier « %1 » est occupé par un autre programme ; réessayez dans un instant");
}
inline QString exportLogUnreadable() { return QStringLiteral("le fichier « %1 » n'a pas pu être lu (%2)"); }
inline QString exportSharedUnreadable() { return QStringLiteral("le journal partagé « %1 » n'a pas pu être lu (%2)"); }
inline QString exportWithoutTable()
{
    return QStringLiteral("le fichier « %1 » n'est pas un fichier de contacts : il ne contient pas de table"
                          " « Transmission »");
}
inline QString exportWithoutColumn()
{
    return QStringLiteral("le fichier « %1 » n'est pas un fichier de contacts : la colonne « %2 » manque "
                          "dans la table « Transmission »");
}
inline QString exportNothing()
{
    return QStringLiteral("Aucun contact à exporter : le fichier « %1 » ne contient que la ligne des noms "
                          "de colonnes.");
}
inline QString exportedOne() { return QStringLiteral("1 contact a été exporté dans le fichier « %1 »."); }
inline QString exportedMany() { return QStringLiteral("%1 contacts ont été exportés dans le fichier « %2 »."); }
inline QString exportTitle() { return QStringLiteral("Exporter les contacts"); }
inline QString exportFailed()
{
    return QStringLiteral("L'exportation a échoué : %1.\n"
                          "Le fichier « %2 » n'a été ni créé ni modifié.");
}
inline QString exportOverLog()
{
    return QStringLiteral("c'est le fichier des contacts lui-même ; choisissez un autre nom");
}
inline QString exportReadInterrupted()
{
    return QStringLiteral("le fichier « %1 » n'a pas pu être lu jusqu'au bout ; il est peut-être endommagé");
}
inline QString exportSharedReadInterrupted()
{
    return QStringLiteral("le journal partagé « %1 » n'a pas pu être lu jusqu'au bout : la liaison avec le serveur a été "
                          "perdue ; réessayez dans un instant");
}
// sequanel-export's command line.
inline QString exportSynopsis() { return QStringLiteral("[--remplacer] [--format=FORMAT] JOURNAL FICHIER"); }
inline QString exportSummary()
{
    return QStringLiteral("Écrit les contacts de JOURNAL (un fichier de contacts, ou l'adresse postgresql://…\n"
                          "d'un journal partagé) dans FICHIER : en CSV pour un tableur, ou en ADIF 3.1.4 pour un\n"
                          "autre programme de trafic (ADI, texte balisé ; ADX, XML).");
}
inline QString exportReplaceOption() { return QStringLiteral("remplace FICHIER s'il existe déjà"); }
inline QString exportFormatOption() { return QStringLiteral("csv (par défaut), adi ou adx"); }
inline QString exportNames() { return QStringLiteral("deux noms attendus : le journal, puis le fichier"); }
inline QString exportStatuses()
{
    return QStringLiteral("Codes de sortie : 0 exporté ; 1 échec, FICHIER n'a été ni créé ni modifié ;\n"
                          "2 commande mal formée.");
}
inline QString exportTargetExists()
{
    return QStringLiteral("Le fichier « %1 » existe déjà ; il n'a pas été modifié. Ajoutez --remplacer pour"
                          " le remplacer.");
}
// The export to ADIF (ADI or ADX files)
inline QString exportAdifMenu() { return QStringLiteral("Exporter au format ADIF…"); }
inline QString exportAdifTitle() { return QStringLiteral("Exporter les contacts au format ADIF"); }
inline QString exportAdifTypes()
{
    return QStringLiteral("Fichier ADIF (*.adi)|*.adi|Fichier ADIF en XML (*.adx)|*.adx");
}
inline QString exportNothingAdif()
{
    return QStringLiteral("Aucun contact à exporter : le fichier « %1 » ne contient que l'en-tête ADIF.");
}
// %1: the contact's place in the log; %2: the field.
inline QString exportXmlControl()
{
    return QStringLiteral("le %1e contact du journal contient dans « %2 » un caractère de contrôle qu'un fichier "
                          "XML ne peut pas porter ; exportez en ADI (.adi)");
}
// %1: the command; %2: the format as typed.
inline QString exportBadFormat()
{
    return QStringLiteral("%1 : format inconnu « %2 » ; csv, adi ou adx sont attendus.");
}

// The import of contacts from another program (ADI, ADX or CSV files)
inline QString importMenu() { return QStringLiteral("Importer…"); }
inline QString importTitle() { return QStringLiteral("Importer des contacts"); }
inline QString importTypes()
{
    return QStringLiteral("Contacts d'un autre programme (*.adi *.adx *.csv)|*.adi;*.adx;*.csv;*.ADI;*.ADX;*.CSV|"
                          "Tous les fichiers (*)|*");
}
inline QString importProgress() { return QStringLiteral("Lecture de « %1 »…"); }
inline QString importStoring() { return QStringLiteral("Importation dans « %1 »…"); }
// Why a file cannot be read at all: "Impossible de lire « f.adi » : <why>."
inline QString importCannotRead() { return QStringLiteral("Impossible de lire « %1 » : %2."); }
inline QString importMissing() { return QStringLiteral("ce fichier n'existe pas"); }
inline QString importUnreadable() { return QStringLiteral("ce fichier ne peut pas être lu"); }
inline QString importUnknownFormat()
{
    return QStringLiteral("son nom ne finit ni par .adi ni par .adx (ADIF) ni par .csv");
}
inline QString importNoEoh()
{
    return QStringLiteral("son en-tête n'est pas fermé par <EOH> (un fichier ADI qui ne commence pas par « < » "
                          "a un en-tête)");
}
inline QString importEorBeforeEoh()
{
    return QStringLiteral("son en-tête n'est pas fermé par <EOH> avant le <EOR> de l'octet %1");
}
inline QString importNotAdx() { return QStringLiteral("ce n'est pas un fichier ADX (élément <ADX> attendu)"); }
inline QString importNoColumn()
{
    return QStringLiteral("sa première ligne ne nomme aucune colonne du journal (Date, Sequanel, RST…)");
}
// One refused record: "Enregistrement 12 (octet 3456) : <reason>."
inline QString importAtByte() { return QStringLiteral("Enregistrement %1 (octet %2) : %3."); }
inline QString importAtLine() { return QStringLiteral("Enregistrement %1 (ligne %2) : %3."); }
inline QString importAtRecord() { return QStringLiteral("Enregistrement %1 : %2."); }
// The reasons; %1 a field of the file, or a value as read.
inline QString importBadTag() { return QStringLiteral("balise illisible « %1 »"); }
inline QString importLengthBeyondEnd()
{
    return QStringLiteral("le champ « %1 » annonce %2 octets, mais le fichier s'arrête %3 octets plus loin");
}
inline QString importNoEor() { return QStringLiteral("le fichier s'arrête avant la fin de l'enregistrement (<EOR> manque)"); }
inline QString importNul() { return QStringLiteral("le champ « %1 » contient un octet nul"); }
inline QString importNotUtf8()
{
    return QStringLiteral("le champ « %1 » contient des octets qui ne sont pas du texte UTF-8");
}
inline QString importBadXml() { return QStringLiteral("le fichier XML est mal formé à partir d'ici"); }
inline QString importOpenQuote() { return QStringLiteral("un guillemet ouvert n'est jamais refermé"); }
inline QString importNoCall() { return QStringLiteral("il n'a pas d'indicatif (champ CALL)"); }
inline QString importBadDate() { return QStringLiteral("la date « %1 » ne se lit pas"); }
inline QString importBadFrequency() { return QStringLiteral("la fréquence « %1 » ne se lit pas"); }
inline QString importCallTooLong() { return QStringLiteral("l'indicatif « %1 » a plus de trois mots"); }
// %2: the field of the log (its label in the form).
inline QString importTooLong() { return QStringLiteral("« %1 » est trop long pour « %2 » : %3 caractères au plus"); }
inline QString importNotWhole()
{
    return QStringLiteral("« %1 » ne convient pas à « %2 » : un nombre entier de -32768 à 32767 est attendu");
}
inline QString importBadCharacter()
{
    return QStringLiteral("« %1 » contient un caractère que le journal ne peut pas enregistrer (« %2 »)");
}
inline QString importSerialsFull()
{
    return QStringLiteral("aucun numéro libre : le suivant ne tient pas dans les %1 caractères du « N° de Sequ »");
}
// What the preview says of a record.
inline QString importRenumbered() { return QStringLiteral("Enregistrement %1 : le n° %2 est déjà pris ; il reçoit le n° %3."); }
inline QString importNumbered() { return QStringLiteral("Enregistrement %1 : sans numéro, il reçoit le n° %2."); }
inline QString importDuplicate()
{
    return QStringLiteral("Enregistrement %1 : %2 est déjà dans le journal (n° %3, %4).");
}
inline QString importAndMore() { return QStringLiteral("… et %1 autres."); }
// The preview window.
inline QString importRecordsRead() { return QStringLiteral("Enregistrements lus dans « %1 » : %2"); }
inline QString importToStore() { return QStringLiteral("Contacts à importer : %1"); }
inline QString importRefusedCount() { return QStringLiteral("Refusés : %1"); }
inline QString importDuplicateCount() { return QStringLiteral("Déjà dans le journal (même indicatif) : %1"); }
inline QString importRenumberedCount() { return QStringLiteral("Renumérotés : %1"); }
inline QString importIgnoredColumns() { return QStringLiteral("Colonnes ignorées : %1"); }
inline QString importFirstRows() { return QStringLiteral("Les premiers contacts, tels qu'ils seront enregistrés :"); }
inline QString importRefusedTab() { return QStringLiteral("Refusés"); }
inline QString importDuplicatesTab() { return QStringLiteral("Déjà dans le journal"); }
inline QString importRenumberedTab() { return QStringLiteral("Renumérotés"); }
inline QString importAllOrNothing()
{
    return QStringLiteral("Des enregistrements sont refusés : rien n'est importé, à moins de garder les "
                          "contacts lisibles.");
}
inline QString importButton() { return QStringLiteral("&Importer"); }
inline QString importReadableButton() { return QStringLiteral("&Importer les %1 contacts lisibles"); }
inline QString importCancel() { return QStringLiteral("Annuler"); }
inline QString importNothing() { return QStringLiteral("Aucun contact à importer dans « %1 »."); }
// The end of an import.
inline QString importedOne() { return QStringLiteral("1 contact a été importé dans « %1 »."); }
inline QString importedMany() { return QStringLiteral("%1 contacts ont été importés dans « %2 »."); }
inline QString importedRenumbered() { return QStringLiteral("\nContacts qui ont reçu un nouveau numéro : %1."); }
inline QString importedPartial() { return QStringLiteral("\nEnregistrements refusés, laissés de côté : %1."); }
inline QString importFailed()
{
    return QStringLiteral("L'importation a échoué : %1\n"
                          "Le journal « %2 » n'a pas été modifié.");
}
inline QString importSerialsChanged()
{
    return QStringLiteral("les numéros du journal ont changé depuis l'aperçu ; importez de nouveau.");
}
inline QString importCountMismatch()
{
    return QStringLiteral("le journal ne tient pas autant de contacts qu'il en a été écrit.");
}
inline QString importPartialRefused()
{
    return QStringLiteral("Enregistrements refusés dans « %2 » : %1 ; rien n'a été importé.\n"
                          "Ajoutez --partiel pour importer quand même les contacts lisibles.");
}
// sequanel-import's command line.
inline QString importSynopsis() { return QStringLiteral("[--partiel] FICHIER JOURNAL"); }
inline QString importSummary()
{
    return QStringLiteral("Ajoute à JOURNAL (un fichier de contacts, ou l'adresse postgresql://… d'un journal\n"
                          "partagé) les contacts de FICHIER, un fichier ADIF (.adi, .adx) ou CSV (.csv), en une\n"
                          "seule transaction ; chaque enregistrement refusé est dit sur la sortie d'erreur.");
}
inline QString importPartialOption()
{
    return QStringLiteral("importe les contacts lisibles quand d'autres sont refusés");
}
inline QString importNames() { return QStringLiteral("deux noms attendus : le fichier à importer, puis le journal"); }
inline QString importStatuses()
{
    return QStringLiteral("Codes de sortie : 0 importé ; 1 rien n'a été importé ; 2 commande mal formée ;\n"
                          "3 importé en partie (--partiel), des enregistrements refusés.");
}

// Converting an old log file
inline QString convertProgress() { return QStringLiteral("Conversion de « %1 »…"); }
inline QString convertOneColumn() { return QStringLiteral("la colonne"); }
inline QString convertColumns() { return QStringLiteral("les colonnes"); }
inline QString convertNewFile() { return QStringLiteral("Nouveau fichier : %1"); }
inline QString convertCannotCreate() { return QStringLiteral("Le nouveau fichier %1 n'a pas pu être créé."); }
inline QString convertCannotWrite() { return QStringLiteral("Le nouveau fichier %1 n'a pas pu être écrit."); }
inline QString convertDiskFull()
{
    return QStringLiteral("Le nouveau fichier %1 n'a pas pu être écrit : le disque est peut-être plein.");
}
inline QString convertSourceMissing() { return QStringLiteral("Le fichier %1 n'existe pas."); }
inline QString convertSourceUnreadable() { return QStringLiteral("Le fichier %1 ne peut pas être lu."); }
inline QString convertTablesFound() { return QStringLiteral("\nTables qu'il contient : %1."); }
inline QString convertWithoutTable()
{
    return QStringLiteral("%1 n'est pas un fichier de contacts : il ne contient pas de table %2.");
}
inline QString convertWithoutColumns()
{
    return QStringLiteral("%1 n'est pas un fichier de contacts : il manque à sa table %2 %3 %4.");
}
inline QString convertNoTable() { return QStringLiteral("%1 ne contient pas de table %2."); }
inline QString convertedNone()
{
    return QStringLiteral("%1 ne contient aucun contact : le nouveau fichier est vide.");
}
inline QString convertedOne() { return QStringLiteral("Le contact de %1 a été converti."); }
inline QString convertedMany() { return QStringLiteral("Les %1 contacts de %2 ont été convertis."); }
inline QString convertKeptOneValue()
{
    return QStringLiteral("\n"
                          "\n"
                          "Une valeur que Sequanel refuserait à la saisie a été reprise telle quelle : %1.");
}
inline QString convertKeptValues()
{
    return QStringLiteral("\n"
                          "\n"
                          "%1 valeurs que Sequanel refuserait à la saisie ont été reprises telles quelles :"
                          " %2.");
}
inline QString convertDroppedColumn()
{
    return QStringLiteral("\n"
                          "\n"
                          "La colonne %1 de l'ancien fichier n'existe pas dans un fichier Sequanel : elle "
                          "n'a pas été reprise.");
}
inline QString convertDroppedColumns()
{
    return QStringLiteral("\n"
                          "\n"
                          "Les colonnes %1 de l'ancien fichier n'existent pas dans un fichier Sequanel : "
                          "elles n'ont pas été reprises.");
}
inline QString convertDamaged()
{
    return QStringLiteral("Impossible de convertir « %1 » : fichier endommagé.\n"
                          "\n"
                          "Le fichier d'origine n'a pas été modifié et aucun fichier n'a été créé.");
}
inline QString convertDamagedCounts() { return QStringLiteral("fichier endommagé : %1 sur %2"); }
inline QString convertReadableOne() { return QStringLiteral("%1 contact lisible"); }
inline QString convertReadableMany() { return QStringLiteral("%1 contacts lisibles"); }
inline QString convertStatedOne() { return QStringLiteral("%1 annoncé"); }
inline QString convertStatedMany() { return QStringLiteral("%1 annoncés"); }
inline QString convertPartialRefused()
{
    return QStringLiteral("Impossible de convertir « %1 » en entier (%2).\n"
                          "\n"
                          "Le fichier d'origine n'a pas été modifié et aucun fichier n'a été créé.");
}
inline QString convertPartialHint()
{
    return QStringLiteral("\nAjoutez --partiel pour convertir quand même les contacts lisibles.");
}
inline QString convertPartialQuestion()
{
    return QStringLiteral("Impossible de convertir « %1 » en entier (%2).\n"
                          "\n"
                          "Voulez-vous convertir quand même les contacts lisibles ? Les autres manqueront au nouveau "
                          "fichier ; l'ancien fichier ne sera pas modifié.");
}
inline QString convertedPartial()
{
    return QStringLiteral("Seuls les contacts lisibles de %1 ont été convertis (%2).");
}
inline QString convertCannotRead() { return QStringLiteral("%1 ne peut pas être lu."); }
inline QString converterCannotStart()
{
    return QStringLiteral("Le programme de conversion « %1 » ne peut pas être lancé.");
}
// sequanel-convert's command line.
inline QString convertSynopsis() { return QStringLiteral("[--partiel] ANCIEN NOUVEAU"); }
inline QString convertSummary()
{
    return QStringLiteral("Convertit un ancien fichier de contacts (Jet 3.0) en un nouveau fichier NOUVEAU ;\n"
                          "copie un fichier de contacts dans un nouveau journal partagé, ou l'inverse, quand\n"
                          "l'un des deux noms est une adresse postgresql://…?journal=NOM. ANCIEN n'est que lu ;\n"
                          "NOUVEAU ne doit pas exister.");
}
inline QString convertPartialOption()
{
    return QStringLiteral("convertit les contacts lisibles d'un ancien fichier endommagé");
}
inline QString convertNames() { return QStringLiteral("deux noms attendus : l'ancien journal, puis le nouveau"); }
inline QString convertStatuses()
{
    return QStringLiteral("Codes de sortie : 0 converti ; 1 échec, rien n'a été créé ; 2 commande mal formée ;\n"
                          "3 fichier endommagé converti en partie (--partiel).");
}
inline QString convertTargetExists()
{
    return QStringLiteral("%1 existe déjà : un fichier existant n'est jamais remplacé.");
}
inline QString convertMissing() { return QStringLiteral("%1 n'existe pas."); }
inline QString convertNotJet()
{
    return QStringLiteral("%1 n'est pas un ancien fichier de contacts (fichier Jet), ou il est endommagé.");
}
inline QString convertFolderMissing() { return QStringLiteral("le dossier de %1 n'existe pas."); }
inline QString convertNotWritten() { return QStringLiteral("%1 n'a pas pu être écrit."); }
// Copies between a log file and a shared log. %1, %2: the logs as quoted names.
inline QString copyCannotRead() { return QStringLiteral("%1 ne peut pas être lu : %2"); }
inline QString copyNotALog()
{
    return QStringLiteral("%1 n'est pas un journal de contacts : il ne contient pas de table %2 complète.");
}
inline QString copyCannotCreate() { return QStringLiteral("%1 n'a pas pu être créé : %2"); }
inline QString copyFailed() { return QStringLiteral("La copie dans %1 a échoué ; il n'en reste rien.\n%2"); }
inline QString copyStopped() { return QStringLiteral("La copie a été interrompue."); }
inline QString copiedNone() { return QStringLiteral("%1 ne contient aucun contact : le nouveau journal est vide."); }
inline QString copiedOne() { return QStringLiteral("Le contact de %1 a été copié."); }
inline QString copiedMany() { return QStringLiteral("Les %1 contacts de %2 ont été copiés."); }
inline QString copyNewLog() { return QStringLiteral("Nouveau journal : %1"); }

// The orientation window
inline QString townsDamaged()
{
    return QStringLiteral("Le fichier des villes « %1 » ne peut pas être lu : fichier endommagé.");
}
inline QString orientationUnavailable() { return QStringLiteral("\nL'orientation des villes n'est pas disponible."); }
inline QString townsMissing() { return QStringLiteral("Le fichier des villes « %1 » est introuvable."); }
inline QString townsWithoutTable()
{
    return QStringLiteral("Le fichier des villes « %1 » ne contient pas la table « direction ».");
}
inline QString townsWithoutColumn()
{
    return QStringLiteral("La table « direction » du fichier des villes « %1 » n'a pas de colonne « %2 ».");
}
inline QString townsUnreadable() { return QStringLiteral("Le fichier des villes « %1 » ne peut pas être lu."); }

// The statistics window and the rate in the main window's status bar
// %1: contacts in the last 10 minutes; %2: in the last hour.
inline QString rate() { return QStringLiteral("Cadence : %1 en 10 min · %2 en 1 h"); }
inline QString statsTitle() { return QStringLiteral("Statistiques"); }
inline QString statsMenu() { return QStringLiteral("Statistiqu&es"); }
inline QString statsToolTip() { return QStringLiteral("Statistiques du concours"); }
inline QString statsBusy() { return QStringLiteral("Calcul en cours…"); }
inline QString statsNoLog() { return QStringLiteral("Aucun fichier de contacts n'est ouvert."); }
inline QString statsUnreadable() { return QStringLiteral("Le fichier de contacts ne peut pas être lu pour l'instant."); }
// The tabs.
inline QString statsHours() { return QStringLiteral("Heures"); }
inline QString statsDirections() { return QStringLiteral("Directions"); }
inline QString statsCountries() { return QStringLiteral("Pays"); }
inline QString statsDepartments() { return QStringLiteral("Départements"); }
inline QString statsModes() { return QStringLiteral("Modes"); }
inline QString statsFrequencies() { return QStringLiteral("Fréquences"); }
inline QString statsOperators() { return QStringLiteral("Opérateurs"); }
inline QString statsContactsColumn() { return QStringLiteral("Contacts"); }
// Chart titles, by the period of the bars.
inline QString statsPerHour() { return QStringLiteral("Contacts par heure"); }
inline QString statsPerDay() { return QStringLiteral("Contacts par jour"); }
inline QString statsPerWeek() { return QStringLiteral("Contacts par semaine"); }
inline QString statsPerMonth() { return QStringLiteral("Contacts par mois"); }
inline QString statsDirectionsTitle() { return QStringLiteral("Directions depuis Paris (secteurs de 10°)"); }
// %1: start of the hour (date and time); %2: end; %3: contacts.
inline QString statsBestHour() { return QStringLiteral("Meilleure heure : %1 – %2, %3 contacts"); }
inline QString statsBestSpell() { return QStringLiteral("Meilleures 10 minutes : %1 – %2, %3 contacts"); }
inline QString statsNoDatedContact() { return QStringLiteral("Aucun contact daté."); }
inline QString statsUnknownDates() { return QStringLiteral("Date inconnue : %1 contacts"); }
inline QString statsUnknownTowns() { return QStringLiteral("Ville inconnue de la base d'orientation : %1 contacts"); }
// Values that stand for no value.
inline QString statsEmptyValue() { return QStringLiteral("(non renseigné)"); }
inline QString statsOtherDepartment() { return QStringLiteral("autre"); }
// The totals, one line each.
inline QString statsTotalContacts() { return QStringLiteral("Contacts : %1"); }
inline QString statsDistinctCallSigns() { return QStringLiteral("Indicatifs différents : %1"); }
inline QString statsRepeatedCallSigns() { return QStringLiteral("Indicatifs contactés plus d'une fois : %1"); }
inline QString statsFirstContact() { return QStringLiteral("Premier contact : %1"); }
inline QString statsLastContact() { return QStringLiteral("Dernier contact : %1"); }
inline QString statsNoDate() { return QStringLiteral("—"); }
// The buttons and the saving of the chart shown.
inline QString statsSaveImage() { return QStringLiteral("Enregistrer l'&image…"); }
inline QString statsClose() { return QStringLiteral("&Fermer"); }
inline QString statsImageSuffix() { return QStringLiteral(" - statistiques.png"); }
inline QString statsImageType() { return QStringLiteral("Image PNG"); }
inline QString statsImageDialogTitle() { return QStringLiteral("Enregistrer l'image des statistiques"); }
// Under the totals in a saved image; %1: the date and time it was made.
inline QString statsImageWhen() { return QStringLiteral("Image du %1"); }
inline QString statsImageSaved() { return QStringLiteral("L'image a été enregistrée dans « %1 »."); }
// %1: the file; %2: why (a reason put into a sentence).
inline QString statsImageNotSaved() { return QStringLiteral("L'image n'a pas pu être enregistrée dans « %1 » : %2."); }

// Shared logs on a database server
inline QString sharedMenu() { return QStringLiteral("Ouvrir un journal &partagé…"); }
inline QString sharedTitle() { return QStringLiteral("Ouvrir un journal partagé"); }
inline QString sharedRecent() { return QStringLiteral("Journaux &récents :"); }
inline QString sharedServer() { return QStringLiteral("&Serveur :"); }
inline QString sharedBase() { return QStringLiteral("&Base :"); }
inline QString sharedJournal() { return QStringLiteral("&Journal :"); }
inline QString sharedUser() { return QStringLiteral("&Utilisateur :"); }
inline QString sharedPassword() { return QStringLiteral("&Mot de passe :"); }
inline QString sharedCreate() { return QStringLiteral("&Créer ce journal s'il n'existe pas"); }
inline QString sharedServerHint()
{
    return QStringLiteral("nom ou adresse du serveur, suivi de « :port » s'il n'écoute pas sur le port habituel");
}
inline QString sharedPasswordHint()
{
    return QStringLiteral("laissé vide : celui du fichier de mots de passe du client PostgreSQL (~/.pgpass), s'il y en a un");
}
inline QString copyToSharedMenu() { return QStringLiteral("&Copier vers un journal partagé…"); }
inline QString copyToFileMenu() { return QStringLiteral("Copier vers un &fichier…"); }
inline QString copyToSharedTitle() { return QStringLiteral("Copier vers un nouveau journal partagé"); }
// %1: the log copied (its name as the title shows it).
inline QString copyProgress() { return QStringLiteral("Copie de %1…"); }
inline QString sharedNeedServer() { return QStringLiteral("Indiquez le serveur qui tient le journal."); }
inline QString sharedNeedBase() { return QStringLiteral("Indiquez la base du serveur qui tient le journal."); }
inline QString sharedBadPort() { return QStringLiteral("Le port « %1 » n'est pas un nombre de 1 à 65535."); }
inline QString sharedBadJournal()
{
    return QStringLiteral("Le nom de journal « %1 » ne convient pas : il ne peut contenir que des lettres, des chiffres "
                          "et le signe _, ne commence pas par un chiffre ni par « pg_ » et compte 63 octets au plus.");
}

} // namespace msg
