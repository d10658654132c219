#include "Style.h"

#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>
#include <memory>

namespace platform {

namespace {
QFont face(const QString &family, double points, bool bold)
{
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}
} // namespace

QFont arial(double points, bool bold) { return face(QStringLiteral("Arial"), points, bold); }
QFont sansSerif(double points, bool bold) { return face(QStringLiteral("Liberation Sans"), points, bold); }

void setToolWindowLook(QWidget *window)
{
    QPalette pal = window->palette();
    if (std::unique_ptr<QStyle> fusion{QStyleFactory::create(QStringLiteral("Fusion"))})
        pal.setColor(QPalette::Window, fusion->standardPalette().color(QPalette::Window));
    window->setPalette(pal);
    window->setAutoFillBackground(true);
    window->setFont(sansSerif(8.25));
}

} // namespace platform
