// The exported file in a real spreadsheet: LibreOffice, headless, opens it
// with its French CSV import settings and saves it as a flat ODS sheet, whose
// cells are read back.
//
// CTest label "spreadsheet". Without LibreOffice (soffice) the test reports
// itself skipped, unless SEQUANEL_SPREADSHEET=1 asks for it: it then fails.
#include "CsvExport.h"
#include "TestSupport.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

using namespace testsupport;

namespace {

// The cells of the first sheet of a flat ODS file: dates as their ISO value,
// numbers as their value, texts as shown (paragraphs joined by "\n").
QVector<QStringList> sheetCells(const QString &fods)
{
    QFile file(fods);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    QVector<QStringList> rows;
    while (!xml.atEnd() && !(xml.isEndElement() && xml.qualifiedName() == u"table:table")) {
        xml.readNext();
        if (xml.isStartElement() && xml.qualifiedName() == u"table:table-row")
            rows.append(QStringList());
        if (!xml.isStartElement() || xml.qualifiedName() != u"table:table-cell" || rows.isEmpty())
            continue;
        const auto a = xml.attributes();
        const QStringView type = a.value(QStringLiteral("office:value-type"));
        const int repeat = std::clamp(a.value(QStringLiteral("table:number-columns-repeated")).toInt(), 1, 64);
        QStringList paragraphs;
        while (xml.readNextStartElement())
            paragraphs << xml.readElementText(QXmlStreamReader::IncludeChildElements);
        const QString cell = type == u"date"    ? a.value(QStringLiteral("office:date-value")).toString()
                             : type == u"float" ? a.value(QStringLiteral("office:value")).toString()
                                                : paragraphs.join(QLatin1Char('\n'));
        for (int i = 0; i < repeat; ++i)
            rows.last() << cell;
    }
    for (QStringList &r : rows)
        while (!r.isEmpty() && r.last().isEmpty())
            r.removeLast();
    return rows;
}

} // namespace

class TestSpreadsheet : public QObject
{
    Q_OBJECT
private slots:
    // One contact holding what a spreadsheet could take for something else: a
    // date, a fraction, a formula, a number with a sign after it, leading
    // zeros; and separators, quotes and a line break inside values.
    void libreOfficeReadsTheSameCells()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("rallye.adb"));
        makeLogFile(log, {Row{"2024-12-31 23:59:59", "2", "5/9", 27, 995, "USB", QVariant(), "=1+1", "59+", "Hôtel", -12,
                              "il dit \"oui\"", "Saint-Étienne\nCedex", "01000", "Françe;€", "Zoë Œuvray"}});
        const QString csv = dir.filePath(QStringLiteral("rallye.csv"));
        const listing::ExportOutcome r = listing::exportContacts(log, csv);
        QVERIFY2(r.ok, qPrintable(r.message));

        // ";" separator, '"' quotes, UTF-8 (76), from line 1, standard columns,
        // French (France) language (1036): what the import dialog proposes to
        // a French user once ";" is ticked.
        QProcess office;
        office.setWorkingDirectory(dir.path());
        office.start("soffice", {"-env:UserInstallation=file://" + dir.filePath("profil"), "--headless",
                                 "--infilter=CSV:59,34,76,1,,1036", "--convert-to", "fods", "--outdir", dir.path(), csv});
        QVERIFY(office.waitForFinished(180000));
        QVERIFY2(office.exitCode() == 0, office.readAllStandardError().constData());

        const QVector<QStringList> cells = sheetCells(dir.filePath(QStringLiteral("rallye.fods")));
        QCOMPARE(cells.size(), 2);
        QCOMPARE(cells[1], QString::fromUtf8("2024-12-31T23:59:59|2|5/9|27|995|USB||'=1+1|59+|Hôtel|-12|il dit \"oui\"|"
                                             "Saint-Étienne\nCedex|01000|Françe;€|Zoë Œuvray")
                               .split(QLatin1Char('|')));
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()) {
        if (qEnvironmentVariable("SEQUANEL_SPREADSHEET") == QLatin1String("1")) {
            std::fprintf(stderr, "soffice not found, though SEQUANEL_SPREADSHEET=1 asks for this test\n");
            return 1;
        }
        std::fprintf(stderr, "soffice not found: skipped (SEQUANEL_SPREADSHEET=1 ./test.sh installs it)\n");
        return 77;
    }
    TestSpreadsheet t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_spreadsheet.moc"
