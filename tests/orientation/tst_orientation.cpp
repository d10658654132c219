// Orientation window: needle tips, the single window and its reopening, the
// caption of Data2, bad reference files, and the reference database the build
// produces.
#include "Needle.h"
#include "RosePicture.h"
#include "frmOrientation.h"

#include "Engine.h"
#include "RecordSource.h"
#include "RecordSourceBar.h"
#include "TestSupport.h"

#include <QApplication>
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
        c->exec(QStringLiteral("INSERT INTO %1 VALUES (?1, ?2)").arg(platform::quoteIdentifier(table)), r);
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
    // between two towns of the same bearing; the arrows stop at both ends.
    void captionAndNeedleFollowEveryMove()
    {
        frmOrientation::setReferenceFile(makeReference(m_dir, kTowns));
        frmOrientation::showSingle();
        frmOrientation *w = frmOrientation::instance();
        QCOMPARE(w->picRose->Left, 727.5);
        const needle::Line &l = w->picRose->lneDirection;
        platform::RecordSourceBar *bar = w->Data2Bar;
        auto state = [&] {
            return QStringLiteral("%1 %2 (%3, %4)").arg(bar->captionText(), w->Label1->text()).arg(l.X2, 0, 'f', 1).arg(l.Y2, 0, 'f', 1);
        };
        QStringList seen{state()};
        for (QAbstractButton *b : {bar->nextButton(), bar->nextButton(), bar->nextButton(), bar->nextButton(),
                                   bar->nextButton(), bar->nextButton(), bar->previousButton(), bar->previousButton(),
                                   bar->firstButton(), bar->previousButton(), bar->lastButton()}) {
            b->click();
            seen << state();
        }
        const QString north = "Amiens 0 (1087.5, -0.5)", east = "Bastia 90 (2115.5, 1027.5)", south = "Dakar 180 (1087.5, 2055.5)",
                      southWest = "Évreux 225 (360.6, 1754.4)", west = "Foix 270 (59.5, 1027.5)";
        QCOMPARE(seen, (QStringList{north, east, "Caen 90 (2115.5, 1027.5)", south, southWest, west, west, southWest, south,
                                    north, north, west}));
        QCOMPARE(QPointF(l.X1, l.Y1), QPointF(1087.5, 1027.5)); // the centre stays put
    }

    void singleInstanceAndReopen()
    {
        frmOrientation::setReferenceFile(makeReference(m_dir, kTowns));
        frmOrientation::showSingle();
        QPointer<frmOrientation> first = frmOrientation::instance();
        first->Data2Bar->nextButton()->click();
        first->Data2Bar->nextButton()->click();
        QCOMPARE(first->Data2->caption(), QStringLiteral("Caen"));
        frmOrientation::showSingle();
        QCOMPARE(frmOrientation::instance(), first.data());
        int shown = 0;
        for (QWidget *t : QApplication::topLevelWidgets())
            shown += qobject_cast<frmOrientation *>(t) && !t->testAttribute(Qt::WA_WState_Hidden);
        QCOMPARE(shown, 1);
        QCOMPARE(first->Data2->caption(), QStringLiteral("Caen"));

        // "&Fermer" destroys the window; the next opening starts again.
        QTest::mouseClick(first->Command1, Qt::LeftButton);
        QTRY_VERIFY(first.isNull());
        frmOrientation::showSingle();
        QCOMPARE(frmOrientation::instance()->Data2->caption(), QStringLiteral("Amiens"));
        QCOMPARE(frmOrientation::instance()->Label1->text(), QStringLiteral("0"));
    }

    void badReference_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message"); // a word of the message; empty: no message
        QTest::newRow("missing file") << 0 << "introuvable";
        QTest::newRow("not a database") << 1 << "ne peut pas être lu";
        QTest::newRow("no table direction") << 2 << "« direction »";
        QTest::newRow("no column Degrés") << 3 << "« Degrés »";
        QTest::newRow("empty table") << 4 << "";
    }
    void badReference()
    {
        QFETCH(int, kind);
        QFETCH(QString, message);
        QString path;
        switch (kind) {
        case 0: path = m_dir.filePath(QStringLiteral("absent.mdb")); break;
        case 1: {
            QFile f(path = m_dir.filePath(QStringLiteral("text.mdb")));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(4096, 'x')) == 4096);
            break;
        }
        case 2: path = makeReference(m_dir, kTowns, QStringLiteral("villes")); break;
        case 3: path = makeReference(m_dir, kTowns, QStringLiteral("direction"), QStringLiteral("Cap")); break;
        case 4: path = makeReference(m_dir, {}); break;
        }
        frmOrientation::setReferenceFile(path);
        testsupport::PromptRecorder prompts;
        frmOrientation::showSingle();
        frmOrientation *w = frmOrientation::instance();
        QVERIFY(w);
        QCOMPARE(prompts.messages.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(prompts.messages[0].text.contains(message), qPrintable(prompts.messages[0].text));
        // The window stays usable, the needle at rest, the arrows harmless.
        const needle::Line &l = w->picRose->lneDirection;
        QCOMPARE(l.X2, l.X1);
        QCOMPARE(l.Y2, l.Y1);
        w->Data2Bar->nextButton()->click();
        w->Data2Bar->lastButton()->click();
        QCOMPARE(w->Data2Bar->captionText(), QString());
    }

    // The database built beside the program: every row readable, and the
    // bearings of three towns within a degree of the reference values.
    void builtDatabase()
    {
        platform::RecordSource src;
        src.setReadOnly(true);
        src.setDatabaseName(QCoreApplication::applicationDirPath() + QStringLiteral("/Orientation.mdb"));
        src.setRecordSource(QStringLiteral("direction"));
        src.setRequiredColumns({QStringLiteral("Villes"), QStringLiteral("Degrés")});
        QVERIFY(src.refresh());
        QHash<QString, int> bearings;
        for (bool more = src.hasCurrent(); more && !src.eof(); more = src.moveNext() && !src.eof()) {
            const QString name = src.value(QStringLiteral("Villes")).toString();
            const QVariant deg = src.value(QStringLiteral("Degrés"));
            QVERIFY2(!name.isEmpty() && platform::fitsWindows1252(name), qPrintable(name));
            QVERIFY2(deg.typeId() == QMetaType::LongLong && deg.toInt() >= 0 && deg.toInt() <= 359, qPrintable(name));
            bearings.insert(name, deg.toInt());
        }
        QVERIFY(bearings.size() >= 96 + 5 + 50);
        for (const auto &[town, reference] : {std::pair{"Marseille", 158}, {"New York", 292}, {"Tokyo", 33}}) {
            QVERIFY2(bearings.contains(town), town);
            const int diff = std::abs(bearings.value(town) - reference) % 360;
            QVERIFY2(std::min(diff, 360 - diff) <= 1, town);
        }
    }
};

QTEST_MAIN(TestOrientation)
#include "tst_orientation.moc"
