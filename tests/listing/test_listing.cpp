// The contact grid window and the printed listing, on real log files and
// through the real printing path to PDF files read back with pdftotext.
#include "ContactTableModel.h"
#include "Engine.h"
#include "Listing.h"
#include "LogFile.h"
#include "PrintSurface.h"
#include "TestSupport.h"
#include "Twips.h"
#include "frmListe.h"

#include <QHeaderView>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;
using platform::PrintTarget;

namespace {

// Makes the "default printer" a PDF file, or no printer at all, for a scope.
struct PrinterScope {
    explicit PrinterScope(std::optional<PrintTarget> printer) { platform::setDefaultPrinterOverride(printer); }
    ~PrinterScope() { platform::clearDefaultPrinterOverride(); }
};

QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The non-blank lines after the heading line, form feeds removed.
QStringList linesAfterHeadings(const QString &text)
{
    QStringList out;
    bool seen = false;
    for (QString line : text.split(QLatin1Char('\n'))) {
        line.remove(QLatin1Char('\f'));
        if (seen && !line.trimmed().isEmpty())
            out << line;
        if (line.contains(QStringLiteral("Date et heure")))
            seen = true;
    }
    return out;
}

QStringList words(const QString &line) { return line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts); }

// Inserts n generated contacts in one statement.
void fillContacts(const QString &path, int n)
{
    makeLogFile(path);
    platform::EngineError e;
    auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, &e);
    QVERIFY(c);
    QVERIFY2(c->exec(QStringLiteral(
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?1) "
                         "INSERT INTO Transmission (Date, Sequanel, Ville) "
                         "SELECT '2024-03-01 10:00:00', CAST(i AS TEXT), 'Ville ' || i FROM n"),
                     {n}),
             qPrintable(c->lastError().text));
}

void execOn(const QString &path, const QString &sql)
{
    platform::EngineError e;
    auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, &e);
    QVERIFY(c);
    QVERIFY2(c->exec(sql), qPrintable(c->lastError().text));
}

} // namespace

class TestListing : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString file(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // ------------------------------------------------------------ printed listing
    void listingOfThreeContacts();
    void valueFormatting_data();
    void valueFormatting();
    void longListingHasNoRepeatedHeadings();
    void twoPressesPrintTwoIdenticalDocuments();
    void surfacePushesToNextLine_data();
    void surfacePushesToNextLine();
    void noPrinterOffersPdf_data();
    void noPrinterOffersPdf();
    void failuresAreToldAndCaptionRestored_data();
    void failuresAreToldAndCaptionRestored();
    void emptyFileIsRefused();

    // ------------------------------------------------------------ grid window
    void windowSetup();
    void gridMapsRowsToRowids_data();
    void gridMapsRowsToRowids();
    void gridIsReadOnly();
    void keyboardNavigation();
    void resizeRules_data();
    void resizeRules();
    void reopeningReadsTheFileAgain();
};

void TestListing::listingOfThreeContacts()
{
    const QString log = file("three.adb");
    makeLogFile(log, {sampleRow(103), sampleRow(101), sampleRow(102)});
    const QString pdf = file("three.pdf");
    PrinterScope printer(PrintTarget::pdfFile(pdf));
    PromptRecorder prompts;
    QVERIFY(listing::printListing(nullptr, log));
    QVERIFY(prompts.messages.isEmpty());

    const QString text = pdfText(pdf);
    QVERIFY(text.contains(listing::kTitle));
    const QStringList lines = text.split(QLatin1Char('\n'));
    const QString heading = *std::find_if(lines.begin(), lines.end(),
                                          [](const QString &l) { return l.contains(QStringLiteral("Date et heure")); });
    QCOMPARE(words(heading).join(' '),
             QStringLiteral("N°Sequ Date et heure Préf. Qrz1 Qrz2 Qrz3 N° Opéra. BP Ville Pays Bande Fréquence CP RST"));
    // The title comes first, with empty space before the headings and before the contacts.
    QVERIFY(text.indexOf(listing::kTitle) < text.indexOf(heading));

    const QStringList contacts = linesAfterHeadings(text);
    QCOMPARE(contacts.size(), 3);
    QCOMPARE(words(contacts[0]).first(), QStringLiteral("103"));
    QCOMPARE(words(contacts[1]).first(), QStringLiteral("101"));
    QCOMPARE(words(contacts[2]).first(), QStringLiteral("102"));
    // Values start under their headings.
    for (const QString &h : {QStringLiteral("Ville"), QStringLiteral("Pays"), QStringLiteral("RST")}) {
        const QString value = h == QLatin1String("Ville") ? QStringLiteral("Lyon")
                              : h == QLatin1String("Pays") ? QStringLiteral("France")
                                                           : QStringLiteral("59");
        const int col = heading.indexOf(QRegularExpression(QStringLiteral("\\b%1\\b").arg(h)));
        const int at = contacts[0].indexOf(value, col - 3);
        QVERIFY2(qAbs(at - col) <= 2, qPrintable(QStringLiteral("%1 at %2, value at %3").arg(h).arg(col).arg(at)));
    }
}

