// Orientation window: needle tips and the caption of Data2, the single window
// and its reopening, bad reference files, and the reference database the
// build produces.
#include "Needle.h"
#include "RosePicture.h"
#include "frmOrientation.h"

#include "Engine.h"
#include "RecordSource.h"
#include "RecordSourceBar.h"
#include "TestSupport.h"

#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <cmath>

namespace {

// A reference file written through the engine, like the build does; the
// bearing column is declared as given so that rows can hold text or nulls.
QString makeReference(const QTemporaryDir &dir, const QVector<QVariantList> &rows,
                      const QString &table = QStringLiteral("direction"), const QString &bearing = QStringLiteral("Degrés"))
{
    static int serial = 0;
    const QString path = dir.filePath(QStringLiteral("Orientation-%1.mdb").arg(++serial));
    platform::TableDef def{table, {{QStringLiteral("Villes"), platform::ColumnType::Text, 50}, {bearing, platform::ColumnType::SmallInt, 0}}};
    if (!platform::Connection::create(path, def, nullptr))
        qFatal("cannot create %s", qPrintable(path));
    auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, nullptr);
    for (const QVariantList &r : rows)
        c->exec(platform::Sql("INSERT INTO %1 VALUES (?1, ?2)").arg(platform::Identifier(table)), r);
    return path;
}

const QVector<QVariantList> kTowns{{"Amiens", 0}, {"Bastia", 90}, {"Caen", 90}, {"Dakar", 180}, {"Évreux", 225}, {"Foix", 270}};

} // namespace

