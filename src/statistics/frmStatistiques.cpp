#include "frmStatistiques.h"
#include "LogFile.h"
#include "Messages.h"

#include "Clock.h"
#include "Engine.h"
#include "LogStatistics.h"
#include "Prompts.h"
#include "Regional.h"
#include "SaveFile.h"
#include "Style.h"

#include <QAbstractTableModel>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QAreaSeries>
#include <QPainter>
#include <QPolarChart>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

namespace statistics {

// A table of counts: label, count and a bar as long as the count is large
// beside the largest.
class CountModel : public QAbstractTableModel
{
public:
    CountModel(QString heading, QObject *parent) : QAbstractTableModel(parent), m_heading(std::move(heading)) {}

    void setCounts(const QVector<Count> &counts)
    {
        if (counts.size() == m_counts.size()) {
            // Same lines: the view keeps its place and its selection.
            m_counts = counts;
            m_max = maxOf(counts);
            if (!counts.isEmpty())
                emit dataChanged(index(0, 0), index(int(counts.size()) - 1, 2));
            return;
        }
        beginResetModel();
        m_counts = counts;
        m_max = maxOf(counts);
        endResetModel();
    }
    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_counts.size()); }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 3; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        const Count &c = m_counts.at(index.row());
        if (role == Qt::DisplayRole && index.column() == 0)
            return c.label;
        if (role == Qt::DisplayRole && index.column() == 1)
            return c.count;
        if (role == Qt::UserRole)
            return m_max > 0 ? double(c.count) / double(m_max) : 0.0;
        if (role == Qt::TextAlignmentRole && index.column() == 1)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override
    {
        if (o != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return section == 0 ? m_heading : section == 1 ? msg::statsContactsColumn() : QString();
    }

private:
    static qint64 maxOf(const QVector<Count> &counts) { return counts.isEmpty() ? 0 : counts.front().count; }
    QString m_heading;
    QVector<Count> m_counts;
    qint64 m_max = 0;
};

namespace {

const QColor kBarColour(0x2f, 0x6d, 0xb5);

class BarDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(p, option, index);
        const double share = index.data(Qt::UserRole).toDouble();
        QRect r = option.rect.adjusted(4, 4, -4, -4);
        r.setWidth(int(r.width() * share + 0.5));
        if (r.width() > 0)
            p->fillRect(r, kBarColour);
    }
};

QString dateTimeText(qint64 secs) { return platform::formatDateTime(QDateTime::fromSecsSinceEpoch(secs)); }

QString hourText(qint64 secs)
{
    return QDateTime::fromSecsSinceEpoch(secs).toString(QStringLiteral("dd/MM HH:mm"));
}

QChartView *chartView(const char *name, QChart *chart, QWidget *parent)
{
    auto *view = new QChartView(chart, parent);
    view->setObjectName(QLatin1String(name));
    view->setRenderHint(QPainter::Antialiasing);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->hide();
    return view;
}

// The axis of the counts from 0 to at least top, its ticks whole numbers
// 1, 2 or 5 times a power of ten apart.
void setCountRange(QValueAxis *axis, qint64 top)
{
    const int times[3] = {2, 5, 10};
    qint64 step = 1, power = 1;
    for (int i = 0; step * 5 < top; i = (i + 1) % 3) {
        step = power * times[i];
        if (i == 2)
            power *= 10;
    }
    const qint64 steps = (std::max<qint64>(top, 1) + step - 1) / step;
    axis->setRange(0, double(steps * step));
    // (the radial axis of a polar chart goes by the count of ticks)
    axis->setTickCount(int(steps) + 1);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(double(step));
}

QValueAxis *countAxis(qint64 top)
{
    auto *axis = new QValueAxis;
    axis->setLabelFormat(QStringLiteral("%d"));
    setCountRange(axis, top);
    return axis;
}

