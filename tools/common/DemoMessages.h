// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/common/SyntheticMessages.h"

// The messages of the demo phone, a British phone (mobile country code 234) that someone has used
// for several years: demoMessageCount messages in demoConversationCount conversations with named
// contacts at home and abroad writing in their own scripts, a group conversation, service senders,
// picture and other attachment placeholders, and one long letter. The contacts are always the
// same; the seed decides what they write and when, and the same seed always gives the same list,
// ordered by time.
//
// A group conversation reaches the desktop as one address listing its members, separated by
// ";", and each member's message starts with the member's first name and a colon. An attachment
// is a line such as "[Photo: IMG_20210614_183012.jpg]", possibly followed by a caption.
QList<SimMessage> generateDemoMessages(quint32 seed);

// The demo phone's multimedia messages, kept apart from the text messages above so that those stay
// as they are: pictures from and to a few contacts, some with a caption, and one picture sent to the
// group conversation by one of its members. Only the phone's message provider serves them; the
// companion's channels carry text messages. The same seed always gives the same list.
QList<SimMessage> generateDemoMultimedia(quint32 seed);

constexpr int demoMessageCount = 2000;
constexpr int demoConversationCount = 40;
