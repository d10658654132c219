// Orientation window: needle geometry, the single window and its lifecycle,
// the caption of Data2, bad reference files, and the reference database the
// build produces.
#include "Needle.h"
#include "RosePicture.h"
#include "frmOrientation.h"

#include "Engine.h"
#include "RecordSource.h"
#include "RecordSourceBar.h"
#include "TestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cmath>

namespace {

struct TownRow {
    QVariant name;
    QVariant bearing;
};

// A reference file written through the engine, like the build does; the
// bearing column is declared as given so that rows can hold text or nulls.
QString makeReference(const QTemporaryDir &dir, const QVector<TownRow> &rows,
                      const QString &table = QStringLiteral("direction"),
                      const QString &bearingColumn = QStringLiteral("Degrés"))
{
    static int serial = 0;
    const QString path = dir.filePath(QStringLiteral("Orientation-%1.mdb").arg(++serial));
    platform::TableDef def{table,
                           {{QStringLiteral("Villes"), platform::ColumnType::Text, 50},
                            {bearingColumn, platform::ColumnType::SmallInt, 0}}};
    platform::EngineError e;
    if (!platform::Connection::create(path, def, &e))
        qFatal("cannot create %s: %s", qPrintable(path), qPrintable(e.text));
    auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, &e);
    for (const TownRow &r : rows)
        c->exec(QStringLiteral("INSERT INTO %1 VALUES (?1, ?2)").arg(platform::quoteIdentifier(table)),
                {r.name, r.bearing});
    return path;
}

QVector<TownRow> sampleTowns()
{
    return {{QStringLiteral("Amiens"), 0},     {QStringLiteral("Bastia"), 90},  {QStringLiteral("Caen"), 90},
            {QStringLiteral("Dakar"), 180},    {QStringLiteral("Évreux"), 225}, {QStringLiteral("Foix"), 270}};
}

int topLevelOrientationWindows()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += qobject_cast<frmOrientation *>(w) && !w->testAttribute(Qt::WA_WState_Hidden) ? 1 : 0;
    return n;
}

void closeWindow()
{
    if (frmOrientation *w = frmOrientation::instance())
        w->close();
    QTRY_VERIFY(frmOrientation::instance() == nullptr);
}

} // namespace

