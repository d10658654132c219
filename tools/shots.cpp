// Draws each window of the program with a sample log file and saves it as a
// PNG picture, for looking at the windows (README, reviews). Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bin/sequanel-shots OUTPUT_FOLDER
#include "Engine.h"
#include "Help.h"
#include "LogFile.h"
#include "PrintSurface.h"
#include "ProgramFolder.h"
#include "Prompts.h"
#include "frmFuseau.h"
#include "frmImportation.h"
#include "frmListe.h"
#include "frmMain.h"
#include "frmOrientation.h"
#include "frmSplash.h"
#include "frmStatistiques.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

namespace {

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void save(QWidget *w, const QString &file)
{
    wait(50);
    w->grab().save(file);
}

void makeSample(const QString &path)
{
    QString message;
    logfile::createEmpty(path, &message);
    platform::EngineError e;
    auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, &e);
    const QStringList towns{"Clermont-Ferrand", "Brest", "Lyon", "Toulouse", "Lille", "Nantes", "Dijon", "Metz"};
    const QStringList cps{"63000", "29200", "69001", "31000", "59000", "44000", "21000", "57000"};
    const QStringList words{"Alpha", "Bravo", "Charly", "Delta", "Echo", "Golf", "Kilo", "Lima", "Tango"};
    const QStringList ops{"Hélène", "Marc", "Sylvie", "Jean"};
    c->begin();
    for (int i = 1; i <= 40; ++i) {
        c->exec("INSERT INTO Transmission VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16)",
                {QStringLiteral("2026-06-13 %1:%2:%3").arg(9 + i / 6, 2, 10, QLatin1Char('0')).arg((i * 7) % 60, 2, 10, QLatin1Char('0')).arg((i * 13) % 60, 2, 10, QLatin1Char('0')),
                 QString::number(i), QStringLiteral("5%1").arg(9 - i % 4), 27, 5 + 10 * ((i * 37) % 100),
                 QStringList{"AM", "FM", "USB", "LSB"}[i % 4], 14 + i % 20, words[i % 9], words[(i * 2) % 9],
                 words[(i * 5) % 9], 100 + i * 3, i % 3 ? QVariant() : QVariant(QStringLiteral("BP %1").arg(i)),
                 towns[i % 8], cps[i % 8], QStringLiteral("France"), ops[i % 4]});
    }
    c->commit();
}

// From Saturday 20:00 to Sunday 05:00, nobody on the air between 01:00 and
// 02:00, the busiest at 22:00.
void makeNight(const QString &path)
{
    QString message;
    logfile::createEmpty(path, &message);
    platform::EngineError e;
    auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, &e);
    const QStringList towns{"Lyon", "Brest", "Lille", "Nice", "Strasbourg", "Bordeaux", "Ajaccio", "Bastia", "Genève"};
    const QStringList cps{"69001", "29200", "59000", "06000", "67000", "33000", "20090", "20200", "1200"};
    const QStringList countries{"France", "France", "France", "France", "France", "France", "France", "France", "Suisse"};
    c->begin();
    QDateTime t(QDate(2026, 6, 13), QTime(20, 0));
    for (int i = 1; t < QDateTime(QDate(2026, 6, 14), QTime(5, 0)); ++i) {
        const int hour = t.time().hour();
        t = t.addSecs(hour == 22 ? 70 : hour < 5 ? 300 + (i * 37) % 300 : 140 + (i * 53) % 160);
        if (t.time().hour() == 1)
            t.setTime(QTime(2, 3));
        const int k = (i * 7) % towns.size();
        c->exec("INSERT INTO Transmission VALUES (?1, ?2, '59', 27, ?3, ?4, 14, 'Alpha', 'Bravo', ?5, ?6, NULL, ?7, ?8, ?9, ?10)",
                {t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), QString::number(i), 5 + 10 * ((i * 13) % 40),
                 QStringList{"AM", "FM", "USB", "LSB"}[i % 4], QStringList{"Tango", "Lima", "Kilo"}[i % 3], 100 + i % 60,
                 towns[k], cps[k], countries[k], QStringList{"Hélène", "Marc", "Sylvie"}[(i / 40) % 3]});
    }
    c->commit();
}

