#include "Progress.h"

#include "Prompts.h"

#include <QApplication>
#include <QEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <optional>

namespace platform {

namespace {
std::optional<std::function<bool(qint64, qint64)>> &responder()
{
    static std::optional<std::function<bool(qint64, qint64)>> r;
    return r;
}

// Holds back the user's input while the dialog is not shown yet.
class InputHold : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *e) override
    {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
            return true;
        default:
            return false;
        }
    }
};
} // namespace

void setProgressResponder(const std::function<bool(qint64, qint64)> &cancel) { responder() = cancel; }
void clearProgressResponder() { responder().reset(); }

struct Progress::Impl {
    std::unique_ptr<QProgressDialog> dialog;
    std::unique_ptr<InputHold> hold;
};

Progress::Progress(QWidget *parent, const QString &label) : d(std::make_unique<Impl>())
{
    if (responder())
        return;
    d->dialog = std::make_unique<QProgressDialog>(label, QStringLiteral("Annuler"), 0, 0, parent);
    d->dialog->setWindowTitle(applicationTitle());
    d->dialog->setWindowModality(Qt::ApplicationModal);
    d->dialog->setMinimumDuration(500);
    d->dialog->setAutoClose(false);
    d->dialog->setAutoReset(false);
    d->dialog->setValue(0);
    d->hold = std::make_unique<InputHold>();
    qApp->installEventFilter(d->hold.get());
}

Progress::~Progress()
{
    if (d->hold)
        qApp->removeEventFilter(d->hold.get());
}

bool Progress::report(qint64 done, qint64 total)
{
    if (responder())
        return !(*responder())(done, total);
    QProgressDialog &dialog = *d->dialog;
    // The bar counts in thousands beyond what an int holds.
    const int scale = total > 1000000000 ? 1000 : 1;
    if (dialog.maximum() != int(total / scale))
        dialog.setMaximum(int(total / scale));
    dialog.setValue(int(std::min(done, total) / scale));
    if (d->hold && dialog.isVisible()) {
        qApp->removeEventFilter(d->hold.get());
        d->hold.reset();
    }
    return !dialog.wasCanceled();
}

} // namespace platform
