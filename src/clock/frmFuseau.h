#pragma once
// A clock window: the current time in one zone, renewed every second.
//
// The zone is known only through the "Tag" property of tmrHeure, which holds
// the zone offset text (see ZoneClock.h). Each window is independent, has no
// owner and deletes itself when closed.
#include <QWidget>

class QGroupBox;
class QLabel;
class QTimer;

class frmFuseau : public QWidget
{
    Q_OBJECT
public:
    explicit frmFuseau(QWidget *parent = nullptr);

    QGroupBox *Cadre2 = nullptr;
    QLabel *lblHeure = nullptr;
    QLabel *lblInfo = nullptr;
    QTimer *tmrHeure = nullptr;

public slots:
    void tmrHeure_Timer();
};
