// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/LocalPorts.h"

#include <QTcpServer>

#include <random>

quint16 freeLocalPort()
{
    static std::mt19937 random(std::random_device {}());
    std::uniform_int_distribution<int> pick(46001, 49999);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const auto port = static_cast<quint16>(pick(random));
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, port))
            return port;
    }
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
