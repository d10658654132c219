#include "BoundControls.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace platform {

namespace {

QString controlText(QWidget *w)
{
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    return QString();
}

void setControlText(QWidget *w, const QString &text)
{
    if (auto *e = qobject_cast<QLineEdit *>(w)) {
        e->setText(text);
        e->setCursorPosition(0);
    } else if (auto *c = qobject_cast<QComboBox *>(w)) {
        if (c->isEditable())
            c->setEditText(text);
        else
            c->setCurrentText(text);
    } else if (auto *l = qobject_cast<QLabel *>(w)) {
        l->setText(text);
    }
}

} // namespace

BoundControls::BoundControls(RecordSource *source) : QObject(source) { source->setView(this); }

BoundControls::~BoundControls()
{
    if (auto *source = qobject_cast<RecordSource *>(parent()))
        source->setView(nullptr);
}

void BoundControls::bind(QWidget *control, const QString &column, std::function<QString(const QVariant &)> shown)
{
    m_bindings.append(Binding{control, column, std::move(shown)});
}

void BoundControls::showRow(const QVector<ColumnDef> &columns, const QVariantList &row)
{
    for (const Binding &b : m_bindings) {
        if (!b.control)
            continue;
        QString text;
        for (int i = 0; i < columns.size() && i < row.size(); ++i)
            if (columns[i].name == b.column)
                text = b.shown && i < row.size() && !row[i].isNull() ? b.shown(row[i])
                                                                     : RecordSource::displayText(columns[i], row[i]);
        setControlText(b.control, text);
    }
}

QVector<std::pair<QString, QString>> BoundControls::typedTexts() const
{
    QVector<std::pair<QString, QString>> out;
    for (const Binding &b : m_bindings)
        if (b.control)
            out.append({b.column, controlText(b.control)});
    return out;
}

} // namespace platform
