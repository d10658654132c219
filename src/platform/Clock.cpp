#include "Clock.h"

namespace platform {

namespace {
std::function<QDateTime()> &provider()
{
    static std::function<QDateTime()> p;
    return p;
}
} // namespace

QDateTime now()
{
    if (provider())
        return provider()();
    return QDateTime::currentDateTime();
}

void setNowProvider(std::function<QDateTime()> p) { provider() = std::move(p); }

} // namespace platform