void TestListing::valueFormatting_data()
{
    QTest::addColumn<int>("column");   // index in Transmission
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("printed");
    QTest::addColumn<QString>("absent");

    QTest::newRow("Qrz1 cut to 7") << 7 << QVariant("November") << "fr_FR" << "Novembe" << "November";
    QTest::newRow("Opérateur cut to 13") << 15 << QVariant("Jean-Christophe-Marc") << "fr_FR" << "Jean-Christop" << "Jean-Christoph";
    QTest::newRow("BP cut to 9") << 11 << QVariant("BP98765432") << "fr_FR" << "BP9876543" << "BP98765432";
    QTest::newRow("CP cut to 5") << 13 << QVariant("6900012345") << "fr_FR" << "69000" << "690001";
    QTest::newRow("Ville whole") << 12 << QVariant("Saint-Martin-du-Bois") << "fr_FR" << "Saint-Martin-du-Bois" << "";
    QTest::newRow("Pays whole") << 14 << QVariant("République Tchèque X") << "fr_FR" << "République Tchèque X" << "";
    QTest::newRow("date, French") << 0 << QVariant("1998-01-05 07:03:09") << "fr_FR" << "05/01/98 07:03:09" << "1998";
    QTest::newRow("date, US") << 0 << QVariant("1998-01-05 07:03:09") << "en_US" << "05/01/98 07:03:09" << "1/5/98";
    QTest::newRow("date, German separators") << 0 << QVariant("1998-01-05 17:03:09") << "de_DE" << "05.01.98 17:03:09" << "/";
    QTest::newRow("frequency 26.965") << 4 << QVariant(965) << "fr_FR" << "26.965" << "";
    QTest::newRow("frequency 27.5") << 4 << QVariant(5) << "fr_FR" << "27.5" << "27.005";
    QTest::newRow("Préfixe without leading zeros") << 6 << QVariant(7) << "fr_FR" << "7" << "07";
}

void TestListing::valueFormatting()
{
    QFETCH(int, column);
    QFETCH(QVariant, stored);
    QFETCH(QString, locale);
    QFETCH(QString, printed);
    QFETCH(QString, absent);
    LocaleScope scope{QLocale(locale)};

    // A contact holding only a serial number, the value under test and, for
    // the frequency, its megahertz.
    Row r(16);
    r[1] = QStringLiteral("42");
    r[column] = stored;
    if (column == 4)
        r[3] = printed.startsWith(QStringLiteral("26")) ? 26 : 27;
    const QString log = file(QStringLiteral("fmt-%1.adb").arg(QTest::currentDataTag()));
    makeLogFile(log, {r});
    const QString pdf = log + QStringLiteral(".pdf");
    PrinterScope printer(PrintTarget::pdfFile(pdf));
    PromptRecorder prompts;
    QVERIFY(listing::printListing(nullptr, log));

    const QString line = linesAfterHeadings(pdfText(pdf)).join(QStringLiteral("  ")).simplified();
    QVERIFY2(line.startsWith(QStringLiteral("42 ")), qPrintable(line));
    QCOMPARE(words(line).mid(1).join(' '), printed);  // nulls print as nothing
    if (!absent.isEmpty())
        QVERIFY2(!line.contains(absent), qPrintable(line));
}

