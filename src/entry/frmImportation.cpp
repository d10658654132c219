#include "frmImportation.h"

#include "Import.h"
#include "LogFile.h"
#include "Messages.h"
#include "RecordSource.h"
#include "Style.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
// A tab of lines, its count in its title.
QPlainTextEdit *linesTab(QTabWidget *tabs, const char *name, const QString &title, const QStringList &lines,
                         qint64 count)
{
    auto *text = new QPlainTextEdit(tabs);
    text->setObjectName(QLatin1String(name));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    QStringList shown = lines;
    if (count > lines.size())
        shown << msg::importAndMore().arg(count - lines.size());
    text->setPlainText(shown.join(QLatin1Char('\n')));
    tabs->addTab(text, QStringLiteral("%1 (%2)").arg(title).arg(count));
    return text;
}
} // namespace

frmImportation::frmImportation(const exchange::ImportPlan &plan, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmImportation"));
    setWindowTitle(msg::importTitle());
    setFont(platform::sansSerif(8.25));
    auto *layout = new QVBoxLayout(this);

    QStringList summary{msg::importRecordsRead().arg(QDir::toNativeSeparators(plan.file)).arg(plan.records),
                        msg::importToStore().arg(plan.rows.size() - qint64(plan.unnumbered.size())),
                        msg::importRefusedCount().arg(plan.refusedCount),
                        msg::importDuplicateCount().arg(plan.duplicateCount),
                        msg::importRenumberedCount().arg(plan.renumberedCount)};
    if (!plan.ignoredColumns.isEmpty())
        summary << msg::importIgnoredColumns().arg(plan.ignoredColumns.join(QStringLiteral(", ")));
    lblRésumé = new QLabel(summary.join(QLatin1Char('\n')), this);
    lblRésumé->setObjectName(QStringLiteral("lblRésumé"));
    lblRésumé->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(lblRésumé);

    auto *lblAperçu = new QLabel(msg::importFirstRows(), this);
    lblAperçu->setObjectName(QStringLiteral("lblAperçu"));
    layout->addWidget(lblAperçu);
    const QVector<platform::ColumnDef> &columns = logfile::transmission().columns;
    const int rows = int(std::min<qint64>(plan.rows.size(), kShownRows));
    grdAperçu = new QTableWidget(rows, columns.size(), this);
    grdAperçu->setObjectName(QStringLiteral("grdAperçu"));
    grdAperçu->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdAperçu->setHorizontalHeaderLabels(logfile::columnNames());
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns.size(); ++c) {
            std::optional<QByteArray> stored = c == 1 ? plan.serialOf(r)
                                               : plan.rows.isNull(r, c) ? std::nullopt
                                                                        : std::optional(plan.rows.value(r, c).toByteArray());
            QVariant value;
            if (stored)
                value = columns[c].type == platform::ColumnType::SmallInt ? QVariant(stored->toInt())
                                                                          : QVariant(QString::fromUtf8(*stored));
            const QString text = c == 4 && stored ? logfile::hertzText(value)
                                                  : platform::RecordSource::displayText(columns[c], value);
            grdAperçu->setItem(r, c, new QTableWidgetItem(text));
        }
        grdAperçu->setVerticalHeaderItem(r, new QTableWidgetItem(QString::number(plan.recordOf[size_t(r)])));
    }
    grdAperçu->verticalHeader()->setDefaultSectionSize(grdAperçu->fontMetrics().height() + 6);
    grdAperçu->resizeColumnsToContents();
    grdAperçu->setMinimumSize(760, 200);
    layout->addWidget(grdAperçu, 3);

    tabDétails = new QTabWidget(this);
    tabDétails->setObjectName(QStringLiteral("tabDétails"));
    txtRefusés = linesTab(tabDétails, "txtRefusés", msg::importRefusedTab(), plan.refused, plan.refusedCount);
    txtDoublons = linesTab(tabDétails, "txtDoublons", msg::importDuplicatesTab(), plan.duplicates, plan.duplicateCount);
    txtRenumérotés = linesTab(tabDétails, "txtRenumérotés", msg::importRenumberedTab(), plan.renumberedLines,
                              plan.renumberedCount);
    tabDétails->setCurrentIndex(plan.refusedCount > 0 ? 0 : plan.duplicateCount > 0 ? 1 : 2);
    tabDétails->setMinimumHeight(110);
    layout->addWidget(tabDétails, 2);

    lblAvertissement = new QLabel(msg::importAllOrNothing(), this);
    lblAvertissement->setObjectName(QStringLiteral("lblAvertissement"));
    lblAvertissement->setVisible(plan.refusedCount > 0);
    layout->addWidget(lblAvertissement);

    auto *buttons = new QDialogButtonBox(this);
    const qint64 storable = plan.rows.size() - qint64(plan.unnumbered.size());
    cmdImporter = buttons->addButton(plan.refusedCount > 0 ? msg::importReadableButton().arg(storable)
                                                           : msg::importButton(),
                                     QDialogButtonBox::AcceptRole);
    cmdImporter->setObjectName(QStringLiteral("cmdImporter"));
    cmdImporter->setEnabled(storable > 0);
    cmdImporter->setDefault(storable > 0);
    cmdAnnuler = buttons->addButton(msg::importCancel(), QDialogButtonBox::RejectRole);
    cmdAnnuler->setObjectName(QStringLiteral("cmdAnnuler"));
    layout->addWidget(buttons);
    (storable > 0 ? cmdImporter : cmdAnnuler)->setFocus();
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(900, 600);
}
