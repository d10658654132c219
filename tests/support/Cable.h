#pragma once
// A network of a test's own with a cable it can pull: a network namespace
// joined to this one by a veth pair, with addresses of its own in the
// benchmarking range (198.18.0.0/15), named after the process so that tests
// run at the same time do not meet. Root only; removed when the object goes.
#include <QString>

namespace testsupport {

class Cable
{
public:
    Cable();
    ~Cable();
    bool isReady() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    QString netns() const { return m_netns; }  // where a server is started (PgServer::Options::netns)
    QString inside() const { return m_inside; } // the address there
    // Puts this side of the cable down (pulled) or up again.
    bool plug(bool up);

private:
    bool ip(const QString &arguments);
    QString m_netns, m_veth, m_inside, m_error;
};

} // namespace testsupport
