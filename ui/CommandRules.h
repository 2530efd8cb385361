// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class MainWindow;
class _ItemNode;

// The rules behind the main window's commands, apart from the window so that they can be checked on
// their own: which shared actions are enabled, which context-menu entries a node offers, where an
// export goes, and which folders a command may write or remove.

// The five actions of the File menu and the tool bar.
struct CommandActionStates
{
    bool backup = false;
    bool transfer = false;
    bool exportMessages = false;
    bool print = false;
    bool remove = false;
};

// For the current tree node (null for none) and the number of phones in the tree. A conversation
// counts as its device or database.
CommandActionStates commandActionStates(const _ItemNode* node, int deviceCount);

// One entry of a context menu: its text, icon resource (empty for none), the MainWindow slot it
// calls, and whether it can be chosen.
struct CommandEntry
{
    QString text;
    QString icon;
    void (MainWindow::*slot)();
    bool enabled = true;
};

// The tree's context menu for the current node; empty for no menu.
QList<CommandEntry> treeContextEntries(const _ItemNode* node, int deviceCount);
// The message list's context menu, by the current tree node; empty for no menu.
QList<CommandEntry> messageContextEntries(const _ItemNode* node, int deviceCount);

// The save dialog's filters: the export-format table's, in its order.
QStringList exportFilters();

// What an export writes: ExportSMSThread's format code and its file (text, CSV) or folder (PDF, HTML).
struct ExportTarget
{
    unsigned formatCode = 0;
    QString path;
    bool evidence = false; // PDF files to hand over, with a cover page
};

// The export for the path the save dialog returned and the index of the chosen filter in
// exportFilters() (an unknown filter counts as the first). A name without suffix gets the format's;
// a folder format makes its folder beside the chosen name.
ExportTarget exportTarget(const QString& chosenPath, int filterIndex);
