#include "mdlMain.h"

#include "CommandLine.h"
#include "Messages.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    const platform::CommandSyntax syntax{QStringLiteral("sequanel"), msg::programSynopsis(), msg::programSummary(),
                                         {}, 0, 1, msg::programNames(), msg::programStatuses()};
    // --help, --version and a wrong option are answered before the window
    // system is reached, so that they need no display; the window system's
    // own options ("-platform offscreen") are left to it.
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    if (const int status = platform::readCommandLine(syntax, words, platform::ToolkitWords::Left).status; status >= 0)
        return status;

    QApplication app(argc, argv);
    const platform::CommandLine line = platform::readCommandLine(syntax, QApplication::arguments().mid(1));
    if (line.status >= 0)
        return line.status;
    mdlMain::setUpApplication(app);
    mdlMain::Main(std::chrono::seconds(4), line.names.value(0));
    return app.exec();
}
