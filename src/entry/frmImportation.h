#pragma once
// The preview of an import: what the file holds and what would become of
// it in the open log (the records read, the first contacts as they would be
// stored, those refused with their reasons, those whose call sign the log
// holds already, those that get a new serial number), and the button that
// imports them (all of them, or the readable ones when some are refused).
#include <QDialog>

namespace exchange {
struct ImportPlan;
}

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;

class frmImportation : public QDialog
{
    Q_OBJECT
public:
    frmImportation(const exchange::ImportPlan &plan, QWidget *parent = nullptr);

    QLabel *lblRésumé = nullptr;
    QLabel *lblAvertissement = nullptr; // records are refused: all or nothing
    QTableWidget *grdAperçu = nullptr;
    QTabWidget *tabDétails = nullptr;
    QPlainTextEdit *txtRefusés = nullptr, *txtDoublons = nullptr, *txtRenumérotés = nullptr;
    QPushButton *cmdImporter = nullptr;
    QPushButton *cmdAnnuler = nullptr;

    // The number of first contacts shown.
    static constexpr int kShownRows = 100;
};
