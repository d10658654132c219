#include "frmSplash.h"
#include "Messages.h"

#include "ProgramFolder.h"
#include "Style.h"
#include "Twips.h"

#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

using platform::px;
using platform::rectTw;

namespace {

// The artwork, drawn from its vector file at whatever size the box has.
class Artwork : public QWidget
{
public:
    explicit Artwork(QWidget *parent) : QWidget(parent)
    {
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::white);
        setPalette(p);
        m_icon = platform::programIcon(QStringLiteral("splash.svg"));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        m_icon.paint(&painter, rect(), Qt::AlignCenter);
    }

private:
    QIcon m_icon;
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
    Picture1->setGeometry(rectTw(0, 0, 6615, 5895));

    const struct {
        QLabel **label;
        const char *name;
        int left, top;
    } small[] = {{&Picture2, "Picture2", 240, 240},   {&Picture3, "Picture3", 5880, 360},
                 {&Picture4, "Picture4", 120, 4320},  {&Picture5, "Picture5", 5880, 4200},
                 {&Picture6, "Picture6", 1800, 5280}, {&Picture7, "Picture7", 3840, 5160}};
    int n = 1;
    for (const auto &s : small) {
        auto *l = new QLabel(Picture1);
        l->setObjectName(QString::fromLatin1(s.name));
        l->setGeometry(rectTw(s.left, s.top, 480, 480));
        l->setAlignment(Qt::AlignCenter);
        l->setPixmap(platform::programIcon(QStringLiteral("splash%1.svg").arg(n++)).pixmap(32, 32));
        *s.label = l;
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

void frmSplash::Splash_Click() { close(); }

void frmSplash::closeEvent(QCloseEvent *event)
{
    Splash->setVisible(true);
    QDialog::closeEvent(event);
}
