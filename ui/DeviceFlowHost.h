// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class AndroidMonitor;
class IOS6MessageDb;
class ItemModelMain;
class QWidget;
class _AbsDBItemNode;
class _ItemNode;
class _MsgCollection;
struct StoreRead;

// What the device flow needs of the window it brings phones into: a parent for its dialogs, the
// tree and its nodes, reads of a store under the window's progress dialog, and the monitor that
// knows which phones are plugged in. The window is the one host; the flow knows no more of it.
class DeviceFlowHost
{
public:
    virtual QWidget* dialogParent() = 0;
    virtual ItemModelMain* mainModel() const = 0;
    virtual AndroidMonitor* monitor() const = 0;
    // Expands the node and makes it current after the current event.
    virtual void selectNode(_ItemNode* node) = 0;
    virtual void removeSourceNode(_AbsDBItemNode* node) = 0;
    virtual void removeDeviceNodeByUid(const QString& uid) = 0;
    // False when the read failed (the dialog has said why) or was cancelled.
    virtual bool readStore(IOS6MessageDb& db, const _MsgCollection& collection, const StoreRead& read) = 0;

protected:
    ~DeviceFlowHost() = default;
};
