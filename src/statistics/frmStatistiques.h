#pragma once
// The statistics window: how the contest of the open log went, as charts and
// tables, following the log as it changes. There is one window at a time;
// closing it destroys it.
#include "Tally.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QTabWidget;
class QTableView;

QT_BEGIN_NAMESPACE
class QChartView;
QT_END_NAMESPACE

namespace statistics {
class LogStatistics;
class CountModel;
}

class frmStatistiques : public QWidget
{
    Q_OBJECT
public:
    // Shows the window for the figures of stats (LogStatistics::current()
    // when none is given), building it first when it is not open; an open
    // window is brought forward.
    static void showSingle(statistics::LogStatistics *stats = nullptr);
    static frmStatistiques *instance();

    QLabel *lblBusy = nullptr;
    QLabel *lblTotals = nullptr;
    QTabWidget *tabs = nullptr;
    QChartView *chartHours = nullptr;
    QLabel *lblBest = nullptr;
    QChartView *chartDirections = nullptr;
    QLabel *lblUnknownTowns = nullptr;
    QTableView *tables[5] = {}; // countries, départements, modes, frequencies, operators
    QPushButton *cmdImage = nullptr;
    QPushButton *cmdFermer = nullptr;

    // Saves the chart or table shown as a PNG image, after asking where,
    // under the log's name, the totals and the date.
    void cmdImage_Click();

private:
    explicit frmStatistiques(statistics::LogStatistics *stats, QWidget *parent = nullptr);
    ~frmStatistiques() override;
    // Shows the figures of stats, and follows them from now on.
    void follow(statistics::LogStatistics *stats);
    void showFigures();
    const statistics::Tally *figures() const;
    void showBusy();
    void showHours(const statistics::Tally *t);
    void drawPeriods(const statistics::Bars &b, qint64 top);
    void showBest(const statistics::Tally *t);
    void showDirections(const statistics::Tally *t);
    void showTotals(const statistics::Tally *t);
    QImage imageOfTab(const QString &title, const QString &totals, const QString &when) const;

    QPointer<statistics::LogStatistics> m_stats;
    statistics::CountModel *m_models[5] = {};
    std::vector<qint64> m_shownStarts; // the periods the hours chart shows
    statistics::Bars::Period m_shownPeriod{};
    static QPointer<frmStatistiques> s_instance;
};
