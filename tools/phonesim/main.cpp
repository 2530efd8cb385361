// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/AdbDeviceServer.h"
#include "tools/phonesim/ChannelSession.h"
#include "tools/phonesim/CompanionService.h"
#include "tools/phonesim/SimLog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

const QString untilStdinClosesOption = QStringLiteral("until-stdin-closes");

// Lets channels still reading the desktop's last lines finish (they may yet find a fault), then
// reports the protocol violations and exits: status 3 when there were any.
void finishRun()
{
    const QDeadlineTimer deadline(2000);
    auto* poll = new QTimer(QCoreApplication::instance());
    QObject::connect(poll, &QTimer::timeout, poll, [poll, deadline] {
        if (ChannelSession::waitingForDesktop() > 0 && !deadline.hasExpired())
            return;
        poll->stop();
        const int violations = simViolationCount();
        std::printf("finished violations=%d\n", violations);
        std::fflush(stdout);
        // Channel threads may still be blocked on a silent desktop or paused by a fault; they must
        // neither hold up the exit nor run into objects being torn down.
        std::fflush(stderr);
        std::_Exit(violations > 0 ? 3 : 0);
    });
    poll->start(20);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qsms-phone-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A stand-in for an Android phone running the companion app: an emulated adb device for the real "
                       "adb and the companion's side of the line protocol, over TCP on 127.0.0.1."));
    parser.addHelpOption();
    parser.addOption({ untilStdinClosesOption,
        QStringLiteral("Run until standard input closes, then print \"finished violations=N\" (N: protocol "
                       "violations by the desktop) and exit, with status 3 when N is not 0. For test harnesses.") });

    CompanionService companion;
    AdbDeviceServer adbDevice(companion);
    companion.addOptions(parser);
    adbDevice.addOptions(parser);
    parser.process(app);

    QString error;
    const bool companionStarted = companion.start(parser, &error);
    if (companionStarted)
        adbDevice.setMessageStore(companion.messageStore());
    if (!companionStarted || !adbDevice.start(parser, &error)) {
        std::fprintf(stderr, "qsms-phone-sim: %s\n", qPrintable(error));
        return 2;
    }

    // Test harnesses wait for this line to learn the ports actually bound.
    std::printf("ready adb=%u service=%u\n", unsigned(adbDevice.listeningPort()), unsigned(companion.listeningPort()));
    std::fflush(stdout);

    if (parser.isSet(untilStdinClosesOption)) {
        auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
        QObject::connect(input, &QSocketNotifier::activated, input, [input] {
            char discarded[256];
            if (::read(STDIN_FILENO, discarded, sizeof discarded) > 0)
                return;
            input->setEnabled(false);
            finishRun();
        });
    }
    return app.exec();
}
