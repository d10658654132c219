#include "mdlMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    mdlMain::setUpApplication(app);
    mdlMain::Main();
    return app.exec();
}
