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
    void converts();
    void nothingChanges_data();
    void nothingChanges();
    void orientationFromJet();
};

void TestOpenOld::converts()
{
    MainWindowFixture f(3);
    const QString old = f.path(QStringLiteral("coupe 1998.adb"));
    QVERIFY(QFile::copy(kOld, old));
    const QByteArray before = testsupport::fileBytes(old);
    // An entry under way in the open log is stored there once the new file exists.
    f.w->controls().cmdNouveau->click();
    f.fill();

    f.prompts.answer = platform::Answer::Yes;
    const QString fresh = f.path(QStringLiteral("coupe 1998 (converti).adb"));
    f.prompts.queuedFiles << old << fresh;
    f.w->controls().mnuOuvrir->trigger();

    const platform::FileRequest save = f.prompts.fileRequests.last();
    QVERIFY(save.save && save.confirmOverwrite);
    QCOMPARE(save.title, QStringLiteral("Création d'un fichier "));
    QCOMPARE(save.initialPath, fresh);
    QCOMPARE(f.prompts.messages.size(), 2);
    QCOMPARE(f.prompts.messages[0].buttons, platform::MessageButtons::YesNo);
    QVERIFY(f.prompts.messages[1].text.startsWith(QStringLiteral("Les 1000 contacts de « %1 »").arg(old)));
    QVERIFY(f.w->windowTitle().endsWith(QStringLiteral("(converti).adb]")));
    QCOMPARE(f.w->controls().Data1->databaseName(), fresh);
    QCOMPARE(f.shownSerial(), QStringLiteral("1000"));
    QCOMPARE(testsupport::readRows(fresh).size(), 1000);
    QCOMPARE(testsupport::readRows(f.file).size(), 4);
    QCOMPARE(testsupport::fileBytes(old), before);
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

void TestOpenOld::nothingChanges_data()
{
    QTest::addColumn<QString>("jet");       // "damaged": a damaged copy
    QTest::addColumn<int>("answer");        // to the question
    QTest::addColumn<QString>("saveAs");    // "proposed", "old", or "" (cancelled)
    QTest::addColumn<bool>("cancel");       // in the progress dialog
    QTest::addColumn<QString>("message");   // the last message shown
    QTest::newRow("question answered no") << "" << int(platform::Answer::No) << "proposed" << false << "Voulez-vous";
    QTest::newRow("save dialog cancelled") << "" << int(platform::Answer::Yes) << "" << false << "Voulez-vous";
    QTest::newRow("conversion cancelled") << "" << int(platform::Answer::Yes) << "proposed" << true << "Voulez-vous";
    QTest::newRow("old file chosen as the new one") << "" << int(platform::Answer::Yes) << "old" << false
                                                    << "n'est jamais remplacé";
    QTest::newRow("damaged file") << "damaged" << int(platform::Answer::Yes) << "proposed" << false
                                  << "fichier endommagé";
}

void TestOpenOld::nothingChanges()
{
    QFETCH(QString, jet);
    QFETCH(int, answer);
    QFETCH(QString, saveAs);
    QFETCH(bool, cancel);
    QFETCH(QString, message);
    MainWindowFixture f(3);
    const QString old = f.path(QStringLiteral("ancien.adb"));
    QVERIFY(QFile::copy(kOld, old));
    if (jet == QLatin1String("damaged")) {
        QFile file(old);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(6 * 2048 + 8); // the row table of the first data page
        file.write(QByteArray(300, '\xee'));
    }
    const QByteArray before = testsupport::fileBytes(old);
    const QString title = f.w->windowTitle();
    f.w->controls().cmdNouveau->click();
    f.fill();

    f.prompts.answer = platform::Answer(answer);
    f.prompts.queuedFiles << old
                          << (saveAs == QLatin1String("proposed") ? f.path(QStringLiteral("ancien (converti).adb"))
                              : saveAs == QLatin1String("old")    ? old
                                                                  : QString());
    int reports = 0;
    platform::setProgressResponder([&](qint64, qint64) {
        ++reports;
        return cancel;
    });
    f.w->controls().mnuOuvrir->trigger();
    platform::clearProgressResponder();

    QVERIFY(f.prompts.messages.last().text.contains(message));
    QCOMPARE(reports > 0, cancel || jet == QLatin1String("damaged"));
    QCOMPARE(f.w->windowTitle(), title);
    QCOMPARE(f.w->controls().Data1->databaseName(), f.file);
    QCOMPARE(f.w->controls().cmdNouveau->text(), QStringLiteral("&Valider"));
    QCOMPARE(f.w->controls().txtVille->text(), QStringLiteral("Clermont-Ferrand"));
    QCOMPARE(testsupport::readRows(f.file).size(), 3);
    QCOMPARE(testsupport::fileBytes(old), before);
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"ancien.adb", "log.adb"}));
}

void TestOpenOld::orientationFromJet()
{
    QTemporaryDir dir;
    const QString jet = dir.filePath(QStringLiteral("Orientation.mdb"));
    jetwriter::Table t{"direction", {{"Villes", jetwriter::Type::Text, 50}, {"Degrés", jetwriter::Type::Double, 0}}, {}};
    for (const auto &[town, bearing] : {std::pair{"Brest", 270.0}, {"Nîmes", 157.5}})
        t.rows.push_back({{jetwriter::Value::text(town), jetwriter::Value::num(bearing)}});
    QVERIFY(jetwriter::write(jet.toStdString(), {t}).empty());
    testsupport::PromptRecorder prompts;
    frmOrientation::setReferenceFile(jet);
    frmOrientation::showSingle();
    frmOrientation *w = frmOrientation::instance();
    QVERIFY(prompts.messages.isEmpty());
    QCOMPARE(w->Data2->caption(), QStringLiteral("Brest"));
    QCOMPARE(w->Label1->text(), QStringLiteral("270"));
    w->Data2->moveNext();
    QCOMPARE(w->Data2->caption(), QStringLiteral("Nîmes"));
    QCOMPARE(w->Label1->text(), QStringLiteral("157.5"));
    w->Command1_Click();
    QTRY_VERIFY(!frmOrientation::instance());
    frmOrientation::setReferenceFile(QString());
}

QTEST_MAIN(TestOpenOld)
#include "tst_openold.moc"
