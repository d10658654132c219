#pragma once
// The computer's clock, replaceable so that tests can fix "now".
#include <QDateTime>
#include <functional>

namespace platform {

QDateTime now();

// Replaces the clock; an empty function restores the system clock.
void setNowProvider(std::function<QDateTime()> provider);

} // namespace platform
