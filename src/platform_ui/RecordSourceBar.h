#pragma once
// The visible part of a record source: first / previous / next / last arrow
// buttons with the record source's caption between them.
//
// "Next" on the last row and "previous" on the first one stay on that row
// instead of leaving the cursor past the end.
#include "RecordSource.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

class QLabel;
class QToolButton;

namespace platform {


class RecordSourceBar : public QWidget
{
    Q_OBJECT
public:
    explicit RecordSourceBar(QWidget *parent = nullptr);

    // Follows the source's caption and visibility from now on.
    void attach(RecordSource *source);
    RecordSource *source() const { return m_source; }

    QToolButton *firstButton() const { return m_first; }
    QToolButton *previousButton() const { return m_previous; }
    QToolButton *nextButton() const { return m_next; }
    QToolButton *lastButton() const { return m_last; }
    QString captionText() const;
    // The column whose text the keys typed on the bar look for.
    void setSearchColumn(const QString &column) { m_searchColumn = column; }

public slots:
    void moveFirst();
    void movePrevious();
    void moveNext();
    void moveLast();

protected:
    void resizeEvent(QResizeEvent *) override;
    void paintEvent(QPaintEvent *) override;
    // Arrows, Page Up/Down, Home and End step through the rows; the first
    // letters of a text jump to it, as in a list box.
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *) override;
    void focusOutEvent(QFocusEvent *) override;

private:
    void layoutChildren();
    QPointer<RecordSource> m_source;
    QToolButton *m_first, *m_previous, *m_next, *m_last;
    QLabel *m_caption;
    QString m_searchColumn;
    QString m_typed;
    QElapsedTimer m_sinceTyped;
};

} // namespace platform
