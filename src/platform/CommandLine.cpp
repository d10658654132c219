#include "CommandLine.h"

#include "Messages.h"
#include "ProgramFolder.h"

#include <algorithm>
#include <cstdio>

namespace platform {

namespace {

void print(std::FILE *to, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

CommandLine refuse(const CommandSyntax &syntax, const QString &problem)
{
    print(stderr, problem + QLatin1Char('\n') + msg::seeHelp().arg(syntax.name));
    CommandLine line;
    line.status = 2;
    return line;
}

CommandLine answer(const QString &text)
{
    print(stdout, text);
    CommandLine line;
    line.status = 0;
    return line;
}

} // namespace

QString usageText(const CommandSyntax &syntax)
{
    QVector<CommandSyntax::Option> options = syntax.options;
    options << CommandSyntax::Option{QStringLiteral("help"), QString(), msg::helpOption()}
            << CommandSyntax::Option{QStringLiteral("version"), QString(), msg::versionOption()};
    auto shown = [](const CommandSyntax::Option &o) {
        return QStringLiteral("--") + o.name + (o.valueName.isEmpty() ? QString() : QLatin1Char('=') + o.valueName);
    };
    qsizetype width = 0;
    for (const CommandSyntax::Option &o : options)
        width = std::max(width, shown(o).size());
    QString text = msg::usageLine().arg(syntax.name, syntax.synopsis) + QLatin1Char('\n') + syntax.summary
                   + QStringLiteral("\n\n") + msg::usageOptions() + QLatin1Char('\n');
    for (const CommandSyntax::Option &o : options)
        text += QStringLiteral("  ") + shown(o).leftJustified(width + 2) + o.help + QLatin1Char('\n');
    if (!syntax.statuses.isEmpty())
        text += QLatin1Char('\n') + syntax.statuses + QLatin1Char('\n');
    text.chop(1);
    return text;
}

CommandLine readCommandLine(const CommandSyntax &syntax, const QStringList &arguments, ToolkitWords toolkit)
{
    CommandLine line;
    bool namesOnly = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &word = arguments[i];
        if (namesOnly || !word.startsWith(QLatin1Char('-')) || word == QLatin1String("-")) {
            line.names << word;
            continue;
        }
        if (word == QLatin1String("--")) {
            namesOnly = true;
            continue;
        }
        if (!word.startsWith(QLatin1String("--"))) {
            if (toolkit == ToolkitWords::Left)
                continue;
            return refuse(syntax, msg::unknownOption().arg(syntax.name, word));
        }
        const qsizetype equals = word.indexOf(QLatin1Char('='));
        const QString name = word.mid(2, equals < 0 ? -1 : equals - 2);
        if (name == QLatin1String("help") && equals < 0)
            return answer(usageText(syntax));
        if (name == QLatin1String("version") && equals < 0)
            return answer(syntax.name + QStringLiteral(" (Sequanel) ") + programVersion());
        const auto option = std::find_if(syntax.options.begin(), syntax.options.end(),
                                         [&](const CommandSyntax::Option &o) { return o.name == name; });
        if (option == syntax.options.end())
            return refuse(syntax, msg::unknownOption().arg(syntax.name, word));
        if (option->valueName.isEmpty()) {
            if (equals >= 0)
                return refuse(syntax, msg::optionWithValue().arg(syntax.name, QStringLiteral("--") + name));
            line.options.insert(name, QString());
        } else if (equals >= 0) {
            line.options.insert(name, word.mid(equals + 1));
        } else if (i + 1 < arguments.size()) {
            line.options.insert(name, arguments[++i]);
        } else {
            return refuse(syntax, msg::optionWithoutValue().arg(syntax.name, word));
        }
    }
    if (toolkit == ToolkitWords::Refused
        && (line.names.size() < syntax.fewestNames || line.names.size() > syntax.mostNames))
        return refuse(syntax, msg::wrongNames().arg(syntax.name, syntax.namesProblem));
    return line;
}

} // namespace platform