void clearChart(QChart *chart)
{
    chart->removeAllSeries();
    for (QAbstractAxis *axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
}

QLabel *label(const char *name, QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText);
    return l;
}

} // namespace

} // namespace statistics

using namespace statistics;

QPointer<frmStatistiques> frmStatistiques::s_instance;

frmStatistiques *frmStatistiques::instance() { return s_instance.data(); }

void frmStatistiques::showSingle(LogStatistics *stats)
{
    stats = stats ? stats : LogStatistics::current();
    if (!s_instance)
        s_instance = new frmStatistiques(stats);
    else
        s_instance->follow(stats);
    s_instance->show();
    s_instance->raise();
    s_instance->activateWindow();
}

frmStatistiques::frmStatistiques(LogStatistics *stats, QWidget *parent) : QWidget(parent, Qt::Window), m_stats(stats)
{
    setObjectName(QStringLiteral("frmStatistiques"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(msg::statsTitle());
    setWindowIcon(platform::programIcon(QStringLiteral("statistics.svg")));
    platform::setToolWindowLook(this);

    auto *layout = new QVBoxLayout(this);
    lblBusy = label("lblBusy", this);
    lblBusy->setText(msg::statsBusy());
    lblBusy->setFont(platform::sansSerif(8.25, true));
    lblTotals = label("lblTotals", this);
    lblTotals->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(lblTotals);
    layout->addWidget(lblBusy);

    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabs"));
    layout->addWidget(tabs, 1);

    // A tab holding a chart and, under it, a line of text.
    auto chartTab = [this](QChartView *&view, const char *viewName, QChart *chart, QLabel *&under,
                           const char *underName, const QString &title) {
        auto *page = new QWidget(tabs);
        auto *pageLayout = new QVBoxLayout(page);
        view = chartView(viewName, chart, page);
        under = label(underName, page);
        pageLayout->addWidget(view, 1);
        pageLayout->addWidget(under);
        tabs->addTab(page, title);
    };
    chartTab(chartHours, "chartHours", new QChart, lblBest, "lblBest", msg::statsHours());
    chartTab(chartDirections, "chartDirections", new QPolarChart, lblUnknownTowns, "lblUnknownTowns",
             msg::statsDirections());

    const QString headings[5] = {msg::statsCountries(), msg::statsDepartments(), msg::statsModes(),
                                 msg::statsFrequencies(), msg::statsOperators()};
    const char *names[5] = {"tablePays", "tableDepartements", "tableBandes", "tableFrequences", "tableOperateurs"};
    for (int i = 0; i < 5; ++i) {
        m_models[i] = new CountModel(headings[i], this);
        tables[i] = new QTableView(tabs);
        tables[i]->setObjectName(QLatin1String(names[i]));
        tables[i]->setModel(m_models[i]);
        tables[i]->setItemDelegateForColumn(2, new BarDelegate(tables[i]));
        tables[i]->verticalHeader()->hide();
        tables[i]->verticalHeader()->setDefaultSectionSize(20);
        tables[i]->setSelectionBehavior(QAbstractItemView::SelectRows);
        tables[i]->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tables[i]->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Interactive);
        tables[i]->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
        tables[i]->setColumnWidth(0, 220);
        tables[i]->setColumnWidth(1, 80);
        tabs->addTab(tables[i], headings[i]);
    }

    auto *buttons = new QHBoxLayout;
    cmdImage = new QPushButton(msg::statsSaveImage(), this);
    cmdImage->setObjectName(QStringLiteral("cmdImage"));
    cmdFermer = new QPushButton(msg::statsClose(), this);
    cmdFermer->setObjectName(QStringLiteral("cmdFermer"));
    buttons->addWidget(cmdImage);
    buttons->addStretch(1);
    buttons->addWidget(cmdFermer);
    layout->addLayout(buttons);
    connect(cmdImage, &QPushButton::clicked, this, &frmStatistiques::cmdImage_Click);
    connect(cmdFermer, &QPushButton::clicked, this, &QWidget::close);
    // "Fermer" is the cancel button: Esc anywhere in the window presses it.
    auto *esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    esc->setContext(Qt::WindowShortcut);
    connect(esc, &QShortcut::activated, cmdFermer, &QPushButton::click);

    follow(stats);

    // Centre of the screen, as the orientation window.
    resize(860, 620);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        setGeometry(QRect(area.center() - QPoint(width() / 2, height() / 2), size()));
    }
}

