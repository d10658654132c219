// Other bad input: garbled DeltaGMT settings, a missing or damaged
// Orientation.mdb, a missing help file, and long or odd paths for New, Open
// and storing.
#include "Engine.h"
#include "Help.h"
#include "Regional.h"
#include "Reliability.h"
#include "RosePicture.h"
#include "Settings.h"
#include "TestSupport.h"
#include "ZoneClock.h"
#include "frmFuseau.h"
#include "frmOrientation.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestBadInput : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void garbledDeltaGmt_data();
    void garbledDeltaGmt();
    void badReferenceFile_data();
    void badReferenceFile();
    void missingHelp_data();
    void missingHelp();
    void oddPaths_data();
    void oddPaths();

private:
    QTemporaryDir m_dir{QStringLiteral("/tmp/sequanel-input-XXXXXX")};
};

void TestBadInput::initTestCase()
{
    // The settings store lives in this test's own folder.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
    qputenv("HOME", QFile::encodeName(m_dir.path()));
}

void TestBadInput::garbledDeltaGmt_data()
{
    // The raw contents of the settings file.
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("usable"); // the store holds a time of day for the key
    auto value = [](const char *name, const QByteArray &v, bool usable) {
        QTest::newRow(name) << QByteArray("[Settings]\nDeltaGMT=" + v + "\n") << usable;
    };
    value("good", "02:00:00", true);
    value("unclosed quote", "\"02:00", true);
    value("empty", "", false);
    value("letters", "abc", false);
    value("25 hours", "25:00", false);
    value("24:00", "24:00", false);
    value("negative", "-01:00", false);
    value("60 minutes", "12:60", false);
    value("four parts", "1:00:00:00", false);
    value("huge number", "99999999999999999999999999", false);
    value("control bytes", "\x01\x02\x7f", false);
    value("invalid UTF-8", "\xff\xfe\xc3(", false);
    value("comma list", "01:00,02:00", false);
    value("a date", "2024-06-01", false);
    value("variant", "@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x10)", false);
    value("byte array", "@ByteArray(\\xff)", false);
    value("invalid", "@Invalid()", false);
    value("very long", QByteArray(200000, '9'), false);
    QTest::newRow("no value") << QByteArray("[Settings]\nDeltaGMT\n") << false;
    QTest::newRow("no section") << QByteArray("DeltaGMT=03:00\n") << false;
    static const char binary[] = "\0\xff\x13[[[=\n\0\0=]";
    QTest::newRow("binary file") << QByteArray(binary, sizeof binary - 1) << false;
    QTest::newRow("unclosed section") << QByteArray("[Settings\nDeltaGMT=03:00\n") << false;
}

void TestBadInput::garbledDeltaGmt()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, usable);
    // frmFuseau reads the store named after the program's folder.
    const QString ini = platform::settingsFilePath(QCoreApplication::applicationDirPath());
    QVERIFY(QDir().mkpath(QFileInfo(ini).absolutePath()));
    QVERIFY(ini.startsWith(m_dir.path()));
    QFile f(ini);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(file);
    f.close();

    // The computer's clock is three hours ahead of Greenwich.
    const QDateTime now(QDate(2024, 6, 1), QTime(14, 5, 9), Qt::OffsetFromUTC, 3 * 3600);
    const QString stored = platform::readSetting(QCoreApplication::applicationDirPath(), QStringLiteral("Settings"),
                                                 QStringLiteral("DeltaGMT"), QString());
    const QTime delta = zoneclock::effectiveDeltaGmt(stored, now);
    QVERIFY(delta.isValid());
    // Anything but a time of day counts as the computer's own offset.
    QCOMPARE(delta, usable ? QTime(2, 0) : QTime(3, 0));

    // A clock window ticks with it and shows a time of day.
    testsupport::ClockScope clock(now);
    auto *w = new frmFuseau;
    w->tmrHeure->setProperty("Tag", zoneclock::zoneOffsetText(12));
    w->tmrHeure_Timer();
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$")).match(w->lblHeure->text()).hasMatch(),
             qPrintable(w->lblHeure->text()));
    // The zone of 12:00:00 shows Greenwich time: the local time less the offset.
    QCOMPARE(w->lblHeure->text(), QTime(14, 5, 9).addSecs(-delta.msecsSinceStartOfDay() / 1000).toString(QStringLiteral("hh:mm:ss")));
    w->close();
    delete w;
}

