#include "SerialAllocator.h"

#include "Engine.h"
#include "Regional.h"

#include <cmath>
#include <limits>

std::optional<qint64> SerialAllocator::serialValue(const QString &text)
{
    const auto v = platform::parseNumber(text);
    if (!v || !std::isfinite(*v))
        return std::nullopt;
    const double r = std::nearbyint(*v); // the default rounding mode rounds halves to even
    if (r > double(std::numeric_limits<qint64>::max()) || r < double(std::numeric_limits<qint64>::min()))
        return std::nullopt;
    return static_cast<qint64>(r);
}

qint64 SerialAllocator::largest(platform::Connection *db, const QString &table)
{
    if (!db)
        return 0;
    bool ok = false;
    const qint64 version = db->scalar(QStringLiteral("PRAGMA data_version"), {}, &ok).toLongLong();
    if (db != m_db || !ok || version != m_dataVersion)
        m_largest.reset();
    if (m_largest)
        return *m_largest;

    const QString t = platform::quoteIdentifier(table);
    qint64 best = 0;
    // Plain digit strings, the usual case, are compared by the engine itself...
    const QVariant v = db->scalar(
        QStringLiteral("SELECT max(CAST(\"Sequanel\" AS INTEGER)) FROM %1 "
                       "WHERE length(\"Sequanel\") > 0 AND \"Sequanel\" NOT GLOB '*[^0-9]*'")
            .arg(t),
        {}, &ok);
    if (ok && !v.isNull())
        best = std::max(best, v.toLongLong());
    // ...and the few others (blanks, a sign, decimals) are read here in the
    // user's number notation.
    const auto others = db->rows(
        QStringLiteral("SELECT \"Sequanel\" FROM %1 WHERE \"Sequanel\" GLOB '*[^0-9]*'").arg(t), {}, &ok);
    for (const QVariantList &row : others)
        if (auto n = serialValue(row.value(0).toString()))
            best = std::max(best, *n);

    m_db = db;
    m_dataVersion = version;
    m_largest = best;
    return best;
}

void SerialAllocator::noteStored(const QString &serialText)
{
    if (!m_largest)
        return;
    if (auto n = serialValue(serialText))
        m_largest = std::max(*m_largest, *n);
}

void SerialAllocator::noteRemoved(const QString &serialText)
{
    if (!m_largest)
        return;
    if (auto n = serialValue(serialText); n && *n >= *m_largest)
        m_largest.reset();
}
