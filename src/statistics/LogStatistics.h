#pragma once
// The figures of the open log, kept up to date in the background.
//
// They come from the log's one reading (logfile::LogIndex and its
// readings): every reading feeds the figures of the chunks it read, on its
// own threads and read-only connections, so that neither the window's stores
// nor its drawing wait for it. Only the contacts and their times are summed
// unless a window wants the whole figures (setDetailed).
#include "LogIndex.h"
#include "Tally.h"

#include <QObject>
#include <memory>

namespace statistics {

class LogStatistics : public QObject
{
    Q_OBJECT
public:
    // Fed by the readings of index, from the next log it opens on.
    explicit LogStatistics(logfile::LogIndex &index, QObject *parent = nullptr);
    ~LogStatistics() override;

    // A log was opened (its figures are read with it), or closed (none).
    void open(const QString &path);
    void close();
    // Read again, even when nothing changed.
    void refresh();

    QString path() const { return m_path; }
    // The last figures read; nullptr while none are known. Only the contacts
    // and their times (the rate) unless details are wanted.
    const Tally *tally() const { return m_tally ? &*m_tally : nullptr; }
    // Whether a window shows the whole figures: working them out costs the
    // sums of every value at each reading.
    void setDetailed(bool detailed);
    // A reading runs, or is due.
    bool reading() const { return !m_path.isEmpty() && m_index.reading(); }

    // The one kept for the main window's log (nullptr when none is).
    static LogStatistics *current();
    static void setCurrent(LogStatistics *s);

signals:
    // New figures, or none (closed).
    void changed();
    void readingChanged(bool reading);

private:
    void read();

    logfile::LogIndex &m_index;
    QString m_path;
    std::shared_ptr<Figures> m_figures; // fed by the readings of the open log
    std::optional<Tally> m_tally;
    bool m_detailed = false;
};

} // namespace statistics
