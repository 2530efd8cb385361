// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/AbsMessageDb.h"

// A message store in the phone-messages layout.
class AbsIOSMessageDb : public AbsMessageDb
{
public:
    virtual int version() const = 0;
};