frmStatistiques::~frmStatistiques()
{
    if (m_stats)
        m_stats->setDetailed(false);
}

// The figures shown: only whole ones (the rate's alone are not).
const Tally *frmStatistiques::figures() const
{
    const Tally *t = m_stats ? m_stats->tally() : nullptr;
    return t && t->detailed ? t : nullptr;
}

void frmStatistiques::follow(LogStatistics *stats)
{
    if (m_stats) {
        disconnect(m_stats, nullptr, this, nullptr);
        m_stats->setDetailed(false);
    }
    m_stats = stats;
    if (m_stats) {
        m_stats->setDetailed(true);
        connect(m_stats, &LogStatistics::changed, this, &frmStatistiques::showFigures);
        connect(m_stats, &LogStatistics::readingChanged, this, &frmStatistiques::showBusy);
    }
    showFigures();
}

void frmStatistiques::showBusy()
{
    lblBusy->setVisible(m_stats && m_stats->reading());
    cmdImage->setEnabled(figures());
}

void frmStatistiques::showFigures()
{
    const Tally *t = figures();
    showBusy();
    if (!t && m_stats && m_stats->reading())
        return; // the figures before stay until the new ones are known
    static const QVector<Count> none;
    const QVector<Count> *lists[5] = {&none, &none, &none, &none, &none};
    if (t) {
        lists[0] = &t->countries;
        lists[1] = &t->departments;
        lists[2] = &t->modes;
        lists[3] = &t->frequencies;
        lists[4] = &t->operators;
    }
    for (int i = 0; i < 5; ++i) {
        // A table whose lines come and go keeps the place it was scrolled to.
        QScrollBar *bar = tables[i]->verticalScrollBar();
        const int place = bar->value();
        m_models[i]->setCounts(*lists[i]);
        bar->setValue(place);
    }
    showTotals(t);
    showHours(t);
    showDirections(t);
}

void frmStatistiques::showTotals(const Tally *t)
{
    if (!t) {
        lblTotals->setText(m_stats && !m_stats->path().isEmpty() ? msg::statsUnreadable() : msg::statsNoLog());
        return;
    }
    const QString first = t->times.empty() ? msg::statsNoDate() : dateTimeText(t->times.first());
    const QString last = t->times.empty() ? msg::statsNoDate() : dateTimeText(t->times.last());
    lblTotals->setText(msg::statsTotalContacts().arg(t->contacts) + QStringLiteral("    ")
                       + msg::statsDistinctCallSigns().arg(t->distinctCallSigns) + QStringLiteral("    ")
                       + msg::statsRepeatedCallSigns().arg(t->repeatedCallSigns) + QLatin1Char('\n')
                       + msg::statsFirstContact().arg(first) + QStringLiteral("    ")
                       + msg::statsLastContact().arg(last) + QStringLiteral("    ")
                       + msg::statsUnknownDates().arg(t->unknownDates));
}

void frmStatistiques::showHours(const Tally *t)
{
    QChart *chart = chartHours->chart();
    static const Bars none;
    const Bars &b = t ? t->periods : none;
    qint64 top = 0;
    for (qint64 c : b.counts)
        top = std::max(top, c);
    // The same periods as shown: only the bars' heights change.
    auto *shown = qobject_cast<QBarSeries *>(chart->series().value(0));
    if (shown && b.starts == m_shownStarts && b.period == m_shownPeriod) {
        QBarSet *set = shown->barSets().at(0);
        for (size_t i = 0; i < b.counts.size(); ++i)
            if (set->at(int(i)) != double(b.counts[i]))
                set->replace(int(i), double(b.counts[i]));
        setCountRange(static_cast<QValueAxis *>(chart->axes(Qt::Vertical).value(0)), top);
    } else {
        clearChart(chart);
        drawPeriods(b, top);
    }
    showBest(t);
}