void TestBadInput::badReferenceFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("message");
    for (const char *k : {"missing", "empty", "folder", "random bytes", "truncated", "log file", "no bearing column"})
        QTest::newRow(k) << QString::fromLatin1(k) << true;
    for (const char *k : {"bearing not a number", "bearing infinite", "bearing huge", "no towns"})
        QTest::newRow(k) << QString::fromLatin1(k) << false;
}

void TestBadInput::badReferenceFile()
{
    QFETCH(QString, kind);
    QFETCH(bool, message);
    const QString path = m_dir.filePath(QStringLiteral("Orientation %1.mdb").arg(kind));
    auto direction = [&](const QStringList &columns, const QVariantList &row) {
        QVector<platform::ColumnDef> cols;
        for (const QString &c : columns)
            cols << platform::ColumnDef{c, platform::ColumnType::Text, 50};
        QVERIFY(platform::Connection::create(path, platform::TableDef{QStringLiteral("direction"), cols}, nullptr));
        if (row.isEmpty())
            return;
        auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, nullptr);
        QVERIFY(c->exec("INSERT INTO direction VALUES (?1, ?2)", row));
    };
    QFile f(path);
    if (kind == QLatin1String("empty") || kind == QLatin1String("random bytes")) {
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kind == QLatin1String("empty") ? QByteArray() : QByteArray(5000, '\x5a'));
        f.close();
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("truncated")) {
        QVERIFY(QFile::copy(frmOrientation::referenceFile(), path));
        QVERIFY(f.resize(1000));
    } else if (kind == QLatin1String("log file")) {
        testsupport::makeLogFile(path);
    } else if (kind == QLatin1String("no bearing column")) {
        direction({QStringLiteral("Villes"), QStringLiteral("Cap")}, {QStringLiteral("Lyon"), 120});
    } else if (kind == QLatin1String("no towns")) {
        direction({QStringLiteral("Villes"), QStringLiteral("Degrés")}, {});
    } else if (kind != QLatin1String("missing")) {
        const QVariant bearing = kind.endsWith(QLatin1String("number")) ? QVariant(QStringLiteral("nord-est"))
                                 : kind.endsWith(QLatin1String("infinite")) ? QVariant(QStringLiteral("1e999"))
                                                                         : QVariant(QStringLiteral("1e300"));
        direction({QStringLiteral("Villes"), QStringLiteral("Degrés")}, {QStringLiteral("Lyon"), bearing});
    }

    testsupport::PromptRecorder prompts;
    frmOrientation::setReferenceFile(path);
    frmOrientation::showSingle();
    frmOrientation *w = frmOrientation::instance();
    QVERIFY(w);
    QCOMPARE(prompts.messages.size(), message ? 1 : 0);
    if (message) {
        QVERIFY(prompts.messages[0].text.contains(QDir::toNativeSeparators(path)));
        QVERIFY(prompts.messages[0].text.contains(QStringLiteral("n'est pas disponible")));
    }
    if (kind != QLatin1String("bearing huge")) {
        // Nothing to point at: the needle rests on the centre.
        const needle::Line rest = needle::atRest(w->picRose->Width, w->picRose->Height);
        QCOMPARE(w->picRose->lneDirection.X2, rest.X2);
        QCOMPARE(w->picRose->lneDirection.Y2, rest.Y2);
    }
    w->grab(); // paints the rose and its needle
    w->Command1->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!frmOrientation::instance());
    frmOrientation::setReferenceFile(QString());
}

void TestBadInput::missingHelp_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing") << QStringLiteral("/tmp/sequanel-no-such-folder/aide/index.html");
    QTest::newRow("empty path") << QString();
    QTest::newRow("a folder") << QStringLiteral("/tmp");
}

void TestBadInput::missingHelp()
{
    QFETCH(QString, path);
    QWidget owner;
    QString error;
    QVERIFY(!platform::showHelpContents(&owner, path, &error));
    QVERIFY(!error.isEmpty());
    if (!path.isEmpty())
        QVERIFY2(error.contains(path), qPrintable(error));
    QVERIFY(!owner.findChild<QWidget *>(QStringLiteral("helpWindow")));
}

