#include "frmMain.h"
#include "Messages.h"

#include "BoundControls.h"
#include "Captions.h"
#include "Clock.h"
#include "LogFile.h"
#include "ProgramFolder.h"
#include "Style.h"
#include "Regional.h"
#include "Settings.h"
#include "Twips.h"
#include "ZoneClock.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

using platform::px;
using platform::rectTw;

using namespace captions;

namespace {

using platform::arial;

// Where the options of the entry are kept in the settings.
const QString kOptions = QStringLiteral("Options"), kKeepFields = QStringLiteral("Reprendre");

QStringList callSignList(int variant)
{
    QStringList l{QStringLiteral("Alpha"), QStringLiteral("Bravo"), QStringLiteral("Charly"),
                  QStringLiteral("Delta"), QStringLiteral("Echo"), QStringLiteral("Fox-Trot"),
                  QStringLiteral("Golf"), QStringLiteral("Hotel"), QStringLiteral("India"),
                  QStringLiteral("Juliette"), QStringLiteral("Kilo"), QStringLiteral("Lima"),
                  QStringLiteral("Mike"), QStringLiteral("November"), QStringLiteral("Oscar"),
                  QStringLiteral("Papa"), QStringLiteral("Québec"), QStringLiteral("Roméo"),
                  QStringLiteral("Sierra"), QStringLiteral("Tango"), QStringLiteral("Uniform"),
                  QStringLiteral("Victor"), QStringLiteral("Wisky"), QStringLiteral("X-Ray"),
                  QStringLiteral("Yankee"), QStringLiteral("Zoulou")};
    // The three lists differ in a few spellings.
    if (variant == 2)
        l[2] = QStringLiteral("Charlie");
    if (variant >= 2) {
        l[7] = QStringLiteral("Hôtel");
        l[23] = QStringLiteral("X-ray");
    }
    if (variant == 3) {
        l[9] = QStringLiteral("Juiliette");
        l[16] = QStringLiteral("Quebec");
    }
    return l;
}

} // namespace

