// The main window on a shared log of a PostgreSQL server of the test's own:
// named through the dialog, then used as a file is while another operator
// logs into the same journal; four stations logging into one journal at once.
#include "../entry/MainWindowFixture.h"
#include "../reliability/Reliability.h"
#include "Engine.h"
#include "LogFile.h"
#include "LogStatistics.h"
#include "PgServer.h"
#include "Settings.h"
#include "PrintSurface.h"
#include "frmListe.h"
#include "frmPartage.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QFormLayout>
#include <QLabel>
#include <QRegularExpression>
#include <QUrl>

using platform::Sql;

class TestSharedWindow : public QObject
{
    Q_OBJECT
    testsupport::PgServer m_server{{false, {}, false, {}, {}, {"local all sequanel trust", "local all all scram-sha-256"}}};

    QString m_title; // the dialog's, when last shown

    // Fills the dialog when it shows, then presses OK (and Esc when it
    // stays); the fields it shows when it comes back, in *back.
    void answerDialog(const QStringList &fields, bool create, QStringList *back = nullptr)
    {
        QTimer::singleShot(0, this, [this, fields, create, back] {
            auto *d = qobject_cast<frmPartage *>(QApplication::activeModalWidget());
            QVERIFY(d);
            m_title = d->windowTitle();
            const QList<QLineEdit *> edits{d->txtServeur, d->txtBase, d->txtJournal, d->txtUtilisateur, d->txtMotDePasse};
            for (int i = 0; i < edits.size(); ++i)
                edits[i]->setText(fields.value(i));
            d->chkCréer->setChecked(create);
            d->cmdOK->click();
            if (d->isVisible())
                d->reject();
            if (back)
                QTimer::singleShot(0, this, [back] {
                    auto *again = qobject_cast<frmPartage *>(QApplication::activeModalWidget());
                    back->clear();
                    for (QLineEdit *e : again ? again->findChildren<QLineEdit *>() : QList<QLineEdit *>())
                        if (e->objectName().startsWith("txt"))
                            *back << e->text();
                    if (again)
                        again->reject();
                });
        });
    }

