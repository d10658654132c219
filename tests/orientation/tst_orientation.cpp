// Orientation window: the single window walking the towns, the bearing and
// needle of each kind of reference file (good, odd, Jet and refused, and the one
// the build produces, every town of it against GeographicLib).
#include "Needle.h"
#include "RosePicture.h"
#include "frmOrientation.h"

#include "Engine.h"
#include "RecordSource.h"
#include "RecordSourceBar.h"
#include "TestSupport.h"
#include "jet_writer.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "Twips.h"

#include <GeographicLib/Geodesic.hpp>
#include <cmath>

namespace {

// A reference file written through the engine, like the build does; the
// bearing column is declared as given so that rows can hold text or nulls.
QString makeReference(const QTemporaryDir &dir, const QVector<QVariantList> &rows,
                      const QString &bearing = QStringLiteral("Degrés"))
{
    static int serial = 0;
    const QString path = dir.filePath(QStringLiteral("Orientation-%1.mdb").arg(++serial));
    const platform::TableDef def{QStringLiteral("direction"),
                                 {{QStringLiteral("Villes"), platform::ColumnType::Text, 50},
                                  {bearing, platform::ColumnType::SmallInt, 0}}};
    if (!platform::Connection::create(path, def, nullptr))
        qFatal("cannot create %s", qPrintable(path));
    auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, nullptr);
    for (const QVariantList &r : rows)
        c->exec("INSERT INTO direction VALUES (?1, ?2)", r);
    return path;
}

