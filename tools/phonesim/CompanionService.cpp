// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/CompanionService.h"

CompanionService::CompanionService(QObject* parent)
    : QObject(parent)
{
}

void CompanionService::addOptions(QCommandLineParser&)
{
}

bool CompanionService::start(const QCommandLineParser&, QString*)
{
    return true;
}

QString CompanionService::announceChannel(const QString&)
{
    return QString();
}

quint16 CompanionService::channelEndpoint(quint16)
{
    return 0;
}
