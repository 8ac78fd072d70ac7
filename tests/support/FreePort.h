#pragma once

#include <QTcpServer>

// A loopback port nothing listens on (for now).
inline quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
