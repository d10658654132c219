// The help window and the help book delivered in data/help.
#include "Help.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
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

QString readText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class TestHelp : public QObject
{
    Q_OBJECT

private slots:
    // Opens on the contents page, read as UTF-8; a second call brings the same
    // window back on the contents. A missing file is named in the error.
    void opensOnContentsAndIsReused()
    {
        QWidget owner;
        owner.show();
        QString error;
        QVERIFY(!platform::showHelpContents(&owner, kBook.filePath(QStringLiteral("absent.html")), &error));
        QVERIFY2(error.contains(QStringLiteral("absent.html")) && error.contains(QStringLiteral("introuvable")), qPrintable(error));
        QVERIFY(!platform::showHelpContents(&owner, QString(), nullptr));
        QVERIFY(!browserOf(&owner));
        QVERIFY(platform::showHelpContents(&owner, kIndex, &error));
        QTextBrowser *browser = browserOf(&owner);
        QVERIFY(browser && browser->window()->isVisible());
        QCOMPARE(browser->window()->windowTitle(), QStringLiteral("Aide de Sequanel"));
        const QString text = browser->toPlainText();
        QVERIFY2(text.contains(QStringLiteral("Fuseaux horaires")) && !text.contains(QStringLiteral("Ã")), qPrintable(text.left(300)));

        browser->setSource(QUrl::fromLocalFile(kBook.absoluteFilePath(QStringLiteral("clavier.html"))));
        browser->window()->close();
        QVERIFY(platform::showHelpContents(&owner, kIndex, nullptr));
        QCOMPARE(owner.findChildren<QTextBrowser *>(), QList<QTextBrowser *>{browser});
        QVERIFY(browser->window()->isVisible());
        QCOMPARE(browser->source(), QUrl::fromLocalFile(kIndex));
    }

    // Every local link of every page leads to a page and anchor that exist.
    void everyLinkResolves()
    {
        static const QRegularExpression href(QStringLiteral("href\\s*=\\s*\"([^\"#]*)#?([^\"]*)\""));
        const QStringList pages = kBook.entryList({QStringLiteral("*.html")}, QDir::Files);
        QVERIFY(pages.size() >= 8);
        for (const QString &page : pages) {
            for (auto it = href.globalMatch(readText(kBook.filePath(page))); it.hasNext();) {
                const QRegularExpressionMatch link = it.next();
                if (link.captured(1).contains(QLatin1Char(':')))
                    continue; // http, mailto
                const QString target = kBook.filePath(link.captured(1).isEmpty() ? page : link.captured(1));
                const QString anchor = link.captured(2);
                QVERIFY2(QFileInfo(target).isFile() && (anchor.isEmpty() || readText(target).contains(QStringLiteral("name=\"%1\"").arg(anchor))
                                                          || readText(target).contains(QStringLiteral("id=\"%1\"").arg(anchor))),
                         qPrintable(page + QStringLiteral(": broken link ") + link.captured(0)));
            }
        }
    }
};

QTEST_MAIN(TestHelp)
#include "test_help.moc"
