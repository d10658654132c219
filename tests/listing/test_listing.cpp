// The contact grid window and the printed listing, on real log files and
// through the real printing path to PDF files read back with pdftotext.
#include "ContactTableModel.h"
#include "Engine.h"
#include "Listing.h"
#include "PrintSurface.h"
#include "TestSupport.h"
#include "Twips.h"
#include "frmListe.h"

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
    return p.waitForFinished(30000) && p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

// Prints the listing of a log file to a PDF file beside it; returns its text.
QString printed(const QString &log)
{
    PrinterScope printer(PrintTarget::pdfFile(log + QStringLiteral(".pdf")));
    PromptRecorder prompts;
    if (!listing::printListing(nullptr, log) || !prompts.messages.isEmpty())
        return QStringLiteral("not printed");
    return pdfText(log + QStringLiteral(".pdf"));
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
        seen = seen || line.contains(QStringLiteral("Date et heure"));
    }
    return out;
}

QStringList words(const QString &line) { return line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts); }

void execOn(const QString &path, const QString &sql, const QVariantList &params = {})
{
    auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, nullptr);
    QVERIFY(c);
    QVERIFY2(c->exec(sql, params), qPrintable(c->lastError().text));
}

const QString kCaption = QStringLiteral("Liste des enregistrements");

} // namespace

