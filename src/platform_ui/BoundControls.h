#pragma once
// Controls bound to the columns of a record source: each shows its column of
// the current row, and what it holds is what the record source stores.
#include "RecordSource.h"

#include <QPointer>
#include <QWidget>
#include <functional>

namespace platform {

class BoundControls : public QObject, public RowView
{
public:
    // Registers itself as the record source's view; owned by the record source.
    explicit BoundControls(RecordSource *source);
    ~BoundControls() override;

    // A QLineEdit, an editable QComboBox or a QLabel; shown, when given,
    // writes a stored value of the column as the control shows it.
    void bind(QWidget *control, const QString &column,
              std::function<QString(const QVariant &)> shown = {});

    void showRow(const QVector<ColumnDef> &columns, const QVariantList &row) override;
    QVector<std::pair<QString, QString>> typedTexts() const override;

private:
    struct Binding {
        QPointer<QWidget> control;
        QString column;
        std::function<QString(const QVariant &)> shown;
    };
    QVector<Binding> m_bindings;
};

} // namespace platform
