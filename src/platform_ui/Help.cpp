#include "Help.h"
#include "Messages.h"
#include "ProgramFolder.h"
#include "Style.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QKeySequence>
#include <QPointer>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

namespace platform {

namespace {

const char *const kWindowName = "helpWindow";
const char *const kBrowserName = "helpBrowser";
const char *const kIndexProperty = "helpIndexUrl";

// The help window of a parentless caller (owner == nullptr).
QPointer<QWidget> &orphanWindow()
{
    static QPointer<QWidget> w;
    return w;
}

// Hides the help window when its owner is closed or hidden by the program
// (a minimised owner takes its help window along through the window manager).
class OwnerWatcher : public QObject
{
public:
    OwnerWatcher(QWidget *owner, QWidget *help) : QObject(help), m_help(help)
    {
        owner->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide && !event->spontaneous() && m_help)
            m_help->close();
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QWidget> m_help;
};

QWidget *existingWindow(QWidget *owner)
{
    if (!owner)
        return orphanWindow();
    return owner->findChild<QWidget *>(QLatin1String(kWindowName), Qt::FindDirectChildrenOnly);
}

QAction *addNavigation(QWidget *window, QToolBar *bar, const char *name, const QString &text,
                       const QIcon &icon, const QList<QKeySequence> &keys, const QString &tip)
{
    auto *action = new QAction(icon, text, window);
    action->setObjectName(QLatin1String(name));
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setToolTip(tip);
    bar->addAction(action);
    return action;
}

QWidget *makeWindow(QWidget *owner)
{
    auto *window = new QWidget(owner, Qt::Window);
    window->setObjectName(QLatin1String(kWindowName));
    window->setWindowTitle(QStringLiteral("Aide de Sequanel"));
    if (QFileInfo::exists(programFile(QStringLiteral("icons/help.svg"))))
        window->setWindowIcon(programIcon(QStringLiteral("help.svg")));
    window->resize(640, 560);
    if (owner)
        new OwnerWatcher(owner, window);
    else
        window->setAttribute(Qt::WA_DeleteOnClose);

    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *bar = new QToolBar(window);
    bar->setObjectName(QStringLiteral("helpToolBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setIconSize(QSize(16, 16));
    bar->setMovable(false);

    auto *browser = new QTextBrowser(window);
    browser->setObjectName(QLatin1String(kBrowserName));
    browser->setOpenExternalLinks(true);
    browser->setFrameShape(QFrame::NoFrame);
    // Every page gets the same comfortable margin around its text.
    QObject::connect(browser, &QTextBrowser::sourceChanged, browser,
                     [browser] { browser->document()->setDocumentMargin(14); });

    const QString contentsPicture = programFile(QStringLiteral("icons/liste.svg"));
    const QIcon contentsIcon = QFileInfo::exists(contentsPicture)
        ? QIcon(contentsPicture)
        : window->style()->standardIcon(QStyle::SP_DirHomeIcon);
    QAction *home = addNavigation(window, bar, "helpHome", QStringLiteral("Sommaire"), contentsIcon,
                                  {QKeySequence(Qt::ALT | Qt::Key_Home)},
                                  msg::helpHomeTip());
    QAction *back = addNavigation(window, bar, "helpBack", QStringLiteral("Précédent"),
                                  window->style()->standardIcon(QStyle::SP_ArrowBack),
                                  QKeySequence::keyBindings(QKeySequence::Back),
                                  msg::helpBackTip());
    QAction *forward = addNavigation(window, bar, "helpForward", QStringLiteral("Suivant"),
                                     window->style()->standardIcon(QStyle::SP_ArrowForward),
                                     QKeySequence::keyBindings(QKeySequence::Forward),
                                     msg::helpForwardTip());
    back->setEnabled(false);
    forward->setEnabled(false);

    QObject::connect(home, &QAction::triggered, browser, [window, browser] {
        const QUrl index = window->property(kIndexProperty).toUrl();
        if (index.isValid() && browser->source() != index)
            browser->setSource(index);
    });
    QObject::connect(back, &QAction::triggered, browser, &QTextBrowser::backward);
    QObject::connect(forward, &QAction::triggered, browser, &QTextBrowser::forward);
    QObject::connect(browser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    QObject::connect(browser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);

    // Esc closes the help window; it opens again with the next request.
    auto *close = new QAction(window);
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    close->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(close, &QAction::triggered, window, &QWidget::close);
    window->addAction(close);

    layout->addWidget(bar);
    layout->addWidget(browser);
    return window;
}

} // namespace

bool showHelpContents(QWidget *owner, const QString &indexPath, QString *errorMessage)
{
    const QFileInfo info(indexPath);
    const QString shown = QDir::toNativeSeparators(info.absoluteFilePath());
    QString problem;
    if (indexPath.isEmpty())
        problem = msg::noHelpFile();
    else if (!info.exists())
        problem = msg::helpFileMissing().arg(shown);
    else if (!info.isFile())
        problem = msg::notAHelpFile().arg(shown);
    else {
        QFile probe(info.absoluteFilePath());
        if (!probe.open(QIODevice::ReadOnly))
            problem = msg::helpFileUnreadable().arg(shown);
    }
    if (!problem.isEmpty()) {
        if (errorMessage)
            *errorMessage = problem;
        return false;
    }

    QWidget *window = existingWindow(owner);
    if (!window) {
        window = makeWindow(owner);
        if (!owner)
            orphanWindow() = window;
    }
    auto *browser = window->findChild<QTextBrowser *>(QLatin1String(kBrowserName));
    const QUrl index = QUrl::fromLocalFile(info.absoluteFilePath());
    window->setProperty(kIndexProperty, index);
    browser->setSearchPaths({info.absolutePath()});
    if (browser->source() != index)
        browser->setSource(index);

    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
    if (errorMessage)
        errorMessage->clear();
    return true;
}

} // namespace platform