class TestListing : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString file(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void listingOfThreeContacts()
    {
        const QString log = file("three.adb");
        makeLogFile(log, {sampleRow(103), sampleRow(101), sampleRow(102)});
        const QString text = printed(log);
        const QString heading = text.split(QLatin1Char('\n')).filter(QStringLiteral("Date et heure")).value(0);
        QCOMPARE(words(heading).join(' '),
                 QStringLiteral("N°Sequ Date et heure Préf. Qrz1 Qrz2 Qrz3 N° Opéra. BP Ville Pays Bande Fréquence CP RST"));
        QVERIFY(text.indexOf(listing::kTitle) >= 0 && text.indexOf(listing::kTitle) < text.indexOf(heading));
        // The contacts in the file's order, each value starting under its heading.
        const QStringList contacts = linesAfterHeadings(text);
        QStringList serials;
        for (const QString &c : contacts)
            serials << words(c).first();
        QCOMPARE(serials, (QStringList{"103", "101", "102"}));
        for (const auto &[h, value] : {std::pair{"Ville", "Lyon"}, {"Pays", "France"}, {"RST", "59"}}) {
            const int col = heading.indexOf(QRegularExpression(QStringLiteral("\\b%1\\b").arg(h)));
            const int at = contacts[0].indexOf(QLatin1String(value), col - 3);
            QVERIFY2(qAbs(at - col) <= 2, qPrintable(QStringLiteral("%1 at %2, value at %3").arg(h).arg(col).arg(at)));
        }
    }

    // A contact holding only serial 42 and one value (with its megahertz for
    // a frequency): how that value prints, and what must not appear.
    void valueFormatting_data()
    {
        QTest::addColumn<int>("column"); // index in Transmission
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
    void valueFormatting()
    {
        QFETCH(int, column);
        QFETCH(QVariant, stored);
        QFETCH(QString, locale);
        QFETCH(QString, printed);
        QFETCH(QString, absent);
        LocaleScope scope{QLocale(locale)};
        Row r(16);
        r[1] = QStringLiteral("42");
        r[column] = stored;
        if (column == 4)
            r[3] = printed.startsWith(QStringLiteral("26")) ? 26 : 27;
        const QString log = file(QStringLiteral("fmt-%1.adb").arg(QTest::currentDataTag()));
        makeLogFile(log, {r});
        const QString line = linesAfterHeadings(::printed(log)).join(QStringLiteral("  ")).simplified();
        QVERIFY2(line.startsWith(QStringLiteral("42 ")), qPrintable(line));
        QCOMPARE(words(line).mid(1).join(' '), printed); // nulls print as nothing
        QVERIFY2(absent.isEmpty() || !line.contains(absent), qPrintable(line));
    }

    void longListingHasNoRepeatedHeadings()
    {
        const QString log = file("long.adb");
        QVector<Row> rows;
        for (int i = 1; i <= 150; ++i)
            rows << sampleRow(i);
        makeLogFile(log, rows);
        const QString text = printed(log);
        QVERIFY2(text.count(QLatin1Char('\f')) >= 2, "the listing should take more than one page");
        QCOMPARE(text.count(listing::kTitle), 1);
        QCOMPARE(text.count(QStringLiteral("Date et heure")), 1);
        const QStringList lines = linesAfterHeadings(text);
        QCOMPARE(lines.size(), 150);
        for (int i = 0; i < lines.size(); ++i)
            QCOMPARE(words(lines[i]).first(), QString::number(i + 1));
    }

    void twoPressesPrintTwoIdenticalDocuments()
    {
        const QString log = file("twice.adb");
        makeLogFile(log, {sampleRow(1), sampleRow(2)});
        PromptRecorder prompts;
        frmListe f(log);
        QStringList texts;
        for (const QString &name : {QStringLiteral("press1.pdf"), QStringLiteral("press2.pdf")}) {
            PrinterScope printer(PrintTarget::pdfFile(file(name)));
            QTest::mouseClick(f.Command2, Qt::LeftButton);
            QCOMPARE(f.windowTitle(), kCaption);
            texts << pdfText(file(name));
        }
        QVERIFY(prompts.messages.isEmpty());
        QCOMPARE(linesAfterHeadings(texts[0]).size(), 2);
        QCOMPARE(texts[1], texts[0]);
    }

    // Without a printer the user is asked whether to save a PDF file instead.
    void noPrinterOffersPdf_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("chooseFile");
        QTest::newRow("declined") << false << false;
        QTest::newRow("accepted, file dialog cancelled") << true << false;
        QTest::newRow("accepted, saved") << true << true;
    }
    void noPrinterOffersPdf()
    {
        QFETCH(bool, yes);
        QFETCH(bool, chooseFile);
        const QString log = file(QStringLiteral("noprinter-%1.adb").arg(QTest::currentDataTag()));
        makeLogFile(log, {sampleRow(7)});
        const QString pdf = log + QStringLiteral(".pdf");
        PrinterScope printer(std::nullopt);
        PromptRecorder scope; // restores the default answers at the end
        frmListe f(log);
        QVector<platform::MessageRequest> questions;
        QVector<platform::FileRequest> dialogs;
        QString captionDuringQuestion;
        platform::Responder r;
        r.message = [&](const platform::MessageRequest &m) {
            questions << m;
            captionDuringQuestion = f.windowTitle();
            return yes ? platform::Answer::Yes : platform::Answer::No;
        };
        r.file = [&](const platform::FileRequest &req) {
            dialogs << req;
            return chooseFile ? pdf : QString();
        };
        platform::setResponder(r);
        f.Command2_Click();
        QCOMPARE(questions.size(), 1);
        QCOMPARE(questions[0].buttons, platform::MessageButtons::YesNo);
        QVERIFY(questions[0].text.contains(QStringLiteral("Aucune imprimante")));
        QCOMPARE(captionDuringQuestion, listing::kPrintingCaption);
        QCOMPARE(dialogs.size(), yes ? 1 : 0);
        QVERIFY(!yes || (dialogs[0].save && dialogs[0].confirmOverwrite));
        QCOMPARE(QFile::exists(pdf), chooseFile);
        QCOMPARE(linesAfterHeadings(pdfText(pdf)).size(), chooseFile ? 1 : 0);
        QCOMPARE(f.windowTitle(), kCaption);
    }

    // The on-demand model finds the right contact for any row of a file with
    // gaps in its row numbers, jumping to the end first (as Ctrl+End would)
    // and then around block boundaries both ways.
    void gridMapsRowsToRowidsOnAGappedFile()
    {
        const QString log = file("gaps.adb");
        makeLogFile(log);
        execOn(log, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1500) "
                                   "INSERT INTO Transmission (Date, Sequanel) SELECT '2024-03-01 10:00:00', CAST(i AS TEXT) FROM n"));
        execOn(log, QStringLiteral("DELETE FROM Transmission WHERE rowid % 7 = 0 OR rowid BETWEEN 250 AND 300"));
        const QVector<Row> stored = readRows(log);
        frmListe f(log);
        auto *model = qobject_cast<listing::ContactTableModel *>(f.dbgrd->model());
        const int n = stored.size(), block = listing::ContactTableModel::kBlockRows;
        QVERIFY(model && !model->isDense());
        QCOMPARE(model->rowCount(), n);
        for (int r : {n - 1, n - block - 1, n / 2, n / 2 - 1, 0, block - 1, block, block + 1, 3 * block, 2 * block - 1, n - 2})
            QCOMPARE(model->index(r, 1).data().toString(), stored.value(r).value(1).toString());
    }

    // Typing, F2, Delete and double clicks change nothing, on screen or on disk.
    void gridIsReadOnly()
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
        QTest::mouseDClick(f.dbgrd->viewport(), Qt::LeftButton, {}, f.dbgrd->visualRect(f.dbgrd->model()->index(0, 2)).center());
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("xyz"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(f.dbgrd->model()->rowCount(), 3);
        QCOMPARE(f.dbgrd->model()->index(1, 1).data().toString(), QStringLiteral("2"));
        f.close();
        QCOMPARE(readRows(log), before);
    }

    void resizeRules_data()
    {
        QTest::addColumn<QSize>("request");  // outer size asked for, pixels
        QTest::addColumn<QSize>("expected"); // outer size after the rules
        QTest::newRow("initial size") << QSize(473, 408) << QSize(473, 408);
        QTest::newRow("too narrow") << QSize(150, 408) << QSize(292, 408);
        QTest::newRow("too low") << QSize(473, 60) << QSize(473, 100);
        QTest::newRow("too small both ways") << QSize(100, 40) << QSize(292, 100);
        QTest::newRow("exactly the smallest") << QSize(292, 100) << QSize(292, 100);
        QTest::newRow("enlarged") << QSize(900, 700) << QSize(900, 700);
    }
    void resizeRules()
    {
        QFETCH(QSize, request);
        QFETCH(QSize, expected);
        const QString log = file(QStringLiteral("resize-%1.adb").arg(QTest::currentDataTag()));
        makeLogFile(log, {sampleRow(1)});
        frmListe f(log);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const QSize frame = f.frameGeometry().size() - f.size();
        f.resize(request - frame);
        QTRY_COMPARE(f.frameGeometry().size(), expected);
        // Buttons: top H - 562.5 twips, lefts W - 3645 and W - 1822.5 (to the
        // nearest pixel), sizes kept; the grid stays where it is.
        const double W = f.width() * 15.0, H = f.height() * 15.0;
        QTRY_COMPARE(f.Command2->geometry(), QRect(QPoint(platform::px(W - 3645), platform::px(H - 562.5)), QSize(81, 25)));
        QCOMPARE(f.Command1->geometry(), QRect(QPoint(platform::px(W - 1822.5), platform::px(H - 562.5)), QSize(73, 25)));
        QCOMPARE(f.dbgrd->geometry(), QRect(0, 0, 473, 345));
    }

    void reopeningReadsTheFileAgain()
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
};

QTEST_MAIN(TestListing)
#include "test_listing.moc"
