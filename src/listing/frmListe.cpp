#include "frmListe.h"

#include "ContactGrid.h"
#include "ContactTableModel.h"
#include "Listing.h"
#include "LogFile.h"
#include "ProgramFolder.h"
#include "Style.h"
#include "Prompts.h"
#include "RecordSource.h"
#include "Twips.h"

#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>

using platform::px;
using platform::rectTw;
using platform::twips;

namespace {

const QString kCaption = QStringLiteral("Liste des enregistrements");

// Width of a grid column laid out by itself: room for the heading and for the
// longest value the column can hold.
int automaticWidth(const platform::ColumnDef &column, const QFont &cells, const QFont &headings)
{
    const QFontMetrics cm(cells);
    const QFontMetrics hm(headings);
    int chars = 6;
    QString sample;
    switch (column.type) {
    case platform::ColumnType::DateTime:
        sample = QStringLiteral("00/00/0000 00:00:00");
        break;
    case platform::ColumnType::SmallInt:
        sample = QStringLiteral("-00000");
        break;
    default:
        chars = qBound(4, column.size, 20);
        break;
    }
    const int values = sample.isEmpty() ? chars * cm.averageCharWidth() : cm.horizontalAdvance(sample);
    return qMax(values, hm.horizontalAdvance(column.name)) + 10;
}

} // namespace

frmListe::frmListe(const QString &databaseName, QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_databaseName(databaseName)
{
    setObjectName(QStringLiteral("frmListe"));
    setWindowTitle(kCaption);
    if (QFile::exists(platform::programFile(QStringLiteral("icons/liste.svg"))))
        setWindowIcon(platform::programIcon(QStringLiteral("liste.svg")));
    setModal(true);
    setSizeGripEnabled(false);

    // Children in tab order: the grid, "&Fermer", "&Imprimer".
    auto *grid = new listing::ContactGrid(this);
    dbgrd = grid;
    dbgrd->setObjectName(QStringLiteral("dbgrd"));
    dbgrd->setGeometry(rectTw(0, 0, 7095, 5175));

    Command1 = new QPushButton(QStringLiteral("&Fermer"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(rectTw(5880, 5640, 1095, 375));
    Command2 = new QPushButton(QStringLiteral("&Imprimer"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setGeometry(rectTw(4440, 5640, 1215, 375));
    // Neither button answers Enter: the window has no default button.
    for (QPushButton *b : {Command1, Command2}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    setTabOrder(dbgrd, Command1);
    setTabOrder(Command1, Command2);

    datactrl = new platform::RecordSource(this);
    datactrl->setObjectName(QStringLiteral("datactrl"));
    datactrl->setVisible(false);

    connect(Command1, &QPushButton::clicked, this, &frmListe::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmListe::Command2_Click);

    // Client area 7095 x 6120 twips, at 1485, 1905 on the screen.
    setGeometry(rectTw(1485, 1905, 7095, 6120));
    Form_Load();
}

frmListe::~frmListe() = default;

int frmListe::exec() { return datactrl->isOpen() ? QDialog::exec() : int(QDialog::Rejected); }

void frmListe::Form_Load()
{
    logfile::configure(*datactrl, m_databaseName);
    datactrl->setReadOnly(true);

    const QFont cells = platform::arial(8.25);
    const QFont headings = platform::sansSerif(8.25);
    dbgrd->setFont(cells);
    dbgrd->horizontalHeader()->setFont(headings);
    dbgrd->verticalHeader()->setFont(headings);
    QPalette pal = dbgrd->palette();
    pal.setColor(QPalette::Text, Qt::black);
    dbgrd->setPalette(pal);

    if (!datactrl->refresh()) {
        platform::showMessage(this, logfile::openFailureMessage(datactrl->error(), m_databaseName),
                              platform::MessageIcon::Critical);
        return;
    }
    // The model reads through datactrl's own opening of the file and lives
    // as long as it does.
    const QVector<platform::ColumnDef> columns = datactrl->columns();
    auto *model = new listing::ContactTableModel(datactrl->database(), datactrl->recordSource(), columns,
                                                 datactrl->recordCount(), datactrl);
    model->setCellFont(cells);
    model->setHeadingFont(headings);
    // Row sizes are set before the model arrives: afterwards Qt would resize
    // every row of a large log one by one.
    const int rowHeight = QFontMetrics(cells).height() + 6;
    dbgrd->verticalHeader()->setMinimumSectionSize(4);
    dbgrd->verticalHeader()->setDefaultSectionSize(rowHeight);
    dbgrd->setModel(model);

    dbgrd->verticalHeader()->setFixedWidth(QFontMetrics(headings).height() + 4);
    for (int c = 0; c < columns.size(); ++c)
        dbgrd->setColumnWidth(c, automaticWidth(columns[c], cells, headings));
    if (model->rowCount() > 0)
        dbgrd->setCurrentIndex(model->index(0, 0));
}

void frmListe::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
}

// Keeps the window at least four "&Fermer" buttons wide and high, one
// correction per pass (the correction raises the next pass), and keeps both
// buttons in a band at the bottom right. The grid never moves.
void frmListe::Form_Resize()
{
    const float fw = float(twips(Command1->width()));
    const float fh = float(twips(Command1->height()));
    const float pw = float(twips(Command2->width()));
    const float ph = float(twips(Command2->height()));
    const QRect outer = frameGeometry();
    const int frameW = outer.width() - width();
    const int frameH = outer.height() - height();

    if (4.0f * fw > float(twips(outer.width()))) {
        resize(px(4.0f * fw) - frameW, height());
        return;
    }
    if (4.0f * fh > float(twips(outer.height()))) {
        resize(width(), px(4.0f * fh) - frameH);
        return;
    }
    const float W = float(twips(width()));
    const float H = float(twips(height()));
    const float bandTop = H - 2.0f * fh;
    const float topP = bandTop + ph / 2.0f;
    const float leftP = W - 3.0f * pw;
    const float leftF = leftP + 1.5f * pw;
    Command2->move(px(leftP), px(topP));
    Command1->move(px(leftF), px(topP));
}

void frmListe::keyPressEvent(QKeyEvent *event)
{
    // Escape does not close this window: only "&Fermer" does.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmListe::Command1_Click() { close(); }

void frmListe::Command2_Click() { listing::printListing(this, datactrl->databaseName()); }
