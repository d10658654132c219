#pragma once
// Builds the real main window over real log files in a temporary folder.
#include "Messages.h"
#include "TestSupport.h"
#include "frmMain.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
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
    const frmMain::Controls &ui() const { return w->controls(); }

    // Makes a log file holding rows and opens it through the Open command.
    QString open(const QString &name, const QVector<testsupport::Row> &rows)
    {
        const QString p = path(name);
        testsupport::makeLogFile(p, rows);
        prompts.queuedFiles << p;
        w->controls().mnuOuvrir->trigger();
        return p;
    }
    QString openWith(const QString &name, int contacts) { return open(name, testsupport::sampleRows(contacts)); }
    QString shownSerial() const { return w->controls().txtNrSequanel->text(); }
    QStringList said() const { return prompts.said(); }

    // The captions of "Nouveau", "Modifier" and "Supprimer", a greyed one after a "-".
    QString buttons() const
    {
        QStringList out;
        for (QPushButton *b : {w->controls().cmdNouveau, w->controls().cmdModifier, w->controls().cmdSupprimer})
            out << (b->isEnabled() ? QString() : QStringLiteral("-")) + b->text();
        return out.join(QLatin1Char(' '));
    }

    // Types a value into the line edit or list box of that name.
    void put(const QString &field, const QString &value)
    {
        QWidget *c = w->findChild<QWidget *>(field);
        if (auto *e = qobject_cast<QLineEdit *>(c))
            e->setText(value);
        else
            qobject_cast<QComboBox *>(c)->setEditText(value);
    }
    // A valid contact, typed over whatever the window proposed (the call
    // sign's number last).
    void fill(const char *number = "123")
    {
        for (const auto &[field, value] :
             {std::pair{"txtRST", "59"}, {"cmbBande", "USB"}, {"cmbMHz", "27"}, {"cmbHz", "005"}, {"txtOpérateur", "Hélène"},
              {"txtPréfixeQRZ", "14"}, {"cmbQRZ1", "Québec"}, {"cmbQRZ2", "Hôtel"}, {"cmbQRZ3", "Juiliette"}, {"txtNrQRZ", number},
              {"txtCodePostal", "63000"}, {"txtVille", "Clermont-Ferrand"}, {"txtBP", "BP 12"}, {"txtPays", "France"}})
            put(QString::fromUtf8(field), QString::fromUtf8(value));
    }
    // The serial and town of every contact of the log file opened at
    // construction, read with a connection of the test's own.
    QStringList stored() const
    {
        QStringList out;
        for (const testsupport::Row &r : testsupport::readRows(file))
            out << r[1].toString() + QLatin1Char(' ') + r[12].toString();
        return out;
    }
};

// Runs fn on every modal window that comes on screen while it lives (fn
// should close it): a window that should not open is seen instead of
// blocking the test in its event loop.
struct ModalWatch : QTimer {
    explicit ModalWatch(std::function<void(QWidget *)> fn)
    {
        connect(this, &QTimer::timeout, [fn] {
            if (QWidget *m = QApplication::activeModalWidget())
                fn(m);
        });
        start(20);
    }
};

