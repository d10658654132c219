#pragma once
// The figures of the open log, kept up to date in the background.
//
// Each reading runs on a thread of its own with its own read-only connection
// to the file, so that neither the window's stores nor its drawing wait for
// it; after the first, a reading reads again only the rows that may have
// changed (TallyReader). Changes asked for together (a change of a contact is
// noted twice) start one reading; one asked for while a reading runs starts
// one more after it ends, no sooner than a quarter of a second after (a log
// that several stations fill at once is not read again after every store):
// the last figures always describe the file after the last change. Only the
// contacts and their times are worked out unless a window wants the whole
// figures (setDetailed).
#include "Tally.h"

#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>
#include <QElapsedTimer>
#include <QTimer>
#include <memory>

namespace statistics {

class LogStatistics : public QObject
{
    Q_OBJECT
public:
    explicit LogStatistics(QObject *parent = nullptr);
    ~LogStatistics() override;

    // A log file was opened (its figures are read), or closed (none).
    void open(const QString &path);
    void close();
    // Its contacts changed: the figures are read again.
    void refresh();

    QString path() const { return m_path; }
    // The last figures read; nullptr while none are known. Only the contacts
    // and their times (the rate) unless details are wanted.
    const Tally *tally() const { return m_tally ? &*m_tally : nullptr; }
    // Whether a window shows the whole figures: working them out reads every
    // contact's figures again at each reading (on a log of 1,000,000, a
    // reading of several stores a second).
    void setDetailed(bool detailed);
    bool reading() const { return m_reading || m_kick.isActive(); }

    // The one kept for the main window's log (nullptr when none is).
    static LogStatistics *current();
    static void setCurrent(LogStatistics *s);

signals:
    // New figures, or none (closed, or the file could not be read).
    void changed();
    void readingChanged(bool reading);

private:
    void start();
    void done();
    int gapLeft() const;

    QString m_path;
    std::shared_ptr<TallyReader> m_reader; // what is known of the open log's rows
    std::optional<Tally> m_tally;
    bool m_reading = false;
    bool m_again = false;
    bool m_detailed = false;
    bool m_readingDetailed = false; // the reading under way
    std::shared_ptr<std::atomic<bool>> m_stop;
    QThreadPool m_pool;
    QFutureWatcher<std::optional<Tally>> m_watcher;
    QTimer m_kick; // the reading asked for, started once control returns to the event loop
    QElapsedTimer m_lastReading; // since the last reading ended
};

} // namespace statistics