void TestListing::longListingHasNoRepeatedHeadings()
{
    const QString log = file("long.adb");
    QVector<Row> rows;
    for (int i = 1; i <= 150; ++i)
        rows << sampleRow(i);
    makeLogFile(log, rows);
    const QString pdf = file("long.pdf");
    PrinterScope printer(PrintTarget::pdfFile(pdf));
    PromptRecorder prompts;
    QVERIFY(listing::printListing(nullptr, log));

    const QString text = pdfText(pdf);
    QVERIFY2(text.count(QLatin1Char('\f')) >= 2, "the listing should take more than one page");
    QCOMPARE(text.count(listing::kTitle), 1);
    QCOMPARE(text.count(QStringLiteral("Date et heure")), 1);
    const QStringList lines = linesAfterHeadings(text);
    QCOMPARE(lines.size(), 150);
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(words(lines[i]).first(), QString::number(i + 1));
}

void TestListing::twoPressesPrintTwoIdenticalDocuments()
{
    const QString log = file("twice.adb");
    makeLogFile(log, {sampleRow(1), sampleRow(2)});
    PromptRecorder prompts;
    frmListe f(log);
    QStringList texts;
    for (const QString &name : {QStringLiteral("press1.pdf"), QStringLiteral("press2.pdf")}) {
        PrinterScope printer(PrintTarget::pdfFile(file(name)));
        QTest::mouseClick(f.Command2, Qt::LeftButton);
        QCOMPARE(f.windowTitle(), QStringLiteral("Liste des enregistrements"));
        texts << pdfText(file(name));
    }
    QVERIFY(prompts.messages.isEmpty());
    QCOMPARE(linesAfterHeadings(texts[0]).size(), 2);
    QCOMPARE(texts[1], texts[0]);
}

void TestListing::surfacePushesToNextLine_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<bool>("pushed");
    QTest::newRow("runs past the next column") << QStringLiteral("WWWWWWWWWWWW") << true;
    QTest::newRow("ends before the next column") << QStringLiteral("iii") << false;
}

void TestListing::surfacePushesToNextLine()
{
    QFETCH(QString, first);
    QFETCH(bool, pushed);
    const QString pdf = file(QStringLiteral("push-%1.pdf").arg(QTest::currentDataTag()));
    {
        platform::PrintSurface s(PrintTarget::pdfFile(pdf));
        s.setFontSize(9);
        s.printAt(1, QStringLiteral("start"));
        s.printAt(30, first);
        s.printAt(40, QStringLiteral("next"));
        s.endLine();
        s.printAt(1, QStringLiteral("after"));
        s.endLine();
        QVERIFY(s.endDocument());
    }
    QStringList lines = pdfText(pdf).split(QLatin1Char('\n'));
    lines.removeIf([](const QString &l) { return l.trimmed().isEmpty(); });
    QCOMPARE(lines.size(), pushed ? 3 : 2);
    QCOMPARE(words(lines.last()), QStringList{QStringLiteral("after")});
    if (pushed) {
        QCOMPARE(words(lines[1]), QStringList{QStringLiteral("next")});
        // Pushed to the same column, on the next line: well right of the margin.
        QVERIFY(lines[1].indexOf(QStringLiteral("next")) > lines[0].indexOf(first));
    } else {
        QCOMPARE(words(lines[0]), (QStringList{QStringLiteral("start"), first, QStringLiteral("next")}));
    }
}

void TestListing::noPrinterOffersPdf_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("chooseFile");
    QTest::addColumn<bool>("written");
    QTest::newRow("declined") << false << false << false;
    QTest::newRow("accepted, file dialog cancelled") << true << false << false;
    QTest::newRow("accepted, saved") << true << true << true;
}

