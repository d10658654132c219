#include "RosePicture.h"

#include "Twips.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

RosePicture::RosePicture(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void RosePicture::place()
{
    setGeometry(platform::px(Left), platform::px(Top), platform::px(Width), platform::px(Height));
}

void RosePicture::setTwipsGeometry(double left, double top, double width, double height)
{
    Left = left;
    Top = top;
    Width = width;
    Height = height;
    place();
}

void RosePicture::setLeft(double left)
{
    Left = left;
    place();
}

void RosePicture::setNeedle(const needle::Line &line)
{
    lneDirection = line;
    update();
}

void RosePicture::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().color(QPalette::Window));

    // The rose is centred on the needle's start, the centre of the picture.
    const QPointF c(platform::pxF(Width / 2), platform::pxF(Height / 2));
    const double room = std::min(width(), height()) / 2.0;
    const double outer = room - 15;
    const double inner = outer * 0.72;
    const double pi = 4 * std::atan(1.0);

    const QColor ink(40, 40, 40);
    const QColor pale(250, 250, 245);
    p.setPen(QPen(ink, 1.2));
    p.setBrush(pale);
    p.drawEllipse(c, outer, outer);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink, 1));
    p.drawEllipse(c, inner, inner);

    // Star of eight points: the four cardinal points long and dark, the four
    // intermediate ones short and light.
    for (int i = 0; i < 8; ++i) {
        const double a = i * pi / 4;
        const bool cardinal = i % 2 == 0;
        const double len = cardinal ? outer : inner;
        const double half = cardinal ? 5 : 3.5;
        const QPointF tip(c.x() + len * std::sin(a), c.y() - len * std::cos(a));
        const QPointF left(c.x() + half * std::sin(a - pi / 2), c.y() - half * std::cos(a - pi / 2));
        const QPointF right(c.x() + half * std::sin(a + pi / 2), c.y() - half * std::cos(a + pi / 2));
        QPainterPath dark, light;
        dark.moveTo(c);
        dark.lineTo(left);
        dark.lineTo(tip);
        dark.closeSubpath();
        light.moveTo(c);
        light.lineTo(right);
        light.lineTo(tip);
        light.closeSubpath();
        p.setPen(QPen(ink, 0.6));
        p.setBrush(cardinal ? QColor(70, 70, 90) : QColor(140, 140, 150));
        p.drawPath(dark);
        p.setBrush(cardinal ? QColor(235, 235, 240) : QColor(215, 215, 220));
        p.drawPath(light);
    }

    // Marks on the outer circle at the eight principal directions.
    p.setPen(QPen(ink, 1.2));
    for (int i = 0; i < 8; ++i) {
        const double a = i * pi / 4;
        p.drawLine(QPointF(c.x() + (outer - 4) * std::sin(a), c.y() - (outer - 4) * std::cos(a)),
                   QPointF(c.x() + (outer + 3) * std::sin(a), c.y() - (outer + 3) * std::cos(a)));
    }

    // Labels around the rose.
    static const char *names[] = {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(9);
    p.setFont(f);
    p.setPen(ink);
    const double lr = outer + 9;
    for (int i = 0; i < 8; ++i) {
        const double a = i * pi / 4;
        const QPointF at(c.x() + lr * std::sin(a), c.y() - lr * std::cos(a));
        const QRectF box(at.x() - 12, at.y() - 7, 24, 14);
        p.drawText(box, Qt::AlignCenter, QString::fromLatin1(names[i]));
    }

    // The needle, on top.
    const QPointF a(platform::pxF(lneDirection.X1), platform::pxF(lneDirection.Y1));
    const QPointF b(platform::pxF(lneDirection.X2), platform::pxF(lneDirection.Y2));
    if (a != b) {
        p.setPen(QPen(needleColor, needleWidth, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(a, b);
    }
}
