// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Message text made safe for rich text and HTML files: "&", "<" and ">" become entities and every
// line feed, with or without a carriage return before it, becomes "<br/>". Quotes stay as they are.
// The conversation view and the HTML export both show text this way.
QString escapeMessageHtml(const QString& text);
