#include "Cable.h"

#include <QProcess>

#include <unistd.h>

namespace testsupport {

Cable::Cable()
{
    if (::geteuid() != 0) {
        m_error = QStringLiteral("network namespaces need root");
        return;
    }
    const qint64 pid = ::getpid();
    const qint64 subnet = (pid % 32768) * 4; // a /30 of 198.18.0.0/15 for this process
    const QString prefix = QStringLiteral("198.%1.%2.").arg(18 + subnet / 65536).arg(subnet / 256 % 256);
    m_netns = QStringLiteral("sequanel-cable-%1").arg(pid);
    m_veth = QStringLiteral("sqc%1").arg(pid);
    m_inside = prefix + QString::number(subnet % 256 + 2);
    const QString outside = prefix + QString::number(subnet % 256 + 1);
    const QString peer = QStringLiteral("sqn%1").arg(pid);
    for (const QString &step : {QStringLiteral("netns add %1").arg(m_netns),
                                QStringLiteral("link add %1 type veth peer name %2").arg(m_veth, peer),
                                QStringLiteral("link set %1 netns %2").arg(peer, m_netns),
                                QStringLiteral("addr add %1/30 dev %2").arg(outside, m_veth),
                                QStringLiteral("link set %1 up").arg(m_veth),
                                QStringLiteral("-n %1 addr add %2/30 dev %3").arg(m_netns, m_inside, peer),
                                QStringLiteral("-n %1 link set %2 up").arg(m_netns, peer),
                                QStringLiteral("-n %1 link set lo up").arg(m_netns)})
        if (!ip(step))
            return;
}

Cable::~Cable()
{
    if (m_netns.isEmpty())
        return;
    ip(QStringLiteral("link del %1").arg(m_veth)); // (its peer goes with it)
    ip(QStringLiteral("netns del %1").arg(m_netns));
}

bool Cable::plug(bool up) { return ip(QStringLiteral("link set %1 %2").arg(m_veth, up ? "up" : "down")); }

bool Cable::ip(const QString &arguments)
{
    QProcess p;
    p.start(QStringLiteral("ip"), arguments.split(QLatin1Char(' ')));
    if (p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    if (m_error.isEmpty())
        m_error = QStringLiteral("ip %1: %2").arg(arguments, QString::fromLocal8Bit(p.readAllStandardError()).trimmed());
    return false;
}

} // namespace testsupport