    // A new journal at that address, and another station's connection to it.
    static std::unique_ptr<platform::Connection> newJournal(const QString &address)
    {
        return logfile::createEmpty(address, nullptr)
                   ? platform::Connection::open(address, platform::OpenMode::ReadWrite, nullptr)
                   : nullptr;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.isRunning(), qPrintable(m_server.error()));
        QFile::remove(platform::settingsFilePath(QCoreApplication::applicationDirPath())); // no recent log of an earlier run
    }
    // Named through the dialog (the journal made on the way), the log is the
    // window's like a file: title, store, another operator's contact seen by
    // the duplicate warning and the statistics; the settings keep the address
    // and never the password; a name that is not a journal's is refused.
    void loggingIntoASharedJournal()
    {
        MainWindowFixture f;
        // The server's socket folder and port, as an operator types them.
        const QString address = m_server.address(QStringLiteral("club"));
        const auto m = QRegularExpression(QStringLiteral("@([^:/]*):(\\d+)/([^?]*)")).match(address);
        QVERIFY(m.hasMatch());
        const QString server = QUrl::fromPercentEncoding(m.captured(1).toUtf8()) + ':' + m.captured(2);
        const QString user = address.section("://", 1).section('@', 0, 0), base = m.captured(3);

        answerDialog({server, base, QStringLiteral("9club")}, true);
        f.ui().mnuPartage->trigger();
        QCOMPARE(f.said(), QStringList{msg::sharedBadJournal().arg("9club")});
        QVERIFY(isJournalName(QString(31, u'é') + 'j') && !isJournalName(QString(32, u'é'))); // (a server's names: 63 bytes at most)
        f.prompts.clear();
        // Not there, and not to be made: how to make it is said, and the
        // dialog comes back as typed.
        QStringList cameBack;
        const QStringList absent{server, base, QStringLiteral("club"), user, QStringLiteral("secret")};
        answerDialog(absent, false, &cameBack);
        f.ui().mnuPartage->trigger();
        QCOMPARE(cameBack, absent);
        QVERIFY(f.said().value(0).endsWith(msg::sharedLogMissing() + msg::sharedCreateHint()));
        f.prompts.clear();

        answerDialog({server, base, QStringLiteral("club"), user, QStringLiteral("secret")}, true);
        f.ui().mnuPartage->trigger();
        const QString shortName = server + '/' + base + "/club";
        const QString shown = shortName.size() > 30 ? shortName.left(3) + "..." + shortName.right(24) : shortName;
        QCOMPARE(f.w->windowTitle(), "Sequanel (Saisie des contacts) [" + shown + ']');
        const QString settings = QString::fromUtf8(testsupport::fileBytes(platform::settingsFilePath(QCoreApplication::applicationDirPath())));
        QVERIFY(settings.contains("club") && !settings.contains("secret"));

        // Another operator's contact, then one of the same call sign stored
        // from the form (what the warning and the figures make of the others'
        // contacts: fourStationsAtOnce).
        platform::EngineError e;
        auto other = platform::Connection::open(address, platform::OpenMode::ReadWrite, &e);
        QVERIFY2(other, qPrintable(e.text));
        QVERIFY(other->exec("INSERT INTO \"Transmission\" (\"Sequanel\", \"Préfixe\", \"Qrz1\", \"Qrz2\", \"Qrz3\", \"N°\", \"Date\") "
                            "VALUES ('1', 14, 'Québec', 'Hôtel', 'Juiliette', 123, '2026-12-07 10:00:00')"));
        const auto *stats = statistics::LogStatistics::current(); // heard: n° 2 is proposed
        QTRY_VERIFY_WITH_TIMEOUT(stats->tally() && stats->tally()->contacts == 1, 5000);
        f.ui().cmdNouveau->click();
        f.fill();
        f.ui().cmdNouveau->click();
        QCOMPARE(other->scalar("SELECT count(*) FROM \"Transmission\"").toInt(), 2);
        // Begun while the first is shown, stored, it leaves the one that was
        // last before it on screen, as in a file.
        f.ui().cmdPrécédent->click();
        f.ui().cmdNouveau->click();
        f.fill();

        f.ui().cmdNouveau->click();
        QVERIFY2(f.said().isEmpty(), qPrintable(f.said().join('\n')));
        QCOMPARE(other->scalar("SELECT count(*) FROM \"Transmission\"").toInt(), 3);
        QCOMPARE(f.shownSerial(), "2");

        // Copied from the window into a new file (not onto a folder), then
        // into a new journal: the same contacts, the open log staying.
        const QString copy = f.path(QStringLiteral("copie.adb")), folder = f.path(QStringLiteral("dossier.adb"));
        QVERIFY(QDir().mkpath(folder));
        f.prompts.clear();
        f.ui().mnuCopierFichier->trigger(); // (the file dialog cancelled: nothing said)
        f.prompts.queuedFiles << folder;
        f.ui().mnuCopierFichier->trigger();
        QCOMPARE(f.said(), QStringList{msg::newFileIsFolder().arg(folder)});
        f.prompts.clear();
        f.prompts.queuedFiles << copy;
        f.ui().mnuCopierFichier->trigger();
        auto told = [](const QString &from, const QString &to) {
            return QStringList{msg::copiedMany().arg(3).arg("« " + from + " »") + '\n' + msg::copyNewLog().arg("« " + to + " »")};
        };
        f.prompts.clear();
        answerDialog({server, base, QStringLiteral("retour"), user}, false);
        f.ui().mnuCopierPartage->trigger();
        QCOMPARE(f.said(), told(shortName, server + '/' + base + "/retour"));
        QCOMPARE(m_title, msg::copyToSharedTitle());
        answerDialog({server, base, QStringLiteral("retour"), user}, false); // (a journal there stays as it is)
        f.ui().mnuCopierPartage->trigger();
        QVERIFY(f.said().value(1).startsWith(msg::copyCannotCreate().arg("« " + server + '/' + base + "/retour »", "")));
        const QVector<testsupport::Row> copied = testsupport::readRows(m_server.address(QStringLiteral("retour")));
        QCOMPARE(copied.size(), 3); // (so that two failed reads cannot pass)
        QCOMPARE(copied, testsupport::readRows(address));
        // Printed, the journal's listing is the copy's, line for line.
        auto printed = [&](const QString &log) {
            platform::setDefaultPrinterOverride(platform::PrintTarget::pdfFile(f.path("listing.pdf")));
            frmListe(log).Command2_Click();
            return testsupport::runProgram("pdftotext", {"-layout", f.path("listing.pdf"), "-"}, 30000, QProcess::SeparateChannels).second;
        };
        const QString listing = printed(address);
        QVERIFY(listing.contains("Clermont-Ferrand"));
        QCOMPARE(listing, printed(copy));
        platform::clearDefaultPrinterOverride();
        QCOMPARE(f.ui().Data1->databaseName(), address);

        // Exported: proposed in the user's folder under the journal's name.
        f.prompts.clear();
        f.prompts.queuedFiles << f.path(QStringLiteral("club.csv"));
        f.ui().mnuExporter->trigger();
        QCOMPARE(f.prompts.fileRequests.last().initialPath, QDir::homePath() + "/club.csv");
        QCOMPARE(f.said(), QStringList{msg::exportedMany().arg(3).arg(f.path(QStringLiteral("club.csv")))});

        // The dialog again: the journals named, the latest first (a garbled
        // line of the kept list left out), its fields filled but for the
        // password, each beside its caption.
        const QString app = QCoreApplication::applicationDirPath(), kept = "Journaux partagés";
        QVERIFY(platform::writeSetting(app, kept, "Récents", platform::readSetting(app, kept, "Récents", {})
                                                                 + "\nhote\t\tjournal\tuser\nhote\tbase\t\tuser\n\tbase\tjournal\tuser"));
        frmPartage again(f.w.get());
        QCOMPARE(again.cmbRécents->count(), 2);
        const QList<QLineEdit *> edits{again.txtServeur, again.txtBase, again.txtJournal, again.txtUtilisateur, again.txtMotDePasse};
        QStringList texts, captions;
        for (QLineEdit *e : edits) {
            texts << e->text();
            const auto *caption = qobject_cast<QLabel *>(static_cast<QFormLayout *>(again.layout())->labelForField(e));
            captions << (caption ? caption->text() : QString());
        }
        QCOMPARE(texts + captions, QStringList({server, base, "retour", user, "", msg::sharedServer(), msg::sharedBase(),
                                                msg::sharedJournal(), msg::sharedUser(), msg::sharedPassword()}));
        QCOMPARE(again.txtServeur->toolTip() + again.txtMotDePasse->toolTip(), msg::sharedServerHint() + msg::sharedPasswordHint());
        // What OK refuses is said, and the field at fault takes the focus.
        again.show();
        QVERIFY(QTest::qWaitForWindowActive(&again));
        f.prompts.clear();
        QStringList focused;
        for (QLineEdit *field : {again.txtBase, again.txtServeur}) {
            field->clear();
            again.cmdOK->click();
            focused << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(f.said(), (QStringList{msg::sharedNeedBase(), msg::sharedNeedServer()}));
        QCOMPARE(focused, (QStringList{"txtBase", "txtServeur"}));
        // A port that is no port is refused; without one, the server's usual port.
        again.txtBase->setText(QStringLiteral("base"));
        QStringList addresses;
        for (const char *typed : {"hote:0", "hote:65536", "hote:", "[::1]:5433", "hote"}) {
            f.prompts.clear();
            again.txtServeur->setText(QString::fromLatin1(typed));
            again.cmdOK->click();
            addresses << (f.said().isEmpty() ? again.request().address() : f.said().join('\n'));
        }
        const QString to = "@%1/base?journal=retour";
        QCOMPARE(addresses, (QStringList{msg::sharedBadPort().arg("0"), msg::sharedBadPort().arg("65536"), msg::sharedBadPort().arg(":"),
                                         "postgresql://" + user + to.arg("[::1]:5433"), "postgresql://" + user + to.arg("hote")}));
    }

    // The number proposed is reserved for its station until its contact is
    // stored or given up: another station is proposed the next one, and each
    // stores the number it gave on the air. A number typed by hand that is
    // taken is changed, said in the status bar, not in a box; one stored as
    // "0099" counts as 99 when an addition without a number gets the next;
    // a number too long for the column is said before anything is typed,
    // and none is proposed.
    void serialsReserved()
    {
        const QString address = m_server.address(QStringLiteral("numeros"));
        const auto other = newJournal(address);
        QVERIFY(other);
        MainWindowFixture a, b;
        QVERIFY(a.w->ChargerFichier(address) && b.w->ChargerFichier(address));
        a.ui().cmdNouveau->click();
        b.ui().cmdNouveau->click();
        QCOMPARE(a.shownSerial() + b.shownSerial(), QStringLiteral("12"));
        for (MainWindowFixture *f : {&b, &a}) {
            f->fill();
            f->ui().cmdNouveau->click();
        }
        QTRY_VERIFY(b.ui().cmdSuivant->isEnabled()); // (a's contact, after b's own: heard)
        a.ui().cmdNouveau->click();
        a.ui().cmdSupprimer->click(); // Annuler: 3 goes back
        b.ui().cmdNouveau->click();
        QCOMPARE(b.shownSerial(), QStringLiteral("3"));
        // An addition whose number was cleared gets the first number no
        // other station holds, and one typed that b holds is moved: not
        // b's 3 either way.
        a.ui().cmdNouveau->click();
        a.fill();
        a.ui().txtNrSequanel->clear();
        a.ui().cmdNouveau->click();
        QCOMPARE(a.ui().StatusPanels[0]->toolTip(), msg::storedUnder().arg("4"));
        a.ui().cmdNouveau->click();
        a.fill();
        a.ui().txtNrSequanel->setText(QStringLiteral("3"));
        a.ui().cmdNouveau->click();
        QCOMPARE(a.ui().StatusPanels[0]->toolTip(), msg::serialTakenByStation().arg("3", "5"));
        QVERIFY(other->exec("INSERT INTO \"Transmission\" (\"Sequanel\") VALUES ('0099')"));
        b.fill();
        b.ui().txtNrSequanel->clear();
        b.ui().cmdNouveau->click();
        QCOMPARE(b.ui().StatusPanels[0]->toolTip(), msg::storedUnder().arg("100"));
        QVERIFY(b.said().isEmpty()); // (the recorder made last answers for both windows)
        QCOMPARE(other->scalar("SELECT string_agg(\"Sequanel\", ' ' ORDER BY rowid) FROM \"Transmission\"").toString(),
                 QStringLiteral("2 1 4 5 0099 100"));
        QVERIFY(other->exec("INSERT INTO \"Transmission\" (\"Sequanel\") VALUES ('999999')"));
        a.ui().cmdNouveau->click();
        QCOMPARE(b.said(), QStringList{msg::serialsFull().arg(6)});
        QVERIFY(a.shownSerial().isEmpty());
    }

    // A password the server refuses is asked again, in a box naming the
    // server and the user, as often as the operator wants; the one typed
    // serves every connection of the log for the session (the readings and
    // the listening too), and the dialog's field left empty keeps it. Then
    // the roles' rights: one that may not read the journal is told so, the
    // log open staying; one that may only read it browses it read only.
    void passwordsAndRights()
    {
        const auto other = newJournal(m_server.address(QStringLiteral("cle")));
        QVERIFY(other && other->exec("CREATE ROLE club LOGIN PASSWORD 'secret'") && other->exec("CREATE ROLE lecteur LOGIN PASSWORD 'lire'")
                && other->exec("CREATE ROLE intrus LOGIN PASSWORD 'x'") && other->exec("GRANT USAGE ON SCHEMA cle TO club, lecteur, intrus")
                && other->exec("GRANT ALL ON ALL TABLES IN SCHEMA cle TO club") && other->exec("GRANT SELECT ON ALL TABLES IN SCHEMA cle TO lecteur"));
        const QString address = m_server.address(QStringLiteral("cle"), {}, QStringLiteral("club"));
        const QString server = platform::logDisplayName(address).section('/', 0, -3);
        MainWindowFixture f;
        QVERIFY(!f.w->ChargerFichier(address)); // the box cancelled: asked once, nothing opened, nothing more said
        QCOMPARE(f.said(), QStringList{msg::passwordAsked().arg(server, "club")});
        f.prompts.clear();
        f.prompts.queuedPasswords << "faux" << "secret";
        QVERIFY(f.w->ChargerFichier(address));
        QCOMPARE(f.said(), (QStringList{msg::passwordAsked().arg(server, "club"), msg::passwordRefused().arg(server, "club")}));
        QVERIFY(other->exec("INSERT INTO \"Transmission\" (\"Sequanel\") VALUES ('1')"));
        const auto *stats = statistics::LogStatistics::current();
        QTRY_VERIFY_WITH_TIMEOUT(stats->tally() && stats->tally()->contacts == 1, 10000);
        f.prompts.clear();
        answerDialog({server, QStringLiteral("postgres"), QStringLiteral("cle"), QStringLiteral("club")}, false);
        f.ui().mnuPartage->trigger();
        QVERIFY2(f.said().isEmpty(), qPrintable(f.said().join('\n')));

        const QString title = f.w->windowTitle();
        QVERIFY(!f.w->ChargerFichier(m_server.address(QStringLiteral("cle"), {}, QStringLiteral("intrus:x"))));
        QVERIFY(f.said().value(0).contains(msg::sharedLogNotReadable()));
        QCOMPARE(f.w->windowTitle(), title);
        QCOMPARE(f.ui().Data1->databaseName(), address);
        QVERIFY(other->exec("INSERT INTO \"Transmission\" (\"Sequanel\") VALUES ('2')"));
        QVERIFY(f.w->ChargerFichier(m_server.address(QStringLiteral("cle"), {}, QStringLiteral("lecteur:lire"))));
        QVERIFY(f.w->windowTitle().endsWith(msg::titleReadOnly()));
        QCOMPARE(f.ui().StatusPanels[0]->toolTip(), msg::sharedLogReadOnly());
        QVERIFY(!f.ui().cmdNouveau->isEnabled() && !f.ui().cmdModifier->isEnabled() && !f.ui().cmdSupprimer->isEnabled());
        f.ui().cmdPrécédent->click();
        QCOMPARE(f.shownSerial(), QStringLiteral("1"));
        QTRY_VERIFY_WITH_TIMEOUT(stats->tally() && stats->tally()->contacts == 2, 10000);
    }

    // Modifier and Supprimer on a shared log, each one message to the
    // server: a change stored, a deletion made, and a change of a contact
    // another station deletes meanwhile kept on screen as a new contact,
    // which Enter stores, as on a file, under a key of its own (not the one
    // of the contact stored before it). The browsing buttons follow the
    // other stations' contacts.
    void changesAndDeletions()
    {
        const QString address = m_server.address(QStringLiteral("changements"));
        const auto other = newJournal(address);
        QVERIFY(other);
        const Sql insert("INSERT INTO \"Transmission\" (\"Sequanel\", \"Ville\", \"Date\") SELECT CAST(n AS text), 'Lyon', "
                         "'2026-12-07 10:00:00' FROM generate_series(?1, ?2) n");
        QVERIFY(other->exec(insert, {1, 1}));
        auto stored = [&] {
            return other->scalar("SELECT string_agg(\"Sequanel\" || ' ' || \"Ville\", ', ' ORDER BY rowid) FROM \"Transmission\"")
                .toString();
        };
        MainWindowFixture f;
        QVERIFY(f.w->ChargerFichier(address));
        QVERIFY(!f.ui().cmdPrécédent->isEnabled() && !f.ui().cmdSuivant->isEnabled());
        QVERIFY(other->exec(insert, {2, 3}));
        QTRY_VERIFY(f.ui().cmdPrécédent->isEnabled() && f.ui().cmdSuivant->isEnabled());
        f.ui().cmdSuivant->click();
        f.ui().cmdSuivant->click();
        f.ui().cmdModifier->click();
        f.fill();
        f.ui().cmdModifier->click();
        f.ui().cmdPrécédent->click();
        f.ui().cmdSupprimer->click();
        f.ui().cmdNouveau->click();
        f.fill();
        f.ui().cmdNouveau->click();
        QVERIFY2(f.said().isEmpty(), qPrintable(f.said().join('\n')));
        QCOMPARE(stored(), QStringLiteral("1 Lyon, 3 Clermont-Ferrand, 4 Clermont-Ferrand"));

        f.ui().cmdModifier->click(); // n° 3, shown again after the addition
        f.ui().txtVille->setText(QStringLiteral("Brest"));
        QVERIFY(other->exec("DELETE FROM \"Transmission\" WHERE \"Sequanel\" = ?1", {f.shownSerial()}));
        f.ui().cmdModifier->click();
        QCOMPARE(f.said(), QStringList{msg::contactGoneShared() + msg::entryKeptAsNew()});
        QTest::keyClick(f.ui().txtVille, Qt::Key_Return);
        QCOMPARE(f.said().size(), 1);
        QCOMPARE(stored(), QStringLiteral("1 Lyon, 4 Clermont-Ferrand, 3 Brest"));

        // A deletion whose undoing the server refuses is said to be the shared journal's.
        QTest::qWait(QApplication::doubleClickInterval() + 50); // (not taken for a second press)
        f.ui().cmdSupprimer->click();
        QVERIFY(other->exec("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN RAISE 'non'; END$$"));
        QVERIFY(other->exec("CREATE TRIGGER refuse BEFORE INSERT ON \"Transmission\" FOR EACH ROW EXECUTE FUNCTION refuse()"));
        f.prompts.clear();
        QTest::keyClick(f.w.get(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY2(f.said().value(0).startsWith(msg::contactNotRestoredShared()), qPrintable(f.said().join(QLatin1Char('\n'))));
    }

    // Four stations store 500 contacts each at once, each through its own
    // window (reliability_writer); one is killed half-way and the server
    // restarts once meanwhile. Every contact a station said was stored is
    // there once, any other at most once; the serial numbers are apart, from
    // 1 to n but for the number the killed station held reserved (at most
    // one a station), each
    // once; a window open all along counts what SQL counts, and warns of a
    // call sign worked again as SQL finds it.
    void fourStationsAtOnce()
    {
        const QString address = m_server.address(QStringLiteral("quatre_postes"));
        platform::EngineError e;
        QVERIFY(logfile::createEmpty(address, nullptr));
        MainWindowFixture f;
        QVERIFY(f.w->ChargerFichier(address));
        QProcess stations[4];
        for (int s = 0; s < 4; ++s)
            stations[s].start(QCoreApplication::applicationDirPath() + "/reliability_writer",
                              {address, QString::number(s + 1), QStringLiteral("500")});
        QSet<int> told[4]; // the contacts each station said were stored
        qsizetype total = 0;
        bool killed = false, restarted = false;
        for (QDeadlineTimer end(240000); !end.hasExpired();) {
            QTest::qWait(50);
            for (int s = 0; s < 4; ++s)
                while (stations[s].canReadLine())
                    if (bool number = false; (told[s] << stations[s].readLine().trimmed().toInt(&number)), !number)
                        told[s].remove(0); // "ready"
            total = told[0].size() + told[1].size() + told[2].size() + told[3].size();
            if (!killed && told[1].size() >= 150) {
                stations[1].kill();
                killed = stations[1].waitForFinished();
            }
            if (!restarted && total >= 800) {
                QVERIFY(m_server.stop());
                QTest::qWait(500);
                QVERIFY2(m_server.start(), qPrintable(m_server.error()));
                restarted = true;
            }
            if (killed && std::all_of(stations, stations + 4, [](QProcess &p) { return p.state() == QProcess::NotRunning; }))
                break;
        }
        QVERIFY(restarted && told[1].size() < 500); // killed half-way
        for (int s : {0, 2, 3}) {
            QVERIFY2(stations[s].exitStatus() == QProcess::NormalExit && stations[s].exitCode() == 0,
                     stations[s].readAllStandardError().constData());
            QCOMPARE(told[s].size(), 500);
        }

        auto c = platform::Connection::open(address, platform::OpenMode::ReadOnly, &e);
        QVERIFY2(c, qPrintable(e.text));
        QHash<int, int> stored; // contact → rows
        for (const QVariantList &row : c->rows("SELECT CAST(\"CP\" AS integer) - 10000, count(*) FROM \"Transmission\" GROUP BY 1"))
            stored[row[0].toInt()] = row[1].toInt();
        for (int s = 0; s < 4; ++s)
            for (int i : std::as_const(told[s]))
                QVERIFY2(stored.value(reliability::stationContact(s + 1, i)) == 1, qPrintable(QString::number(i)));
        QVERIFY(std::all_of(stored.cbegin(), stored.cend(), [](int rows) { return rows == 1; }));
        QVERIFY(stored.size() <= total + 1); // the killed station's last store may be there, untold
        const auto serials = c->rows("SELECT count(*), count(DISTINCT \"Sequanel\"), min(CAST(\"Sequanel\" AS integer)), "
                                     "max(CAST(\"Sequanel\" AS integer)) FROM \"Transmission\"");
        const qint64 n = stored.size(), top = serials.value(0).value(3).toLongLong();
        QCOMPARE(serials.value(0).mid(0, 3), (QVariantList{n, n, 1}));
        QVERIFY(top - n <= 4); // the killed station's number, or one given up in the outage, stays a gap

        QTRY_COMPARE_WITH_TIMEOUT(statistics::LogStatistics::current()->tally() ? statistics::LogStatistics::current()->tally()->contacts : -1, n, 10000);
        f.ui().cmdNouveau->click();
        reliability::typeStation(*f.w, 4, 7);
        const auto latest = c->rows("SELECT \"Sequanel\", \"Date\", count(*) OVER () FROM \"Transmission\" "
                                    "WHERE \"Préfixe\" = 14 AND \"N°\" = 7 ORDER BY \"Date\" DESC, rowid DESC LIMIT 1").value(0);
        QTRY_COMPARE_WITH_TIMEOUT(f.ui().lblDoublon->text(),
                                  msg::workedBefore() + msg::workedSerial().arg(latest[0].toString())
                                      + msg::workedWhen().arg(latest[1].toDateTime().toString("dd/MM/yy"), latest[1].toDateTime().toString("hh:mm"))
                                      + msg::workedTimes().arg(latest[2].toInt()),
                                  10000);

        // The server away: the link's panel says so, in the rate's place;
        // the duplicate check says it waits, not in red; Valider answers at
        // once, the entry kept; "Nouveau" proposes no number that could be
        // another station's. Back: the panel says so, the number comes, and
        // Valider stores the contact once.
        const QStringList typed = reliability::shown(*f.w);
        QVERIFY(m_server.stop());
        QTRY_VERIFY(f.ui().lblLiaison->text().startsWith(msg::linkDown().section('%', 0, 0)));
        QVERIFY(!f.ui().StatusPanels[3]->isVisible());
        f.ui().cmdNouveau->click();
        QCOMPARE(f.said(), QStringList{msg::contactNotStoredShared() + '\n' + msg::serverUnreachable()});
        QCOMPARE(reliability::shown(*f.w), typed);
        QTRY_COMPARE(f.ui().lblDoublon->text(), msg::checkingDuplicates()); // (once the index hears of the outage)
        QCOMPARE(f.ui().lblDoublon->palette().color(QPalette::WindowText), f.w->palette().color(QPalette::WindowText));
        f.ui().cmdSupprimer->click();
        f.ui().cmdNouveau->click();
        QVERIFY(f.shownSerial().isEmpty());
        QCOMPARE(f.ui().StatusPanels[0]->toolTip(), msg::serialWhenServerBack());
        reliability::typeStation(*f.w, 4, 7);
        QVERIFY2(m_server.start(), qPrintable(m_server.error()));
        QTRY_COMPARE_WITH_TIMEOUT(f.ui().lblLiaison->text(), msg::linkBack(), 15000);
        QTRY_COMPARE(f.shownSerial().toLongLong(), top + 1);
        f.ui().cmdNouveau->click();
        QCOMPARE(QString::number(f.said().size()) + ' ' + c->scalar("SELECT count(*) FROM \"Transmission\"").toString(), "1 " + QString::number(n + 1));
        QTRY_COMPARE_WITH_TIMEOUT(f.ui().lblLiaison->text(), QString(), 15000); // (then, on a local socket, neither plain nor encrypted)
    }
};

QTEST_MAIN(TestSharedWindow)
#include "tst_sharedwindow.moc"
