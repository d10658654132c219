// Builds the reference database of the orientation window from a list of
// towns: table "direction" with the town's name (Villes) and its bearing from
// Paris in whole degrees (Degrés), towns in French alphabetical order.
//
// The bearing is the initial azimuth of the geodesic from Notre-Dame de Paris
// to the town on the WGS 84 ellipsoid, clockwise from north, rounded to the
// nearest degree in 0..359.
//
//   make_orientation_db towns.tsv Orientation.mdb
//
// towns.tsv: UTF-8, one town a line, "name<TAB>latitude<TAB>longitude" in
// decimal degrees; blank lines and lines starting with '#' are skipped.
#include "Engine.h"

#include <GeographicLib/Geodesic.hpp>

#include <QCollator>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double parisLatitude = 48.85297;  // Notre-Dame de Paris
constexpr double parisLongitude = 2.34990;
constexpr int nameSize = 50;

struct Town {
    QString name;
    double latitude = 0, longitude = 0;
    int bearing = 0;
};

int fail(const QString &text)
{
    std::fprintf(stderr, "make_orientation_db: %s\n", qPrintable(text));
    return 1;
}

int bearingFromParis(double latitude, double longitude)
{
    const GeographicLib::Geodesic &wgs84 = GeographicLib::Geodesic::WGS84();
    double azi1 = 0, azi2 = 0;
    wgs84.Inverse(parisLatitude, parisLongitude, latitude, longitude, azi1, azi2);
    double degrees = std::fmod(azi1 + 360.0, 360.0);
    return static_cast<int>(std::lround(degrees)) % 360;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return fail(QStringLiteral("usage: make_orientation_db towns.tsv Orientation.mdb"));

    QFile in(args[1]);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(QStringLiteral("cannot read %1").arg(args[1]));
    QTextStream text(&in);
    text.setEncoding(QStringConverter::Utf8);

    QVector<Town> towns;
    QSet<QString> seen;
    int lineNumber = 0;
    while (!text.atEnd()) {
        const QString line = text.readLine();
        ++lineNumber;
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList f = line.split(QLatin1Char('\t'));
        bool okLat = false, okLon = false;
        Town t;
        if (f.size() == 3) {
            t.name = f[0].trimmed();
            t.latitude = f[1].toDouble(&okLat);
            t.longitude = f[2].toDouble(&okLon);
        }
        if (!okLat || !okLon || t.name.isEmpty() || std::abs(t.latitude) > 90 || std::abs(t.longitude) > 180)
            return fail(QStringLiteral("%1:%2: expected name, latitude, longitude").arg(args[1]).arg(lineNumber));
        if (t.name.size() > nameSize || !platform::fitsWindows1252(t.name))
            return fail(QStringLiteral("%1:%2: name too long or not Windows-1252").arg(args[1]).arg(lineNumber));
        if (seen.contains(t.name))
            return fail(QStringLiteral("%1:%2: %3 listed twice").arg(args[1]).arg(lineNumber).arg(t.name));
        seen.insert(t.name);
        t.bearing = bearingFromParis(t.latitude, t.longitude);
        towns << t;
    }
    if (towns.isEmpty())
        return fail(QStringLiteral("%1 lists no town").arg(args[1]));

    QCollator french(QLocale(QLocale::French, QLocale::France));
    french.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(towns.begin(), towns.end(),
                     [&](const Town &a, const Town &b) { return french.compare(a.name, b.name) < 0; });

    // Written beside the target and renamed at the end, so that an interrupted
    // build never leaves a half-filled database in place.
    const QString target = args[2];
    const QString partial = target + QStringLiteral(".part");
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::remove(partial);
    platform::TableDef table{QStringLiteral("direction"),
                             {{QStringLiteral("Villes"), platform::ColumnType::Text, nameSize},
                              {QStringLiteral("Degrés"), platform::ColumnType::SmallInt, 0}}};
    platform::EngineError error;
    if (!platform::Connection::create(partial, table, &error))
        return fail(QStringLiteral("cannot create %1: %2").arg(partial, error.text));
    {
        auto db = platform::Connection::open(partial, platform::OpenMode::ReadWrite, &error);
        if (!db)
            return fail(QStringLiteral("cannot open %1: %2").arg(partial, error.text));
        if (!db->begin())
            return fail(db->lastError().text);
        for (const Town &t : towns) {
            if (!db->exec("INSERT INTO direction (Villes, \"Degrés\") VALUES (?1, ?2)",
                          {t.name, t.bearing}))
                return fail(db->lastError().text);
        }
        if (!db->commit())
            return fail(db->lastError().text);
    }
    QFile::remove(target);
    if (!QFile::rename(partial, target))
        return fail(QStringLiteral("cannot write %1").arg(target));
    std::printf("%lld towns written to %s\n", static_cast<long long>(towns.size()), qPrintable(target));
    return 0;
}
