#pragma once
// The contact grid window: every contact of the open log file in a read-only
// grid, with "&Imprimer" to print the listing and "&Fermer" to close.
#include <QDialog>

class QPushButton;
class QTableView;

namespace platform {
class RecordSource;
}

class frmListe : public QDialog
{
    Q_OBJECT
public:
    // databaseName: the full path of the log file open in the main window.
    explicit frmListe(const QString &databaseName, QWidget *parent = nullptr);
    ~frmListe() override;

    QTableView *dbgrd = nullptr;
    QPushButton *Command1 = nullptr; // "&Fermer"
    QPushButton *Command2 = nullptr; // "&Imprimer"
    platform::RecordSource *datactrl = nullptr;

public slots:
    // Shows the window modally; a log file that could not be opened (the
    // message said why when the window loaded) shows nothing.
    int exec() override;
    void Form_Load();
    void Form_Resize();
    void Command1_Click();
    void Command2_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_databaseName;
};
