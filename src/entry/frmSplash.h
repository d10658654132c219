#pragma once
// The splash window: shown for a few seconds at start-up, and again as the
// About box with its "OK" button.
#include <QDialog>

class QLabel;
class QPushButton;

class frmSplash : public QDialog
{
    Q_OBJECT
public:
    explicit frmSplash(QWidget *parent = nullptr);

    QWidget *Picture1;
    QLabel *Picture2, *Picture3, *Picture4, *Picture5, *Picture6, *Picture7;
    QLabel *lblVersion; // "Version 1.0"
    QPushButton *Splash;

    void Splash_Click();
    // Starts drawing the window's pictures on other threads, as soon as the
    // application exists: the splash's first paint then waits the less.
    static void drawPicturesAhead();

protected:
    void closeEvent(QCloseEvent *event) override;
};
