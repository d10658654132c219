#include "Style.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFuture>
#include <QHash>
#include <QImageReader>
#include <QMutex>
#include <QtConcurrent/QtConcurrentRun>
#include <QPalette>
#include <QPushButton>
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

QImage draw(const QString &name, QSize size)
{
    QImageReader reader(programFile(QStringLiteral("icons/") + name));
    if (const QSize natural = reader.size(); natural.isValid())
        reader.setScaledSize(natural.scaled(size, Qt::KeepAspectRatio));
    return reader.read();
}

// The drawings started ahead and not yet taken, by name and size.
struct Ahead {
    QMutex lock;
    QHash<std::pair<QString, QSize>, QFuture<QImage>> drawings;
};
Ahead &ahead()
{
    static Ahead a;
    return a;
}
} // namespace

void drawPictureAhead(const QString &name, QSize size)
{
    Ahead &a = ahead();
    QMutexLocker locked(&a.lock);
    a.drawings.insert({name, size}, QtConcurrent::run(draw, name, size));
}

QImage picture(const QString &name, QSize size)
{
    QFuture<QImage> drawing;
    {
        Ahead &a = ahead();
        QMutexLocker locked(&a.lock);
        drawing = a.drawings.take({name, size});
    }
    return drawing.isValid() ? drawing.result() : draw(name, size);
}

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

QDialogButtonBox *okCancelButtons(QDialog *dialog, QPushButton **ok, QPushButton **cancel)
{
    auto *buttons = new QDialogButtonBox(dialog);
    *ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    (*ok)->setObjectName(QStringLiteral("cmdOK"));
    (*ok)->setDefault(true);
    *cancel = buttons->addButton(QStringLiteral("Annuler"), QDialogButtonBox::RejectRole);
    (*cancel)->setObjectName(QStringLiteral("cmdAnnuler"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace platform