class TestOrientation : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void cleanup()
    {
        closeWindow();
        frmOrientation::setReferenceFile(QString());
    }

    void needleLength_data()
    {
        QTest::addColumn<double>("height");
        QTest::addColumn<double>("length");
        QTest::newRow("2055 -> 1027.5 -> 1028") << 2055.0 << 1028.0;
        QTest::newRow("2057 -> 1028.5 -> 1028") << 2057.0 << 1028.0;
        QTest::newRow("2053 -> 1026.5 -> 1026") << 2053.0 << 1026.0;
        QTest::newRow("2051 -> 1025.5 -> 1026") << 2051.0 << 1026.0;
    }
    void needleLength()
    {
        QFETCH(double, height);
        QFETCH(double, length);
        QCOMPARE(needle::needleLength(height), length);
    }

    // The window's own needle for a town of each bearing.
    void needleTip_data()
    {
        QTest::addColumn<QString>("town");
        QTest::addColumn<float>("x2");
        QTest::addColumn<float>("y2");
        QTest::newRow("0 north, up to the top edge") << "Amiens" << 1087.5f << -0.5f;
        QTest::newRow("90 east") << "Bastia" << 2115.5f << 1027.5f;
        QTest::newRow("180 south") << "Dakar" << 1087.5f << 2055.5f;
        QTest::newRow("225 south-west") << "Évreux" << 360.5942f << 1754.4058f;
        QTest::newRow("270 west") << "Foix" << 59.5f << 1027.5f;
    }
    void needleTip()
    {
        QFETCH(QString, town);
        QFETCH(float, x2);
        QFETCH(float, y2);
        frmOrientation::setReferenceFile(makeReference(m_dir, sampleTowns()));
        frmOrientation::showSingle();
        frmOrientation *w = frmOrientation::instance();
        QVERIFY(w);
        QCOMPARE(w->picRose->Left, 727.5);
        while (w->Data2->caption() != town) {
            QVERIFY(!w->Data2->eof());
            w->Data2Bar->nextButton()->click();
        }
        const needle::Line &l = w->picRose->lneDirection;
        QCOMPARE(l.X1, 1087.5f);
        QCOMPARE(l.Y1, 1027.5f);
        QVERIFY2(std::abs(l.X2 - x2) < 0.01f && std::abs(l.Y2 - y2) < 0.01f,
                 qPrintable(QStringLiteral("tip %1, %2").arg(l.X2).arg(l.Y2)));
    }

    void layout()
    {
        frmOrientation::setReferenceFile(makeReference(m_dir, sampleTowns()));
        frmOrientation::showSingle();
        frmOrientation *w = frmOrientation::instance();
        QVERIFY(w->parentWidget() == nullptr);
        QVERIFY(w->Label2->fontMetrics().horizontalAdvance(w->Label2->text()) <= w->Label2->width());
        QCOMPARE(w->Label1->text(), QStringLiteral("0"));
        QCOMPARE(w->Data2Bar->captionText(), QStringLiteral("Amiens"));
    }

    void singleInstanceAndReopen()
    {
        frmOrientation::setReferenceFile(makeReference(m_dir, sampleTowns()));
        frmOrientation::showSingle();
        QPointer<frmOrientation> first = frmOrientation::instance();
        first->Data2Bar->nextButton()->click();
        first->Data2Bar->nextButton()->click();
        QCOMPARE(first->Data2->caption(), QStringLiteral("Caen"));
        frmOrientation::showSingle();
        QCOMPARE(frmOrientation::instance(), first.data());
        QCOMPARE(topLevelOrientationWindows(), 1);
        QCOMPARE(first->Data2->caption(), QStringLiteral("Caen"));

        // "&Fermer" destroys the window; the next opening starts again.
        QTest::mouseClick(first->Command1, Qt::LeftButton);
        QTRY_VERIFY(first.isNull());
        frmOrientation::showSingle();
        QCOMPARE(frmOrientation::instance()->Data2->caption(), QStringLiteral("Amiens"));
        QCOMPARE(frmOrientation::instance()->Label1->text(), QStringLiteral("0"));

        // Esc is the cancel button.
        QPointer<frmOrientation> second = frmOrientation::instance();
        QApplication::setActiveWindow(second);
        QVERIFY(QTest::qWaitForWindowActive(second));
        QTest::keyClick(second, Qt::Key_Escape);
        QTRY_VERIFY(second.isNull());
    }

    // The caption names the current town after every move, also between two
    // towns of the same bearing; the arrows stop at both ends.
    void captionFollowsEveryMove()
    {
        frmOrientation::setReferenceFile(makeReference(m_dir, sampleTowns()));
        frmOrientation::showSingle();
        frmOrientation *w = frmOrientation::instance();
        platform::RecordSourceBar *bar = w->Data2Bar;
        const QStringList forward{"Bastia", "Caen", "Dakar", "Évreux", "Foix", "Foix"};
        for (const QString &town : forward) {
            bar->nextButton()->click();
            QCOMPARE(bar->captionText(), town);
        }
        const QStringList back{"Évreux", "Dakar", "Caen", "Bastia", "Amiens", "Amiens"};
        for (const QString &town : back) {
            bar->previousButton()->click();
            QCOMPARE(bar->captionText(), town);
        }
        bar->lastButton()->click();
        QCOMPARE(bar->captionText(), QStringLiteral("Foix"));
        QCOMPARE(w->Label1->text(), QStringLiteral("270"));
        bar->firstButton()->click();
        QCOMPARE(bar->captionText(), QStringLiteral("Amiens"));
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
            path = m_dir.filePath(QStringLiteral("text.mdb"));
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
            break;
        }
        case 2: path = makeReference(m_dir, sampleTowns(), QStringLiteral("villes")); break;
        case 3: path = makeReference(m_dir, sampleTowns(), QStringLiteral("direction"), QStringLiteral("Cap")); break;
        case 4: path = makeReference(m_dir, {}); break;
        }
        frmOrientation::setReferenceFile(path);
        testsupport::PromptRecorder prompts;
        frmOrientation::showSingle();
        frmOrientation *w = frmOrientation::instance();
        QVERIFY(w);
        if (message.isEmpty()) {
            QCOMPARE(prompts.messages.size(), 0);
        } else {
            QCOMPARE(prompts.messages.size(), 1);
            QVERIFY2(prompts.messages[0].text.contains(message), qPrintable(prompts.messages[0].text));
        }
        // The window stays usable, the needle at rest, the arrows harmless.
        const needle::Line &l = w->picRose->lneDirection;
        QCOMPARE(l.X2, l.X1);
        QCOMPARE(l.Y2, l.Y1);
        w->Data2Bar->nextButton()->click();
        w->Data2Bar->lastButton()->click();
        QCOMPARE(w->Data2Bar->captionText(), QString());
    }

    // Towns whose bearing is missing or not a number: the name shows, the
    // needle rests; the next good town points again.
    void badBearings()
    {
        frmOrientation::setReferenceFile(makeReference(
            m_dir, {{QStringLiteral("Lille"), 2}, {QStringLiteral("Nulle part"), QVariant()},
                    {QStringLiteral("Ailleurs"), QStringLiteral("nord-est")}, {QStringLiteral("Nice"), 90}}));
        testsupport::PromptRecorder prompts;
        frmOrientation::showSingle();
        frmOrientation *w = frmOrientation::instance();
        const needle::Line &l = w->picRose->lneDirection;
        QVERIFY(l.X2 > l.X1 && l.Y2 < 1);
        w->Data2Bar->nextButton()->click();
        QCOMPARE(w->Data2Bar->captionText(), QStringLiteral("Nulle part"));
        QCOMPARE(l.X2, l.X1);
        QCOMPARE(l.Y2, l.Y1);
        w->Data2Bar->nextButton()->click();
        QCOMPARE(w->Data2Bar->captionText(), QStringLiteral("Ailleurs"));
        QCOMPARE(l.X2, l.X1);
        QCOMPARE(l.Y2, l.Y1);
        w->Data2Bar->nextButton()->click();
        QCOMPARE(l.X2, 2115.5f);
        QCOMPARE(prompts.messages.size(), 0);
    }

    // The database built beside the program.
    void builtBearings_data()
    {
        QTest::addColumn<QString>("town");
        QTest::addColumn<int>("reference");
        QTest::newRow("Marseille") << "Marseille" << 158;
        QTest::newRow("New York") << "New York" << 292;
        QTest::newRow("Tokyo") << "Tokyo" << 33;
    }
    void builtBearings()
    {
        QFETCH(QString, town);
        QFETCH(int, reference);
        platform::EngineError e;
        auto db = platform::Connection::open(QCoreApplication::applicationDirPath() + QStringLiteral("/Orientation.mdb"),
                                             platform::OpenMode::ReadOnly, &e);
        QVERIFY2(db, qPrintable(e.text));
        bool ok = false;
        const QVariant v = db->scalar(QStringLiteral("SELECT \"Degrés\" FROM direction WHERE Villes = ?1"), {town}, &ok);
        QVERIFY(ok && !v.isNull());
        int diff = std::abs(v.toInt() - reference) % 360;
        QVERIFY2(std::min(diff, 360 - diff) <= 1, qPrintable(v.toString()));
    }

    void builtDatabase()
    {
        const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/Orientation.mdb");
        platform::RecordSource src;
        src.setReadOnly(true);
        src.setDatabaseName(path);
        src.setRecordSource(QStringLiteral("direction"));
        src.setRequiredColumns({QStringLiteral("Villes"), QStringLiteral("Degrés")});
        QVERIFY(src.refresh());
        QStringList names;
        for (bool more = src.hasCurrent(); more && !src.eof(); more = src.moveNext() && !src.eof()) {
            const QString name = src.value(QStringLiteral("Villes")).toString();
            const QVariant deg = src.value(QStringLiteral("Degrés"));
            QVERIFY2(!name.isEmpty() && platform::fitsWindows1252(name), qPrintable(name));
            QCOMPARE(deg.typeId(), QMetaType::LongLong);
            QVERIFY2(deg.toInt() >= 0 && deg.toInt() <= 359, qPrintable(name));
            names << name;
        }
        QVERIFY(names.size() >= 96 + 5 + 50);
        for (const char *town : {"Ajaccio", "Bastia", "Bobigny", "Mende", "Basse-Terre", "Fort-de-France", "Cayenne",
                                 "Saint-Denis de la Réunion", "Mamoudzou", "Londres", "Alger", "Montréal", "Sydney"})
            QVERIFY2(names.contains(QString::fromUtf8(town)), town);
        // French order: accents and hyphens do not count at the first level.
        const QVector<QPair<const char *, const char *>> order{
            {"Châlons-en-Champagne", "Chambéry"}, {"Chambéry", "Charleville-Mézières"}, {"Dublin", "Épinal"},
            {"Épinal", "Évreux"}, {"Évreux", "Foix"}, {"Mâcon", "Madrid"}, {"Nevers", "Nîmes"}, {"Nîmes", "Niort"},
            {"Pau", "Pékin"}, {"Pékin", "Périgueux"}, {"Quimper", "Rabat"}};
        for (const auto &[a, b] : order) {
            const qsizetype ia = names.indexOf(QString::fromUtf8(a)), ib = names.indexOf(QString::fromUtf8(b));
            QVERIFY2(ia >= 0 && ib >= 0 && ia < ib, qPrintable(QStringLiteral("%1 < %2").arg(a, b)));
        }
    }
};

QTEST_MAIN(TestOrientation)
#include "tst_orientation.moc"