class TestOrientation : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void cleanup()
    {
        if (frmOrientation *w = frmOrientation::instance())
            w->close();
        QTRY_VERIFY(frmOrientation::instance() == nullptr);
        frmOrientation::setReferenceFile(QString());
    }

    // The caption, the bearing and the needle's tip follow every move, also
    // between two towns of the same bearing; the arrows stop at both ends. A
    // second opening brings back the same window where it was; "&Fermer"
    // destroys it and the next opening starts again.
    void captionAndNeedleFollowEveryMove()
    {
        frmOrientation::setReferenceFile(makeReference(m_dir, kTowns));
        frmOrientation::showSingle();
        QPointer<frmOrientation> w = frmOrientation::instance();
        const needle::Line &l = w->picRose->lneDirection;
        platform::RecordSourceBar *bar = w->Data2Bar;
        auto state = [&] {
            return QStringLiteral("%1 %2 (%3, %4)").arg(bar->captionText(), w->Label1->text()).arg(l.X2, 0, 'f', 1).arg(l.Y2, 0, 'f', 1);
        };
        QStringList seen{state()};
        for (const QChar m : QStringLiteral("NNNNNNPPFPL")) {
            (m == 'N' ? bar->nextButton() : m == 'P' ? bar->previousButton() : m == 'F' ? bar->firstButton() : bar->lastButton())->click();
            seen << state();
        }
        const QString north = "Amiens 0 (1087.5, -0.5)", east = "Bastia 90 (2115.5, 1027.5)", south = "Dakar 180 (1087.5, 2055.5)",
                      southWest = "Évreux 225 (360.6, 1754.4)", west = "Foix 270 (59.5, 1027.5)";
        QCOMPARE(seen, (QStringList{north, east, "Caen 90 (2115.5, 1027.5)", south, southWest, west, west, southWest, south,
                                    north, north, west}));
        QCOMPARE(QPointF(l.X1, l.Y1), QPointF(1087.5, 1027.5)); // the centre stays put

        frmOrientation::showSingle();
        QCOMPARE(frmOrientation::instance(), w.data());
        QCOMPARE(w->Data2->caption(), QStringLiteral("Foix"));
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        QTRY_VERIFY(w.isNull());
        frmOrientation::showSingle();
        QCOMPARE(frmOrientation::instance()->Data2->caption() + frmOrientation::instance()->Label1->text(), QStringLiteral("Amiens0"));
    }

    // A bearing with a fraction is shown in the user's notation and points
    // the needle.
    void fractionalBearing_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("shown");
        QTest::newRow("fr") << "fr_FR" << "22,5";
        QTest::newRow("en") << "en_US" << "22.5";
    }
    void fractionalBearing()
    {
        QFETCH(QString, locale);
        QFETCH(QString, shown);
        testsupport::LocaleScope scope{QLocale(locale)};
        frmOrientation::setReferenceFile(makeReference(m_dir, {{"Gap", 22.5}}));
        frmOrientation::showSingle();
        frmOrientation *w = frmOrientation::instance();
        QCOMPARE(w->Label1->text(), shown);
        const needle::Line &l = w->picRose->lneDirection;
        QCOMPARE(qRound(std::atan2(l.X2 - l.X1, l.Y1 - l.Y2) * 1800 / M_PI), 225);
    }

    // The reason is given for each bad reference file; the window stays
    // usable, the needle at rest while there is nothing to point at, the
    // arrows harmless. A bearing that is not a number points nowhere.
    void badReference_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason"); // empty: no message
        QTest::addColumn<QString>("town");   // the caption once the arrows are used
        QFile text(m_dir.filePath(QStringLiteral("text.mdb")));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write(QByteArray(4096, 'x')) == 4096);
        const QString truncated = m_dir.filePath(QStringLiteral("truncated.mdb")), log = m_dir.filePath(QStringLiteral("log.mdb"));
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/Orientation.mdb"), truncated));
        QVERIFY(QFile::resize(truncated, 1000) && QDir().mkpath(m_dir.filePath(QStringLiteral("folder.mdb"))));
        testsupport::makeLogFile(log);
        QTest::newRow("missing file") << m_dir.filePath(QStringLiteral("absent.mdb")) << "est introuvable" << "";
        QTest::newRow("a folder") << m_dir.filePath(QStringLiteral("folder.mdb")) << "n'est pas disponible" << "";
        QTest::newRow("not a database") << text.fileName() << "ne peut pas être lu" << "";
        QTest::newRow("truncated") << truncated << "n'est pas disponible" << "";
        QTest::newRow("a log file") << log << "ne contient pas la table « direction »" << "";
        QTest::newRow("no column Degrés") << makeReference(m_dir, kTowns, "direction", "Cap") << "n'a pas de colonne « Degrés »" << "";
        QTest::newRow("empty table") << makeReference(m_dir, {}) << "" << "";
        QTest::newRow("bearing a word") << makeReference(m_dir, {{"Lyon", "nord-est"}}) << "" << "Lyon";
        QTest::newRow("bearing infinite") << makeReference(m_dir, {{"Lyon", "1e999"}}) << "" << "Lyon";
    }
    void badReference()
    {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        QFETCH(QString, town);
        frmOrientation::setReferenceFile(path);
        testsupport::PromptRecorder prompts;
        frmOrientation::showSingle();
        frmOrientation *w = frmOrientation::instance();
        QCOMPARE(prompts.messages.size(), reason.isEmpty() ? 0 : 1);
        QVERIFY2(reason.isEmpty() || prompts.messages[0].text.contains(reason), qPrintable(prompts.messages.value(0).text));
        const needle::Line &l = w->picRose->lneDirection;
        QCOMPARE(QPointF(l.X2, l.Y2), QPointF(l.X1, l.Y1));
        w->Data2Bar->nextButton()->click();
        w->Data2Bar->lastButton()->click();
        QCOMPARE(w->Data2Bar->captionText(), town);
        QCOMPARE(QPointF(l.X2, l.Y2), QPointF(l.X1, l.Y1));
    }

    // The database built beside the program: every row readable, and the
    // bearings of three towns within a degree of the reference values.
    void builtDatabase()
    {
        auto c = platform::Connection::open(QCoreApplication::applicationDirPath() + QStringLiteral("/Orientation.mdb"),
                                            platform::OpenMode::ReadOnly, nullptr);
        QVERIFY(c);
        QHash<QString, int> bearings;
        for (const QVariantList &r : c->rows("SELECT Villes, \"Degrés\" FROM direction")) {
            const QString name = r.value(0).toString();
            QVERIFY2(!name.isEmpty() && platform::fitsWindows1252(name), qPrintable(name));
            QVERIFY2(r.value(1).typeId() == QMetaType::LongLong && r.value(1).toInt() >= 0 && r.value(1).toInt() <= 359, qPrintable(name));
            bearings.insert(name, r.value(1).toInt());
        }
        QCOMPARE(bearings.size(), 287);
        for (const auto &[town, reference] : {std::pair{"Marseille", 158}, {"New York", 292}, {"Tokyo", 33},
                                              {"Vienne (Autriche)", 89}, {"Saint-Pierre (La Réunion)", 131}}) {
            QVERIFY2(bearings.contains(town), town);
            const int diff = std::abs(bearings.value(town) - reference) % 360;
            QVERIFY2(std::min(diff, 360 - diff) <= 1, town);
        }
    }
};

QTEST_MAIN(TestOrientation)
#include "tst_orientation.moc"
