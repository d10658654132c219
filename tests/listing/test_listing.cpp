// The contact grid window and the printed listing, on real log files and
// through the real printing path to PDF files read back with pdftotext.
#include "ContactTableModel.h"
#include "Engine.h"
#include "Listing.h"
#include "Messages.h"
#include "PrintSurface.h"
#include "TestSupport.h"
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

} // namespace

class TestListing : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString file(const QString &name) const { return m_dir.filePath(name); }

private slots:
    // A listing of 150 contacts in the file's order, longer than a page, printed
    // twice from the grid window's button: the same document both times; the
    // title and the headings once, at the top; every contact once, each value
    // starting under its heading.
    void listingOfManyContacts()
    {
        const QString log = file("long.adb");
        QVector<Row> rows;
        for (int i = 1; i <= 150; ++i)
            rows << sampleRow(i * 37 % 151); // all of 1 to 150, out of order
        makeLogFile(log, rows);
        PromptRecorder prompts;
        frmListe f(log);
        QStringList texts;
        for (const QString &pdf : {file("press1.pdf"), file("press2.pdf")}) {
            PrinterScope printer(PrintTarget::pdfFile(pdf));
            QTest::mouseClick(f.Command2, Qt::LeftButton);
            QCOMPARE(f.windowTitle(), QStringLiteral("Liste des enregistrements"));
            texts << pdfText(pdf);
        }
        QVERIFY(prompts.messages.isEmpty());
        QCOMPARE(texts[1], texts[0]);
        const QString &text = texts[0];
        QVERIFY2(text.count(QLatin1Char('\f')) >= 2, "the listing should take more than one page");
        QCOMPARE(text.count(listing::kTitle), 1);
        QCOMPARE(text.count(QStringLiteral("Date et heure")), 1);
        const QString heading = text.split(QLatin1Char('\n')).filter(QStringLiteral("Date et heure")).value(0);
        QCOMPARE(words(heading).join(' '),
                 QStringLiteral("N°Sequ Date et heure Préf. Qrz1 Qrz2 Qrz3 N° Opéra. BP Ville Pays Bande Fréquence CP RST"));
        QVERIFY(text.indexOf(listing::kTitle) < text.indexOf(heading));
        const QStringList contacts = linesAfterHeadings(text);
        QCOMPARE(contacts.size(), 150);
        for (int i = 0; i < contacts.size(); ++i)
            QCOMPARE(words(contacts[i]).first(), QString::number((i + 1) * 37 % 151));
        for (const auto &[h, value] : {std::pair{"Ville", "Lyon"}, {"Pays", "France"}, {"RST", "59"}}) {
            const int col = heading.indexOf(QRegularExpression(QStringLiteral("\\b%1\\b").arg(h)));
            const int at = contacts[0].indexOf(QLatin1String(value), col - 3);
            QVERIFY2(qAbs(at - col) <= 2, qPrintable(QStringLiteral("%1 at %2, value at %3").arg(h).arg(col).arg(at)));
        }
    }

    // A contact holding only serial 42 and one value (with its megahertz for
    // a frequency): how that value prints, nothing more.
    void valueFormatting_data()
    {
        QTest::addColumn<int>("column"); // index in Transmission
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("printed");
        QTest::newRow("Qrz1 cut to 7") << 7 << QVariant("November") << "fr_FR" << "Novembe";
        QTest::newRow("Opérateur cut to 13") << 15 << QVariant("Jean-Christophe-Marc") << "fr_FR" << "Jean-Christop";
        QTest::newRow("CP cut to 5") << 13 << QVariant("6900012345") << "fr_FR" << "69000";
        QTest::newRow("Ville whole") << 12 << QVariant("Saint-Martin-du-Bois") << "fr_FR" << "Saint-Martin-du-Bois";
        QTest::newRow("date, French") << 0 << QVariant("1998-01-05 07:03:09") << "fr_FR" << "05/01/98 07:03:09";
        QTest::newRow("date, German separators") << 0 << QVariant("1998-01-05 17:03:09") << "de_DE" << "05.01.98 17:03:09";
        QTest::newRow("frequency 26.965") << 4 << QVariant(965) << "fr_FR" << "26.965";
        QTest::newRow("frequency 27.005") << 4 << QVariant(5) << "fr_FR" << "27.005";
        QTest::newRow("megahertz alone") << 3 << QVariant(27) << "fr_FR" << "27";
        QTest::newRow("hertz alone, three digits") << 4 << QVariant(5) << "fr_FR" << "005";
        QTest::newRow("Préfixe without leading zeros") << 6 << QVariant(7) << "fr_FR" << "7";
    }
    void valueFormatting()
    {
        QFETCH(int, column);
        QFETCH(QVariant, stored);
        QFETCH(QString, locale);
        QFETCH(QString, printed);
        LocaleScope scope{QLocale(locale)};
        Row r(16);
        r[1] = QStringLiteral("42");
        r[column] = stored;
        if (column == 4 && printed.contains(QLatin1Char('.')))
            r[3] = printed.startsWith(QStringLiteral("26")) ? 26 : 27;
        const QString log = file(QStringLiteral("fmt-%1.adb").arg(QTest::currentDataTag()));
        makeLogFile(log, {r});
        PrinterScope printer(PrintTarget::pdfFile(log + QStringLiteral(".pdf")));
        PromptRecorder prompts;
        QVERIFY(listing::printListing(nullptr, log) && prompts.messages.isEmpty());
        const QString line = linesAfterHeadings(pdfText(log + QStringLiteral(".pdf"))).join(QStringLiteral("  ")).simplified();
        QVERIFY2(line.startsWith(QStringLiteral("42 ")), qPrintable(line));
        QCOMPARE(words(line).mid(1).join(' '), printed); // nulls print as nothing
    }

    // A file that cannot be read prints nothing and says why, in French.
    void unreadableFile()
    {
        const QString log = file("pas-une-base.adb");
        QFile f(log);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(4096, 'x')) == 4096);
        f.close();
        PrinterScope printer(PrintTarget::pdfFile(log + QStringLiteral(".pdf")));
        PromptRecorder prompts;
        QVERIFY(!listing::printListing(nullptr, log));
        QCOMPARE(prompts.messages.size(), 1);
        QCOMPARE(englishIn(prompts.messages[0].text), QString());
    }

    // Without a printer the user is asked whether to save a PDF file instead;
    // declined, or the file dialog cancelled, nothing is printed. (Accepted:
    // the PDF listing of tests/faults.)
    void noPrinterOffersPdf()
    {
        const QString log = file(QStringLiteral("noprinter.adb"));
        makeLogFile(log, {sampleRow(7)});
        PrinterScope printer(std::nullopt);
        const QStringList pdfs = QDir(m_dir.path()).entryList({QStringLiteral("*.pdf")});
        for (const platform::Answer answer : {platform::Answer::No, platform::Answer::Yes}) {
            PromptRecorder prompts;
            prompts.answer = answer;
            frmListe f(log);
            f.Command2_Click();
            QCOMPARE(prompts.said(), QStringList{msg::noPrinterSavePdf()});
            QCOMPARE(prompts.messages[0].buttons, platform::MessageButtons::YesNo);
            QCOMPARE(prompts.fileRequests.size(), answer == platform::Answer::Yes ? 1 : 0);
            QVERIFY(prompts.fileRequests.isEmpty() || (prompts.fileRequests[0].save && prompts.fileRequests[0].confirmOverwrite));
            QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("*.pdf")}), pdfs);
        }
    }

    // The grid on a file with gaps in its row numbers: the on-demand model
    // finds the right contact for any row, jumping to the end first (as
    // Ctrl+End would) and then around block boundaries both ways; typing after
    // F2 or a double click changes nothing, on screen or on disk; opened
    // again, the window reads the file again.
    void grid()
    {
        const QString log = file("gaps.adb");
        makeLogFile(log);
        QVERIFY(rawExec(log, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1500) "
                                        "INSERT INTO Transmission (Date, Sequanel) SELECT '2024-03-01 10:00:00', CAST(i AS TEXT) FROM n")));
        QVERIFY(rawExec(log, QStringLiteral("DELETE FROM Transmission WHERE rowid % 7 = 0 OR rowid BETWEEN 250 AND 300")));
        const QVector<Row> stored = readRows(log);
        auto f = std::make_unique<frmListe>(log);
        auto *model = qobject_cast<listing::ContactTableModel *>(f->dbgrd->model());
        const int n = stored.size(), block = listing::ContactTableModel::kBlockRows;
        QVERIFY(model && !model->isDense());
        QCOMPARE(model->rowCount(), n);
        for (int r : {n - 1, n - block - 1, n / 2, n / 2 - 1, 0, block - 1, block, block + 1, 3 * block, 2 * block - 1, n - 2})
            QCOMPARE(model->index(r, 1).data().toString(), stored.value(r).value(1).toString());

        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        f->dbgrd->setFocus();
        f->dbgrd->setCurrentIndex(model->index(1, 1));
        QTest::keyClick(f->dbgrd, Qt::Key_F2);
        QTest::keyClicks(f->dbgrd, QStringLiteral("abc"));
        QTest::keyClick(f->dbgrd, Qt::Key_Return);
        QTest::mouseDClick(f->dbgrd->viewport(), Qt::LeftButton, {}, f->dbgrd->visualRect(model->index(0, 2)).center());
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("xyz"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(model->rowCount(), n);
        QCOMPARE(model->index(1, 1).data().toString(), QStringLiteral("2"));
        f.reset();
        QCOMPARE(readRows(log), stored);
        QVERIFY(rawExec(log, QStringLiteral("INSERT INTO Transmission (Sequanel) VALUES ('nouveau')")));
        frmListe again(log);
        QCOMPARE(again.dbgrd->model()->rowCount(), n + 1);
        QCOMPARE(again.dbgrd->model()->index(n, 1).data().toString(), QStringLiteral("nouveau"));
    }
};

QTEST_MAIN(TestListing)
#include "test_listing.moc"
