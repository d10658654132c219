#include "frmFuseau.h"

#include "Clock.h"
#include "ProgramFolder.h"
#include "Style.h"
#include "Settings.h"
#include "Twips.h"
#include "ZoneClock.h"

#include <QApplication>
#include <QGroupBox>
#include <QScreen>
#include <QLabel>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>

using platform::px;
using platform::rectTw;

frmFuseau::frmFuseau(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmFuseau"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Fixed border, a close box and a minimise button, no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // A blank, not an empty title: given none, the toolkit shows the program's name.
    setWindowTitle(QStringLiteral(" "));
    setFixedSize(px(2790), px(1125));
    // Placed by its client area, not by its frame; a clock already there
    // makes room, so that each new one shows.
    QVector<QPoint> taken;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w != this && w->objectName() == objectName() && w->isVisible())
            taken << w->geometry().topLeft();
    const QRect usual = rectTw(8685, 2055, 2790, 1125);
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : usual;
    setGeometry(QRect(zoneclock::cascadePlace(usual, taken, available, px(375)), usual.size()));

    platform::setToolWindowLook(this);

    Cadre2 = new QGroupBox(QStringLiteral("Heure :"), this);
    Cadre2->setObjectName(QStringLiteral("Cadre2"));
    Cadre2->setGeometry(rectTw(120, 0, 2535, 735));

    // The time is centred in the frame whatever its width ("0:00.00" first,
    // then "hh:mm:ss"), so the label spans the frame's inner width.
    lblHeure = new QLabel(QStringLiteral("0:00.00"), Cadre2);
    lblHeure->setObjectName(QStringLiteral("lblHeure"));
    lblHeure->setFont(platform::sansSerif(13.5, true));
    QPalette blue = lblHeure->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    lblHeure->setPalette(blue);
    lblHeure->setAlignment(Qt::AlignCenter);
    lblHeure->setGeometry(px(30), px(240), Cadre2->width() - 2 * px(30), px(360));

    // The zone caption is centred under the frame; the label spans the whole
    // client width so that the longest caption fits.
    lblInfo = new QLabel(this);
    lblInfo->setObjectName(QStringLiteral("lblInfo"));
    lblInfo->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblInfo->setGeometry(0, px(840), width(), px(195) + 2);

    tmrHeure = new QTimer(this);
    tmrHeure->setObjectName(QStringLiteral("tmrHeure"));
    tmrHeure->setInterval(1000);
    connect(tmrHeure, &QTimer::timeout, this, &frmFuseau::tmrHeure_Timer);
    tmrHeure->start();
}

void frmFuseau::tmrHeure_Timer()
{
    // The setting is read afresh at every tick, so a change in the store shows
    // within a second in every open clock. Without one, the computer's own
    // offset of the moment is used, summer time included.
    const QString delta = platform::readSetting(QCoreApplication::applicationDirPath(), QStringLiteral("Settings"),
                                                QStringLiteral("DeltaGMT"), QString());
    const QString tag = tmrHeure->property("Tag").toString();
    lblHeure->setText(zoneclock::zoneTimeText(platform::now(), delta, tag));
}