void TestListing::noPrinterOffersPdf()
{
    QFETCH(bool, yes);
    QFETCH(bool, chooseFile);
    QFETCH(bool, written);
    const QString log = file("noprinter.adb");
    if (!QFile::exists(log))
        makeLogFile(log, {sampleRow(7)});
    const QString pdf = file(QStringLiteral("saved-%1.pdf").arg(QTest::currentDataTag()));
    PrinterScope printer(std::nullopt);
    PromptRecorder prompts;
    prompts.answer = yes ? platform::Answer::Yes : platform::Answer::No;
    if (chooseFile)
        prompts.queuedFiles << pdf;
    frmListe f(log);
    QString captionDuringQuestion;
    platform::Responder r;
    r.message = [&](const platform::MessageRequest &m) {
        prompts.messages << m;
        captionDuringQuestion = f.windowTitle();
        return prompts.answer;
    };
    r.file = [&](const platform::FileRequest &req) {
        prompts.fileRequests << req;
        return prompts.queuedFiles.isEmpty() ? QString() : prompts.queuedFiles.takeFirst();
    };
    platform::setResponder(r);

    f.Command2_Click();
    QCOMPARE(prompts.messages.size(), 1);
    QCOMPARE(prompts.messages[0].icon, platform::MessageIcon::Question);
    QCOMPARE(prompts.messages[0].buttons, platform::MessageButtons::YesNo);
    QVERIFY(prompts.messages[0].text.contains(QStringLiteral("Aucune imprimante")));
    QCOMPARE(captionDuringQuestion, listing::kPrintingCaption);
    QCOMPARE(prompts.fileRequests.size(), yes ? 1 : 0);
    if (yes) {
        QVERIFY(prompts.fileRequests[0].save);
        QVERIFY(prompts.fileRequests[0].confirmOverwrite);
    }
    QCOMPARE(QFile::exists(pdf), written);
    if (written)
        QCOMPARE(linesAfterHeadings(pdfText(pdf)).size(), 1);
    QCOMPARE(f.windowTitle(), QStringLiteral("Liste des enregistrements"));
}

void TestListing::failuresAreToldAndCaptionRestored_data()
{
    QTest::addColumn<bool>("badPrinter");
    QTest::addColumn<bool>("fileGone");
    QTest::newRow("printer cannot print") << true << false;
    QTest::newRow("log file gone") << false << true;
}

void TestListing::failuresAreToldAndCaptionRestored()
{
    QFETCH(bool, badPrinter);
    QFETCH(bool, fileGone);
    const QString log = file(QStringLiteral("fail-%1.adb").arg(QTest::currentDataTag()));
    makeLogFile(log, {sampleRow(1)});
    const QString pdf = badPrinter ? file("no-such-folder/out.pdf") : file("fail.pdf");
    PrinterScope printer(PrintTarget::pdfFile(pdf));
    PromptRecorder prompts;
    frmListe f(log);
    if (fileGone)
        QVERIFY(QFile::remove(log));
    QTest::mouseClick(f.Command2, Qt::LeftButton);
    QCOMPARE(prompts.messages.size(), 1);
    QCOMPARE(prompts.messages[0].icon, platform::MessageIcon::Critical);
    QCOMPARE(f.windowTitle(), QStringLiteral("Liste des enregistrements"));
    QVERIFY(!QFile::exists(pdf));
    QVERIFY(f.Command2->isEnabled());
}

void TestListing::emptyFileIsRefused()
{
    PromptRecorder prompts;
    listing::refuseEmpty(nullptr);
    QCOMPARE(prompts.messages.size(), 1);
    QCOMPARE(prompts.messages[0].text, QStringLiteral("Le fichier courant ne possède aucun enregistrement à imprimer"));
    QCOMPARE(prompts.messages[0].icon, platform::MessageIcon::Warning);
    QCOMPARE(prompts.messages[0].buttons, platform::MessageButtons::Ok);
}

// ---------------------------------------------------------------- grid window

void TestListing::windowSetup()
{
    const QString log = file("setup.adb");
    makeLogFile(log, {sampleRow(5), sampleRow(6)});
    frmListe f(log);
    QCOMPARE(f.windowTitle(), QStringLiteral("Liste des enregistrements"));
    QVERIFY(f.isModal());
    const Qt::WindowFlags flags = f.windowFlags();
    QVERIFY(flags & Qt::WindowTitleHint);
    QVERIFY(!(flags & (Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint)));
    QCOMPARE(f.geometry(), QRect(99, 127, 473, 408));
    QCOMPARE(f.dbgrd->geometry(), QRect(0, 0, 473, 345));
    QCOMPARE(f.Command1->text(), QStringLiteral("&Fermer"));
    QCOMPARE(f.Command2->text(), QStringLiteral("&Imprimer"));
    QVERIFY(!f.Command1->autoDefault() && !f.Command2->autoDefault());

    auto *model = f.dbgrd->model();
    QCOMPARE(model->columnCount(), 16);
    for (int c = 0; c < 16; ++c)
        QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), logfile::columnNames()[c]);
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(f.dbgrd->currentIndex().row(), 0);
    QCOMPARE(model->index(1, 1).data().toString(), QStringLiteral("6"));
    QVERIFY(!f.dbgrd->verticalHeader()->isHidden());
    QCOMPARE(f.dbgrd->verticalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
}

