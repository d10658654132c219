#include "RecordSourceBar.h"

#include "Prompts.h"
#include "RecordSource.h"

#include <QKeyEvent>

#include <QLabel>
#include <QPainter>
#include <QPolygonF>
#include <QStyleOption>
#include <QToolButton>

namespace platform {

namespace {

enum class Arrow { First, Previous, Next, Last };

// A black triangle, with a bar for first and last, drawn at the size of the
// button's face.
QIcon arrowIcon(Arrow kind, const QColor &color)
{
    const int s = 12;
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pm(s * scale, s * scale);
        pm.setDevicePixelRatio(scale);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        const bool left = kind == Arrow::First || kind == Arrow::Previous;
        const bool bar = kind == Arrow::First || kind == Arrow::Last;
        const double top = 2.5, bottom = s - 2.5, mid = s / 2.0;
        const double w = 5;
        double x0 = bar ? (left ? 4.5 : s - 4.5) : (left ? (s - w) / 2 : (s + w) / 2);
        QPolygonF tri;
        if (left)
            tri << QPointF(x0, mid) << QPointF(x0 + w, top) << QPointF(x0 + w, bottom);
        else
            tri << QPointF(x0, mid) << QPointF(x0 - w, top) << QPointF(x0 - w, bottom);
        p.drawPolygon(tri);
        if (bar)
            p.drawRect(QRectF(left ? x0 - 2.5 : x0 + 0.5, top, 2, bottom - top));
        p.end();
        icon.addPixmap(pm, QIcon::Normal);
    }
    return icon;
}

QToolButton *makeButton(QWidget *parent, Arrow kind, const QString &name, const QString &tip)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(name);
    b->setIcon(arrowIcon(kind, Qt::black));
    b->setToolTip(tip);
    b->setAutoRaise(false);
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoRepeat(kind == Arrow::Previous || kind == Arrow::Next);
    return b;
}

} // namespace

RecordSourceBar::RecordSourceBar(QWidget *parent) : QWidget(parent)
{
    m_first = makeButton(this, Arrow::First, QStringLiteral("first"), QStringLiteral("Premier"));
    m_previous = makeButton(this, Arrow::Previous, QStringLiteral("previous"), QStringLiteral("Précédent"));
    m_next = makeButton(this, Arrow::Next, QStringLiteral("next"), QStringLiteral("Suivant"));
    m_last = makeButton(this, Arrow::Last, QStringLiteral("last"), QStringLiteral("Dernier"));
    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("caption"));
    m_caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_caption->setIndent(4);
    connect(m_first, &QToolButton::clicked, this, &RecordSourceBar::moveFirst);
    connect(m_previous, &QToolButton::clicked, this, &RecordSourceBar::movePrevious);
    connect(m_next, &QToolButton::clicked, this, &RecordSourceBar::moveNext);
    connect(m_last, &QToolButton::clicked, this, &RecordSourceBar::moveLast);
    setFocusPolicy(Qt::StrongFocus);
}

void RecordSourceBar::keyPressEvent(QKeyEvent *event)
{
    constexpr int kPage = 10; // rows stepped by Page Up and Page Down
    const auto step = [this](void (RecordSourceBar::*move)(), int times) {
        for (int i = 0; i < times; ++i)
            (this->*move)();
    };
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Left: movePrevious(); return;
    case Qt::Key_Down:
    case Qt::Key_Right: moveNext(); return;
    case Qt::Key_PageUp: step(&RecordSourceBar::movePrevious, kPage); return;
    case Qt::Key_PageDown: step(&RecordSourceBar::moveNext, kPage); return;
    case Qt::Key_Home: moveFirst(); return;
    case Qt::Key_End: moveLast(); return;
    default: break;
    }
    const QString text = event->text();
    const bool typed = !text.isEmpty() && text.at(0).isPrint()
                       && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (!typed || !m_source || m_searchColumn.isEmpty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Letters typed within a second of each other make one search.
    if (!m_sinceTyped.isValid() || m_sinceTyped.elapsed() > 1000)
        m_typed.clear();
    m_sinceTyped.start();
    m_typed += text;
    if (!m_source->moveToStartOf(m_searchColumn, m_typed))
        beep();
}

void RecordSourceBar::attach(RecordSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (!source)
        return;
    m_caption->setText(source->caption());
    setVisible(source->isVisible());
    connect(source, &RecordSource::captionChanged, m_caption, &QLabel::setText);
    connect(source, &RecordSource::visibleChanged, this, &QWidget::setVisible);
}

QString RecordSourceBar::captionText() const { return m_caption->text(); }

void RecordSourceBar::moveFirst()
{
    if (m_source)
        m_source->moveFirst();
}

void RecordSourceBar::movePrevious()
{
    if (!m_source)
        return;
    m_source->movePrevious();
    if (m_source->bof())
        m_source->moveFirst();
}

void RecordSourceBar::moveNext()
{
    if (!m_source)
        return;
    m_source->moveNext();
    if (m_source->eof())
        m_source->moveLast();
}

void RecordSourceBar::moveLast()
{
    if (m_source)
        m_source->moveLast();
}

void RecordSourceBar::layoutChildren()
{
    const int h = height();
    const int bw = std::max(1, std::min(h, 20));
    m_first->setGeometry(0, 0, bw, h);
    m_previous->setGeometry(bw, 0, bw, h);
    m_next->setGeometry(width() - 2 * bw, 0, bw, h);
    m_last->setGeometry(width() - bw, 0, bw, h);
    m_caption->setGeometry(2 * bw + 1, 1, std::max(0, width() - 4 * bw - 2), h - 2);
}

void RecordSourceBar::resizeEvent(QResizeEvent *) { layoutChildren(); }
void RecordSourceBar::focusInEvent(QFocusEvent *) { update(); }
void RecordSourceBar::focusOutEvent(QFocusEvent *) { update(); }

void RecordSourceBar::paintEvent(QPaintEvent *)
{
    // The caption sits in a sunken panel between the two pairs of buttons.
    QPainter p(this);
    QStyleOptionFrame opt;
    opt.initFrom(this);
    const int bw = std::max(1, std::min(height(), 20));
    opt.rect = QRect(2 * bw, 0, width() - 4 * bw, height());
    opt.lineWidth = 1;
    opt.midLineWidth = 0;
    opt.state |= QStyle::State_Sunken;
    p.fillRect(opt.rect, palette().color(QPalette::Base));
    style()->drawPrimitive(QStyle::PE_Frame, &opt, &p, this);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = opt.rect.adjusted(2, 2, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

} // namespace platform
