#include "ProgramFolder.h"
#include "mdlMain.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setApplicationName(QStringLiteral("Sequanel"));
    QApplication::setWindowIcon(platform::programIcon(QStringLiteral("sequanel.svg")));

    // Qt's own dialogs (file dialog, message box buttons) speak French too.
    QTranslator qtFrench;
    if (qtFrench.load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtFrench);

    mdlMain::Main();
    return app.exec();
}
