#pragma once
// The orientation window: the bearing from Paris to a town, read from the
// reference database Orientation.mdb, shown in degrees and as a red needle on
// a compass rose. There is one window at a time; closing it destroys it.
#include "Needle.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

class QLabel;
class QPushButton;
class RosePicture;

namespace platform {
class RecordSource;
class RecordSourceBar;
}

class frmOrientation : public QWidget
{
    Q_OBJECT
public:
    // Shows the window, building it first when it is not open; an open window
    // is brought forward.
    static void showSingle();
    // The open window, or nullptr.
    static frmOrientation *instance();
    // The reference database opened by the next window (towns::referenceFile).
    static QString referenceFile();
    static void setReferenceFile(const QString &path);

    QLabel *Label1 = nullptr;  // bearing, bound to Degrés
    QLabel *Label2 = nullptr;
    QLabel *Label8 = nullptr;
    RosePicture *picRose = nullptr; // holds the needle, picRose->lneDirection
    QPushButton *Command1 = nullptr;
    platform::RecordSource *Data2 = nullptr;
    platform::RecordSourceBar *Data2Bar = nullptr;

    // Inner width of the window, in twips.
    static constexpr double ScaleWidth = 3510;
    static constexpr double ScaleHeight = 4500;

public slots:
    void Label1_Change();
    void Command1_Click();

private:
    explicit frmOrientation(QWidget *parent = nullptr);
    ~frmOrientation() override;
    void Form_Load();
    void Data2_Reposition();
    void reportOpenFailure();
    QString m_shownBearing;
    bool m_bearingShown = false;
    static QPointer<frmOrientation> s_instance;
};