frmMain::frmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Saisie des contacts"));
    setWindowIcon(platform::programIcon(QStringLiteral("sequanel.svg")));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);

    ui.Data1 = new platform::RecordSource(this);
    ui.Data1->setObjectName(QStringLiteral("Data1"));
    ui.Data1->setRecordSource(logfile::kTable);
    ui.Data1->setRequiredColumns(logfile::columnNames());
    ui.Data1->setVisible(false);
    m_bound = new platform::BoundControls(ui.Data1);

    buildMenus();
    buildForm();
    // The boxes' keys and focus pass through eventFilter().
    for (QWidget *c : entryControls()) {
        auto *combo = qobject_cast<QComboBox *>(c);
        (combo ? static_cast<QObject *>(combo->lineEdit()) : c)->installEventFilter(this);
    }
    buildToolbar();
    buildStatusBar();

    ui.Timer1 = new QTimer(this);
    ui.Timer1->setObjectName(QStringLiteral("Timer1"));
    ui.Timer1->setInterval(1000);
    connect(ui.Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    ui.Timer1->start();
    // Changes another program makes to the log are looked for four times a
    // second (one cheap question to the engine), so that the duplicate
    // warning, the rate and the statistics follow them within a second,
    // without waiting for a keystroke.
    auto *watch = new QTimer(this);
    watch->setInterval(250);
    connect(watch, &QTimer::timeout, this, [this] {
        m_log.poll(ui.Data1->database());
        showLink();
    });
    watch->start();

    // Enter and Esc press the window's default and cancel buttons from any of
    // its controls, text boxes and drop-down boxes included.
    for (QKeySequence key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto *s = new QShortcut(key, this);
        s->setContext(Qt::WindowShortcut);
        s->setAutoRepeat(false); // a held key is one command
        connect(s, &QShortcut::activated, this, &frmMain::pressDefault);
    }
    auto *esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    esc->setContext(Qt::WindowShortcut);
    esc->setAutoRepeat(false);
    connect(esc, &QShortcut::activated, this, &frmMain::pressCancel);
    // Ctrl+Z puts back the contact just deleted (in a text box it undoes the
    // typing, as always: the box takes the key first).
    auto *undo = new QShortcut(QKeySequence::Undo, this);
    undo->setContext(Qt::WindowShortcut);
    undo->setAutoRepeat(false);
    connect(undo, &QShortcut::activated, this, &frmMain::RétablirContact);
    // Any other command ends that chance: a button as it is pressed (before
    // "Supprimer" gives a new one), a menu item or a toolbar button.
    for (QPushButton *b : m_form->findChildren<QPushButton *>())
        connect(b, &QPushButton::pressed, this, [this] { m_restorable = false; });
    for (QAction *a : findChildren<QAction *>())
        connect(a, &QAction::triggered, this, [this] { m_restorable = false; });

    setFixedSize(sizeHint());
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }

    Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));

    // A menu item (a separator when caption is empty) and its object name.
    auto item = [](QMenu *menu, const char *name, const QString &caption, QKeySequence key = {}) {
        QAction *a = caption.isEmpty() ? menu->addSeparator() : menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(key);
        return a;
    };
    ui.mnuFichier = bar->addMenu(QStringLiteral("&Fichier "));
    ui.mnuFichier->setObjectName(QStringLiteral("mnuFichier"));
    ui.mnuNouveau = item(ui.mnuFichier, "mnuNouveau", QStringLiteral("&Nouveau      "), Qt::CTRL | Qt::Key_N);
    ui.mnuOuvrir = item(ui.mnuFichier, "mnuOuvrir", QStringLiteral("&Ouvrir"), Qt::CTRL | Qt::Key_O);
    ui.mnuPartage = item(ui.mnuFichier, "mnuPartage", msg::sharedMenu());
    ui.mnuCopierPartage = item(ui.mnuFichier, "mnuCopierPartage", msg::copyToSharedMenu());
    ui.mnuCopierFichier = item(ui.mnuFichier, "mnuCopierFichier", msg::copyToFileMenu());
    ui.mnuLigne1 = item(ui.mnuFichier, "mnuLigne1", {});
    ui.mnuImprimer = item(ui.mnuFichier, "mnuImprimer", QStringLiteral("&Imprimer"), Qt::CTRL | Qt::Key_I);
    ui.mnuExporter = item(ui.mnuFichier, "mnuExporter", QStringLiteral("E&xporter..."));
    ui.mnuExporterAdif = item(ui.mnuFichier, "mnuExporterAdif", msg::exportAdifMenu());
    ui.mnuImporter = item(ui.mnuFichier, "mnuImporter", msg::importMenu());
    // The exports, the import and the copies work on the same open log as
    // printing: greyed with it, always.
    connect(ui.mnuImprimer, &QAction::changed, ui.mnuExporter,
            [this] {
                for (QAction *a : {ui.mnuExporter, ui.mnuExporterAdif, ui.mnuImporter, ui.mnuCopierPartage,
                                   ui.mnuCopierFichier})
                    a->setEnabled(ui.mnuImprimer->isEnabled());
            });
    ui.mnuLigne4 = item(ui.mnuFichier, "mnuLigne4", {});
    ui.mnuReprendre = item(ui.mnuFichier, "mnuReprendre", msg::keepFieldsMenu());
    ui.mnuReprendre->setCheckable(true);
    ui.mnuReprendre->setChecked(platform::readSetting(QCoreApplication::applicationDirPath(), kOptions, kKeepFields,
                                                      QStringLiteral("0"))
                                == QLatin1String("1"));
    ui.mnuSauvegarde = item(ui.mnuFichier, "mnuSauvegarde", msg::backupMenu());
    ui.mnuLigne2 = item(ui.mnuFichier, "mnuLigne2", {});
    ui.mnuQuitter = item(ui.mnuFichier, "mnuQuitter", QStringLiteral("&Quitter"));

    ui.mnuOrientation = bar->addAction(QStringLiteral("O&rientation"));
    ui.mnuOrientation->setObjectName(QStringLiteral("mnuOrientation"));
    ui.mnuStatistiques = bar->addAction(msg::statsMenu());
    ui.mnuStatistiques->setObjectName(QStringLiteral("mnuStatistiques"));

    ui.mnuHeure = bar->addMenu(QStringLiteral("Fu&seaux horaires"));
    ui.mnuHeure->setObjectName(QStringLiteral("mnuHeure"));
    const QStringList zones = zoneclock::zoneCaptions();
    for (int i = 1; i <= 24; ++i) {
        QAction *a = ui.mnuHeure->addAction(zones.value(i - 1));
        a->setObjectName(QStringLiteral("mnuH(%1)").arg(i));
        connect(a, &QAction::triggered, this, [this, i] { mnuH_Click(i); });
        ui.mnuH << a;
    }

    ui.mnuaide = bar->addMenu(QStringLiteral("&?"));
    ui.mnuaide->setObjectName(QStringLiteral("mnuaide"));
    ui.mnuHelp = item(ui.mnuaide, "mnuHelp", QStringLiteral("&Aide"));
    ui.mnuLigne3 = item(ui.mnuaide, "mnuLigne3", {});
    ui.mnuAPropos = item(ui.mnuaide, "mnuAPropos", QStringLiteral("À &propos"));

    connect(ui.mnuNouveau, &QAction::triggered, this, &frmMain::mnuNouveau_Click);
    connect(ui.mnuOuvrir, &QAction::triggered, this, &frmMain::mnuOuvrir_Click);
    connect(ui.mnuPartage, &QAction::triggered, this, &frmMain::mnuPartage_Click);
    connect(ui.mnuCopierPartage, &QAction::triggered, this, &frmMain::mnuCopierPartage_Click);
    connect(ui.mnuCopierFichier, &QAction::triggered, this, &frmMain::mnuCopierFichier_Click);
    connect(ui.mnuImprimer, &QAction::triggered, this, &frmMain::mnuImprimer_Click);
    connect(ui.mnuExporter, &QAction::triggered, this, &frmMain::mnuExporter_Click);
    connect(ui.mnuExporterAdif, &QAction::triggered, this, &frmMain::mnuExporterAdif_Click);
    connect(ui.mnuImporter, &QAction::triggered, this, &frmMain::mnuImporter_Click);
    connect(ui.mnuReprendre, &QAction::triggered, this, &frmMain::mnuReprendre_Click);
    connect(ui.mnuSauvegarde, &QAction::triggered, this, &frmMain::mnuSauvegarde_Click);
    connect(ui.mnuQuitter, &QAction::triggered, this, &frmMain::mnuQuitter_Click);
    connect(ui.mnuOrientation, &QAction::triggered, this, &frmMain::mnuOrientation_Click);
    connect(ui.mnuStatistiques, &QAction::triggered, this, &frmMain::mnuStatistiques_Click);
    connect(ui.mnuHelp, &QAction::triggered, this, &frmMain::mnuHelp_Click);
    connect(ui.mnuAPropos, &QAction::triggered, this, &frmMain::mnuAPropos_Click);
}

