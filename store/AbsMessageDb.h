// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/AbsDb.h"

class _MsgCollection;

// A message store that can be read into a _MsgCollection.
class AbsMessageDb : public AbsDb
{
public:
    // Fills the collection's conversations and correspondents; records already there are kept.
    virtual void chats(_MsgCollection& collection) = 0;
    // Fills the messages of one conversation (all of them when chatRowId <= 0) and links them.
    virtual void messages(_MsgCollection& collection, qint64 chatRowId) = 0;
};
