// The editing workflow: checks, adding, changing, cancelling, deleting, the
// serial numbers, and what happens to an entry the file refuses.
#include "MainWindowFixture.h"

#include "AutoBackup.h"
#include "LogFile.h"
#include "LogStatistics.h"
#include "Regional.h"
#include "Settings.h"
#include "frmSauvegarde.h"
#include "mdlMain.h"

#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>

#include <csignal>

using testsupport::Row;

namespace {
const QDateTime kNow(QDate(2024, 7, 14), QTime(14, 5, 9));
const QString kCheck = msg::entryNotValid();
const QString kIdle = QStringLiteral("&Nouveau &Modifier &Supprimer");
const QString kAdding = QStringLiteral("&Valider -&Modifier &Annuler");
const QString kChanging = QStringLiteral("-&Nouveau &Valider &Annuler");
const QStringList kThree{"1 Lyon", "2 Lyon", "3 Lyon"};
} // namespace

class TestEditing : public QObject
{
    Q_OBJECT
private slots:
    // A contact typed over the proposal with one value changed (in one or
    // more fields), then stored. It is stored, or refused with the entry
    // checks' message: nothing is written, the entry stays as typed and the
    // first field at fault (in the tab order) has the focus, its text
    // selected. (What the file refuses is in the flows below.)
    void store_data()
    {
        QTest::addColumn<QString>("fields"); // separated by blanks
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("refusal"); // the message; empty: stored
        QTest::newRow("every text empty") << "txtRST cmbBande txtOpérateur cmbQRZ1 cmbQRZ2 cmbQRZ3 txtCodePostal txtVille txtBP txtPays"
                                          << "" << "";
        for (const QString f : {"txtNrSequanel", "txtPréfixeQRZ", "txtNrQRZ", "cmbMHz", "cmbHz", "txtDateHeure"})
            for (const QString v : {"", "   ", "12a"})
                QTest::addRow("'%s' in %s", qPrintable(v), qPrintable(f)) << f << v << kCheck;
        QTest::newRow("three bad entries, one message") << "txtNrQRZ cmbHz txtPréfixeQRZ" << "31/02/2024" << kCheck;
    }
    void store()
    {
        QFETCH(QString, fields);
        QFETCH(QString, value);
        QFETCH(QString, refusal);
        testsupport::ClockScope clock(kNow);
        MainWindowFixture f(2);
        f.ui().cmdNouveau->click();
        f.fill();
        for (const QString &field : fields.split(QLatin1Char(' ')))
            f.put(field, value);
        f.ui().cmdNouveau->click();
        QCOMPARE(f.prompts.messages.size(), refusal.isEmpty() ? 0 : 1);
        for (const platform::MessageRequest &m : std::as_const(f.prompts.messages))
            QVERIFY2(m.text == refusal && m.icon == platform::MessageIcon::Critical, qPrintable(m.text));
        QCOMPARE(f.buttons(), refusal.isEmpty() ? kIdle : kAdding);
        QCOMPARE(f.stored().size(), refusal.isEmpty() ? 3 : 2);
        if (!refusal.isEmpty()) {
            auto *box = f.w->findChild<QWidget *>(fields.contains("cmbHz") ? QStringLiteral("cmbHz") : fields);
            QWidget *focused = QApplication::focusWidget();
            auto *combo = qobject_cast<QComboBox *>(focused);
            QLineEdit *edit = combo ? combo->lineEdit() : qobject_cast<QLineEdit *>(focused);
            QVERIFY2(edit && (focused == box || edit->parent() == box), qPrintable(focused ? focused->objectName() : "none"));
            QCOMPARE(edit->selectedText(), edit->text());
        }
    }