void frmMain::mnuReprendre_Click(bool on)
{
    platform::writeSetting(QCoreApplication::applicationDirPath(), kOptions, kKeepFields,
                           on ? QStringLiteral("1") : QStringLiteral("0"));
}

void frmMain::buildForm()
{
    m_form = new QWidget(this);
    m_form->setObjectName(QStringLiteral("Form"));
    m_form->setFixedSize(px(7080), px(6540));
    m_form->setAutoFillBackground(true);
    m_form->setFont(arial(9.75, true));
    m_form->setMouseTracking(true);
    m_form->installEventFilter(this);
    setCentralWidget(m_form);

    // The kilohertz show with their three digits, as the list offers them, and
    // so does the call sign's number, as operators write it ("001").
    auto bindShown = [this](QWidget *box, const QString &column) {
        if (logfile::shownWithThreeDigits(column))
            m_bound->bind(box, column, [column](const QVariant &v) { return logfile::shownText(column, v); });
        else
            m_bound->bind(box, column);
    };

    auto text = [this, &bindShown](QLineEdit *&box, const char *name, QRect r, bool centred, const QString &column) {
        box = new QLineEdit(m_form);
        box->setObjectName(QString::fromUtf8(name));
        box->setGeometry(r);
        box->setFont(arial(8.25));
        if (centred)
            box->setAlignment(Qt::AlignCenter);
        QPalette p = box->palette();
        p.setColor(QPalette::Text, Qt::black);
        p.setColor(QPalette::Base, Qt::white);
        box->setPalette(p);
        box->setProperty("column", column);
        bindShown(box, column);
    };
    auto combo = [this, &bindShown](QComboBox *&box, const char *name, QRect r, const QStringList &items,
                        const QString &column) {
        box = new QComboBox(m_form);
        box->setObjectName(QString::fromUtf8(name));
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setGeometry(r);
        box->setFont(arial(8.25));
        box->addItems(items);
        box->setMaxVisibleItems(12);
        box->setCurrentIndex(-1);
        box->setEditText(QString());
        box->setCompleter(nullptr);
        QPalette p = box->palette();
        p.setColor(QPalette::Text, Qt::black);
        p.setColor(QPalette::Base, Qt::white);
        box->setPalette(p);
        box->setProperty("column", column);
        bindShown(box, column);
    };

    QStringList hz;
    for (int v = 5; v <= 995; v += 10)
        hz << QStringLiteral("%1").arg(v, 3, 10, QLatin1Char('0'));

    text(ui.txtDateHeure, "txtDateHeure", rectTw(840, 1080, 1455, 330), false, QStringLiteral("Date"));
    text(ui.txtNrSequanel, "txtNrSequanel", rectTw(3360, 1080, 855, 330), true, QStringLiteral("Sequanel"));
    text(ui.txtRST, "txtRST", rectTw(5400, 1080, 975, 330), true, QStringLiteral("RST"));
    combo(ui.cmbBande, "cmbBande", rectTw(2040, 2280, 975, 330),
          {QStringLiteral("AM"), QStringLiteral("FM"), QStringLiteral("LSB"), QStringLiteral("USB")},
          QStringLiteral("Bande"));
    combo(ui.cmbMHz, "cmbMHz", rectTw(3000, 2280, 975, 330),
          {QStringLiteral("26"), QStringLiteral("27"), QStringLiteral("28")}, QStringLiteral("Mhertz"));
    combo(ui.cmbHz, "cmbHz", rectTw(3960, 2280, 975, 330), hz, QStringLiteral("Hertz"));
    text(ui.txtOpérateur, "txtOpérateur", rectTw(2760, 3000, 1455, 330), true, QStringLiteral("Opérateur"));
    text(ui.txtPréfixeQRZ, "txtPréfixeQRZ", rectTw(600, 3720, 615, 330), true, QStringLiteral("Préfixe"));
    combo(ui.cmbQRZ1, "cmbQRZ1", rectTw(1200, 3720, 1455, 330), callSignList(1), QStringLiteral("Qrz1"));
    combo(ui.cmbQRZ2, "cmbQRZ2", rectTw(2640, 3720, 1575, 330), callSignList(2), QStringLiteral("Qrz2"));
    combo(ui.cmbQRZ3, "cmbQRZ3", rectTw(4200, 3720, 1575, 330), callSignList(3), QStringLiteral("Qrz3"));
    text(ui.txtNrQRZ, "txtNrQRZ", rectTw(5760, 3720, 855, 330), true, QStringLiteral("N°"));
    text(ui.txtCodePostal, "txtCodePostal", rectTw(600, 4800, 975, 315), false, QStringLiteral("CP"));
    text(ui.txtVille, "txtVille", rectTw(1560, 4800, 2055, 315), false, QStringLiteral("Ville"));
    text(ui.txtBP, "txtBP", rectTw(3600, 4800, 735, 315), false, QStringLiteral("BP"));
    text(ui.txtPays, "txtPays", rectTw(4320, 4800, 2295, 315), false, QStringLiteral("Pays"));
    ui.txtNrSequanel->setText(QStringLiteral("   "));
    // A date with a four-digit year and the seconds is wider than the box in
    // the regular face: the narrow face of the same family shows it whole.
    QFont narrow(QStringLiteral("Liberation Sans Narrow"));
    narrow.setPointSizeF(8.25);
    narrow.setBold(false);
    ui.txtDateHeure->setFont(narrow);

    auto label = [this](QLabel *&l, const char *name, const QString &caption, QRect r) {
        l = new QLabel(caption, m_form);
        l->setObjectName(QString::fromUtf8(name));
        l->setGeometry(r.adjusted(-8, 0, 8, 2)); // room for the face's own widths
        l->setAlignment(Qt::AlignCenter);
        l->setFont(platform::sansSerif(8.25)); // not the form's bold face
        l->setTextFormat(Qt::PlainText);
    };
    label(ui.lblDate, "lblDate", QStringLiteral("Date"), rectTw(1380, 840, 375, 195));
    label(ui.lblNrSequanel, "lblNrSequanel", QStringLiteral("N° de Sequ"), rectTw(3390, 840, 795, 195));
    label(ui.lblRST, "lblRST", QStringLiteral("R.S.T"), rectTw(5670, 840, 435, 195));
    label(ui.lblBande, "lblBande", QStringLiteral("Bande"), rectTw(2220, 2040, 495, 195));
    label(ui.lblMHz, "lblMHz", QStringLiteral("Mhertz"), rectTw(3240, 2040, 495, 195));
    label(ui.lblHz, "lblHz", QStringLiteral("Hertz"), rectTw(4305, 2040, 405, 195));
    label(ui.lblOpérateur, "lblOpérateur", QStringLiteral("Prénom Opérateur"), rectTw(2835, 2760, 1305, 195));
    label(ui.lblQRZ, "lblQRZ", QStringLiteral("QRZ"), rectTw(3300, 3480, 375, 195));
    label(ui.lblCodePostal, "lblCodePostal", QStringLiteral("Code Postal"), rectTw(585, 4560, 885, 195));
    label(ui.lblVille, "lblVille", QStringLiteral("Ville"), rectTw(2400, 4560, 315, 195));
    label(ui.lblBP, "lblBP", QStringLiteral("B.p"), rectTw(3840, 4560, 255, 195));
    label(ui.LblPays, "LblPays", QStringLiteral("Pays"), rectTw(5400, 4560, 375, 195));

    // In the free band between the call sign and the address, level with the
    // call sign's left edge. The band stays the window's bare surface for the
    // status-bar hints, and the warning takes no focus and no key.
    ui.lblDoublon = new QLabel(m_form);
    ui.lblDoublon->setObjectName(QStringLiteral("lblDoublon"));
    ui.lblDoublon->setGeometry(rectTw(600, 4140, 6015, 300));
    ui.lblDoublon->setFont(arial(8.25, true));
    ui.lblDoublon->setTextFormat(Qt::PlainText);
    ui.lblDoublon->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette red = ui.lblDoublon->palette();
    red.setColor(QPalette::WindowText, QColor(0xC0, 0, 0));
    ui.lblDoublon->setPalette(red);
    ui.lblDoublon->hide();

    auto button = [this](QPushButton *&b, const char *name, const QString &caption, QRect r, double points) {
        b = new QPushButton(m_form);
        b->setObjectName(QString::fromUtf8(name));
        setCaption(b, caption);
        b->setGeometry(r);
        b->setFont(arial(points));
        b->setAutoDefault(false);
    };
    button(ui.cmdMaintenant, "cmdMaintenant", QStringLiteral("Main&tenant"), rectTw(960, 1440, 1215, 375), 8.25);
    button(ui.cmdPrécédent, "cmdPrécédent", QStringLiteral("&Précédent"), rectTw(480, 5520, 975, 375), 8.25);
    button(ui.cmdNouveau, "cmdNouveau", kNouveau, rectTw(1680, 5520, 1215, 375), 8.25);
    button(ui.cmdModifier, "cmdModifier", kModifier, rectTw(3000, 5520, 1215, 375), 9.75);
    button(ui.cmdSupprimer, "cmdSupprimer", kSupprimer, rectTw(4320, 5520, 1215, 375), 8.25);
    button(ui.cmdSuivant, "cmdSuivant", QStringLiteral("S&uivant"), rectTw(5760, 5520, 975, 375), 8.25);
    for (QPushButton *b : {ui.cmdSuivant, ui.cmdPrécédent}) {
        b->setMouseTracking(true);
        b->installEventFilter(this);
    }
    setDefaultButton(ui.cmdNouveau);

    // While a command's statement waits for a shared log's server, the
    // window goes on painting, and its clock and link panel on ticking.
    auto command = [this](void (frmMain::*run)()) {
        return [this, run] {
            const platform::EventsWhileWaiting events;
            (this->*run)();
        };
    };
    connect(ui.cmdNouveau, &QPushButton::clicked, this, command(&frmMain::cmdNouveau_Click));
    connect(ui.cmdModifier, &QPushButton::clicked, this, command(&frmMain::cmdModifier_Click));
    connect(ui.cmdSupprimer, &QPushButton::clicked, this, command(&frmMain::cmdSupprimer_Click));
    connect(ui.cmdSuivant, &QPushButton::clicked, this, command(&frmMain::cmdSuivant_Click));
    connect(ui.cmdPrécédent, &QPushButton::clicked, this, command(&frmMain::cmdPrécédent_Click));
    connect(ui.cmdMaintenant, &QPushButton::clicked, this, &frmMain::cmdMaintenant_Click);
    for (QLineEdit *box : {ui.txtPréfixeQRZ, ui.txtNrQRZ})
        connect(box, &QLineEdit::textChanged, this, &frmMain::AfficherDoublon);
    for (QComboBox *box : {ui.cmbQRZ1, ui.cmbQRZ2, ui.cmbQRZ3})
        connect(box, &QComboBox::editTextChanged, this, &frmMain::AfficherDoublon);
    connect(&m_log, &logfile::LogIndex::changed, this, &frmMain::AfficherDoublon);
    connect(&m_log, &logfile::LogIndex::written, this, &frmMain::followOthers);
    // The figures come with every reading of the log, after the window's own
    // changes and another program's.
    connect(&m_stats, &statistics::LogStatistics::changed, this, &frmMain::showRate);
    statistics::LogStatistics::setCurrent(&m_stats);
    // The automatic copies follow the log's changes, and say how they went.
    m_backup.setSettings(logfile::readBackupSettings());
    connect(&m_log, &logfile::LogIndex::written, &m_backup, &logfile::AutoBackup::logChanged);
    connect(&m_backup, &logfile::AutoBackup::copied, this,
            [this] { AfficherAvis(msg::backupDone().arg(platform::formatTime(platform::now().time()))); });
    connect(&m_backup, &logfile::AutoBackup::failed, this,
            [this](const QString &why) { AfficherAvis(msg::backupFailed().arg(why)); });

    // Tab order: the sixteen fields, then the buttons.
    const QList<QWidget *> order{ui.txtDateHeure, ui.txtNrSequanel, ui.txtRST,        ui.cmbBande,     ui.cmbMHz,
                                 ui.cmbHz,        ui.txtOpérateur,  ui.txtPréfixeQRZ, ui.cmbQRZ1,      ui.cmbQRZ2,
                                 ui.cmbQRZ3,      ui.txtNrQRZ,      ui.txtCodePostal, ui.txtVille,     ui.txtBP,
                                 ui.txtPays,      ui.cmdNouveau,    ui.cmdSupprimer,  ui.cmdModifier,  ui.cmdSuivant,
                                 ui.cmdPrécédent, ui.cmdMaintenant};
    for (int i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

void frmMain::buildToolbar()
{
    ui.Toolbar1 = new QToolBar(m_form);
    ui.Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    ui.Toolbar1->setGeometry(0, 0, px(7080), px(465));
    ui.Toolbar1->setMovable(false);
    ui.Toolbar1->setFloatable(false);
    ui.Toolbar1->setIconSize(QSize(16, 16));
    ui.Toolbar1->setToolButtonStyle(Qt::ToolButtonIconOnly);

    // The image list: eight pictures, of which the toolbar shows four.
    const QStringList imageList1{QStringLiteral("new.svg"),   QStringLiteral("open.svg"),
                                 QStringLiteral("save.svg"),  QStringLiteral("find.svg"),
                                 QStringLiteral("print.svg"), QStringLiteral("clock.svg"),
                                 QStringLiteral("help.svg"),  QStringLiteral("orientation.svg"),
                                 QStringLiteral("statistics.svg")};
    struct Button {
        QString key, tip;
        int picture; // 0 for a separator
    };
    const Button buttons[] = {
        {QStringLiteral("Nouveau"), QStringLiteral("Créer un nouveau fichier"), 1},
        {QStringLiteral("Ouvrir"), QStringLiteral("Ouvrir un fichier"), 2},
        {QString(), QString(), 0},
        {QStringLiteral("Imprimer"), QStringLiteral("Imprimer la liste"), 5},
        {QString(), QString(), 0},
        {QStringLiteral("Orientation"), QStringLiteral("Orientation"), 8},
        {QStringLiteral("Statistiques"), msg::statsToolTip(), 9},
        {QString(), QString(), 0},
    };
    for (const Button &b : buttons) {
        QAction *a = nullptr;
        if (b.picture == 0) {
            a = ui.Toolbar1->addSeparator();
        } else {
            a = ui.Toolbar1->addAction(platform::programIcon(imageList1[b.picture - 1]), QString());
            a->setToolTip(b.tip);
            a->setObjectName(QStringLiteral("Toolbar1_") + b.key);
        }
        a->setProperty("Key", b.key);
        ui.Toolbar1Buttons << a;
    }
    connect(ui.Toolbar1, &QToolBar::actionTriggered, this, &frmMain::Toolbar1_ButtonClick);
}

void frmMain::buildStatusBar()
{
    ui.StatusBar1 = new QStatusBar(m_form);
    ui.StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    ui.StatusBar1->setGeometry(0, px(6540 - 345), px(7080), px(345));
    ui.StatusBar1->setFont(arial(8.25));
    ui.StatusBar1->setSizeGripEnabled(false);
    // The hints of the first panel and the rate of the last one show whole.
    const int widths[4] = {px(2100), px(1000), px(600), px(2900)};
    for (int i = 0; i < 4; ++i) {
        ui.StatusPanels[i] = new QLabel(ui.StatusBar1);
        ui.StatusPanels[i]->setObjectName(QStringLiteral("StatusBar1_Panel%1").arg(i + 1));
        ui.StatusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        ui.StatusPanels[i]->setMinimumWidth(widths[i]);
        ui.StatusPanels[i]->setFont(arial(8.25));
        ui.StatusBar1->addWidget(ui.StatusPanels[i], i == 3 ? 1 : 0);
    }
    ui.StatusPanels[1]->setAlignment(Qt::AlignCenter);
    ui.StatusPanels[2]->setAlignment(Qt::AlignCenter);
    ui.StatusPanels[3]->setAlignment(Qt::AlignCenter);
    // Last, on a shared log only; while the server is away it takes the
    // rate's place (no figure can be read meanwhile).
    ui.lblLiaison = new QLabel(ui.StatusBar1);
    ui.lblLiaison->setObjectName(QStringLiteral("lblLiaison"));
    ui.lblLiaison->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    ui.lblLiaison->setFont(arial(8.25));
    ui.lblLiaison->setAlignment(Qt::AlignCenter);
    ui.lblLiaison->hide();
    ui.StatusBar1->addWidget(ui.lblLiaison, 1);
    ui.StatusPanels[2]->setPixmap(platform::programIcon(QStringLiteral("statusbar.svg")).pixmap(16, 16));
}

QList<QWidget *> frmMain::entryControls() const
{
    return {ui.txtDateHeure, ui.txtNrSequanel,  ui.txtRST,   ui.cmbBande, ui.cmbMHz,   ui.cmbHz,
            ui.txtOpérateur, ui.txtPréfixeQRZ,  ui.cmbQRZ1,  ui.cmbQRZ2,  ui.cmbQRZ3,  ui.txtNrQRZ,
            ui.txtCodePostal, ui.txtVille,      ui.txtBP,    ui.txtPays};
}

// ------------------------------------------------------------ start-up state

void frmMain::Form_Load()
{
    ActiverSaisie(false);
    ui.mnuImprimer->setEnabled(false);
    ui.Toolbar1Buttons[3]->setEnabled(false);
    for (QPushButton *b : {ui.cmdPrécédent, ui.cmdNouveau, ui.cmdSuivant, ui.cmdSupprimer, ui.cmdModifier})
        b->setEnabled(false);
}

void frmMain::ActiverSaisie(bool enable)
{
    for (QWidget *w : entryControls())
        w->setEnabled(enable);
    ui.cmdMaintenant->setEnabled(enable);
    AfficherDoublon();
}

void frmMain::ActualiserBoutons()
{
    QWidget *focused = focusWidget();
    ui.Data1->clearError();
    const int rows = ui.Data1->countUpTo(2); // none, one, or more: one question to the log
    if (rows == 0 && ui.Data1->error().isSet())
        return; // not known (the server away): the buttons stay as they are
    if (rows == 0) {
        for (QPushButton *b : {ui.cmdSuivant, ui.cmdPrécédent, ui.cmdModifier, ui.cmdSupprimer})
            b->setEnabled(false);
    } else {
        for (QPushButton *b : {ui.cmdSuivant, ui.cmdPrécédent, ui.cmdModifier, ui.cmdSupprimer})
            b->setEnabled(true);
        if (ui.Data1->bof()) {
            ui.cmdPrécédent->setEnabled(false);
            ui.Data1->moveFirst();
        }
        if (ui.Data1->eof()) {
            ui.cmdSuivant->setEnabled(false);
            ui.Data1->moveLast();
        }
    }
    if (rows == 1) {
        ui.cmdSuivant->setEnabled(false);
        ui.cmdPrécédent->setEnabled(false);
    }
    if (ui.Data1->isReadOnly()) {
        ui.cmdModifier->setEnabled(false);
        ui.cmdSupprimer->setEnabled(false);
    }
    // A button greyed while it had the focus hands it to the button that
    // Enter presses, not to its neighbour in the tab order.
    if (qobject_cast<QPushButton *>(focused) && !focused->isEnabled())
        focusDefaultButton();
}

void frmMain::cmdSuivant_Click()
{
    ui.Data1->moveNext();
    ActualiserBoutons();
}

void frmMain::cmdPrécédent_Click()
{
    ui.Data1->movePrevious();
    ActualiserBoutons();
}

// ------------------------------------------------------------ default and cancel buttons

void frmMain::setCaption(QPushButton *b, const QString &caption)
{
    b->setText(caption);
    // Alt+S belongs to the "Fuseaux horaires" menu: the delete button keeps its
    // underlined letter but gives up the key, which would otherwise be ambiguous
    // and do nothing at all.
    if (caption == kSupprimer)
        b->setShortcut(QKeySequence());
}

void frmMain::setDefaultButton(QPushButton *b)
{
    for (QPushButton *other : {ui.cmdNouveau, ui.cmdModifier})
        other->setDefault(other == b);
    m_default = b;
}

void frmMain::setCancelButton(QPushButton *b) { m_cancel = b; }

void frmMain::pressDefault()
{
    // A button with the focus is pressed by Enter itself.
    if (auto *focused = qobject_cast<QPushButton *>(QApplication::focusWidget());
        focused && focused->window() == this && focused->isEnabled()) {
        focused->click();
        return;
    }
    if (m_default && m_default->isEnabled() && m_default->isVisible())
        m_default->click();
}

void frmMain::pressCancel()
{
    if (m_cancel && m_cancel->isEnabled() && m_cancel->isVisible())
        m_cancel->click();
}

// ------------------------------------------------------------ events

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    // A key pressed with Alt (AltGr aside) is a command, never text: when no
    // enabled control answers it, it reaches the box it was pressed in, which
    // must not type its letter.
    if (event->type() == QEvent::KeyPress && qobject_cast<QLineEdit *>(watched)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->modifiers() & Qt::AltModifier) && !(key->modifiers() & Qt::ControlModifier)
            && !key->text().isEmpty() && key->text().at(0).isPrint()) {
            platform::beep();
            return true;
        }
    }
    if (watched == ui.txtNrSequanel) {
        if (event->type() == QEvent::FocusIn) {
            txtNrSequanel_GotFocus();
            // A click that brought the focus places the caret after this
            // event: select again once the click is done.
            if (static_cast<QFocusEvent *>(event)->reason() == Qt::MouseFocusReason)
                QTimer::singleShot(0, this, [this] { txtNrSequanel_GotFocus(); });
        }
    } else if (event->type() == QEvent::MouseMove) {
        // A hint takes the place of a notice, tip included.
        auto hint = [this](const QString &text) {
            ui.StatusPanels[0]->setText(text);
            ui.StatusPanels[0]->setToolTip(QString());
        };
        if (watched == ui.cmdSuivant)
            hint(msg::hintNext());
        else if (watched == ui.cmdPrécédent)
            hint(msg::hintPrevious());
        else if (watched == m_form) {
            // Only the bare surface of the window clears the hint, not a
            // control that passed the move on.
            const QPoint pos = static_cast<QMouseEvent *>(event)->position().toPoint();
            if (!m_form->childAt(pos))
                hint(QString());
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::txtNrSequanel_GotFocus() { ui.txtNrSequanel->selectAll(); }

void frmMain::Timer1_Timer()
{
    ui.StatusPanels[1]->setText(platform::formatTime(platform::now().time()));
    if (platform::now().toSecsSinceEpoch() / 60 != m_rateMinute)
        showRate();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // A statement waiting for the server lets the window's events run: the
    // window closes once it is answered.
    if (platform::waitingForServer()) {
        event->ignore();
        QTimer::singleShot(20, this, &QWidget::close);
        return;
    }
    // An entry still pending is stored; one that cannot be is given up only
    // when the operator says so, or when the desktop ends the program (even
    // while the question is on screen).
    if (!settlePendingEntry(msg::closeWithoutStoring()) && !m_sessionEnding) {
        event->ignore();
        return;
    }
    event->accept();
    Form_Unload();
}

void frmMain::Form_Unload()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible())
            w->close();
    m_log.open(nullptr); // (before the log goes: a reading ending later must not reach for it)
    ui.Data1->close();
    m_stats.close();
}

