// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Plain text made safe for a rich-text cell: "&", "<" and ">" become entities and every line feed
// (with an optional carriage return before it) becomes "<br/>". Quotes are left as they are.
QString escapeMessageHtml(const QString& text);
