// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Not compiled: what the core include check must report (a widget header, a UI header) and pass over.
#include "message/MsgCollection.h"
#include "ui/views/SmsBrowser.h"

#include <QString>
#include <QtWidgets/QLabel>
