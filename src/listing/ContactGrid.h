#pragma once
// The read-only grid of contacts: a table view that never edits, where Tab
// moves from cell to cell along a row without wrapping to the next row, and
// the arrow keys scroll the view instead of moving the current cell.
#include <QTableView>

namespace listing {

class ContactGrid : public QTableView
{
    Q_OBJECT
public:
    explicit ContactGrid(QWidget *parent = nullptr);
    void setModel(QAbstractItemModel *model) override;

    void keyboardSearch(const QString &search) override;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
};

} // namespace listing