    // Each way out of each state, on the second of three contacts, the entry
    // (if any) typed with the town "Brest". Enter presses the store button
    // (or "Nouveau" while browsing), Esc the cancel button and nothing while
    // browsing. A change keeps its contact shown and the default role on
    // "Modifier"; giving an entry up, adding or deleting (which asks nothing)
    // shows the last contact. An entry that cannot be stored (the checks or a
    // rule of the file refuse it, another program holds the
    // file, the file was renamed or deleted) stays, with a message saying why; so
    // does a contact whose deletion the file refuses.
    // Closing the window, opening another file or making a new one stores a
    // pending entry; one that cannot be stored is given up only on "Oui" to a
    // question that says why; on "Non" the window, its file and the entry stay
    // as they were and no new file is left. A New that cannot make its file
    // leaves the entry pending, asking nothing. When the desktop ends the
    // program (a signal, even with the question open, or a request to quit),
    // the entry is stored or given up without a question and the program's
    // event loop ends.
    void flows_data()
    {
        QTest::addColumn<QString>("button"); // pressed first; empty: none
        QTest::addColumn<QString>("entry");  // Brest, or what refuses it: long, check, busy, moved, deleted
        QTest::addColumn<QString>("then");   // keys, close, open, new (and the answer), a signal or quit
        QTest::addColumn<QString>("said");   // the message shown: none, refusal, failure (of New) or question
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<QString>("shown"); // serial and town
        QTest::addColumn<QStringList>("stored");
        const QStringList added = kThree + QStringList{"4 Brest"}, changed{"1 Lyon", "2 Brest", "3 Lyon"};
        const QString tooLong(30, QLatin1Char('x')), none = QStringLiteral("&Nouveau -&Modifier -&Supprimer");
        const QString add = QStringLiteral("cmdNouveau"), change = QStringLiteral("cmdModifier");
        auto row = [](const char *name, const QString &button, const char *entry, const char *then, const char *said,
                      const QString &buttons, const QString &shown, const QStringList &stored) {
            QTest::newRow(name) << button << entry << then << said << buttons << shown << stored;
        };
        row("adding, Esc", add, "Brest", "Esc", "", kIdle, "3 Lyon", kThree);
        row("adding, Enter twice", add, "Brest", "Enter Enter", "", kAdding, "5 ", added);
        row("changing, Esc", change, "Brest", "Esc", "", kIdle, "3 Lyon", kThree);
        row("changing, Enter twice", change, "Brest", "Enter Enter", "", kChanging, "2 Brest", changed);
        row("deleting", "cmdSupprimer", "Brest", "", "", kIdle, "3 Lyon", {"1 Lyon", "3 Lyon"});
        row("changing too long, Enter", change, "long", "Enter", "refusal", kChanging, "2 " + tooLong, kThree);
        row("adding, file moved, Enter", add, "moved", "Enter", "refusal", kAdding, "4 Brest", kThree);
        row("browsing, file moved, delete", "", "moved", "delete", "refusal", kIdle, "2 Lyon", kThree); // still there, still shown
        row("adding, close", add, "Brest", "close", "", kIdle, "3 Lyon", added);
        row("changing, close", change, "Brest", "close", "", kIdle, "2 Brest", changed);
        row("changing too long, failed new", change, "long", "failed new", "failure", kChanging, "2 " + tooLong, kThree);
        row("adding, new in a write-protected folder", add, "Brest", "protected new", "failure", kAdding, "4 Brest", kThree);
        row("adding too long, close, yes", add, "long", "close yes", "question", kIdle, "3 Lyon", kThree);
        row("changing too long, close, no", change, "long", "close no", "question", kChanging, "2 " + tooLong, kThree);
        row("changing refused by the checks, open, yes", change, "check", "open yes", "question", none, " ", kThree);
        row("adding too long, open, no", add, "long", "open no", "question", kAdding, "4 " + tooLong, kThree);
        row("changing too long, new, yes", change, "long", "new yes", "question", none, " ", kThree);
        row("adding refused by the checks, new, no", add, "check", "new no", "question", kAdding, "4 Brest", kThree);
        row("changing, file busy, open, no", change, "busy", "open no", "question", kChanging, "2 Brest", kThree);
        row("changing, file deleted, new, yes", change, "deleted", "new yes", "question", none, " ", {});
        row("adding, SIGTERM", add, "Brest", "SIGTERM", "", kIdle, "3 Lyon", added);
        row("changing too long, SIGHUP", change, "long", "SIGHUP", "", kIdle, "3 Lyon", kThree);
        row("adding too long, quit", add, "long", "quit", "", kIdle, "3 Lyon", kThree);
        row("adding too long, close, SIGTERM", add, "long", "close SIGTERM", "question", kIdle, "3 Lyon", kThree);
    }
    void flows()
    {
        QFETCH(QString, button);
        QFETCH(QString, entry);
        QFETCH(QString, then);
        QFETCH(QString, said);
        QFETCH(QString, buttons);
        QFETCH(QString, shown);
        QFETCH(QStringList, stored);
        MainWindowFixture f;
        f.file = f.openWith(QStringLiteral("log.adb"), 3);
        const QString log = QDir::toNativeSeparators(f.file), folder = QFileInfo(f.file).absolutePath();
        f.ui().cmdPrécédent->click();
        if (!button.isEmpty()) {
            f.w->findChild<QPushButton *>(button)->click();
            if (button != QLatin1String("cmdSupprimer")) {
                QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.ui().txtRST));
                f.fill();
                f.ui().txtVille->setText(entry == "long" ? QString(30, QLatin1Char('x')) : QStringLiteral("Brest"));
            }
        }
        const QString why = QMap<QString, QString>{{"long", msg::fieldTooLong().arg(logfile::fieldLabel("Ville")).arg(20)},
                                                   {"check", msg::entryNotValid()},
                                                   {"busy", msg::fileBusy()}, {"moved", msg::logMoved().arg(log)},
                                                   {"deleted", msg::logMoved().arg(log)}}[entry];
        std::unique_ptr<platform::Connection> blocker;
        if (entry == "check") {
            f.ui().txtDateHeure->setText(QStringLiteral("31/02/2024"));
        } else if (entry == "busy") {
            blocker = platform::Connection::open(f.file, platform::OpenMode::ReadWrite, nullptr);
            QVERIFY(blocker && blocker->exec("BEGIN EXCLUSIVE"));
        } else if (entry == "moved" || entry == "deleted") {
            QVERIFY(entry == "deleted" ? QFile::remove(f.file) : QFile::rename(f.file, f.path(QStringLiteral("ailleurs.adb"))));
            f.file = f.path(QStringLiteral("ailleurs.adb"));
        }
        f.prompts.answer = then.endsWith(QLatin1String(" yes")) ? platform::Answer::Yes : platform::Answer::No;
        const QString action = then.section(QLatin1Char(' '), 0, 0), newFile = f.path(QStringLiteral("new.adb"));
        const bool ended = then.contains(QLatin1String("SIG")) || then == "quit";
        if (ended) {
            mdlMain::endWithTheDesktop(f.w.get());
            // A question stays on screen until the signal ends every event loop.
            f.prompts.onMessage = [](const platform::MessageRequest &) { ::raise(SIGTERM), QEventLoop().exec(); };
            QTimer::singleShot(0, qApp, [&] {
                then == "quit" ? QCoreApplication::quit() : action == "close" ? void(f.w->close()) : void(::raise(then == "SIGHUP" ? SIGHUP : SIGTERM));
            });
            QCOMPARE(QCoreApplication::exec(), 0);
        } else if (action == "close") {
            f.w->close();
        } else if (action == "delete") {
            f.ui().cmdSupprimer->click();
        } else if (action == "open") {
            f.openWith(QStringLiteral("other.adb"), 0);
        } else if (action == "new" || action == "failed" || action == "protected") { // failing: in a folder that does not exist
            QVERIFY(QDir().mkpath(f.path(QStringLiteral("protégé"))) // (without a write bit: protected even from root)
                    && QFile::setPermissions(f.path(QStringLiteral("protégé")), QFile::ReadOwner | QFile::ExeOwner));
            f.prompts.queuedFiles << (action == "new"      ? newFile
                                      : action == "failed" ? f.path(QStringLiteral("absent/new.adb"))
                                                           : f.path(QStringLiteral("protégé/new.adb")));
            f.ui().mnuNouveau->trigger();
        } else {
            for (const QString &key : then.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                QTest::keyClick(QApplication::focusWidget(), key == "Esc" ? Qt::Key_Escape : Qt::Key_Return);
        }
        blocker.reset();
        QCOMPARE(f.buttons(), buttons);
        QCOMPARE(f.shownSerial() + ' ' + f.ui().txtVille->text(), shown);
        QCOMPARE(f.stored(), stored);
        const QMap<QString, QString> texts{
            {"question", msg::pendingNotStored().arg(why, action == "close"  ? msg::closeWithoutStoring()
                                                          : action == "open" ? msg::openWithoutStoring()
                                                                             : msg::newWithoutStoring())},
            {"refusal", action == "delete" ? msg::contactNotDeleted() + msg::fileMoved()
                        : entry == "long"  ? why : msg::contactNotStored() + '\n' + why},
            {"failure", action == "protected" ? msg::newFileFolderReadOnly().arg(f.path("protégé/new.adb"), f.path("protégé"))
                                              : msg::cannotCreateFile().arg(QDir::toNativeSeparators(f.path("absent/new.adb")), msg::cannotOpen())}};
        // Two sentences, each whole: why, then the question.
        if (entry == "check" && said == "question" && action == "open")
            QCOMPARE(texts["question"], QStringLiteral("Le contact en cours n'a pas pu être enregistré.\nL'une des entrées n'est pas "
                                                       "conforme, vérifiez !\n\nOuvrir un autre fichier sans l'enregistrer ?"));
        QCOMPARE(f.prompts.messages.size(), said.isEmpty() ? 0 : 1);
        const bool asked = said == "question";
        for (const platform::MessageRequest &m : std::as_const(f.prompts.messages))
            QVERIFY2(m.text == texts[said] && m.icon == (asked ? platform::MessageIcon::Question : platform::MessageIcon::Critical)
                         && m.buttons == (asked ? platform::MessageButtons::YesNoDefaultNo : platform::MessageButtons::Ok),
                     qPrintable(m.text));
        QCOMPARE(f.w->isVisible(), !ended && then != "close" && then != "close yes");
        QCOMPARE(QFile::exists(newFile), f.ui().Data1->databaseName() == newFile);
        QCOMPARE(QDir(folder).entryList({".sequanel-*"}, QDir::Files | QDir::Hidden), QStringList());
    }

    // The proposed serial is one more than the largest number among the
    // stored serials, compared as numbers; a click in its box selects it.
    void proposedSerial_data()
    {
        QTest::addColumn<QVariantList>("serials");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("all empty") << QVariantList{QVariant(), QString(), QVariant()} << "1";
        QTest::newRow("numeric order") << QVariantList{"1", "2", "10", "9"} << "11";
        QTest::newRow("not numbers skipped") << QVariantList{"abc", "7", "  ", "x12"} << "8";
        QTest::newRow("blanks and sign") << QVariantList{" 41 ", "+3", "-50"} << "42";
        QTest::newRow("the last that fits") << QVariantList{"999998"} << "999999";
        QTest::newRow("numbering full: none, and why") << QVariantList{"999999"} << "";
    }
    void proposedSerial()
    {
        QFETCH(QVariantList, serials);
        QFETCH(QString, proposed);
        testsupport::LocaleScope scope{QLocale(QLocale::French, QLocale::France)};
        MainWindowFixture f;
        QVector<Row> rows;
        for (const QVariant &s : serials) {
            rows << testsupport::sampleRow(1);
            rows.last()[1] = s;
        }
        f.open(QStringLiteral("s.adb"), rows);
        f.ui().cmdNouveau->click();
        QCOMPARE(f.ui().txtNrSequanel->text(), proposed);
        QCOMPARE(f.prompts.messages.size(), proposed.isEmpty() ? 1 : 0);
        // A click in the box selects the number, so that typing replaces it.
        QTest::mouseClick(f.ui().txtNrSequanel, Qt::LeftButton);
        QCoreApplication::processEvents();
        QCOMPARE(f.ui().txtNrSequanel->selectedText(), proposed);
    }

    // Another program stores numbers while the window enters contacts: a
    // number proposed and left as it is moves past a number taken meanwhile
    // when the window stores, and says so; a number typed is stored as typed;
    // once a larger number is read, the number proposed next follows it.
    void serialsBesideAnotherProgram()
    {
        MainWindowFixture f(3);
        auto enter = [&f](const char *taken, const QString &typed) {
            f.ui().cmdNouveau->click();
            f.fill();
            if (!typed.isEmpty())
                f.put(QStringLiteral("txtNrSequanel"), typed);
            QVERIFY(testsupport::rawExec(f.file, QStringLiteral("INSERT INTO Transmission (Sequanel) VALUES ('%1')").arg(taken)));
            f.ui().cmdNouveau->click();
            QCOMPARE(f.buttons(), kIdle);
        };
        enter("4", {});
        QCOMPARE(f.ui().StatusPanels[0]->toolTip(), msg::serialTaken().arg("4", "5"));
        enter("6", QStringLiteral("2"));
        auto db = platform::Connection::open(f.file, platform::OpenMode::ReadOnly, nullptr);
        QCOMPARE(db->rows("SELECT Sequanel FROM Transmission WHERE Ville = 'Clermont-Ferrand'"), (QVector<QVariantList>{{"5"}, {"2"}}));
        const auto *stats = statistics::LogStatistics::current();
        QVERIFY(testsupport::rawExec(f.file, QStringLiteral("INSERT INTO Transmission (Sequanel) VALUES ('50')")));
        QTRY_VERIFY_WITH_TIMEOUT(stats && stats->tally() && stats->tally()->contacts == 8 && !stats->reading(), 20000);
        f.ui().cmdNouveau->click();
        QCOMPARE(f.ui().txtNrSequanel->text(), QStringLiteral("51"));
    }

    // Another program holds the file locked after changing it: no number is
    // proposed from the failed reading; the box is left empty with the focus,
    // and the number typed is stored once the file is free.
    void noSerialFromAFailedReading()
    {
        MainWindowFixture f(140);
        auto other = platform::Connection::open(f.file, platform::OpenMode::ReadWrite, nullptr);
        QVERIFY(other->exec("INSERT INTO Transmission (Sequanel) VALUES ('141')") && other->exec("BEGIN EXCLUSIVE"));
        f.ui().cmdNouveau->click();
        other->rollback();
        QCOMPARE(f.said(), QStringList{msg::serialNotRead().arg(msg::fileBusy())});
        QCOMPARE(f.buttons() + ' ' + f.shownSerial(), kAdding + ' ');
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.ui().txtNrSequanel));
        f.fill();
        f.put(QStringLiteral("txtNrSequanel"), QStringLiteral("142"));
        f.ui().cmdNouveau->click();
        QCOMPARE(f.stored().last(), QStringLiteral("142 Clermont-Ferrand"));
    }

    // One click, one deletion, and Enter never a second one: a double click
    // deletes one contact, so does Enter held down on the button; after each
    // the focus is on "Nouveau", whose Enter starts a contact (and Esc,
    // which cancels an entry, does nothing once back to browsing). Ctrl+Z right
    // after a deletion puts the contact back in its place, every value and
    // its serial number as they were, and says so; once only, and not after
    // another command; refused by the file, it says so and may be tried again.
    // A key pressed with Alt is never text: in every box of the form, the
    // letters of greyed or absent commands leave the typed value as it was.
    void oneDeletionPerCommand()
    {
        MainWindowFixture f(4);
        const QVector<Row> all = testsupport::readRows(f.file);
        auto undo = [&] { QTest::keyClick(f.w.get(), Qt::Key_Z, Qt::ControlModifier); };
        for (int click = 0; click < 2; ++click) // a double click
            QTest::mouseClick(f.ui().cmdSupprimer, Qt::LeftButton);
        QCOMPARE(QString::number(f.stored().size()) + ' ' + f.ui().StatusPanels[0]->toolTip(), "3 " + msg::contactDeleted().arg(4));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.ui().cmdNouveau));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        for (QWidget *box : f.w->findChildren<QWidget *>()) {
            auto *edit = qobject_cast<QLineEdit *>(box);
            if (!edit || !edit->isEnabled() || !edit->isVisible())
                continue;
            edit->setFocus();
            edit->setText(QStringLiteral("59"));
            for (Qt::Key k : {Qt::Key_P, Qt::Key_U, Qt::Key_N, Qt::Key_Z, Qt::Key_B, Qt::Key_M})
                QTest::keyClick(edit, k, Qt::AltModifier);
            QCOMPARE(edit->text(), QStringLiteral("59"));
        }
        QCOMPARE(f.buttons(), kAdding);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        undo(); // too late: "Nouveau" came in between
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); // browsing: Esc deletes nothing (nor did the undo restore)
        QCOMPARE(f.stored().size(), 3);
        f.ui().cmdPrécédent->click();
        f.ui().cmdSupprimer->setFocus();
        for (bool repeat : {false, true, true})
            QTest::simulateEvent(f.ui().cmdSupprimer, true, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), repeat);
        QCOMPARE(f.stored(), (QStringList{"1 Lyon", "3 Lyon"}));
        auto blocker = platform::Connection::open(f.file, platform::OpenMode::ReadWrite, nullptr);
        QVERIFY(blocker && blocker->exec("BEGIN EXCLUSIVE"));
        for (bool repeat : {false, true}) // refused while another program holds the file: said once, even with the keys held down,
            QTest::simulateEvent(f.w.get(), true, Qt::Key_Z, Qt::ControlModifier, {}, repeat); // and left to be tried again
        blocker.reset();
        QVERIFY2(f.said().size() == 1 && f.said()[0].startsWith(msg::contactNotRestored()), qPrintable(f.said().join('\n')));
        f.prompts.clear();
        undo();
        undo();
        QCOMPARE(testsupport::readRows(f.file), all.mid(0, 3));
        QCOMPARE(f.shownSerial() + ' ' + f.ui().StatusPanels[0]->toolTip(), "2 " + msg::contactRestored().arg(2));
        QVERIFY(f.said().isEmpty());
    }

    // "Reprendre le mode, la fréquence et l'opérateur" is off at first, and
    // "Nouveau" leaves those boxes empty; on, it fills them from the contact
    // this window added last (none yet: empty), the serial number and the
    // date as always, and the next window finds it on.
    void keepFieldsOption()
    {
        testsupport::ClockScope clock(kNow);
        auto four = [](MainWindowFixture &f) {
            return QStringList{f.ui().cmbBande->currentText(), f.ui().cmbMHz->currentText(), f.ui().cmbHz->currentText(),
                               f.ui().txtOpérateur->text()};
        };
        const QStringList empty(4, QString());
        QFile::remove(platform::settingsFilePath(QCoreApplication::applicationDirPath())); // as on a fresh machine
        for (bool on : {false, true}) {
            MainWindowFixture f(2);
            QCOMPARE(f.ui().mnuReprendre->isChecked(), on);
            f.ui().cmdNouveau->click();
            QCOMPARE(four(f), empty);
            f.fill();
            f.put(QStringLiteral("cmbHz"), QStringLiteral("205"));
            f.ui().cmdNouveau->click();
            f.ui().cmdNouveau->click();
            QCOMPARE(four(f), on ? QStringList({"USB", "27", "205", "Hélène"}) : empty);
            QCOMPARE(f.shownSerial() + ' ' + f.ui().txtDateHeure->text(), "4 " + platform::formatDateTime(kNow));
            f.ui().mnuReprendre->trigger(); // on for the next window, then off again
        }
    }

    // Automatic copies, set through their dialog (a folder that is not there
    // refused): every second contact stored, the last two kept, named after
    // the log and the time, each opening as a log with the contacts of its
    // time. The folder removed (a stick pulled out), the entry goes on and
    // the status bar says why; the copy is made once the folder is back.
    void automaticBackup()
    {
        testsupport::ClockScope clock(kNow);
        MainWindowFixture f(3);
        const QString stick = f.path(QStringLiteral("clé"));
        f.w->autoBackup().setRetryInterval(50);
        QStringList misplaced{"not shown"};
        QString never;
        ModalWatch watch([&](QWidget *m) {
            if (auto *d = qobject_cast<frmSauvegarde *>(m)) {
                misplaced = testsupport::misplacedControls(d);
                d->chkActive->setChecked(true);
                d->txtDossier->setText(stick);
                d->spnContacts->setValue(2);
                d->spnMinutes->setValue(0);
                never = d->spnMinutes->text();
                d->spnCopies->setValue(2);
                d->cmdOK->click();
                QDir().mkpath(stick);
                d->cmdOK->click();
            }
        });
        f.ui().mnuSauvegarde->trigger();
        QCOMPARE(misplaced, QStringList());
        QCOMPARE(never, msg::backupNever()); // (0 minutes: no copy by time)
        QCOMPARE(f.said(), QStringList{msg::folderMissing().arg(stick)});
        auto add = [&](int minute) {
            clock.set(kNow.addSecs(60 * minute));
            f.ui().cmdNouveau->click();
            f.fill();
            f.ui().cmdNouveau->click();
            QCOMPARE(f.buttons(), kIdle);
        };
        auto latest = [&] {
            const QStringList copies = logfile::backupsOf(stick, f.file);
            return copies.isEmpty() ? -1 : int(testsupport::readRows(copies.last()).size());
        };
        auto copied = [&](int contacts) { QTRY_COMPARE(latest(), contacts); };
        for (int i = 1; i <= 6; ++i) {
            add(i);
            if (i % 2 == 0)
                copied(3 + i);
        }
        QTRY_COMPARE(logfile::backupsOf(stick, f.file), (QStringList{stick + "/log 2024-07-14 14.09.09.adb", stick + "/log 2024-07-14 14.11.09.adb"}));
        QDir(stick).removeRecursively();
        add(7);
        add(8);
        QTRY_COMPARE(f.ui().StatusPanels[0]->toolTip(), msg::backupFailed().arg(msg::saveFolderMissing().arg(stick)));
        QDir().mkpath(stick);
        copied(11);
        // The copy is on the disk before the window hears of it.
        QTRY_COMPARE(f.ui().StatusPanels[0]->toolTip(), msg::backupDone().arg(QStringLiteral("14:13:09")));
        // By time (every ten minutes; then a minute made 50 ms): a copy once
        // the log changed, none while it does not.
        f.w->autoBackup().setSettings({true, stick, 0, 10, 5});
        QCOMPARE(f.w->autoBackup().everyMs(), 600000);
        f.w->autoBackup().setMinuteLength(50);
        f.w->autoBackup().setSettings({true, stick, 0, 1, 5});
        add(9);
        copied(12);
        const int made = logfile::backupsOf(stick, f.file).size();
        QTest::qWait(200);
        QCOMPARE(logfile::backupsOf(stick, f.file).size(), made);
        f.prompts.clear();
        f.prompts.queuedFiles << logfile::backupsOf(stick, f.file).value(0);
        f.ui().mnuOuvrir->trigger();
        QCOMPARE(f.said(), QStringList());
        QCOMPARE(f.ui().Data1->databaseName() + ' ' + f.shownSerial(), logfile::backupsOf(stick, f.file).value(0) + " 11");
        const logfile::BackupSettings kept = logfile::readBackupSettings(); // (as the next start reads them)
        QCOMPARE(QVariantList({kept.active, kept.folder, kept.everyContacts, kept.everyMinutes, kept.keep}),
                 QVariantList({true, stick, 2, 0, 2}));
        // Settings edited by hand, on but with no folder: no copy anywhere.
        f.w->autoBackup().setSettings({true, QString(), 1, 0, 5});
        const QString tip = f.ui().StatusPanels[0]->toolTip();
        add(10);
        QTest::qWait(200);
        QCOMPARE(f.ui().StatusPanels[0]->toolTip() + QDir::current().entryList({QStringLiteral("*.adb")}).join(' '), tip);
        QVERIFY(logfile::writeBackupSettings({}));
    }
};

QTEST_MAIN(TestEditing)
#include "test_editing.moc"