void TestListing::gridMapsRowsToRowids_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("deletion"); // rows removed after filling, empty for none
    QTest::newRow("dense") << 1500 << QString();
    QTest::newRow("gaps everywhere") << 1500 << QStringLiteral("rowid % 7 = 0 OR rowid BETWEEN 250 AND 300");
    QTest::newRow("first rows gone") << 1500 << QStringLiteral("rowid <= 10");
    QTest::newRow("large, gaps") << 200000 << QStringLiteral("rowid % 3 = 1");
}

void TestListing::gridMapsRowsToRowids()
{
    QFETCH(int, count);
    QFETCH(QString, deletion);
    const QString log = file(QStringLiteral("map-%1.adb").arg(QTest::currentDataTag()));
    fillContacts(log, count);
    if (!deletion.isEmpty())
        execOn(log, QStringLiteral("DELETE FROM Transmission WHERE ") + deletion);
    const QVector<Row> stored = readRows(log);

    frmListe f(log);
    auto *model = qobject_cast<listing::ContactTableModel *>(f.dbgrd->model());
    QVERIFY(model);
    QCOMPARE(model->rowCount(), stored.size());
    QCOMPARE(model->isDense(), deletion.isEmpty() || deletion.startsWith(QStringLiteral("rowid <=")));
    // Jump to the end first (the way a user would press Ctrl+End), then
    // around block boundaries in both directions.
    const int n = stored.size();
    const int block = listing::ContactTableModel::kBlockRows;
    QList<int> rows{n - 1, n - block - 1, n / 2, n / 2 - 1, 0, block - 1, block, block + 1, 3 * block, 2 * block - 1, n - 2};
    for (int r : rows) {
        if (r < 0 || r >= n)
            continue;
        QCOMPARE(model->index(r, 1).data().toString(), stored[r][1].toString());
    }
    f.dbgrd->scrollToBottom();
    QCOMPARE(f.dbgrd->rowAt(f.dbgrd->viewport()->height() - 2) >= n - 30, true);
}

