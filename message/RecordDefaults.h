// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

struct _MsgChat;
struct _MsgHandle;
struct _MsgMessage;

// The fields every text message gets that comes from a phone or a phone's backup file, whether it
// was loaded over a channel, imported from XML or converted from a legacy database.

// The correspondent and the one-to-one SMS conversation that a message from this normalised address
// belongs to.
void fillCorrespondent(const QString& address, _MsgHandle& handle, _MsgChat& chat);
// A group conversation named by its members (in the order given), so that every load or import of
// the same group finds it again; the members' handles are the caller's to add.
void fillGroupChat(const QStringList& participants, _MsgChat& chat);
// The fields that are the same for every loaded message: service, account, version and flags.
void fillLoadedMessage(_MsgMessage& message);
