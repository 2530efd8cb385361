// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small helpers shared by the files of the main window and its device flow.

#include <QDir>
#include <QLatin1String>
#include <QString>

#include <exception>

class _AbsDBItemNode;
class _ItemNode;

// The error box shows rich text; what a store reports is never meant as markup. Quotes stay as they
// are, so that the log keeps the text readable.
QString escapeMarkup(QString text);

// A store that could not be read, in an error box.
void showReadError(const std::exception& error);

// The node as a device or database node; null for any other node.
_AbsDBItemNode* asSourceNode(_ItemNode* node);
// The node as a source node of that one type (_ItemNode::TypeAndroidDevice or TypeLocalDb).
_AbsDBItemNode* asSource(_ItemNode* node, int type);

// The settings keys of the folders the export and import dialogs open in.
extern const QLatin1String exportFolderKey;
extern const QLatin1String importFolderKey;
// The folder a file dialog opened in last time, while it still exists; the home folder otherwise.
QDir rememberedFolder(const QLatin1String& key);
void rememberFolder(const QLatin1String& key, const QString& folder);