// 1,000 contacts of a club's ADI file as another program writes it: the
// first 40 numbers taken in the sample log, every 100th call sign worked
// there already, every 250th record without a call sign.
void makeClubAdi(const QString &path)
{
    const QStringList words{"Alpha", "Bravo", "Charly", "Delta", "Echo", "Golf", "Kilo", "Lima", "Tango"};
    const QStringList towns{"Grenoble", "Annecy", "Chambéry", "Valence", "Gap"};
    QByteArray out = "Export du club\r\n<ADIF_VER:5>3.1.4 <PROGRAMID:7>ClubLog <EOH>\r\n";
    auto field = [&](const char *name, const QByteArray &v) { out += '<' + QByteArray(name) + ':' + QByteArray::number(v.size()) + '>' + v + ' '; };
    for (int i = 1; i <= 1000; ++i) {
        const QDateTime utc = QDateTime(QDate(2026, 6, 20), QTime(8, 0), Qt::UTC).addSecs(i * 47);
        field("QSO_DATE", utc.toString(QStringLiteral("yyyyMMdd")).toLatin1());
        field("TIME_ON", utc.toString(QStringLiteral("HHmmss")).toLatin1());
        if (i % 250)
            field("CALL", i % 100 ? QStringLiteral("%1 %2 %3 %4").arg(20 + i % 50).arg(words[i % 9], words[(i / 9) % 9]).arg(i).toLatin1()
                                  : QByteArray("16 Echo Tango Charly 166"));
        field("FREQ", QByteArray::number(27) + '.' + QByteArray::number(5 + 10 * (i % 40)).rightJustified(3, '0'));
        field("MODE", i % 3 ? "SSB" : "AM");
        if (i % 3)
            field("SUBMODE", i % 2 ? "USB" : "LSB");
        field("RST_SENT", "59");
        field("STX", QByteArray::number(i));
        field("QTH", towns[i % 5].toUtf8());
        field("COUNTRY", "France");
        out += "<EOR>\r\n";
    }
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(out);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("Rallye de printemps.adb"));
    makeSample(log);

    platform::Responder r;
    r.file = [&](const platform::FileRequest &) { return log; };
    r.message = [](const platform::MessageRequest &) { return platform::Answer::Ok; };
    platform::setResponder(r);

    frmMain w;
    w.show();
    w.controls().mnuOuvrir->trigger();
    w.controls().cmdPrécédent->click();
    save(&w, out + QStringLiteral("/main.png"));
    w.controls().cmdNouveau->click();
    w.controls().txtRST->setText(QStringLiteral("59"));
    w.controls().cmbBande->setEditText(QStringLiteral("USB"));
    w.controls().cmbMHz->setEditText(QStringLiteral("27"));
    w.controls().cmbHz->setEditText(QStringLiteral("405"));
    save(&w, out + QStringLiteral("/main-adding.png"));
    // The call sign of contact 22: the warning under it.
    w.controls().txtPréfixeQRZ->setText(QStringLiteral("16"));
    w.controls().cmbQRZ1->setEditText(QStringLiteral("Echo"));
    w.controls().cmbQRZ2->setEditText(QStringLiteral("Tango"));
    w.controls().cmbQRZ3->setEditText(QStringLiteral("Charly"));
    w.controls().txtNrQRZ->setText(QStringLiteral("166"));
    for (int i = 0; i < 100 && !w.controls().lblDoublon->isVisible(); ++i)
        wait(20);
    save(&w, out + QStringLiteral("/main-worked-before.png"));
    w.controls().cmdSupprimer->click();

    {
        frmSplash about;
        about.Splash->setVisible(true);
        about.show();
        save(&about, out + QStringLiteral("/about.png"));
    }
    {
        frmListe liste(log);
        liste.show();
        save(&liste, out + QStringLiteral("/liste.png"));
        // The listing, printed by the grid's button into a PDF file.
        platform::setDefaultPrinterOverride(platform::PrintTarget::pdfFile(out + QStringLiteral("/listing.pdf")));
        liste.Command2_Click();
        platform::clearDefaultPrinterOverride();
    }
    w.controls().mnuH[12]->trigger();
    wait(1200);
    for (QWidget *t : QApplication::topLevelWidgets())
        if (auto *c = qobject_cast<frmFuseau *>(t))
            save(c, out + QStringLiteral("/clock.png"));

    frmOrientation::showSingle();
    frmOrientation *o = frmOrientation::instance();
    wait(100);
    for (int i = 0; i < 200 && o->Data2->caption() != QStringLiteral("Lisbonne"); ++i)
        o->Data2->moveNext();
    save(o, out + QStringLiteral("/orientation.png"));

    // The statistics, each tab, of a night's contest with a quiet hour.
    const QString night = dir.filePath(QStringLiteral("Concours de nuit.adb"));
    makeNight(night);
    r.file = [&](const platform::FileRequest &) { return night; };
    platform::setResponder(r);
    w.controls().mnuOuvrir->trigger();
    w.controls().mnuStatistiques->trigger();
    frmStatistiques *stats = frmStatistiques::instance();
    for (int i = 0; i < 250 && stats->lblBusy->isVisible(); ++i)
        wait(20);
    const char *tabs[] = {"hours", "directions", "countries", "departements", "modes", "frequencies", "operators"};
    for (int i = 0; i < stats->tabs->count(); ++i) {
        stats->tabs->setCurrentIndex(i);
        save(stats, out + QStringLiteral("/statistics-%1.png").arg(QLatin1String(tabs[i])));
    }
    stats->close();

    // "Importer…": the preview of a club's file of 1,000 contacts, then the
    // window at the last contact imported.
    r.file = [&](const platform::FileRequest &) { return log; };
    platform::setResponder(r);
    w.controls().mnuOuvrir->trigger();
    const QString club = dir.filePath(QStringLiteral("club.adi"));
    makeClubAdi(club);
    r.file = [&](const platform::FileRequest &) { return club; };
    platform::setResponder(r);
    QTimer::singleShot(300, [&] {
        if (auto *preview = qobject_cast<frmImportation *>(QApplication::activeModalWidget())) {
            save(preview, out + QStringLiteral("/import-preview.png"));
            preview->tabDétails->setCurrentIndex(1);
            save(preview, out + QStringLiteral("/import-preview-duplicates.png"));
            preview->cmdImporter->click();
        }
    });
    w.controls().mnuImporter->trigger();
    save(&w, out + QStringLiteral("/import-done.png"));

    QString error;
    platform::showHelpContents(&w, platform::programFile(QStringLiteral("help/index.html")), &error);
    for (QWidget *t : w.findChildren<QWidget *>(QStringLiteral("helpWindow")))
        save(t, out + QStringLiteral("/help.png"));
    platform::clearResponder();
    return 0;
}
