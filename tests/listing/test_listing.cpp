// The contact grid window and the printed listing, on real log files and
// through the real printing path to PDF files read back with pdftotext.
#include "ContactTableModel.h"
#include "Engine.h"
#include "LogFile.h"
#include "Listing.h"
#include "Messages.h"
#include "PrintSurface.h"
#include "TestSupport.h"
#include "frmListe.h"

#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QScrollBar>
#include <QTest>

using namespace testsupport;
using platform::PrintTarget;

namespace {

// Makes the "default printer" a PDF file, or no printer at all, for a scope.
struct PrinterScope {
    explicit PrinterScope(std::optional<PrintTarget> printer) { platform::setDefaultPrinterOverride(printer); }
    ~PrinterScope() { platform::clearDefaultPrinterOverride(); }
};

// A word pdftotext -bbox finds on a page, and its box in points.
struct Word { double x0, y0, x1, y1; QString text; };

// The words of each page of a PDF file; *size: the pages' size.
QVector<QVector<Word>> pdfWords(const QString &path, QSizeF *size)
{
    const QString bbox =
        runProgram(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")}, 30000, QProcess::SeparateChannels).second;
    static const QRegularExpression tag(QStringLiteral("<page width=\"([\\d.]+)\" height=\"([\\d.]+)\"|<word xMin=\"([\\d.]+)\" "
                                                       "yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QVector<QVector<Word>> pages;
    for (const QRegularExpressionMatch &m : tag.globalMatch(bbox)) {
        if (m.capturedLength(1))
            *size = QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()), pages << QVector<Word>();
        else
            pages.last() << Word{m.captured(3).toDouble(), m.captured(4).toDouble(), m.captured(5).toDouble(), m.captured(6).toDouble(),
                                 m.captured(7).replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&apos;", "'").replace("&amp;", "&")};
    }
    return pages;
}

// Puts text into line from a column on, widening the line as needed.
void place(QString &line, qsizetype column, const QString &text)
{
    line = line.leftJustified(column + text.size(), QLatin1Char(' ')).replace(column, text.size(), text);
}

} // namespace

class TestListing : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString file(const QString &name) const { return m_dir.filePath(name); }

private slots:
    // A listing of 300 generated contacts (seed: SEQUANEL_SEED) with long
    // values, the first twelve with the longest value of every column and a
    // date in each month, printed from the grid window's button in a French
    // locale and read back word by word with their boxes: every word inside
    // the printable area (margins equal on all sides, the left one where the
    // headings begin); the title and the headings once, at the top; then every
    // contact once, in the file's order, each value whole under its heading
    // (its print column worked out from its position; a null as nothing, the
    // date with the locale's separators, the kilohertz and the call sign's
    // number with three digits), kColumnGap blank columns at least after the
    // value before it on the line, or else on the next line; every page but
    // the last full.
    void listingPages()
    {
        LocaleScope locale{QLocale(QLocale::French, QLocale::France)};
        const quint32 seed = testSeed(1998);
        QRandomGenerator rng(seed);
        const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyzéèàçôÉŒœ€’0123456789-./;,'\"=+@<&  ");
        QVector<Row> rows(300, Row(16));
        for (int i = 0; i < rows.size(); ++i)
            for (int c = 0; c < 16; ++c) {
                const platform::ColumnDef &def = logfile::transmission().columns[c];
                const bool longest = i < 12;
                QString t;
                for (int n = def.type != platform::ColumnType::Text ? 0 : longest || rng.bounded(2) ? def.size : rng.bounded(def.size); n > 0; --n)
                    t += longest ? QChar(u"WMNOQ"[n % 5]) : alphabet[rng.bounded(alphabet.size())];
                const QDateTime d = longest ? QDateTime(QDate(2026, i + 1, 28), QTime(23, 59, 59))
                                            : QDateTime(QDate(1990, 1, 1).addDays(rng.bounded(15000)), QTime(0, 0).addSecs(rng.bounded(86400)));
                if (longest && def.type == platform::ColumnType::SmallInt)
                    rows[i][c] = -32768;
                else if (c == 1 || longest || rng.bounded(12))
                    rows[i][c] = c == 0 ? QVariant(d.toString("yyyy-MM-dd HH:mm:ss")) : c == 1 ? QVariant(QString::number(i + 1))
                                 : def.type == platform::ColumnType::Text ? QVariant(t) : c == 3 ? QVariant(rng.bounded(26, 28))
                                 : QVariant(c == 4 ? rng.bounded(1000) : rng.bounded(-32768, 32768));
            }
        // A contact holding only its number, then one without a number: each
        // on a line of its own, though the second begins past the first's end.
        rows[12] = Row(16);
        rows[12][1] = QStringLiteral("13");
        rows[13][1] = QVariant();
        const QString log = file("long.adb"), pdf = file("long.pdf");
        makeLogFile(log, rows);
        PromptRecorder prompts;
        frmListe f(log);
        PrinterScope printer(PrintTarget::pdfFile(pdf));
        QTest::mouseClick(f.Command2, Qt::LeftButton);
        QVERIFY(prompts.messages.isEmpty() && f.windowTitle() == QStringLiteral("Liste des enregistrements"));

        QStringList expected{listing::kTitle, QString()};
        for (const listing::PrintColumn &c : listing::printColumns())
            place(expected[1], c.column - 1, c.heading);
        // Each column has room for its values, then the gap, before the next.
        const QVector<listing::PrintColumn> &columns = listing::printColumns();
        for (int i = 0; i + 1 < columns.size(); ++i)
            QCOMPARE(columns[i].column + columns[i].width + listing::kColumnGap, columns[i + 1].column);
        // The headings where the listing's layout puts them, a character a column.
        QCOMPARE(expected[1], QStringLiteral("N°Sequ  Date et heure      Préf.  Qrz1       Qrz2       Qrz3       N°     Opéra.   "
                                             "      BP          Ville                 Pays                  Bande  Fréquence  CP      RST"));
        auto digits = [](const QVariant &v) { // three at least, from 0 to 999
            return v.isNull() ? QString() : v.toInt() >= 0 && v.toInt() <= 999 ? QStringLiteral("%1").arg(v.toInt(), 3, 10, QLatin1Char('0')) : v.toString();
        };
        for (const Row &r : rows) {
            QStringList lines{QString()};
            qsizetype end = -1; // where the last value printed on the line ends
            for (const listing::PrintColumn &c : listing::printColumns()) {
                const int at = logfile::columnNames().indexOf(c.field);
                const QString m = r[3].toString(), h = digits(r[4]);
                const QString text = at < 0 ? m + (m.isEmpty() || h.isEmpty() ? "" : ".") + h
                                     : at == 0 && !r[0].isNull() ? QDateTime::fromString(r[0].toString(), "yyyy-MM-dd HH:mm:ss").toString("dd/MM/yy HH:mm:ss")
                                     : at == 10 ? digits(r[at]) : r[at].toString();
                if (text.isEmpty())
                    continue;
                if (end >= 0 && end + listing::kColumnGap > c.column - 1)
                    lines << QString(), end = -1;
                place(lines.last(), c.column - 1, text);
                end = c.column - 1 + text.size();
            }
            for (QString &line : lines) {
                while (line.endsWith(QLatin1Char(' ')))
                    line.chop(1);
                expected << line;
            }
        }

        QSizeF page;
        const QVector<QVector<Word>> pages = pdfWords(pdf, &page);
        QVERIFY2(pages.size() >= 5 && pages[0].size() > 20, qPrintable(QStringLiteral("%1 pages").arg(pages.size())));
        auto first = [&](const QString &t) { return *std::find_if(pages[0].cbegin(), pages[0].cend(), [&](const Word &w) { return w.text == t; }); };
        const double margin = first(QStringLiteral("N°Sequ")).x0, column = (first(QStringLiteral("Date")).x0 - margin) / 8;
        // The title and the headings as kept in listing/layouts/ (their faces: only the title bold).
        runProgram(QStringLiteral("pdftoppm"), {"-png", "-singlefile", "-r", "72", "-H", QString::number(qCeil(first("N°Sequ").y1) + 2), pdf, file("haut")}, 30000);
        QCOMPARE(QImage(file("haut.png")), testsupport::keptPicture(QImage(file("haut.png")), QStringLiteral("listing/layouts/headings.png")));
        QStringList lines;
        double lineHeight = 0;
        for (int n = 0; n < pages.size(); ++n) {
            QMap<int, QString> onPage; // by the line's top, in tenths of a point
            double bottom = 0;
            for (const Word &w : pages[n]) {
                QVERIFY2(w.x0 >= margin - 0.5 && w.x1 <= page.width() - margin + 0.5 && w.y0 >= margin - 1 && w.y1 <= page.height() - margin + 0.5,
                         qPrintable(QStringLiteral("page %1: \"%2\" at (%3, %4)-(%5, %6), margin %7").arg(n + 1).arg(w.text).arg(w.x0).arg(w.y0).arg(w.x1).arg(w.y1).arg(margin)));
                QString &line = onPage[qRound(w.y0 * 10)];
                if (n == 0 && onPage.size() == 1)
                    line += (line.isEmpty() ? "" : " ") + w.text; // the title, in a larger type
                else
                    place(line, qRound((w.x0 - margin) / column), w.text);
                bottom = std::max(bottom, w.y1);
            }
            lineHeight = onPage.size() > 2 ? (onPage.lastKey() - *std::prev(onPage.keyEnd(), 2)) / 10.0 : lineHeight;
            if (n == 0) { // two blank lines between the headings and the first contact
                const QList<int> tops = onPage.keys();
                QVERIFY2(qAbs((tops[2] - tops[1]) / 10.0 - 3 * lineHeight) < 0.5, qPrintable(QStringLiteral("%1 %2").arg(tops[2] - tops[1]).arg(lineHeight)));
            }
            QVERIFY2(n == pages.size() - 1 || bottom > page.height() - margin - lineHeight, qPrintable(QStringLiteral("page %1 ends at %2").arg(n + 1).arg(bottom)));
            lines += onPage.values();
        }
        for (int i = 0; i < std::max(lines.size(), expected.size()); ++i)
            QVERIFY2(lines.value(i) == expected.value(i),
                     qPrintable(QStringLiteral("seed %1, line %2:\n  printed  \"%3\"\n  expected \"%4\"").arg(seed).arg(i).arg(lines.value(i), expected.value(i))));
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
            QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("*.pdf")}), pdfs);
        }
        // A log gone, or made a file that is none, since its window opened: said, nothing printed.
        PrinterScope pdf(PrintTarget::pdfFile(file(QStringLiteral("jamais.pdf"))));
        frmListe f(log);
        for (bool none : {false, true}) {
            PromptRecorder prompts;
            QFile gone(log);
            QVERIFY(none ? gone.open(QIODevice::WriteOnly) && gone.write(QByteArray(4096, 'x')) : gone.remove());
            gone.close();
            f.Command2_Click();
            QCOMPARE(prompts.said().size(), 1);
            QVERIFY(prompts.said()[0].startsWith(msg::listingCannotRead().section("%2", 0, 0).arg(log)));
            QVERIFY(!QFile::exists(file(QStringLiteral("jamais.pdf"))));
        }
        // A shared log whose server does not answer is said to be one.
        PromptRecorder prompts;
        const QString away = QStringLiteral("postgresql://localhost:1/postgres?journal=absent");
        QVERIFY(!listing::printListing(nullptr, away));
        QCOMPARE(prompts.said(), QStringList{msg::listingCannotReadShared().arg(platform::logDisplayName(away), msg::serverUnreachable())});
        // A listing the printer could not take (a PDF file in a folder that
        // is not there): said, and not reported printed.
        prompts.clear();
        const QString sound = file(QStringLiteral("imprimable.adb"));
        makeLogFile(sound, {sampleRow(7)});
        PrinterScope nowhere(PrintTarget::pdfFile(file(QStringLiteral("absent/liste.pdf"))));
        QVERIFY(!listing::printListing(nullptr, sound));
        QCOMPARE(prompts.said().size(), 1);
        QVERIFY2(prompts.said()[0].startsWith(msg::listingNotPrinted().section("%1", 0, 0)), qPrintable(prompts.said()[0]));
    }

    // The grid on a file with gaps in its row numbers: the on-demand model
    // finds the right contact for any row (the kilohertz and the call sign's
    // number shown with three digits), jumping to the end first (as
    // Ctrl+End would) and then around block boundaries both ways; typing after
    // F2 or a double click changes nothing, on screen or on disk; opened
    // again, the window reads the file again. Every control carries its
    // name, and the window is as kept in listing/layouts/frmListe.txt; shrunk
    // below four of its buttons, in width then in height, it comes back to
    // exactly that.
    void grid()
    {
        const QString log = file("gaps.adb");
        makeLogFile(log);
        QCOMPARE(frmListe(log).dbgrd->model()->rowCount(), 0); // (an empty log: no row at all)
        QVERIFY(rawExec(log, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1500) "
                                        "INSERT INTO Transmission (Date, Sequanel, Hertz, \"N°\") SELECT '2024-03-01 10:00:00', CAST(i AS TEXT), "
                                        "i * 10 % 1000, i % 1500 FROM n")));
        QVERIFY(rawExec(log, QStringLiteral("DELETE FROM Transmission WHERE rowid % 7 = 0 OR rowid BETWEEN 250 AND 300")));
        const QVector<Row> stored = readRows(log);
        auto f = std::make_unique<frmListe>(log);
        QVERIFY(!f->windowIcon().isNull()); // (its own: the tests set no program icon)
        auto *model = qobject_cast<listing::ContactTableModel *>(f->dbgrd->model());
        const int n = stored.size(), block = listing::ContactTableModel::kBlockRows;
        QVERIFY(model && !model->isDense());
        QCOMPARE(model->rowCount(), n);
        QCOMPARE(model->index(n - 1, 1).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::black)); // (whatever the desktop's colours)
        // (the kilohertz and the call sign's number with three digits, as the form shows them)
        auto three = [](const QVariant &v) { return v.toInt() < 1000 ? QStringLiteral("%1").arg(v.toInt(), 3, 10, QLatin1Char('0')) : v.toString(); };
        for (int r : {n - 1, n - block - 1, n / 2, n / 2 - 1, 0, block - 1, block, block + 1, 3 * block, 2 * block - 1, n - 2})
            QCOMPARE(QStringList({model->index(r, 1).data().toString(), model->index(r, 4).data().toString(), model->index(r, 10).data().toString()}),
                     QStringList({stored.value(r).value(1).toString(), three(stored.value(r).value(4)), three(stored.value(r).value(10))}));

        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        QCOMPARE(testsupport::unnamedControls(f.get()) + testsupport::misplacedControls(f.get()), QStringList());
        QCOMPARE(testsupport::layoutChanges(f.get(), QStringLiteral("listing/layouts/frmListe.txt")), QString());
        f->dbgrd->setFocus();
        f->dbgrd->setCurrentIndex(model->index(1, 1));
        // Right and Left scroll the grid sideways, the current cell staying.
        QScrollBar *across = f->dbgrd->horizontalScrollBar();
        across->setValue(1);
        QTest::keyClick(f->dbgrd, Qt::Key_Right);
        const int right = across->value(), column = f->dbgrd->currentIndex().column();
        QTest::keyClick(f->dbgrd, Qt::Key_Left);
        QVERIFY(right > 1);
        QCOMPARE(QList<int>({across->value(), column, f->dbgrd->currentIndex().column()}), QList<int>({1, 1, 1}));
        // Down scrolls the grid down only, the current cell staying; Tab on a row's last cell leaves the grid.
        const int top = f->dbgrd->verticalScrollBar()->value();
        QTest::keyClick(f->dbgrd, Qt::Key_Down);
        QVERIFY(f->dbgrd->verticalScrollBar()->value() > top && across->value() == 1 && f->dbgrd->currentIndex() == model->index(1, 1));
        f->dbgrd->setCurrentIndex(model->index(1, model->columnCount() - 1));
        QTest::keyClick(f->dbgrd, Qt::Key_Tab);
        QVERIFY(!f->dbgrd->hasFocus());
        f->dbgrd->setFocus();
        f->dbgrd->setCurrentIndex(model->index(1, 1));
        QCOMPARE(model->headerData(0, Qt::Vertical).toString() + '|' + model->headerData(1, Qt::Vertical).toString(), "|▶");
        QTest::keyClick(f->dbgrd, Qt::Key_F2);
        QTest::keyClicks(f->dbgrd, QStringLiteral("abc"));
        QTest::keyClick(f->dbgrd, Qt::Key_Return);
        QTest::mouseDClick(f->dbgrd->viewport(), Qt::LeftButton, {}, f->dbgrd->visualRect(model->index(0, 2)).center());
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("xyz"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(model->rowCount(), n);
        QCOMPARE(model->index(1, 1).data().toString(), QStringLiteral("2"));
        const int frameW = f->frameGeometry().width() - f->width(), frameH = f->frameGeometry().height() - f->height();
        f->resize(10, f->height());
        QTRY_COMPARE(f->width(), 4 * f->Command1->width() - frameW);
        f->resize(f->width(), 10);
        QTRY_COMPARE(f->height(), 4 * f->Command1->height() - frameH);
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