// The caption, the bearing shown and the needle's tip (in twips) of the window.
QString state(const frmOrientation *w)
{
    const needle::Line &l = w->picRose->lneDirection;
    return QStringLiteral("%1 %2 (%3, %4)")
        .arg(w->Data2Bar->captionText(), w->Label1->text())
        .arg(l.X2, 0, 'f', 1)
        .arg(l.Y2, 0, 'f', 1);
}

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

    // Caption, bearing and needle follow every move, also between two towns
    // of the same bearing; the arrows stop at both ends. A second opening
    // brings back the same window where it was; "&Fermer" destroys it and the
    // next opening starts again at the first town.
    void arrowsWalkTheTowns()
    {
        frmOrientation::setReferenceFile(makeReference(m_dir, {{"Amiens", 0}, {"Bastia", 90}, {"Caen", 90}, {"Dakar", 180},
                                                               {"Évreux", 225}, {"Foix", 270}}));
        frmOrientation::showSingle();
        QPointer<frmOrientation> w = frmOrientation::instance();
        platform::RecordSourceBar *bar = w->Data2Bar;
        QStringList seen{state(w)};
        // As kept: the rose, its needle on the first town; the window's
        // compass icon; the bar, two square buttons at each end, each left
        // arrow the mirror of its right twin, the outer ones marked by a bar.
        for (const auto &[picture, kept] : {std::pair{w->picRose->grab().toImage(), "rose"}, {w->windowIcon().pixmap(32).toImage(), "icon"},
                                            {bar->grab().toImage(), "bar"}})
            QCOMPARE(picture, testsupport::keptPicture(picture, QStringLiteral("orientation/layouts/%1.png").arg(kept)));
        QCOMPARE(testsupport::layoutChanges(w, QStringLiteral("orientation/layouts/frmOrientation.txt")), QString()); // (Tab passes the arrows by)
        for (const QChar m : QStringLiteral("NNNNNNPPFPL")) {
            QToolButton *b = m == 'N' ? bar->nextButton() : m == 'P' ? bar->previousButton()
                             : m == 'F' ? bar->firstButton() : bar->lastButton();
            b->click();
            seen << state(w);
        }
        const QString north = "Amiens 0 (1087.5, -0.5)", east = "Bastia 90 (2115.5, 1027.5)", south = "Dakar 180 (1087.5, 2055.5)",
                      southWest = "Évreux 225 (360.6, 1754.4)", west = "Foix 270 (59.5, 1027.5)";
        QCOMPARE(seen, (QStringList{north, east, "Caen 90 (2115.5, 1027.5)", south, southWest, west, west, southWest, south,
                                    north, north, west}));
        // The keyboard reaches every town from the bar, which has the focus:
        // arrows, Page Up/Down, Home, End, and the first letters of a name
        // (accents and case aside; a letter no town begins with changes nothing
        // but for a beep).
        testsupport::PromptRecorder prompts;
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QCOMPARE(QApplication::focusWidget(), bar);
        seen = {};
        for (const auto &[key, text] : {std::pair{Qt::Key_Home, ""}, {Qt::Key_Down, ""}, {Qt::Key_Right, ""}, {Qt::Key_Up, ""},
                                        {Qt::Key_PageDown, ""}, {Qt::Key_PageUp, ""}, {Qt::Key_End, ""}, {Qt::Key_E, "e"},
                                        {Qt::Key_Backspace, "\b"}, {Qt::Key_D, "d"}, {Qt::Key_Z, "z"}}) {
            if (key == Qt::Key_Backspace) // (a key of no letter is no search)
                QTest::qWait(1100); // a new search
            QTest::keyClick(bar, key, Qt::NoModifier, QLatin1String(text)[0].toLatin1());
            seen << state(w);
        }
        QCOMPARE(seen, (QStringList{north, east, "Caen 90 (2115.5, 1027.5)", east, west, north, west, southWest, southWest, south, south}));
        QCOMPARE(prompts.beeps, 1);
        QTest::keyClick(bar, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w->Command1);
        frmOrientation::showSingle();
        QCOMPARE(frmOrientation::instance(), w.data());
        QCOMPARE(state(w), south);
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        QTRY_VERIFY(w.isNull());
        frmOrientation::showSingle();
        QCOMPARE(state(frmOrientation::instance()), north);
    }

    // The database the build makes, walked town by town in the window: every
    // town of data/towns.tsv shown once, with the initial bearing from
    // Notre-Dame de Paris on the WGS 84 ellipsoid (GeographicLib) to the
    // nearest whole degree, from 0 to 359.
    void everyTownFromParis()
    {
        QFile list(QStringLiteral(SEQUANEL_SOURCE_DIR "/data/towns.tsv"));
        QVERIFY(list.open(QIODevice::ReadOnly | QIODevice::Text));
        QMap<QString, double> azimuth;
        for (const QString &line : QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'))) {
            const QStringList f = line.split(QLatin1Char('\t'));
            double azi1 = 0, azi2 = 0;
            if (f.size() != 3 || line.startsWith(QLatin1Char('#')))
                continue;
            GeographicLib::Geodesic::WGS84().Inverse(48.85297, 2.34990, f[1].toDouble(), f[2].toDouble(), azi1, azi2);
            azimuth[f[0].trimmed()] = azi1 < 0 ? azi1 + 360 : azi1;
        }
        frmOrientation::setReferenceFile(QCoreApplication::applicationDirPath() + QStringLiteral("/Orientation.mdb"));
        frmOrientation::showSingle();
        frmOrientation *w = frmOrientation::instance();
        QStringList wrong;
        for (qsizetype i = 0, n = azimuth.size(); i < n; ++i, w->Data2Bar->nextButton()->click()) {
            const QString town = w->Data2Bar->captionText(), shown = w->Label1->text();
            bool ok = false;
            const double bearing = shown.toInt(&ok), off = std::fabs(bearing - azimuth.value(town, -1000));
            if (!ok || bearing < 0 || bearing > 359 || std::min(off, 360 - off) > 0.5 + 1e-9 || !azimuth.remove(town))
                wrong << town + QLatin1Char(' ') + shown;
        }
        QCOMPARE(wrong, QStringList());
        QCOMPARE(azimuth.keys(), QStringList());
    }

    // The reason is given for each bad reference file; the window stays
    // usable, the needle at rest at the centre while there is nothing to
    // point at, the arrows harmless. A bearing that is not a number points
    // nowhere, though the town before had one; one with a fraction is shown
    // in the user's notation.
    void referenceFiles_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason"); // empty: no message
        QTest::addColumn<QString>("shown");  // the state once the arrows are used
        QFile text(m_dir.filePath(QStringLiteral("text.mdb")));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write(QByteArray(4096, 'x')) == 4096);
        const QString truncated = m_dir.filePath(QStringLiteral("truncated.mdb")), log = m_dir.filePath(QStringLiteral("log.mdb"));
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/Orientation.mdb"), truncated));
        QVERIFY(QFile::resize(truncated, 1000) && QDir().mkpath(m_dir.filePath(QStringLiteral("folder.mdb"))));
        testsupport::makeLogFile(log);
        const QString atRest = "  (1087.5, 1027.5)";
        QTest::newRow("missing file") << "fr_FR" << m_dir.filePath(QStringLiteral("absent.mdb")) << "est introuvable" << atRest;
        QTest::newRow("a folder") << "fr_FR" << m_dir.filePath(QStringLiteral("folder.mdb")) << "n'est pas disponible" << atRest;
        QTest::newRow("not a database") << "fr_FR" << text.fileName() << "ne peut pas être lu" << atRest;
        QTest::newRow("truncated") << "fr_FR" << truncated << "n'est pas disponible" << atRest;
        QTest::newRow("a log file") << "fr_FR" << log << "ne contient pas la table « direction »" << atRest;
        QTest::newRow("no column Degrés") << "fr_FR" << makeReference(m_dir, {{"Lyon", 45}}, "Cap")
                                          << "n'a pas de colonne « Degrés »" << atRest;
        QTest::newRow("empty table") << "fr_FR" << makeReference(m_dir, {}) << "" << atRest;
        QTest::newRow("bearing a word") << "fr_FR" << makeReference(m_dir, {{"Gap", 22.5}, {"Lyon", "nord-est"}}) << ""
                                        << "Lyon nord-est (1087.5, 1027.5)";
        QTest::newRow("fr fraction") << "fr_FR" << makeReference(m_dir, {{"Gap", 22.5}}) << "" << "Gap 22,5 (1480.9, 77.8)";
        // An operator's own Jet file, its bearing stored as a double, read
        // through the converter's child.
        const QString jet = m_dir.filePath(QStringLiteral("jet.mdb"));
        const jetwriter::Table t{"direction", {{"Villes", jetwriter::Type::Text, 50}, {"Degrés", jetwriter::Type::Double, 0}},
                                 {{{jetwriter::Value::text("Brest"), jetwriter::Value::num(270)}}}};
        QVERIFY(jetwriter::write(jet.toStdString(), {t}).empty());
        QTest::newRow("Jet file") << "fr_FR" << jet << "" << "Brest 270 (59.5, 1027.5)";
        QTest::newRow("en fraction") << "en_US" << makeReference(m_dir, {{"Gap", 22.5}}) << "" << "Gap 22.5 (1480.9, 77.8)";
    }
    void referenceFiles()
    {
        QFETCH(QString, locale);
        QFETCH(QString, path);
        QFETCH(QString, reason);
        QFETCH(QString, shown);
        testsupport::LocaleScope scope{QLocale(locale)};
        frmOrientation::setReferenceFile(path);
        testsupport::PromptRecorder prompts;
        frmOrientation::showSingle();
        frmOrientation *w = frmOrientation::instance();
        QCOMPARE(prompts.messages.size(), reason.isEmpty() ? 0 : 1);
        QVERIFY2(reason.isEmpty() || prompts.messages[0].text.contains(reason), qPrintable(prompts.messages.value(0).text));
        w->Data2Bar->nextButton()->click();
        w->Data2Bar->lastButton()->click();
        QCOMPARE(state(w), shown);
    }
};

QTEST_MAIN(TestOrientation)
#include "tst_orientation.moc"
