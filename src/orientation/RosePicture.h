#pragma once
// The picture area of the orientation window: a compass rose drawn centred,
// with the needle on top. Position, size and needle are kept in twips, as
// numbers with fractions; the widget itself is placed at the nearest pixel.
#include "Needle.h"

#include <QColor>
#include <QWidget>

class RosePicture : public QWidget
{
    Q_OBJECT
public:
    explicit RosePicture(QWidget *parent = nullptr);

    // Position and size in twips.
    double Left = 0, Top = 0, Width = 0, Height = 0;
    void setTwipsGeometry(double left, double top, double width, double height);
    void setLeft(double left);

    // The needle: a straight red line, 3 pixels wide, in the picture's twips.
    needle::Line lneDirection;
    QColor needleColor{255, 0, 0};
    int needleWidth = 3;
    void setNeedle(const needle::Line &line);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    void place();
};
