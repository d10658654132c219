#include "LogStatistics.h"

#include "Engine.h"
#include "LogIndex.h"
#include "frmOrientation.h"

#include <QPointer>
#include <QtConcurrent>

namespace statistics {

namespace {

QPointer<LogStatistics> s_current;

// The towns of the orientation window's reference database. A file that
// cannot be read (or is an old Jet file) leaves every town unknown.
Bearings readBearings(const QString &path)
{
    Bearings out;
    platform::EngineError e;
    auto db = platform::Connection::open(path, platform::OpenMode::ReadOnly, &e);
    if (!db)
        return out;
    bool ok = false;
    const auto rows = db->rows("SELECT \"Villes\", \"Degrés\" FROM \"direction\"", {}, &ok);
    for (const QVariantList &row : rows) {
        bool number = false;
        const double degrees = row.value(1).toDouble(&number);
        const QString key = townKey(row.value(0).toString());
        if (number && !key.isEmpty())
            out.insert(key, degrees);
    }
    return out;
}

} // namespace

LogStatistics::LogStatistics(QObject *parent) : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
    m_kick.setSingleShot(true);
    m_kick.setInterval(0);
    connect(&m_kick, &QTimer::timeout, this, &LogStatistics::start);
    connect(&m_watcher, &QFutureWatcher<std::optional<Tally>>::finished, this, &LogStatistics::done);
}

LogStatistics::~LogStatistics()
{
    if (m_stop)
        *m_stop = true;
    // (a finished reading's result was taken: its future no longer finishes)
    if (m_reading)
        m_watcher.waitForFinished();
}

LogStatistics *LogStatistics::current() { return s_current.data(); }
void LogStatistics::setCurrent(LogStatistics *s) { s_current = s; }

void LogStatistics::open(const QString &path)
{
    if (m_stop)
        *m_stop = true; // a reading of the file before is no longer wanted
    m_path = path;
    m_reader = std::make_shared<TallyReader>();
    m_tally.reset();
    m_again = m_reading; // the reading under way stops, and this one follows it
    m_kick.stop();
    if (!m_reading)
        start();
    emit changed();
}

void LogStatistics::close()
{
    m_path.clear();
    m_reader.reset();
    m_tally.reset();
    if (m_stop)
        *m_stop = true;
    m_again = false;
    m_kick.stop();
    emit changed();
}

void LogStatistics::setDetailed(bool detailed)
{
    m_detailed = detailed;
    if (detailed && ((m_reading && !m_readingDetailed) || (m_tally && !m_tally->detailed)))
        refresh();
}

void LogStatistics::refresh()
{
    if (m_path.isEmpty())
        return;
    if (m_reading)
        m_again = true;
    else if (!m_kick.isActive())
        m_kick.start(gapLeft());
}

// A reading starts no sooner than kReadingGapMs after the last one ended:
// on a log that several stations fill at once, readings would otherwise
// follow each other all the time and slow every store.
int LogStatistics::gapLeft() const
{
    constexpr qint64 kReadingGapMs = 250;
    return m_lastReading.isValid() ? int(std::max<qint64>(0, kReadingGapMs - m_lastReading.elapsed())) : 0;
}

void LogStatistics::start()
{
    m_again = false;
    m_reading = true;
    m_readingDetailed = m_detailed;
    m_stop = std::make_shared<std::atomic<bool>>(false);
    const QString path = m_path, towns = frmOrientation::referenceFile();
    auto stop = m_stop;
    // One reading at a time uses the reader (the pool has one thread): what
    // it keeps of the file lets the next reading read only what changed.
    m_watcher.setFuture(QtConcurrent::run(&m_pool, [path, towns, stop, reader = m_reader,
                                                    detailed = m_detailed]() -> std::optional<Tally> {
        platform::EngineError e;
        auto db = logfile::readingConnection(path, &e);
        if (!db)
            return std::nullopt;
        return reader->read(db.get(), readBearings(towns), stop.get(), detailed);
    }));
    emit readingChanged(true);
}

void LogStatistics::done()
{
    std::optional<Tally> result = m_watcher.future().takeResult(); // moved out, not copied
    const bool stopped = m_stop && *m_stop; // (then the figures are of a file no longer open)
    m_reading = false;
    m_lastReading.start();
    // The next reading is asked for before the figures are told: one who
    // looks at them then knows that more are coming (reading()).
    const bool again = !m_path.isEmpty() && !stopped && m_again;
    if (again)
        m_kick.start(gapLeft());
    if (!m_path.isEmpty() && !stopped) {
        if (result) {
            m_tally = std::move(result);
            emit changed();
        } else if (!again) {
            // The file could not be read (another program holds it...): the
            // figures shown stay, and it is tried again shortly.
            QTimer::singleShot(2000, this, &LogStatistics::refresh);
        }
    }
    if (!m_path.isEmpty() && stopped)
        start(); // another log's first reading
    else if (!again)
        emit readingChanged(false);
}

} // namespace statistics
