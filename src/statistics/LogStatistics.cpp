#include "LogStatistics.h"

#include <QPointer>

namespace statistics {

namespace {
QPointer<LogStatistics> s_current;
} // namespace

LogStatistics::LogStatistics(logfile::LogIndex &index, QObject *parent) : QObject(parent), m_index(index)
{
    m_index.setConsumer([this] {
        m_figures = std::make_shared<Figures>();
        m_figures->setDetailed(m_detailed);
        return m_figures;
    });
    connect(&m_index, &logfile::LogIndex::read, this, &LogStatistics::read);
    connect(&m_index, &logfile::LogIndex::readingChanged, this, [this](bool reading) {
        if (!m_path.isEmpty())
            emit readingChanged(reading);
    });
}

LogStatistics::~LogStatistics() { m_index.setConsumer({}); }

LogStatistics *LogStatistics::current() { return s_current.data(); }
void LogStatistics::setCurrent(LogStatistics *s) { s_current = s; }

void LogStatistics::open(const QString &path)
{
    m_path = path;
    m_tally.reset();
    emit changed();
}

void LogStatistics::close()
{
    m_path.clear();
    m_tally.reset();
    emit changed();
}

void LogStatistics::setDetailed(bool detailed)
{
    m_detailed = detailed;
    if (m_figures)
        m_figures->setDetailed(detailed);
    if (detailed && m_tally && !m_tally->detailed)
        refresh();
}

void LogStatistics::refresh()
{
    if (!m_path.isEmpty())
        m_index.refresh();
}

// A reading ended: its figures, with the counts of call signs the index
// keeps of the same rows.
void LogStatistics::read()
{
    std::optional<Tally> t = m_figures ? m_figures->take() : std::nullopt;
    if (m_path.isEmpty() || !t)
        return;
    if (const auto counts = m_index.callSignCounts()) {
        t->distinctCallSigns = counts->distinct;
        t->repeatedCallSigns = counts->repeated;
    }
    m_tally = std::move(t);
    if (m_detailed && !m_tally->detailed)
        refresh(); // wanted whole once that reading had summed them
    emit changed();
}

} // namespace statistics
