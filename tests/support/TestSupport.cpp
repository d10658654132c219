#include "TestSupport.h"

#include "Clock.h"
#include "Engine.h"
#include "LogFile.h"
#include "RecordSource.h"

#include <QAbstractButton>
#include <QAction>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QToolButton>

namespace testsupport {

PromptRecorder::PromptRecorder()
{
    platform::Responder r;
    r.message = [this](const platform::MessageRequest &m) {
        messages << m;
        if (onMessage)
            onMessage(m);
        return answer;
    };
    r.file = [this](const platform::FileRequest &f) {
        fileRequests << f;
        return queuedFiles.isEmpty() ? QString() : queuedFiles.takeFirst();
    };
    r.password = [this](const QString &text) -> std::optional<QString> {
        messages << platform::MessageRequest{nullptr, text};
        return queuedPasswords.isEmpty() ? std::nullopt : std::optional(queuedPasswords.takeFirst());
    };
    r.beep = [this] { ++beeps; };
    platform::setResponder(r);
}

PromptRecorder::~PromptRecorder() { platform::clearResponder(); }

QStringList PromptRecorder::said() const
{
    QStringList out;
    for (const platform::MessageRequest &m : messages)
        out << m.text;
    return out;
}

void PromptRecorder::clear()
{
    messages.clear();
    fileRequests.clear();
}

QString englishIn(const QString &message)
{
    static const QRegularExpression quoted(QStringLiteral("«[^»]*»"));
    static const QRegularExpression english(
        QStringLiteral("\\b(database|disk|file|unable|attempt|readonly|locked|malformed|not|denied|error|full|found|such)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return english.match(QString(message).remove(quoted)).captured(1);
}

LocaleScope::LocaleScope(const QLocale &locale) : m_previous(QLocale())
{
    QLocale::setDefault(locale);
}
LocaleScope::~LocaleScope() { QLocale::setDefault(m_previous); }

ClockScope::ClockScope(const QDateTime &fixed) { set(fixed); }
ClockScope::~ClockScope() { platform::setNowProvider({}); }
void ClockScope::set(const QDateTime &fixed)
{
    platform::setNowProvider([fixed] { return fixed; });
}

// The columns of Transmission in order, for a statement.
static platform::Sql columnList()
{
    QVector<platform::Sql> cols;
    for (const QString &n : logfile::columnNames())
        cols << platform::Identifier(n);
    return platform::Sql::join(cols, ",");
}

void makeLogFile(const QString &path, const QVector<Row> &rows)
{
    QString message;
    QVERIFY2(logfile::createEmpty(path, &message), qPrintable(message));
    auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, nullptr);
    QVERIFY(c && c->begin());
    QVector<platform::Sql> marks;
    for (int i = 1; i <= 16; ++i)
        marks << platform::Sql::parameter(i);
    const platform::Sql sql =
        platform::Sql("INSERT INTO Transmission (%1) VALUES (%2)").arg(columnList(), platform::Sql::join(marks, ","));
    for (Row r : rows) {
        r.resize(16);
        QVERIFY2(c->exec(sql, r), qPrintable(c->lastError().text));
    }
    QVERIFY(c->commit());
}

quint32 testSeed(quint32 fallback)
{
    return qEnvironmentVariableIsSet("SEQUANEL_SEED") ? qEnvironmentVariable("SEQUANEL_SEED").toUInt() : fallback;
}

QString awkwardText(QRandomGenerator &random, int maxSize, bool beyondWindows1252)
{
    static const QStringList pieces = QStringLiteral(
        ";|,|\t|\"|'|\r|\n|\r\n| |=|+|-|@|=1+1|@SOMME(A1)|+abc|-x|-12|+3.5|-5,5|5/9|59+|01000|0|7|123456789012|1234567890123456|"
        "1e5|(3)|12:30|Zoë|Hôtel|É|ç|€|Œ|’|«|ÿ|Alpha|x|Saint-Étienne|27.005|Ł|ő|Ж|日本|\U0001F4FB").split(QLatin1Char('|'));
    QString out;
    for (int n = random.bounded(4); n > 0; --n) // the last five pieces only beyond Windows-1252
        out += pieces[random.bounded(pieces.size() - (beyondWindows1252 && random.bounded(8) == 0 ? 0 : 5))];
    out.truncate(out.size() > maxSize && out[maxSize].isLowSurrogate() ? maxSize - 1 : maxSize);
    return out;
}

Row sampleRow(int n)
{
    return Row{QStringLiteral("2024-03-%1 10:%2:00").arg(1 + n % 28, 2, 10, QLatin1Char('0')).arg(n % 60, 2, 10, QLatin1Char('0')),
               QString::number(n), QStringLiteral("59"), 27, 205, QStringLiteral("AM"), 14,
               QStringLiteral("Alpha"), QStringLiteral("Bravo"), QStringLiteral("Charly"), n % 1000,
               QStringLiteral("BP %1").arg(n % 100), QStringLiteral("Lyon"), QStringLiteral("69000"),
               QStringLiteral("France"), QStringLiteral("Jean")};
}

QVector<Row> sampleRows(int count)
{
    QVector<Row> rows;
    for (int n = 1; n <= count; ++n)
        rows << sampleRow(n);
    return rows;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size(), qPrintable(path));
}

QVector<Row> readRows(const QString &path)
{
    auto c = platform::Connection::open(path, platform::OpenMode::ReadOnly, nullptr);
    return c ? c->rows(platform::Sql("SELECT %1 FROM %2 ORDER BY rowid").arg(columnList(), platform::Identifier(logfile::kTable)))
             : QVector<Row>{};
}

std::pair<int, QString> runProgram(const QString &program, const QStringList &args, int timeoutMs,
                                   QProcess::ProcessChannelMode channels)
{
    QProcess p;
    p.setProcessChannelMode(channels);
    p.start(program, args);
    const bool ended = p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit;
    return {ended ? p.exitCode() : -1, QString::fromUtf8(p.readAll())};
}

QString builtProgram(const QString &name) { return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name; }

bool rawExec(const QString &path, const QString &sql, const QVariantList &params)
{
    static int serial = 0;
    const QString name = QStringLiteral("raw-%1").arg(++serial);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QSqlQuery q(db);
        if (db.open() && q.prepare(sql)) {
            for (int i = 0; i < params.size(); ++i)
                q.bindValue(i, params[i]);
            ok = q.exec();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

QStringList unnamedControls(QWidget *window)
{
    QStringList unnamed;
    for (QWidget *c : window->findChildren<QWidget *>())
        if (c->objectName().isEmpty() && !qobject_cast<QComboBox *>(c->parentWidget())
            && !qobject_cast<QAbstractItemView *>(c->parentWidget())
            && ((qobject_cast<QAbstractButton *>(c) && !qobject_cast<QToolButton *>(c)) || qobject_cast<QLabel *>(c)
                || qobject_cast<QLineEdit *>(c) || qobject_cast<QComboBox *>(c)
                || (qobject_cast<QAbstractItemView *>(c) && !c->inherits("QComboBoxListView"))))
            unnamed << QStringLiteral("%1 %2 '%3'").arg(window->objectName(), QLatin1String(c->metaObject()->className()),
                                                       c->property("text").toString());
    // Menu commands too; a submenu's own action is named by its menu.
    for (QAction *a : window->findChildren<QAction *>())
        if (a->objectName().isEmpty() && !a->text().isEmpty() && !a->menu()
            && (qobject_cast<QMenuBar *>(a->parent()) || qobject_cast<QMenu *>(a->parent())))
            unnamed << QStringLiteral("%1 QAction '%2'").arg(window->objectName(), a->text());
    for (QObject *data : window->findChildren<platform::RecordSource *>())
        if (data->objectName().isEmpty())
            unnamed << window->objectName() + QStringLiteral(" RecordSource");
    return unnamed;
}

QStringList misplacedControls(QWidget *window)
{
    QStringList faults;
    QList<QWidget *> shown;
    for (QWidget *c : window->findChildren<QWidget *>())
        if (c->isVisibleTo(window) && !c->objectName().startsWith(QLatin1String("qt_"))
            && !qobject_cast<QComboBox *>(c->parentWidget()) && !qobject_cast<QAbstractSpinBox *>(c->parentWidget())
            && ((qobject_cast<QAbstractButton *>(c) && !qobject_cast<QToolButton *>(c)) || qobject_cast<QLabel *>(c)
                || qobject_cast<QLineEdit *>(c) || qobject_cast<QComboBox *>(c) || qobject_cast<QAbstractSpinBox *>(c) || c->inherits("QTabWidget")))
            shown << c;
    // (Boxes set side by side in twips may share their one-pixel border.)
    auto place = [window](QWidget *c) { return QRect(c->mapTo(window, QPoint(0, 0)), c->size() - QSize(1, 1)); };
    auto name = [](QWidget *c) {
        return c->objectName().isEmpty() ? QLatin1Char('\'') + c->property("text").toString() + QLatin1Char('\'')
                                         : c->objectName();
    };
    for (int i = 0; i < shown.size(); ++i) {
        const QRect r = place(shown[i]);
        if (!window->rect().contains(r))
            faults << name(shown[i]) + QStringLiteral(" outside the window");
        for (int k = i + 1; k < shown.size(); ++k)
            if (!shown[i]->isAncestorOf(shown[k]) && !shown[k]->isAncestorOf(shown[i]) && r.intersects(place(shown[k])))
                faults << name(shown[i]) + QStringLiteral(" over ") + name(shown[k]);
        auto *l = qobject_cast<QLabel *>(shown[i]);
        if (l && QRegularExpression(QStringLiteral("&[^&]")).match(l->text().remove(QLatin1String("&&"))).hasMatch()
            && !l->buddy())
            faults << name(l) + QStringLiteral("'s access key leads nowhere");
    }
    return faults;
}

static QString layoutOf(QWidget *window)
{
    auto colours = [](QWidget *w) {
        if (!w->testAttribute(Qt::WA_SetPalette))
            return QString();
        QStringList set;
        for (auto role : {QPalette::Window, QPalette::WindowText, QPalette::Base, QPalette::Text, QPalette::Button,
                          QPalette::ButtonText})
            set << w->palette().color(role).name();
        return QStringLiteral(" colours ") + set.join(QLatin1Char('/'));
    };
    QStringList lines{QStringLiteral("%1 '%2' %3x%4").arg(window->objectName(), window->windowTitle())
                          .arg(window->width()).arg(window->height())};
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
        QString line = QStringLiteral("%1 %2 %3,%4 %5x%6 '%7' %8 %9pt%10%11%12")
                           .arg(w->objectName(), QLatin1String(w->metaObject()->className()))
                           .arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())
                           .arg(w->property("text").toString(), w->font().family())
                           .arg(w->font().pointSizeF())
                           .arg(QLatin1String(w->font().bold() ? " bold" : ""),
                                QLatin1String(w->isVisibleTo(window) ? "" : " hidden"),
                                QLatin1String(w->isEnabled() ? "" : " off"));
        line += colours(w);
        if (auto *l = qobject_cast<QLabel *>(w))
            line += QStringLiteral(" align %1 frame %2 picture %3x%4").arg(int(l->alignment())).arg(l->frameStyle())
                        .arg(l->pixmap().width()).arg(l->pixmap().height());
        else if (auto *e = qobject_cast<QLineEdit *>(w))
            line += QStringLiteral(" align %1%2").arg(int(e->alignment())).arg(QLatin1String(e->isReadOnly() ? " read-only" : ""));
        else if (auto *c = qobject_cast<QComboBox *>(w)) {
            QStringList items;
            for (int i = 0; i < c->count(); ++i)
                items << c->itemText(i);
            line += QStringLiteral(" items %1 shown %2 '%3' %4").arg(c->count()).arg(c->maxVisibleItems()).arg(c->currentText(), items.join(u'|'));
        }
        else if (auto *b = qobject_cast<QAbstractButton *>(w))
            line += QStringLiteral(" %1%2").arg(b->isCheckable() ? (b->isChecked() ? "checked" : "unchecked") : "")
                        .arg(b->toolTip().isEmpty() ? QString() : QStringLiteral(" tip '%1'").arg(b->toolTip()));
        lines << line;
    }
    QStringList tabs;
    for (QWidget *w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty() && w->isVisibleTo(window))
            tabs << w->objectName();
    lines << QStringLiteral("tab order: ") + tabs.join(QLatin1Char(' '));
    for (QAction *a : window->findChildren<QAction *>())
        if (!a->objectName().isEmpty())
            lines << QStringLiteral("%1 action '%2' %3 '%4'%5%6")
                         .arg(a->objectName(), a->text(), a->shortcut().toString(), a->toolTip(),
                              QLatin1String(a->isEnabled() ? "" : " off"),
                              QLatin1String(a->isCheckable() ? (a->isChecked() ? " checked" : " unchecked") : ""));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString layoutChanges(QWidget *window, const QString &keptFile)
{
    const QString path = QStringLiteral(SEQUANEL_SOURCE_DIR "/tests/") + keptFile;
    const QString now = layoutOf(window);
    if (qEnvironmentVariableIntValue("SEQUANEL_NEW_LAYOUTS") == 1) {
        writeFile(path, now.toUtf8());
        return {};
    }
    const QStringList kept = QString::fromUtf8(fileBytes(path)).split(QLatin1Char('\n'));
    const QStringList seen = now.split(QLatin1Char('\n'));
    QStringList changes;
    for (const QString &l : kept)
        if (!seen.contains(l))
            changes << QStringLiteral("kept: ") + l;
    for (const QString &l : seen)
        if (!kept.contains(l))
            changes << QStringLiteral("now:  ") + l;
    if (!changes.isEmpty()) // (printed whole: the comparison shows only its start)
        qWarning().noquote() << changes.join(QLatin1Char('\n'));
    return changes.join(QLatin1Char('\n'));
}

QImage keptPicture(const QImage &now, const QString &keptFile)
{
    const QString path = QStringLiteral(SEQUANEL_SOURCE_DIR "/tests/") + keptFile;
    if (qEnvironmentVariableIntValue("SEQUANEL_NEW_LAYOUTS") == 1)
        now.save(path);
    return QImage(path).convertToFormat(now.format());
}

} // namespace testsupport
