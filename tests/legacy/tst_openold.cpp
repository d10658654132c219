// Opening an old log file in the main window, and an operator's own Jet
// Orientation.mdb in the orientation window.
#include "Converter.h"
#include "MainWindowFixture.h"
#include "Progress.h"
#include "RecordSource.h"
#include "frmOrientation.h"
#include "jet_writer.h"

#include <QLabel>

namespace {
const QString kOld = QStringLiteral(SEQUANEL_SOURCE_DIR "/tests/legacy/data/ancien-1000-chiffre.adb");
} // namespace

class TestOpenOld : public QObject
{
    Q_OBJECT
private slots:
    // Open on an old log file: converted into a new file that becomes the
    // open log, the entry under way stored in the previous log first; or, when
    // the user declines, cancels, names the old file or the file is damaged,
    // nothing changes: the previous log open, the entry still on screen.
    void openOldLog_data()
    {
        QTest::addColumn<bool>("yes");        // to the question
        QTest::addColumn<QString>("saveAs");  // "proposed", "old", or "" (cancelled)
        QTest::addColumn<bool>("cancel");     // in the progress dialog
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<QString>("message"); // the last message shown
        QTest::newRow("converted") << true << "proposed" << false << false << "Les 1000 contacts de « ";
        QTest::newRow("question answered no") << false << "proposed" << false << false << "Voulez-vous";
        QTest::newRow("save dialog cancelled") << true << "" << false << false << "Voulez-vous";
        QTest::newRow("conversion cancelled") << true << "proposed" << true << false << "Voulez-vous";
        QTest::newRow("old file chosen as the new one") << true << "old" << false << false << "n'est jamais remplacé";
        QTest::newRow("damaged file") << true << "proposed" << false << true << "fichier endommagé";
    }

    void openOldLog()
    {
        QFETCH(bool, yes);
        QFETCH(QString, saveAs);
        QFETCH(bool, cancel);
        QFETCH(bool, damaged);
        QFETCH(QString, message);
        MainWindowFixture f(3);
        const QString old = f.path(QStringLiteral("coupe 1998.adb"));
        const QString fresh = f.path(QStringLiteral("coupe 1998 (converti).adb"));
        QVERIFY(QFile::copy(kOld, old));
        if (damaged) {
            QFile file(old);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(6 * 2048 + 8); // the row table of the first data page
            file.write(QByteArray(300, '\xee'));
        }
        const QByteArray before = testsupport::fileBytes(old);
        const QString title = f.w->windowTitle();
        f.w->controls().cmdNouveau->click();
        f.fill();

        f.prompts.answer = yes ? platform::Answer::Yes : platform::Answer::No;
        f.prompts.queuedFiles << old << (saveAs == QLatin1String("proposed") ? fresh
                                         : saveAs == QLatin1String("old")    ? old
                                                                             : QString());
        int reports = 0;
        platform::setProgressResponder([&](qint64, qint64) {
            ++reports;
            return cancel;
        });
        f.w->controls().mnuOuvrir->trigger();
        platform::clearProgressResponder();

        QCOMPARE(f.prompts.messages[0].buttons, platform::MessageButtons::YesNo);
        QVERIFY(f.prompts.messages.last().text.contains(message));
        QCOMPARE(testsupport::fileBytes(old), before);
        if (QTest::currentDataTag() == QLatin1String("converted")) {
            const platform::FileRequest save = f.prompts.fileRequests.last();
            QVERIFY(save.save && save.confirmOverwrite);
            QCOMPARE(save.initialPath, fresh);
            QCOMPARE(f.w->controls().Data1->databaseName(), fresh);
            QCOMPARE(f.shownSerial(), QStringLiteral("1000"));
            QCOMPARE(testsupport::readRows(fresh).size(), 1000);
            QCOMPARE(testsupport::readRows(f.file).size(), 4);
            QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
            return;
        }
        QCOMPARE(reports > 0, cancel || damaged);
        QCOMPARE(f.w->windowTitle(), title);
        QCOMPARE(f.w->controls().Data1->databaseName(), f.file);
        QCOMPARE(f.w->controls().cmdNouveau->text(), QStringLiteral("&Valider"));
        QCOMPARE(f.w->controls().txtVille->text(), QStringLiteral("Clermont-Ferrand"));
        QCOMPARE(testsupport::readRows(f.file).size(), 3);
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"coupe 1998.adb", "log.adb"}));
    }

    // An operator's own Orientation.mdb (Jet, a bearing stored as a double)
    // read by the orientation window without a message.
    void orientationFromJet()
    {
        QTemporaryDir dir;
        const QString jet = dir.filePath(QStringLiteral("Orientation.mdb"));
        const std::vector<jetwriter::Column> columns{{"Villes", jetwriter::Type::Text, 50},
                                                     {"Degrés", jetwriter::Type::Double, 0}};
        const jetwriter::Table t{"direction", columns, {{{jetwriter::Value::text("Brest"), jetwriter::Value::num(270)}}}};
        QVERIFY(jetwriter::write(jet.toStdString(), {t}).empty());
        testsupport::PromptRecorder prompts;
        frmOrientation::setReferenceFile(jet);
        frmOrientation::showSingle();
        frmOrientation *w = frmOrientation::instance();
        QVERIFY(prompts.messages.isEmpty());
        QCOMPARE(w->Data2->caption(), QStringLiteral("Brest"));
        QCOMPARE(w->Label1->text(), QStringLiteral("270"));
        w->Command1_Click();
        QTRY_VERIFY(!frmOrientation::instance());
        frmOrientation::setReferenceFile(QString());
    }
};

QTEST_MAIN(TestOpenOld)
#include "tst_openold.moc"