void frmStatistiques::drawPeriods(const Bars &b, qint64 top)
{
    m_shownStarts = b.starts;
    m_shownPeriod = b.period;
    QChart *chart = chartHours->chart();
    chart->setTitle(b.period == Bars::Period::Hour   ? msg::statsPerHour()
                    : b.period == Bars::Period::Day  ? msg::statsPerDay()
                    : b.period == Bars::Period::Week ? msg::statsPerWeek()
                                                     : msg::statsPerMonth());
    auto *set = new QBarSet(msg::statsContactsColumn());
    set->setColor(kBarColour);
    QStringList categories;
    QDate shownDay;
    for (size_t i = 0; i < b.counts.size(); ++i) {
        *set << double(b.counts[i]);
        const QDateTime start = QDateTime::fromSecsSinceEpoch(b.starts[i]);
        // The day is written under the first bar of each day.
        QString text = start.toString(b.period == Bars::Period::Hour    ? QStringLiteral("HH'h'")
                                      : b.period == Bars::Period::Month ? QStringLiteral("MM/yyyy")
                                                                        : QStringLiteral("dd/MM/yy"));
        if (b.period == Bars::Period::Hour && start.date() != shownDay)
            text = start.toString(QStringLiteral("dd/MM HH'h'"));
        shownDay = start.date();
        // Categories must differ: the hour repeated when summer time ends gets a mark.
        while (categories.contains(text))
            text += QLatin1Char('\'');
        categories << text;
    }
    auto *series = new QBarSeries;
    series->setBarWidth(0.9);
    series->append(set);
    chart->addSeries(series);
    auto *x = new QBarCategoryAxis;
    x->append(categories);
    x->setLabelsAngle(-90);
    QValueAxis *y = countAxis(top);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
}

void frmStatistiques::showBest(const Tally *t)
{
    if (!t || t->times.empty()) {
        lblBest->setText(t ? msg::statsNoDatedContact() : QString());
        return;
    }
    const Bars &b = t->periods;
    size_t best = 0;
    for (size_t i = 0; i < b.counts.size(); ++i)
        if (b.counts[i] > b.counts[best])
            best = i;
    const Spell &spell = t->bestTen;
    QStringList lines;
    if (b.period == Bars::Period::Hour)
        lines << msg::statsBestHour().arg(hourText(b.starts[best]), hourText(b.starts[best] + 3600)).arg(b.counts[best]);
    lines << msg::statsBestSpell().arg(hourText(spell.start), hourText(spell.start + 600)).arg(spell.count);
    lblBest->setText(lines.join(QLatin1Char('\n')));
}

