// The help window and the help book delivered in data/help.
#include "Help.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

namespace {

QString helpFolder() { return QStringLiteral(SEQUANEL_SOURCE_DIR "/data/help"); }
QString indexPath() { return helpFolder() + QStringLiteral("/index.html"); }

QWidget *helpWindowOf(QWidget *owner)
{
    return owner->findChild<QWidget *>(QStringLiteral("helpWindow"), Qt::FindDirectChildrenOnly);
}

QTextBrowser *browserOf(QWidget *window)
{
    return window ? window->findChild<QTextBrowser *>(QStringLiteral("helpBrowser")) : nullptr;
}

QString readText(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

// Every href of a page, as written.
QStringList hrefs(const QString &html)
{
    static const QRegularExpression re(QStringLiteral("href\\s*=\\s*\"([^\"]*)\""),
                                       QRegularExpression::CaseInsensitiveOption);
    QStringList out;
    for (auto it = re.globalMatch(html); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

} // namespace

class TestHelp : public QObject
{
    Q_OBJECT

private slots:
    void opensOnContentsPage();
    void navigationButtons();
    void secondCallReusesWindow();
    void missingFileIsReported();
    void everyLinkResolves();
    void contentsLinksEveryPageAndBack();
};

void TestHelp::opensOnContentsPage()
{
    QWidget owner;
    owner.show();
    QString error = QStringLiteral("stale");
    QVERIFY(platform::showHelpContents(&owner, indexPath(), &error));
    QVERIFY(error.isEmpty());

    QWidget *window = helpWindowOf(&owner);
    QVERIFY(window);
    QVERIFY(window->isWindow());
    QVERIFY(window->isVisible());
    QCOMPARE(window->parentWidget(), &owner);
    QCOMPARE(window->windowTitle(), QStringLiteral("Aide de Sequanel"));

    QTextBrowser *browser = browserOf(window);
    QVERIFY(browser);
    QCOMPARE(browser->source(), QUrl::fromLocalFile(QFileInfo(indexPath()).absoluteFilePath()));
    QCOMPARE(browser->documentTitle(), QStringLiteral("Aide de Sequanel"));
    // Read as UTF-8: accents survive.
    const QString text = browser->toPlainText();
    QVERIFY2(text.contains(QStringLiteral("Fuseaux horaires")), qPrintable(text.left(300)));
    QVERIFY(text.contains(QStringLiteral("é")));
    QVERIFY(!text.contains(QStringLiteral("Ã")));

    // A relative link of the contents page loads from the help folder.
    const QVariant page = browser->loadResource(QTextDocument::HtmlResource,
                                                QUrl(QStringLiteral("saisie.html")));
    QVERIFY(!page.toByteArray().isEmpty() || !page.toString().isEmpty());

    // The window closes with its owner.
    owner.close();
    QVERIFY(!window->isVisible());
}

void TestHelp::navigationButtons()
{
    QWidget owner;
    QVERIFY(platform::showHelpContents(&owner, indexPath(), nullptr));
    QWidget *window = helpWindowOf(&owner);
    QTextBrowser *browser = browserOf(window);
    auto *home = window->findChild<QAction *>(QStringLiteral("helpHome"));
    auto *back = window->findChild<QAction *>(QStringLiteral("helpBack"));
    auto *forward = window->findChild<QAction *>(QStringLiteral("helpForward"));
    QVERIFY(home && back && forward);
    QCOMPARE(home->text(), QStringLiteral("Sommaire"));
    QCOMPARE(back->text(), QStringLiteral("Précédent"));
    QCOMPARE(forward->text(), QStringLiteral("Suivant"));
    QVERIFY(!back->isEnabled());
    QVERIFY(!forward->isEnabled());

    const QUrl index = browser->source();
    const QUrl clocks = QUrl::fromLocalFile(QFileInfo(helpFolder() + "/fuseaux.html").absoluteFilePath());
    browser->setSource(clocks);
    QVERIFY(back->isEnabled());
    back->trigger();
    QCOMPARE(browser->source(), index);
    QVERIFY(forward->isEnabled());
    forward->trigger();
    QCOMPARE(browser->source(), clocks);
    home->trigger();
    QCOMPARE(browser->source(), index);
}

void TestHelp::secondCallReusesWindow()
{
    QWidget owner;
    owner.show();
    QVERIFY(platform::showHelpContents(&owner, indexPath(), nullptr));
    QWidget *first = helpWindowOf(&owner);
    QTextBrowser *browser = browserOf(first);
    browser->setSource(QUrl::fromLocalFile(QFileInfo(helpFolder() + "/clavier.html").absoluteFilePath()));
    first->close();
    QVERIFY(!first->isVisible());

    QVERIFY(platform::showHelpContents(&owner, indexPath(), nullptr));
    QCOMPARE(helpWindowOf(&owner), first);
    QCOMPARE(owner.findChildren<QTextBrowser *>().size(), 1);
    QVERIFY(first->isVisible());
    QCOMPARE(browser->source(), QUrl::fromLocalFile(QFileInfo(indexPath()).absoluteFilePath()));
}

void TestHelp::missingFileIsReported()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("absent/index.html"));
    QWidget owner;
    QString error;
    QVERIFY(!platform::showHelpContents(&owner, missing, &error));
    QVERIFY2(error.contains(QDir::toNativeSeparators(missing)), qPrintable(error));
    QVERIFY(error.contains(QStringLiteral("introuvable")));
    QVERIFY(!helpWindowOf(&owner));

    // A folder in place of the file is refused too, and a null message pointer is fine.
    QVERIFY(!platform::showHelpContents(&owner, dir.path(), &error));
    QVERIFY(error.contains(QDir::toNativeSeparators(dir.path())));
    QVERIFY(!platform::showHelpContents(&owner, missing, nullptr));
    QVERIFY(!helpWindowOf(&owner));
}

void TestHelp::everyLinkResolves()
{
    const QDir dir(helpFolder());
    const QStringList pages = dir.entryList({QStringLiteral("*.html")}, QDir::Files);
    QVERIFY(pages.size() >= 8);
    int links = 0;
    for (const QString &page : pages) {
        const QString html = readText(dir.filePath(page));
        QVERIFY2(!html.isEmpty(), qPrintable(page));
        for (const QString &href : hrefs(html)) {
            if (href.startsWith(QLatin1String("http:")) || href.startsWith(QLatin1String("https:"))
                || href.startsWith(QLatin1String("mailto:")))
                continue;
            QVERIFY2(!href.isEmpty(), qPrintable(page));
            const QString file = href.section(QLatin1Char('#'), 0, 0);
            const QString anchor = href.section(QLatin1Char('#'), 1);
            const QString target = file.isEmpty() ? dir.filePath(page) : dir.filePath(file);
            QVERIFY2(QFileInfo(target).isFile(),
                     qPrintable(page + QStringLiteral(": broken link ") + href));
            if (!anchor.isEmpty()) {
                const QString targetHtml = readText(target);
                QVERIFY2(targetHtml.contains(QStringLiteral("name=\"%1\"").arg(anchor))
                             || targetHtml.contains(QStringLiteral("id=\"%1\"").arg(anchor)),
                         qPrintable(page + QStringLiteral(": missing anchor ") + href));
            }
            ++links;
        }
    }
    QVERIFY(links > pages.size());
}

void TestHelp::contentsLinksEveryPageAndBack()
{
    const QDir dir(helpFolder());
    QSet<QString> linked;
    for (const QString &href : hrefs(readText(indexPath())))
        linked.insert(href.section(QLatin1Char('#'), 0, 0));
    const QStringList pages = dir.entryList({QStringLiteral("*.html")}, QDir::Files);
    for (const QString &page : pages) {
        if (page == QLatin1String("index.html"))
            continue;
        QVERIFY2(linked.contains(page), qPrintable(page + QStringLiteral(" is not in the contents")));
        QVERIFY2(hrefs(readText(dir.filePath(page))).contains(QStringLiteral("index.html")),
                 qPrintable(page + QStringLiteral(" has no link back to the contents")));
    }
}

QTEST_MAIN(TestHelp)
#include "test_help.moc"
