#pragma once
// The command line of the program and of its commands, read one way for all:
// options, the names (files, addresses) they work on, --help and --version,
// and a short French message with status 2 for a command that is not well
// formed.
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

namespace platform {

struct CommandSyntax {
    struct Option {
        QString name;      // without its dashes: "remplacer"
        QString valueName; // for an option that takes a value ("--format=FORMAT"), else empty
        QString help;      // what it does, in French
    };
    QString name;        // "sequanel-export"
    QString synopsis;    // what follows the name in the usage line
    QString summary;     // what the command does, in French
    QVector<Option> options;
    qsizetype fewestNames = 0, mostNames = 0;
    QString namesProblem; // said when fewer or more names are given
    QString statuses;     // its exit statuses, in French
};

struct CommandLine {
    QStringList names;               // the names given, in order
    QHash<QString, QString> options; // the options given, by name, with their values
    int status = -1;                 // 0 or 2 when the command ends at once with this status
    bool has(const QString &option) const { return options.contains(option); }
};

// How words with a single dash ("-platform xcb") are taken: as wrong options,
// or left alone, unjudged with the count of names, for the window system's
// library, which takes those of its own out of the command line.
enum class ToolkitWords { Refused, Left };

// Reads the arguments (the program's own name left out). "--help" prints the
// usage on standard output, and "--version" the name and version, with status
// 0; an unknown option, an option without its value, or a wrong count of
// names prints a short French message on standard error, with status 2.
// "--opt=value" and "--opt value" are alike; after "--", every word is a name.
CommandLine readCommandLine(const CommandSyntax &syntax, const QStringList &arguments,
                            ToolkitWords toolkit = ToolkitWords::Refused);

// The usage that --help prints.
QString usageText(const CommandSyntax &syntax);

} // namespace platform
