// The help window and the help book delivered in data/help.
#include "Help.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

namespace {

const QDir kBook(QStringLiteral(SEQUANEL_SOURCE_DIR "/data/help"));
const QString kIndex = kBook.filePath(QStringLiteral("index.html"));

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
    // window back on the contents.
    void opensOnContentsAndIsReused()
    {
        QWidget owner;
        owner.show();
        QString error = QStringLiteral("stale");
        QVERIFY(platform::showHelpContents(&owner, kIndex, &error));
        QVERIFY(error.isEmpty());
        QTextBrowser *browser = browserOf(&owner);
        QVERIFY(browser && browser->window()->isVisible());
        const QUrl contents = QUrl::fromLocalFile(QFileInfo(kIndex).absoluteFilePath());
        QCOMPARE(browser->source(), contents);
        QCOMPARE(browser->window()->windowTitle(), QStringLiteral("Aide de Sequanel"));
        const QString text = browser->toPlainText();
        QVERIFY2(text.contains(QStringLiteral("Fuseaux horaires")) && !text.contains(QStringLiteral("Ã")), qPrintable(text.left(300)));

        browser->setSource(QUrl::fromLocalFile(QFileInfo(kBook.filePath(QStringLiteral("clavier.html"))).absoluteFilePath()));
        browser->window()->close();
        QVERIFY(platform::showHelpContents(&owner, kIndex, nullptr));
        QCOMPARE(browserOf(&owner), browser);
        QCOMPARE(owner.findChildren<QTextBrowser *>().size(), 1);
        QVERIFY(browser->window()->isVisible());
        QCOMPARE(browser->source(), contents);
    }

    void missingFileIsReported()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("absent/index.html"));
        QWidget owner;
        QString error;
        QVERIFY(!platform::showHelpContents(&owner, missing, &error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(missing)) && error.contains(QStringLiteral("introuvable")), qPrintable(error));
        QVERIFY(!platform::showHelpContents(&owner, dir.path(), nullptr)); // a folder in place of the file
        QString noPath;
        QVERIFY(!platform::showHelpContents(&owner, QString(), &noPath) && !noPath.isEmpty());
        QVERIFY(!browserOf(&owner));
    }

    // Every local link of every page leads to a page and anchor that exist.
    void everyLinkResolves()
    {
        static const QRegularExpression href(QStringLiteral("href\\s*=\\s*\"([^\"]*)\""), QRegularExpression::CaseInsensitiveOption);
        const QStringList pages = kBook.entryList({QStringLiteral("*.html")}, QDir::Files);
        QVERIFY(pages.size() >= 8);
        for (const QString &page : pages) {
            for (auto it = href.globalMatch(readText(kBook.filePath(page))); it.hasNext();) {
                const QString link = it.next().captured(1);
                if (link.contains(QRegularExpression(QStringLiteral("^(https?|mailto):"))))
                    continue;
                const QString target = kBook.filePath(link.section(QLatin1Char('#'), 0, 0).isEmpty() ? page : link.section(QLatin1Char('#'), 0, 0));
                const QString anchor = link.section(QLatin1Char('#'), 1);
                QVERIFY2(!link.isEmpty() && QFileInfo(target).isFile(), qPrintable(page + QStringLiteral(": broken link ") + link));
                QVERIFY2(anchor.isEmpty() || readText(target).contains(QStringLiteral("name=\"%1\"").arg(anchor))
                             || readText(target).contains(QStringLiteral("id=\"%1\"").arg(anchor)),
                         qPrintable(page + QStringLiteral(": missing anchor ") + link));
            }
        }
    }
};

QTEST_MAIN(TestHelp)
#include "test_help.moc"
