// Start-up: the splash on top, where it is laid out, with no "OK" button and
// the version, then the main window, with the program's folder as the current
// folder and the log given opened; the command line of the program and its
// commands.
#include "Messages.h"
#include "RecordSource.h"
#include "TestSupport.h"
#include "frmMain.h"
#include "frmSplash.h"
#include "mdlMain.h"

#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void splashThenMainWindow()
    {
        QTemporaryDir dir;
        testsupport::makeLogFile(dir.filePath(QStringLiteral("coupe.adb")), {testsupport::sampleRow(1)});
        QDir::setCurrent(dir.path());
        mdlMain::setUpApplication(*qApp); // (the pictures drawn ahead, as the program does)
        bool splashSeen = false, placedOnTop = false, okHidden = false, pictures = false;
        QString version;
        QTimer probe;
        probe.setInterval(50);
        connect(&probe, &QTimer::timeout, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *s = qobject_cast<frmSplash *>(w);
                if (s && s->isVisible() && !splashSeen) {
                    splashSeen = true;
                    placedOnTop = s->windowFlags().testFlag(Qt::WindowStaysOnTopHint) && s->geometry() == frmSplash().geometry();
                    okHidden = s->findChild<QPushButton *>(QStringLiteral("Splash")) == s->Splash && !s->Splash->isVisible(); // (found by its name)
                    version = s->lblVersion->text();
                    // The artwork and its small pictures as kept in app/layouts/ (the version,
                    // which changes, as one that does not).
                    s->lblVersion->setText(msg::aboutVersion().arg(QStringLiteral("0.0.0")));
                    const QImage art = s->grab().toImage();
                    pictures = art == testsupport::keptPicture(art, QStringLiteral("app/layouts/splash.png"));
                }
            }
        });
        probe.start();
        frmMain *main = mdlMain::Main(std::chrono::milliseconds(600), QStringLiteral("coupe.adb"));
        probe.stop();
        QVERIFY(splashSeen && placedOnTop && okHidden && pictures);
        QCOMPARE(version, msg::aboutVersion().arg(SEQUANEL_PROJECT_VERSION));
        QVERIFY(main->isVisible());
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<frmSplash *>(w) || !w->isVisible());
        QCOMPARE(QDir::currentPath(), QCoreApplication::applicationDirPath());
        QCOMPARE(main->controls().Data1->databaseName(), dir.filePath(QStringLiteral("coupe.adb")));
        main->close();
    }

    // Each command answers --help and --version, and refuses a wrong command
    // line in French with status 2, without a display and saying nothing on
    // the other output. (The program's window system takes out its own
    // options first: what it leaves is judged with a display.)
    void commandLines_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("display");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out"); // its start
        QTest::addColumn<QString>("err");
        const QString export_ = QStringLiteral("sequanel-export"), convert = QStringLiteral("sequanel-convert"),
                      import = QStringLiteral("sequanel-import"), program = QStringLiteral("sequanel");
        // (a name too many, and one too few where a name is needed)
        const struct { QString command, synopsis, names; QList<QStringList> wrongCounts; } commands[] = {
            {program, msg::programSynopsis(), msg::programNames(), {{"-platform", "offscreen", "a.adb", "b.adb"}}},
            {export_, msg::exportSynopsis(), msg::exportNames(), {{"--remplacer", "a.adb"}, {"a.adb", "b.csv", "c.csv"}}},
            {convert, msg::convertSynopsis(), msg::convertNames(), {{"a.adb", "b.adb", "c.adb"}, {"a.adb"}}},
            {import, msg::importSynopsis(), msg::importNames(), {{"--partiel", "a.adi"}, {"a.adi", "b.adb", "c.adb"}}}};
        for (const auto &c : commands) {
            const QString tryHelp = QLatin1Char('\n') + msg::seeHelp().arg(c.command) + QLatin1Char('\n');
            const QByteArray name = c.command.toUtf8();
            QTest::addRow("%s help", name.data()) << c.command << QStringList{"--help"} << false << 0
                                                  << msg::usageLine().arg(c.command, c.synopsis) + '\n' << QString();
            QTest::addRow("%s version", name.data()) << c.command << QStringList{"a", "--version"} << false << 0
                                                     << c.command + " (Sequanel) " SEQUANEL_PROJECT_VERSION "\n" << QString();
            QTest::addRow("%s unknown", name.data()) << c.command << QStringList{"a", "--nimportequoi"} << false << 2 << QString()
                                                     << msg::unknownOption().arg(c.command, "--nimportequoi") + tryHelp;
            for (const QStringList &wrong : c.wrongCounts)
                QTest::addRow("%s, count %d", name.data(), int(wrong.size())) << c.command << wrong << (c.command == program) << 2
                                                                                << QString() << msg::wrongNames().arg(c.command, c.names) + tryHelp;
        }
        QTest::addRow("sequanel single dash") << program << QStringList{"-xhelp"} << true << 2 << QString() // (whatever follows it)
                                              << msg::unknownOption().arg(program, "-xhelp") + "\n" + msg::seeHelp().arg(program) + "\n";
        QTest::addRow("export value") << export_ << QStringList{"--remplacer=oui", "a", "b"} << false << 2 << QString()
                                      << msg::optionWithValue().arg(export_, "--remplacer") + "\n" + msg::seeHelp().arg(export_) + "\n";
    }
    void commandLines()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, args);
        QFETCH(bool, display);
        QProcess p;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        QTemporaryDir runtime; // as a desktop session has one
        if (display)
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        p.setProcessEnvironment(environment);
        p.start(QCoreApplication::applicationDirPath() + '/' + command, args);
        QVERIFY(p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const QString said = QString::fromUtf8(p.readAllStandardOutput());
        // (a help text ends its last line, and leaves no empty line after it)
        QVERIFY2(out.isEmpty() ? said.isEmpty() : said.startsWith(out) && said.endsWith('\n') && !said.endsWith("\n\n"),
                 qPrintable(said));
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()), err);
        QTEST(p.exitCode(), "status");
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
