// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/AdbDeviceServer.h"
#include "tools/phonesim/CompanionService.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qsms-phone-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A stand-in for an Android phone running the companion app: an emulated adb device for the real "
        "adb and the companion's side of the line protocol, over TCP on 127.0.0.1."));
    parser.addHelpOption();

    CompanionService companion;
    AdbDeviceServer adbDevice(companion);
    companion.addOptions(parser);
    adbDevice.addOptions(parser);
    parser.process(app);

    QString error;
    if (!companion.start(parser, &error) || !adbDevice.start(parser, &error)) {
        std::fprintf(stderr, "qsms-phone-sim: %s\n", qPrintable(error));
        return 2;
    }

    // Test harnesses wait for this line to learn the ports actually bound.
    std::printf("ready adb=%u service=%u\n", unsigned(adbDevice.listeningPort()), unsigned(companion.listeningPort()));
    std::fflush(stdout);
    return app.exec();
}
