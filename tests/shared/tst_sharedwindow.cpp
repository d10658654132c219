// The main window on a shared log of a PostgreSQL server of the test's own:
// named through the dialog, then used as a file is while another operator
// logs into the same journal.
#include "../entry/MainWindowFixture.h"
#include "Engine.h"
#include "LogFile.h"
#include "LogStatistics.h"
#include "PgServer.h"
#include "Settings.h"
#include "frmPartage.h"

#include <QCheckBox>
#include <QLabel>
#include <QRegularExpression>
#include <QUrl>

namespace {
// The sixteen columns of a log, for a statement.
platform::Sql columns()
{
    QVector<platform::Sql> out;
    for (const QString &name : logfile::columnNames())
        out << platform::Sql(platform::Identifier(name));
    return platform::Sql::join(out, ", ");
}
using platform::Sql;
} // namespace

class TestSharedWindow : public QObject
{
    Q_OBJECT
    testsupport::PgServer m_server;

    // Fills the dialog when it shows, then presses OK (and Esc when it stays).
    void answerDialog(const QStringList &fields, bool create)
    {
        QTimer::singleShot(0, this, [fields, create] {
            auto *d = qobject_cast<frmPartage *>(QApplication::activeModalWidget());
            QVERIFY(d);
            const QList<QLineEdit *> edits{d->txtServeur, d->txtBase, d->txtJournal, d->txtUtilisateur, d->txtMotDePasse};
            for (int i = 0; i < edits.size(); ++i)
                edits[i]->setText(fields.value(i));
            d->chkCréer->setChecked(create);
            d->cmdOK->click();
            if (d->isVisible())
                d->reject();
        });
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
        f.prompts.clear();

        answerDialog({server, base, QStringLiteral("club"), user, QStringLiteral("secret")}, true);
        f.ui().mnuPartage->trigger();
        QVERIFY2(f.said().isEmpty(), qPrintable(f.said().join('\n')));
        const QString shortName = server + '/' + base + "/club";
        const QString shown = shortName.size() > 30 ? shortName.left(3) + "..." + shortName.right(24) : shortName;
        QCOMPARE(f.w->windowTitle(), "Sequanel (Saisie des contacts) [" + shown + ']');
        const QString settings = QString::fromUtf8(testsupport::fileBytes(platform::settingsFilePath(QCoreApplication::applicationDirPath())));
        QVERIFY(settings.contains("club") && !settings.contains("secret"));

        // Another operator's contact, seen by the statistics; then one of the
        // same call sign stored from the form, seen by the duplicate warning.
        platform::EngineError e;
        auto other = platform::Connection::open(address, platform::OpenMode::ReadWrite, &e);
        QVERIFY2(other, qPrintable(e.text));
        QVERIFY(other->exec("INSERT INTO \"Transmission\" (\"Sequanel\", \"Préfixe\", \"Qrz1\", \"Qrz2\", \"Qrz3\", \"N°\", \"Date\") "
                            "VALUES ('1', 14, 'Québec', 'Hôtel', 'Juiliette', 123, '2026-12-07 10:00:00')"));
        QTRY_VERIFY_WITH_TIMEOUT(statistics::LogStatistics::current()->tally()
                                     && statistics::LogStatistics::current()->tally()->contacts == 1, 5000);
        f.ui().cmdNouveau->click();
        f.fill();
        QTRY_VERIFY_WITH_TIMEOUT(f.ui().lblDoublon->isVisible(), 5000);
        f.ui().cmdNouveau->click();
        QVERIFY2(f.said().isEmpty(), qPrintable(f.said().join('\n')));
        QCOMPARE(other->scalar("SELECT count(*) FROM \"Transmission\"").toInt(), 2);
        f.ui().cmdNouveau->click();
        f.fill();
        QTRY_COMPARE_WITH_TIMEOUT(f.ui().lblDoublon->text().contains("2 fois"), true, 5000);

        // A store whose answer was lost, made all the same: Valider again
        // finds its key and stores nothing more.
        QVERIFY(other->exec("INSERT INTO \"Transmission\" (\"Sequanel\", \"CleEnregistrement\") VALUES (?1, ?2)",
                            {f.shownSerial(), f.ui().Data1->storeKey()}));
        f.ui().cmdNouveau->click();
        QVERIFY2(f.said().isEmpty(), qPrintable(f.said().join('\n')));
        QCOMPARE(other->scalar("SELECT count(*) FROM \"Transmission\"").toInt(), 3);
        QCOMPARE(f.ui().cmdNouveau->text(), QStringLiteral("&Nouveau"));

        // Copied from the window into a new file, then into a new journal:
        // the same contacts, the open log staying.
        const QString copy = f.path(QStringLiteral("copie.adb"));
        f.prompts.clear();
        f.prompts.queuedFiles << copy;
        f.ui().mnuCopierFichier->trigger();
        auto told = [](const QString &from, const QString &to) {
            return QStringList{msg::copiedMany().arg(3).arg("« " + from + " »") + '\n' + msg::copyNewLog().arg("« " + to + " »")};
        };
        QCOMPARE(f.said(), told(shortName, copy));
        f.prompts.clear();
        answerDialog({server, base, QStringLiteral("retour"), user}, false);
        f.ui().mnuCopierPartage->trigger();
        QCOMPARE(f.said(), told(shortName, server + '/' + base + "/retour"));
        auto back = platform::Connection::open(m_server.address(QStringLiteral("retour")), platform::OpenMode::ReadOnly, &e);
        QVERIFY(back);
        QCOMPARE(back->rows(Sql("SELECT %1 FROM \"Transmission\" ORDER BY rowid").arg(columns())),
                 other->rows(Sql("SELECT %1 FROM \"Transmission\" ORDER BY rowid").arg(columns())));
        QCOMPARE(testsupport::readRows(copy).size(), 3);
        QCOMPARE(f.ui().Data1->databaseName(), address);

        // Exported: proposed in the user's folder under the journal's name.
        f.prompts.clear();
        f.prompts.queuedFiles << f.path(QStringLiteral("club.csv"));
        f.ui().mnuExporter->trigger();
        QCOMPARE(f.prompts.fileRequests.last().initialPath, QDir::homePath() + "/club.csv");
        QCOMPARE(f.said(), QStringList{msg::exportedMany().arg(3).arg(f.path(QStringLiteral("club.csv")))});

        // The dialog again: the journals named, the latest first, its fields
        // filled but for the password.
        frmPartage again(f.w.get());
        QCOMPARE(again.cmbRécents->count(), 2);
        QCOMPARE(QStringList({again.txtServeur->text(), again.txtBase->text(), again.txtJournal->text(),
                              again.txtUtilisateur->text(), again.txtMotDePasse->text()}),
                 QStringList({server, base, "retour", user, ""}));
    }
};

QTEST_MAIN(TestSharedWindow)
#include "tst_sharedwindow.moc"
