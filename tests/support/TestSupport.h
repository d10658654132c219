#pragma once
// Shared pieces of the tests: answering message boxes and file dialogs,
// pinning the locale and the clock, and making log files.
#include "Prompts.h"

#include <QDateTime>
#include <QImage>
#include <QLocale>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>
#include <functional>
#include <utility>

class QWidget;

namespace testsupport {

// Installs itself as the prompt responder for its lifetime. Messages are
// recorded, passed to `onMessage` if set (to look at the screen while the
// message is up) and answered with `answer`; file dialogs take the queued
// paths in order (an empty string, or an empty queue, means "cancelled");
// beeps are counted.
class PromptRecorder
{
public:
    PromptRecorder();
    ~PromptRecorder();
    QVector<platform::MessageRequest> messages;
    QVector<platform::FileRequest> fileRequests;
    QStringList queuedFiles;
    QStringList queuedPasswords; // the boxes that ask one (their texts among the messages); none left: cancelled
    platform::Answer answer = platform::Answer::Ok;
    int beeps = 0;
    std::function<void(const platform::MessageRequest &)> onMessage;
    void clear();
    QStringList said() const; // the texts of the messages
};

// The first English word of the engine's or the system's own messages found
// in a message to the user (quoted paths aside); empty when there is none.
QString englishIn(const QString &message);

// Pins QLocale::setDefault for its lifetime.
class LocaleScope
{
public:
    explicit LocaleScope(const QLocale &locale);
    ~LocaleScope();

private:
    QLocale m_previous;
};

// Fixes platform::now() for its lifetime.
class ClockScope
{
public:
    explicit ClockScope(const QDateTime &fixed);
    ~ClockScope();
    void set(const QDateTime &fixed);
};

// A contact row in column order of Transmission, stored values (ISO date text,
// integers, texts; a null QVariant for an empty column).
using Row = QVariantList;

// Creates a log file at path holding rows.
void makeLogFile(const QString &path, const QVector<Row> &rows = {});
// A plausible contact with serial number n.
Row sampleRow(int n);
// The sample contacts 1 to count.
QVector<Row> sampleRows(int count);
// The bytes of a file, "(missing)" when it cannot be read.
QByteArray fileBytes(const QString &path);
// Writes bytes into a file, replacing what it held; a failure fails the test.
void writeFile(const QString &path, const QByteArray &bytes);
// Reads every row of Transmission, in order, with a connection of its own:
// from a log file or a shared log; none when it cannot be opened.
QVector<Row> readRows(const QString &path);

// The seed of a generated test: fallback, or SEQUANEL_SEED when set.
quint32 testSeed(quint32 fallback);
// A text of at most maxSize characters (none, sometimes) made of what CSV
// files, spreadsheets and code pages get wrong: separators, quotes, line
// breaks of every kind, formula signs, numbers and dates written as text,
// accents and the code page's letters beyond Latin-1; beyondWindows1252 adds
// letters no Jet file can hold.
QString awkwardText(QRandomGenerator &random, int maxSize, bool beyondWindows1252 = false);

// Runs program (a path, or a name found on PATH) and waits for it: its exit
// status, -1 when it crashed or did not end within timeoutMs, and what it
// wrote as UTF-8, by default standard output and error as they came;
// QProcess::SeparateChannels keeps standard output alone.
std::pair<int, QString> runProgram(const QString &program, const QStringList &args, int timeoutMs = 120000,
                                   QProcess::ProcessChannelMode channels = QProcess::MergedChannels);
// The path of a program built beside the test program.
QString builtProgram(const QString &name);

// Runs one statement on a database file as another program would, through
// the SQL module directly; false on failure.
bool rawExec(const QString &path, const QString &sql, const QVariantList &params = {});

// The controls of window that carry no name (buttons, labels, text boxes,
// lists, grids and data controls): each a line of its window's name, class
// and text. (A combo box's own line edit and list, a table's corner button,
// and a tool bar's buttons, whose actions carry the names, are not counted.)
QStringList unnamedControls(QWidget *window);

// The controls of a window a user could not reach or read: one outside the
// window, two laid over each other, a label whose access key leads nowhere.
QStringList misplacedControls(QWidget *window);

// The lines in which the window differs from the layout kept in the file (a
// path below tests/): what a user sees of every named control and menu
// command, a line each (its place, face, the colours set on it, its text and
// state), and the order Tab goes through them; empty when they agree. SEQUANEL_NEW_LAYOUTS=1 in
// the environment writes the file anew instead, for a change meant.
QString layoutChanges(QWidget *window, const QString &keptFile);

// The picture kept in the file (a path below tests/), in the format of now,
// to compare with it; SEQUANEL_NEW_LAYOUTS=1 writes now there first.
QImage keptPicture(const QImage &now, const QString &keptFile);

} // namespace testsupport