void frmMain::showLink()
{
    using platform::LinkState;
    platform::Connection *db = ui.Data1->database();
    const LinkState link = db ? db->link() : LinkState{};
    QString text;
    if (link.kind == LinkState::Down)
        text = link.retryIn > 0 ? msg::linkDown().arg(link.retryIn) : msg::linkTrying();
    else if (link.kind == LinkState::Back)
        text = msg::linkBack();
    else if (link.kind == LinkState::Up && link.network)
        text = link.encrypted ? msg::linkEncrypted() : msg::linkPlain();
    ui.lblLiaison->setText(text);
    ui.lblLiaison->setVisible(!text.isEmpty());
    // Lost or back, the link takes the rate's place; beside the rate, its
    // room (the bar's width is the form's) is taken from the hints' panel,
    // whose notices are then shortened, whole in their tip.
    const bool inRatePlace = link.kind == LinkState::Down || link.kind == LinkState::Back;
    ui.StatusPanels[3]->setVisible(!inRatePlace);
    const int wanted = text.isEmpty() ? 0 : ui.lblLiaison->sizeHint().width();
    ui.StatusPanels[0]->setMinimumWidth(px(2100) - std::max(0, inRatePlace ? wanted - ui.StatusPanels[3]->minimumWidth() : wanted));
    // An addition begun while the server was away gets its number now,
    // unless the operator typed one.
    if (m_serialToCome && link.kind != LinkState::Down && ui.txtNrSequanel->text().isEmpty()) {
        proposeSerial();
        if (!m_proposedSerial.isEmpty())
            AfficherAvis(msg::serialGiven().arg(m_proposedSerial));
    }
}

void frmMain::followOthers()
{
    if (m_state != EditState::Browsing)
        return;
    ui.Data1->countAgain();
    ActualiserBoutons();
}

void frmMain::showRate()
{
    const qint64 now = platform::now().toSecsSinceEpoch();
    m_rateMinute = now / 60;
    const statistics::Tally *t = m_stats.tally();
    ui.StatusPanels[3]->setText(t ? msg::rate()
                                        .arg(statistics::madeWithin(t->times, now, 600))
                                        .arg(statistics::madeWithin(t->times, now, 3600))
                                  : QString());
}
