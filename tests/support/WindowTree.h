// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"

#include <QStringList>

// What window tests look at in the tree, the list and the message boxes. Header only: the support
// library itself links no widgets.

// A window that neither watches for phones nor shows its USB tips, so that only the test talks to it.
inline MainWindowOptions quietWindowOptions()
{
    MainWindowOptions options;
    options.startMonitor = false;
    options.usbTipsDelayMs = -1;
    return options;
}

// A window whose monitor looks for phones every 100 ms, without USB tips.
inline MainWindowOptions watchingWindowOptions()
{
    MainWindowOptions options;
    options.monitorPollIntervalMs = 100;
    options.usbTipsDelayMs = -1;
    return options;
}

inline _ItemNode* childNamed(const _ItemNode* node, const QString& name)
{
    for (_ItemNode* child : node->children)
        if (child->name == name)
            return child;
    return nullptr;
}

inline QStringList childNames(const _ItemNode* node)
{
    QStringList names;
    for (const _ItemNode* child : node->children)
        names.append(child->name);
    return names;
}

inline _AbsDBItemNode* localDbNamed(const MainWindow& window, const QString& name)
{
    return static_cast<_AbsDBItemNode*>(childNamed(window.mainModel()->rootLocalDb(), name));
}

// The node of the connected phone of that name, or null.
inline _AndroidDeviceItemNode* deviceNamed(const MainWindow& window, const QString& name)
{
    _ItemNode* node = childNamed(window.mainModel()->rootDevice(), name);
    return node && node->type == _ItemNode::TypeAndroidDevice ? static_cast<_AndroidDeviceItemNode*>(node) : nullptr;
}

// Makes the node current in the tree, as a click on it does.
inline void selectInTree(MainWindow& window, _ItemNode* node)
{
    window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"))->setCurrentIndex(window.mainModel()->nodeIndex(node));
}

// The texts of the messages the list shows, in its order.
inline QStringList listTexts(const MainWindow& window)
{
    QStringList texts;
    for (const _MsgMessage* message : window.shownMessages())
        texts.append(message->text);
    return texts;
}

inline QStringList boxTexts(const QList<ShownMessageBox>& boxes)
{
    QStringList texts;
    for (const ShownMessageBox& box : boxes)
        texts.append(box.text);
    return texts;
}

inline bool hasErrorBox(const QList<ShownMessageBox>& boxes)
{
    for (const ShownMessageBox& box : boxes)
        if (box.icon == QMessageBox::Critical)
            return true;
    return false;
}
