#include "frmOrientation.h"
#include "Messages.h"

#include "BoundControls.h"
#include "Converter.h"
#include "Style.h"
#include "Prompts.h"
#include "RecordSource.h"
#include "RecordSourceBar.h"
#include "Regional.h"
#include "RosePicture.h"
#include "Towns.h"
#include "Twips.h"

#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QStyleFactory>
#include <cmath>

using platform::px;
using platform::rectTw;

QPointer<frmOrientation> frmOrientation::s_instance;

QString frmOrientation::referenceFile() { return towns::referenceFile(); }

void frmOrientation::setReferenceFile(const QString &path) { towns::setReferenceFile(path); }

namespace {

const QString townColumn = QStringLiteral("Villes");
const QString bearingColumn = QStringLiteral("Degrés");

// The window's icon: a small compass with a red needle.
QIcon compassIcon()
{
    QIcon icon;
    for (int s : {16, 32, 48}) {
        QPixmap pm(s, s);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const double r = s / 2.0 - 1;
        const QPointF c(s / 2.0, s / 2.0);
        p.setPen(QPen(QColor(40, 40, 60), s / 16.0));
        p.setBrush(QColor(245, 245, 235));
        p.drawEllipse(c, r, r);
        p.setPen(QPen(QColor(40, 40, 60), s / 24.0));
        p.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
        p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
        p.setPen(QPen(Qt::red, s / 8.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c, QPointF(c.x() - r * 0.65, c.y() + r * 0.65));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace

frmOrientation *frmOrientation::instance() { return s_instance.data(); }

void frmOrientation::showSingle()
{
    // Building the window may read a Jet reference file in a child process,
    // with events processed meanwhile: a second command then waits for it.
    static bool building = false;
    if (building)
        return;
    if (!s_instance) {
        building = true;
        s_instance = new frmOrientation;
        building = false;
    }
    s_instance->show();
    s_instance->raise();
    s_instance->activateWindow();
}

frmOrientation::frmOrientation(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmOrientation"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Orientation"));
    setWindowIcon(compassIcon());
    setFixedSize(px(ScaleWidth), px(ScaleHeight));

    platform::setToolWindowLook(this);

    // Centred across the window so that the whole title shows.
    Label2 = new QLabel(QStringLiteral("Orientation par rapport à Paris"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setGeometry(0, px(240) - 1, width(), px(195) + 2);

    picRose = new RosePicture(this);
    picRose->setObjectName(QStringLiteral("picRose"));
    picRose->setTwipsGeometry(600, 600, 2175, 2055);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(rectTw(960, 2880, 855, 375));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFont(platform::sansSerif(9));
    QPalette green = Label1->palette();
    green.setColor(QPalette::Window, QColor(128, 255, 128));
    Label1->setPalette(green);
    Label1->setAutoFillBackground(true);

    Label8 = new QLabel(QStringLiteral("Degrés"), this);
    Label8->setObjectName(QStringLiteral("Label8"));
    Label8->setGeometry(rectTw(1920, 3000, 615, 255));

    Command1 = new QPushButton(QStringLiteral("&Fermer"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(rectTw(2160, 3600, 855, 255).adjusted(0, -2, 0, 2));
    connect(Command1, &QPushButton::clicked, this, &frmOrientation::Command1_Click);
    // Command1 is the cancel button: Esc anywhere in the window presses it.
    auto *esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    esc->setContext(Qt::WindowShortcut);
    connect(esc, &QShortcut::activated, Command1, [this] {
        if (Command1->isEnabled())
            Command1->click();
    });

    Data2 = new platform::RecordSource(this);
    Data2->setObjectName(QStringLiteral("Data2"));
    Data2->setReadOnly(true);
    Data2->setRecordSource(QStringLiteral("direction"));
    Data2->setRequiredColumns({townColumn, bearingColumn});
    Data2Bar = new platform::RecordSourceBar(this);
    Data2Bar->setObjectName(QStringLiteral("Data2"));
    Data2Bar->setGeometry(rectTw(0, 4155, 3510, 345));
    Data2Bar->attach(Data2);
    // The towns are reached from the keyboard on the bar, which has the focus
    // first; Tab goes on to "Fermer".
    Data2Bar->setSearchColumn(townColumn);
    setTabOrder(Data2Bar, Command1);
    Data2Bar->setFocus();
    (new platform::BoundControls(Data2))->bind(Label1, bearingColumn);
    connect(Data2, &platform::RecordSource::currentChanged, this, &frmOrientation::Data2_Reposition);

    Form_Load();

    // Centre of the screen, placed by its client area.
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        setGeometry(QRect(area.center() - QPoint(width() / 2, height() / 2), size()));
    }
}

frmOrientation::~frmOrientation()
{
    // The reference database is closed with the window.
    Data2->close();
}

void frmOrientation::Form_Load()
{
    picRose->setLeft(needle::roseLeft(ScaleWidth, picRose->Height));
    picRose->setNeedle(needle::atRest(picRose->Width, picRose->Height));
    // An operator's own Orientation.mdb may be a Jet file: its table is read
    // by the converter into a copy, made once (towns::readableFile).
    const towns::Readable towns = towns::readableFile();
    if (towns.file.isEmpty()) {
        const legacy::ChildResult &r = towns.conversion;
        const QString why = r.status == legacy::ChildResult::Damaged
                                ? msg::townsDamaged().arg(QDir::toNativeSeparators(referenceFile()))
                                : r.message;
        platform::showMessage(this, why + msg::orientationUnavailable(), platform::MessageIcon::Warning);
        return;
    }
    Data2->setDatabaseName(towns.file);
    // The record source opens once the window is laid out; the first town
    // then fills Label1 and sets the needle.
    if (!Data2->refresh())
        reportOpenFailure();
}

void frmOrientation::reportOpenFailure()
{
    const QString file = QDir::toNativeSeparators(referenceFile());
    const platform::SourceError e = Data2->error();
    QString text;
    switch (e.kind) {
    case platform::SourceError::NotFound:
        text = msg::townsMissing().arg(file);
        break;
    case platform::SourceError::NoTable:
        text = msg::townsWithoutTable().arg(file);
        break;
    case platform::SourceError::WrongShape:
        text = msg::townsWithoutColumn().arg(file, e.detail);
        break;
    default:
        text = msg::townsUnreadable().arg(file);
        break;
    }
    text += msg::orientationUnavailable();
    platform::showMessage(this, text, platform::MessageIcon::Warning);
}

void frmOrientation::Data2_Reposition()
{
    // The town name follows every move, also between two towns whose bearings
    // read the same and so leave Label1 unchanged.
    Data2->setCaption(Data2->value(townColumn).toString());
    const QString bearing = Label1->text();
    if (!m_bearingShown || bearing != m_shownBearing) {
        m_bearingShown = true;
        m_shownBearing = bearing;
        Label1_Change();
    }
}

void frmOrientation::Label1_Change()
{
    Data2->setCaption(Data2->value(townColumn).toString());
    const needle::Line rest = needle::atRest(picRose->Width, picRose->Height);
    // A town without a bearing, or with one that is not a number, leaves the
    // needle at rest on the centre rather than pointing anywhere.
    const auto bearing = platform::parseNumber(Label1->text());
    if (!bearing || !std::isfinite(*bearing)) {
        picRose->setNeedle(rest);
        return;
    }
    picRose->setNeedle(needle::pointing(picRose->lneDirection, picRose->Height, *bearing));
}

void frmOrientation::Command1_Click() { close(); }
