#pragma once
// A long task shown to the user: a dialog titled "Sequanel" with a bar and
// an "Annuler" button, which appears once the task has lasted half a second.
// Until it appears, the user's clicks and keys are held back, so that
// nothing else starts meanwhile.
#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace platform {

class Progress
{
public:
    Progress(QWidget *parent, const QString &label);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // Shows how far the task has come; false once the user has cancelled.
    bool report(qint64 done, qint64 total);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Test seam: while set, no dialog is shown; report() calls this instead and
// the task is cancelled when it returns true.
void setProgressResponder(const std::function<bool(qint64 done, qint64 total)> &cancel);
void clearProgressResponder();

} // namespace platform
