// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QDir;

// Keeps the search index beside a message store current after a task changed the store, so that the
// next search does not wait for it. The updates run one after the other on a thread of their own,
// away from the window, and only the messages that came or went are indexed (an index that is missing
// or stale is built anew). A failed update is logged and left to the next search. When the program
// ends, a running update is cancelled and its index stays as it was before it.

// Queues an update of the index of the store in the folder; one already queued is not repeated.
void updateSearchIndexLater(const QDir& folder);
// Drops the queued updates of the indexes in the folder or under it and cancels a running one,
// returning once none runs there: for a folder about to be removed.
void stopSearchIndexUpdate(const QDir& folder);
// Returns once every queued update has ended.
void waitForSearchIndexUpdates();
