#include "ContactGrid.h"

#include "ContactTableModel.h"

#include <QHeaderView>
#include <QScrollBar>

namespace listing {

ContactGrid::ContactGrid(QWidget *parent) : QTableView(parent)
{
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    // Rows may be made taller or shorter by dragging a record selector's edge.
    verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setHighlightSections(false);
}

void ContactGrid::setModel(QAbstractItemModel *model)
{
    QTableView::setModel(model);
    if (auto *contacts = qobject_cast<ContactTableModel *>(model)) {
        connect(selectionModel(), &QItemSelectionModel::currentRowChanged, contacts,
                [contacts](const QModelIndex &current) { contacts->setCurrentRow(current.row()); });
    }
}

// Typing never searches: a search would read the whole table.
void ContactGrid::keyboardSearch(const QString &) {}

QModelIndex ContactGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = currentIndex();
    switch (cursorAction) {
    case MoveNext:
        // Along the row only: at its last cell Tab leaves the grid.
        if (current.isValid() && current.column() + 1 < model()->columnCount())
            return current.sibling(current.row(), current.column() + 1);
        return QModelIndex();
    case MovePrevious:
        if (current.isValid() && current.column() > 0)
            return current.sibling(current.row(), current.column() - 1);
        return QModelIndex();
    case MoveUp:
    case MoveDown:
        verticalScrollBar()->triggerAction(cursorAction == MoveUp ? QAbstractSlider::SliderSingleStepSub
                                                                  : QAbstractSlider::SliderSingleStepAdd);
        return current;
    case MoveLeft:
    case MoveRight:
        horizontalScrollBar()->triggerAction(cursorAction == MoveLeft ? QAbstractSlider::SliderSingleStepSub
                                                                      : QAbstractSlider::SliderSingleStepAdd);
        return current;
    default:
        return QTableView::moveCursor(cursorAction, modifiers);
    }
}

} // namespace listing
