#include "frmSplash.h"
#include "Messages.h"

#include "ProgramFolder.h"
#include "Style.h"
#include "Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

using platform::px;
using platform::rectTw;

namespace {

constexpr double kArtwork[] = {6615, 5895};                   // twips
constexpr double kSmallPictures[][2] = {{240, 240},  {5880, 360},  {120, 4320}, // twips: left, top
                                        {5880, 4200}, {1800, 5280}, {3840, 5160}};
constexpr int kSmallSide = 32; // pixels

QString smallPicture(int n) { return QStringLiteral("splash%1.svg").arg(n); }

// The artwork, drawn from its vector file at whatever size the box has
// (first taken from the drawing made ahead at start-up).
class Artwork : public QWidget
{
public:
    explicit Artwork(QWidget *parent) : QWidget(parent)
    {
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::white);
        setPalette(p);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const qreal ratio = devicePixelRatioF();
        const QSize need = size() * ratio;
        if (m_image.isNull() || m_drawnFor != need) {
            m_image = platform::picture(QStringLiteral("splash.svg"), need);
            m_image.setDevicePixelRatio(ratio);
            m_drawnFor = need;
        }
        QPainter painter(this);
        const QSizeF shown = m_image.deviceIndependentSize();
        painter.drawImage(QPointF((width() - shown.width()) / 2, (height() - shown.height()) / 2), m_image);
    }

private:
    QImage m_image;
    QSize m_drawnFor;
};

} // namespace

frmSplash::frmSplash(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QStringLiteral("Sequanel"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(px(6645), px(6240));
    setWindowIcon(platform::programIcon(QStringLiteral("sequanel.svg")));

    Picture1 = new Artwork(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(rectTw(0, 0, kArtwork[0], kArtwork[1]));

    QLabel **small[] = {&Picture2, &Picture3, &Picture4, &Picture5, &Picture6, &Picture7};
    const qreal ratio = devicePixelRatioF();
    for (int i = 0; i < 6; ++i) {
        auto *l = new QLabel(Picture1);
        l->setObjectName(QStringLiteral("Picture%1").arg(i + 2));
        l->setGeometry(rectTw(kSmallPictures[i][0], kSmallPictures[i][1], 480, 480));
        l->setAlignment(Qt::AlignCenter);
        QPixmap drawn = QPixmap::fromImage(platform::picture(smallPicture(i + 1), QSize(kSmallSide, kSmallSide) * ratio));
        drawn.setDevicePixelRatio(ratio);
        l->setPixmap(drawn);
        *small[i] = l;
    }

    // The version, in the free corner under the pictures.
    lblVersion = new QLabel(msg::aboutVersion().arg(platform::programVersion()), Picture1);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setGeometry(rectTw(240, 5400, 1455, 255));
    lblVersion->setFont(platform::arial(8.25));

    Splash = new QPushButton(QStringLiteral("OK"), Picture1);
    Splash->setObjectName(QStringLiteral("Splash"));
    Splash->setGeometry(rectTw(5520, 5280, 855, 375));
    Splash->setFont(platform::arial(8.25));
    Splash->setDefault(true);
    connect(Splash, &QPushButton::clicked, this, &frmSplash::Splash_Click);

    // Placed by its client area, not by its frame.
    setGeometry(rectTw(1770, 1755, 6645, 6240));
}

void frmSplash::drawPicturesAhead()
{
    const qreal ratio = qApp->devicePixelRatio();
    for (int n = 1; n <= 6; ++n)
        platform::drawPictureAhead(smallPicture(n), QSize(kSmallSide, kSmallSide) * ratio);
    platform::drawPictureAhead(QStringLiteral("splash.svg"), rectTw(0, 0, kArtwork[0], kArtwork[1]).size() * ratio);
}

void frmSplash::Splash_Click() { close(); }

void frmSplash::closeEvent(QCloseEvent *event)
{
    Splash->setVisible(true);
    QDialog::closeEvent(event);
}
