#pragma once
// Builds the real main window over real log files in a temporary folder.
#include "TestSupport.h"
#include "frmMain.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

struct MainWindowFixture {
    QTemporaryDir dir;
    testsupport::PromptRecorder prompts;
    std::unique_ptr<frmMain> w;
    QString file; // the log file opened at construction, if any

    // Shows the window; with contacts >= 0, opens a log file holding that many.
    explicit MainWindowFixture(int contacts = -1)
    {
        w = std::make_unique<frmMain>();
        w->show();
        w->activateWindow();
        (void)QTest::qWaitForWindowActive(w.get());
        if (contacts >= 0)
            file = openWith(QStringLiteral("log.adb"), contacts);
    }
    QString path(const QString &name) const { return dir.filePath(name); }

    // Makes a log file with n sample contacts and opens it through the Open command.
    QString open(const QString &name, const QVector<testsupport::Row> &rows)
    {
        const QString p = path(name);
        testsupport::makeLogFile(p, rows);
        prompts.queuedFiles << p;
        w->mnuOuvrir_Click();
        return p;
    }
    QString openWith(const QString &name, int contacts)
    {
        QVector<testsupport::Row> rows;
        for (int i = 1; i <= contacts; ++i)
            rows << testsupport::sampleRow(i);
        return open(name, rows);
    }
    QString shownSerial() const { return w->txtNrSequanel->text(); }
};
