// The help window and the help book delivered in data/help.
#include "Help.h"
#include "Messages.h"
#include "TestSupport.h"

#include <QDir>
#include <QInputDialog>
#include <QPointer>
#include <QTextBrowser>
#include <QtTest>

namespace {

const QDir kBook(QStringLiteral(SEQUANEL_SOURCE_DIR "/data/help"));
const QString kIndex = kBook.absoluteFilePath(QStringLiteral("index.html"));

QTextBrowser *browserOf(QWidget *owner)
{
    auto *window = owner->findChild<QWidget *>(QStringLiteral("helpWindow"), Qt::FindDirectChildrenOnly);
    return window ? window->findChild<QTextBrowser *>(QStringLiteral("helpBrowser")) : nullptr;
}

} // namespace

class TestHelp : public QObject
{
    Q_OBJECT

private slots:
    // Without an owner, a window of its own, gone once closed. The password
    // box hides what is typed, and gives nothing when cancelled; a question
    // whose default is no answers no to Enter. With one:
    // opens on the contents page, read as UTF-8, and its buttons walk the pages; Esc closes it, and a second
    // call brings the same window back. A missing file is named in the error.
    void helpWindowAndPasswordBox()
    {
        QVERIFY(platform::showHelpContents(nullptr, kIndex, nullptr));
        QPointer<QWidget> help;
        for (QWidget *w : QApplication::topLevelWidgets())
            help = w->objectName() == QLatin1String("helpWindow") ? w : help.data();
        QVERIFY(help && help->isVisible());
        help->close();
        QTRY_VERIFY(help.isNull());
        for (const bool ok : {false, true}) {
            QTimer::singleShot(0, this, [ok] {
                auto *box = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
                QVERIFY(box && box->textEchoMode() == QLineEdit::Password && box->labelText() == QLatin1String("Qui ?"));
                box->setTextValue(QStringLiteral("secret"));
                ok ? box->accept() : box->reject();
            });
            QCOMPARE(platform::askPassword(nullptr, QStringLiteral("Qui ?")), ok ? std::optional<QString>("secret") : std::nullopt);
        }
        // The program's own question box, "&Non" its default: Enter answers no.
        QString no;
        QTimer::singleShot(0, this, [&no] {
            no = QApplication::activeModalWidget()->focusWidget()->property("text").toString(); // (the default button)
            QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return);
        });
        QCOMPARE(platform::showMessage(nullptr, QStringLiteral("Sûr ?"), platform::MessageIcon::Question, platform::MessageButtons::YesNoDefaultNo), platform::Answer::No);
        QCOMPARE(no, QStringLiteral("&Non"));

        QWidget owner;
        owner.show();
        QString error;
        QVERIFY(!platform::showHelpContents(&owner, kBook.filePath(QStringLiteral("absent.html")), &error));
        QCOMPARE(error, msg::helpFileMissing().arg(kBook.filePath(QStringLiteral("absent.html"))));
        QVERIFY(!platform::showHelpContents(&owner, QString(), nullptr) && !browserOf(&owner));
        QVERIFY(platform::showHelpContents(&owner, kIndex, &error));
        QTextBrowser *browser = browserOf(&owner);
        QVERIFY(browser && browser->window()->isVisible());
        // A page, back (forward then offered), forward again, home: the contents, back offered.
        browser->setSource(QUrl::fromLocalFile(kBook.filePath(QStringLiteral("saisie.html"))));
        for (const char *name : {"helpBack", "helpForward", "helpHome"})
            browser->window()->findChild<QAction *>(QLatin1String(name))->trigger();
        const QString text = browser->toPlainText();
        QVERIFY2(text.contains(QStringLiteral("Fuseaux horaires")) && !text.contains(QStringLiteral("Ã")), qPrintable(text.left(300)));
        QCOMPARE(testsupport::layoutChanges(browser->window(), QStringLiteral("help/layouts/help.txt")), QString());

        // (Esc closes it)
        browser->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(browser->window()));
        QTest::keyClick(browser, Qt::Key_Escape);
        QVERIFY(!browser->window()->isVisible());
        QVERIFY(platform::showHelpContents(&owner, kIndex, nullptr));
        QCOMPARE(owner.findChildren<QTextBrowser *>(), QList<QTextBrowser *>{browser});
        QVERIFY(browser->window()->isVisible());
    }
};

QTEST_MAIN(TestHelp)
#include "test_help.moc"