void TestBadInput::oddPaths_data()
{
    QTest::addColumn<QString>("relative"); // below the test folder
    QTest::addColumn<bool>("usable");      // the system can hold such a file
    QTest::newRow("accents") << QStringLiteral("Été à l'Île/Concours d'été – Noël.adb") << true;
    QTest::newRow("blanks") << QStringLiteral("  dossier  /  log   du   concours  .adb") << true;
    QTest::newRow("quotes") << QStringLiteral("\"guillemets\"/l'\"essai\" « final ».adb") << true;
    QTest::newRow("SQL and placeholders") << QStringLiteral("x'); DROP TABLE Transmission;--/%1 ?1 :a @b $c.adb") << true;
    QTest::newRow("backslashes") << QStringLiteral("C:\\Concours\\essai.adb") << true;
    // The longest name leaves room for the engine's "-journal" beside it.
    QTest::newRow("name of 247 bytes") << QStringLiteral("n").repeated(243) + QStringLiteral(".adb") << true;
    QTest::newRow("name of 247 bytes with accents") << QStringLiteral("é").repeated(121) + QStringLiteral("e.adb") << true;
    QTest::newRow("name of 248 bytes") << QStringLiteral("n").repeated(244) + QStringLiteral(".adb") << false;
    QTest::newRow("name of 256 bytes") << QStringLiteral("n").repeated(252) + QStringLiteral(".adb") << false;
    QString deep, deeper;
    for (int i = 0; i < 12; ++i)
        deep += QStringLiteral("dossier numéro %1 du concours/").arg(i, 2, 10, QLatin1Char('0'));
    for (int i = 0; i < 16; ++i)
        deeper += QStringLiteral("d").repeated(240) + QLatin1Char('/');
    QTest::newRow("deep folders") << deep + QStringLiteral("log.adb") << true;
    QTest::newRow("path of 3900 bytes") << deeper + QStringLiteral("log.adb") << false;
}

void TestBadInput::oddPaths()
{
    QFETCH(QString, relative);
    QFETCH(bool, usable);
    const QString path = m_dir.filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QString previous = m_dir.filePath(QStringLiteral("précédent.adb"));
    if (!QFile::exists(previous))
        testsupport::makeLogFile(previous, {testsupport::sampleRow(1)});

    testsupport::PromptRecorder prompts;
    frmMain w;
    w.show();
    QVERIFY(w.ChargerFichier(previous));
    const QString title = w.windowTitle();

    // New, then a contact stored in it.
    const QDir folder(QFileInfo(path).absolutePath());
    const QStringList files = folder.entryList(QDir::Files | QDir::Hidden);
    prompts.queuedFiles = {path};
    w.mnuNouveau_Click();
    if (!prompts.messages.isEmpty()) {
        // The system refuses the name: the user is told, in French, about
        // which file, and nothing changes.
        QVERIFY2(!usable, qPrintable(prompts.messages[0].text));
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY2(prompts.messages[0].text.startsWith(QStringLiteral("Impossible de créer le fichier « %1 »").arg(path)),
                 qPrintable(prompts.messages[0].text));
        QCOMPARE(w.windowTitle(), title);
        QCOMPARE(w.Data1->databaseName(), previous);
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), files);
        return;
    }
    QVERIFY(usable);
    QCOMPARE(w.Data1->databaseName(), path);
    QVERIFY(w.windowTitle().endsWith(path.right(24) + QLatin1Char(']')));
    w.cmdNouveau_Click();
    w.txtDateHeure->setText(platform::formatDateTime(reliability::momentOf(1)));
    reliability::type(w, reliability::typedFor(1));
    w.cmdNouveau_Click();
    QVERIFY(prompts.messages.isEmpty());

    // Open another file and this one again: the contact is shown.
    QVERIFY(w.ChargerFichier(previous));
    prompts.queuedFiles = {path};
    w.mnuOuvrir_Click();
    QVERIFY(prompts.messages.isEmpty());
    QCOMPARE(reliability::shown(w)[2], reliability::typedFor(1).rst);
    QCOMPARE(reliability::shown(w)[12], QStringLiteral("Saint-Étienne"));
    const auto rows = testsupport::readRows(path);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(reliability::asText(rows[0]), reliability::storedFor(1));
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