void frmStatistiques::showDirections(const Tally *t)
{
    // Each sector a wedge: its outer edge drawn by points one degree apart.
    QList<QPointF> edge;
    qint64 top = 0;
    for (int s = 0; s < 36; ++s) {
        const double count = t ? double(t->sectors[size_t(s)]) : 0.0;
        top = std::max(top, qint64(count));
        edge << QPointF(s * 10, 0);
        for (int d = 0; d <= 10; ++d)
            edge << QPointF(s * 10 + d, count);
        edge << QPointF(s * 10 + 10, 0);
    }
    lblUnknownTowns->setText(t ? msg::statsUnknownTowns().arg(t->unknownTowns) : QString());
    auto *chart = static_cast<QPolarChart *>(chartDirections->chart());
    if (auto *shown = qobject_cast<QAreaSeries *>(chart->series().value(0))) {
        shown->upperSeries()->replace(edge);
        setCountRange(static_cast<QValueAxis *>(chart->axes(QPolarChart::PolarOrientationRadial).value(0)), top);
        return;
    }
    chart->setTitle(msg::statsDirectionsTitle());
    auto *outline = new QLineSeries(chart); // an area series does not own its outline
    outline->append(edge);
    auto *area = new QAreaSeries(outline);
    area->setObjectName(QStringLiteral("sectors"));
    area->setColor(kBarColour);
    area->setBorderColor(kBarColour.darker());
    chart->addSeries(area);
    auto *angle = new QCategoryAxis;
    angle->setRange(0, 360);
    angle->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    const char *points[8] = {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
    for (int i = 0; i < 8; ++i)
        angle->append(QLatin1String(points[i]), i * 45);
    QValueAxis *radius = countAxis(top);
    chart->addAxis(angle, QPolarChart::PolarOrientationAngular);
    chart->addAxis(radius, QPolarChart::PolarOrientationRadial);
    area->attachAxis(angle);
    area->attachAxis(radius);
}

QImage frmStatistiques::imageOfTab(const QString &title, const QString &totals, const QString &when) const
{
    // Above the tab shown: the log and the tab, the totals, and when. The
    // same texts go into the file's own fields, for the programs that list them.
    const QPixmap tab = tabs->currentWidget()->grab();
    const QFont bold = platform::sansSerif(10, true), plain = platform::sansSerif(9);
    const QFontMetrics boldMetrics(bold), plainMetrics(plain);
    const QStringList lines = totals.split(QLatin1Char('\n')) << when;
    constexpr int kMargin = 8;
    int width = std::max(tab.width(), boldMetrics.horizontalAdvance(title) + 2 * kMargin);
    for (const QString &line : lines)
        width = std::max(width, plainMetrics.horizontalAdvance(line) + 2 * kMargin);
    const int top = kMargin + boldMetrics.height() + int(lines.size()) * plainMetrics.height() + kMargin;
    QImage image(width, top + tab.height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(Qt::black);
    p.setFont(bold);
    int y = kMargin + boldMetrics.ascent();
    p.drawText(kMargin, y, title);
    p.setFont(plain);
    y += boldMetrics.descent() + plainMetrics.ascent();
    for (const QString &line : lines) {
        p.drawText(kMargin, y, line);
        y += plainMetrics.height();
    }
    p.drawPixmap(0, top, tab);
    p.end();
    image.setText(QStringLiteral("Title"), title);
    image.setText(QStringLiteral("Description"), totals);
    image.setText(QStringLiteral("Creation Time"), when);
    return image;
}

void frmStatistiques::cmdImage_Click()
{
    const QString log = m_stats ? m_stats->path() : QString();
    const QString proposed = log.isEmpty() ? QString() : logfile::besideLog(log, msg::statsImageSuffix());
    const QString path = platform::askSaveFile(this, msg::statsImageDialogTitle(), msg::statsImageType(),
                                               QStringLiteral("png"), proposed);
    if (path.isEmpty())
        return;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QString when = platform::formatDateTime(platform::now());
    const QString name = platform::isServerAddress(log) ? platform::logDisplayName(log) : QFileInfo(log).fileName();
    imageOfTab(name.isEmpty() ? tabs->tabText(tabs->currentIndex())
                              : name + QStringLiteral(" – ") + tabs->tabText(tabs->currentIndex()),
               lblTotals->text(), msg::statsImageWhen().arg(when))
        .save(&buffer, "PNG");
    platform::SaveFile file(path);
    if (!file.open() || !file.write(bytes) || !file.commit()) {
        platform::showMessage(this, msg::statsImageNotSaved().arg(QDir::toNativeSeparators(path), file.errorText()),
                              platform::MessageIcon::Critical);
        return;
    }
    platform::showMessage(this, msg::statsImageSaved().arg(QDir::toNativeSeparators(path)),
                          platform::MessageIcon::Information);
}