void TestListing::gridIsReadOnly()
{
    const QString log = file("readonly.adb");
    makeLogFile(log, {sampleRow(1), sampleRow(2), sampleRow(3)});
    const QVector<Row> before = readRows(log);
    frmListe f(log);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.dbgrd->setFocus();
    f.dbgrd->setCurrentIndex(f.dbgrd->model()->index(1, 1));
    QTest::keyClicks(f.dbgrd, QStringLiteral("999"));
    QTest::keyClick(f.dbgrd, Qt::Key_F2);
    QTest::keyClicks(f.dbgrd, QStringLiteral("abc"));
    QTest::keyClick(f.dbgrd, Qt::Key_Return);
    QTest::keyClick(f.dbgrd, Qt::Key_Delete);
    QTest::mouseDClick(f.dbgrd->viewport(), Qt::LeftButton, {},
                       f.dbgrd->visualRect(f.dbgrd->model()->index(0, 2)).center());
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("xyz"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(!(f.dbgrd->model()->flags(f.dbgrd->model()->index(0, 0)) & Qt::ItemIsEditable));
    QCOMPARE(f.dbgrd->model()->rowCount(), 3);
    QCOMPARE(f.dbgrd->model()->index(1, 1).data().toString(), QStringLiteral("2"));
    f.close();
    QCOMPARE(readRows(log), before);
}

void TestListing::keyboardNavigation()
{
    const QString log = file("keys.adb");
    makeLogFile(log, {sampleRow(1), sampleRow(2), sampleRow(3)});
    frmListe f(log);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.activateWindow();
    f.dbgrd->setFocus();
    QTRY_VERIFY(f.dbgrd->hasFocus());
    auto *m = f.dbgrd->model();

    f.dbgrd->setCurrentIndex(m->index(1, 0));
    QTest::keyClick(f.dbgrd, Qt::Key_Tab);
    QCOMPARE(f.dbgrd->currentIndex(), m->index(1, 1));
    QTest::keyClick(f.dbgrd, Qt::Key_Backtab);
    QCOMPARE(f.dbgrd->currentIndex(), m->index(1, 0));
    QTest::keyClick(f.dbgrd, Qt::Key_Down);
    QTest::keyClick(f.dbgrd, Qt::Key_Right);
    QCOMPARE(f.dbgrd->currentIndex(), m->index(1, 0));
    // The last cell of a row does not wrap to the next row: Tab leaves the grid.
    f.dbgrd->setCurrentIndex(m->index(1, 15));
    QTest::keyClick(f.dbgrd, Qt::Key_Tab);
    QCOMPARE(f.dbgrd->currentIndex(), m->index(1, 15));
    QTRY_VERIFY(f.Command1->hasFocus());
    // Escape and Enter do nothing of their own here.
    QTest::keyClick(&f, Qt::Key_Escape);
    QTest::keyClick(f.Command1, Qt::Key_Return);
    QVERIFY(f.isVisible());
    QTest::mouseClick(f.Command1, Qt::LeftButton);
    QVERIFY(!f.isVisible());
}

void TestListing::resizeRules_data()
{
    QTest::addColumn<QSize>("request");  // client size asked for, pixels
    QTest::addColumn<QSize>("expected"); // client size after the passes
    QTest::newRow("initial size") << QSize(473, 408) << QSize(473, 408);
    QTest::newRow("too narrow") << QSize(150, 408) << QSize(292, 408);
    QTest::newRow("too low") << QSize(473, 60) << QSize(473, 100);
    QTest::newRow("too small both ways") << QSize(100, 40) << QSize(292, 100);
    QTest::newRow("exactly the smallest") << QSize(292, 100) << QSize(292, 100);
    QTest::newRow("enlarged") << QSize(900, 700) << QSize(900, 700);
}

void TestListing::resizeRules()
{
    QFETCH(QSize, request);
    QFETCH(QSize, expected);
    const QString log = file("resize.adb");
    if (!QFile::exists(log))
        makeLogFile(log, {sampleRow(1)});
    frmListe f(log);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    // Sizes are compared on the outer frame, as the rules are.
    const QSize frame = f.frameGeometry().size() - f.size();
    f.resize(request - frame);
    QTRY_COMPARE(f.frameGeometry().size(), expected);

    // Buttons: top H - 562.5 twips, lefts W - 3645 and W - 1822.5 (rounded to
    // the nearest pixel); the grid stays where it is.
    const double W = f.width() * 15.0, H = f.height() * 15.0;
    QTRY_COMPARE(f.Command2->pos(), QPoint(platform::px(W - 3645), platform::px(H - 562.5)));
    QCOMPARE(f.Command1->pos(), QPoint(platform::px(W - 1822.5), platform::px(H - 562.5)));
    QCOMPARE(f.Command1->size(), QSize(73, 25));
    QCOMPARE(f.Command2->size(), QSize(81, 25));
    QCOMPARE(f.dbgrd->geometry(), QRect(0, 0, 473, 345));
    if (request == QSize(473, 408) && frame.isNull()) {
        QCOMPARE(f.Command2->pos(), QPoint(230, 371)); // 3450, 5557.5 twips
        QCOMPARE(f.Command1->pos(), QPoint(352, 371)); // 5272.5 twips
    }
}

void TestListing::reopeningReadsTheFileAgain()
{
    const QString log = file("reopen.adb");
    makeLogFile(log, {sampleRow(1)});
    {
        frmListe f(log);
        QCOMPARE(f.dbgrd->model()->rowCount(), 1);
        f.Command1_Click();
    }
    execOn(log, QStringLiteral("INSERT INTO Transmission (Sequanel) VALUES ('2'), ('3')"));
    frmListe again(log);
    QCOMPARE(again.dbgrd->model()->rowCount(), 3);
    QCOMPARE(again.dbgrd->model()->index(2, 1).data().toString(), QStringLiteral("3"));
}

QTEST_MAIN(TestListing)
#include "test_listing.moc"
