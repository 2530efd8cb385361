// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

#include <memory>

// The program's modal message boxes: frameless, draggable, styled, without parent. GUI thread only.
// Returns the standard button pressed. Without a default button the box picks its own (Yes, or OK).
QMessageBox::StandardButton showMessageBox(QMessageBox::Icon icon, const QString& text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
// A button of a box with a text of its own (empty: the standard text).
struct LabelledButton
{
    QMessageBox::StandardButton button;
    QString text;
};
// A box with any standard buttons and texts of their own, scripted like the others: answered by
// standard button, and by the most cautious one when no answer is queued.
QMessageBox::StandardButton showLabelledMessageBox(
    QMessageBox::Icon icon, const QString& text, const QList<LabelledButton>& buttons);
// Also writes the error text to the log.
void showErrorBox(const QString& text);
void showInfoBox(const QString& text);
void showWarningBox(const QString& text);
// True when the user answered Yes.
bool askYesNo(const QString& text);
// The same for a question whose Yes destroys data: No is the default button, so Enter keeps the data.
bool askYesNoDefaultNo(const QString& text);

// The box showMessageBox runs, built but not shown: buttons Yes, No, OK, Cancel in that order, as present.
std::unique_ptr<QMessageBox> createMessageBox(QMessageBox::Icon icon, const QString& text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// The rich text of the error box around an error text; the error text's own markup is kept. A long
// error text is cut after its first kilobyte, with a mark that says so.
QString errorBoxText(const QString& error);

// Scripting for tests, so that no test blocks on a modal box. While scripted, or while answers are
// queued, a box is not shown: it is recorded and answered with the next queued answer, or, when
// none is queued, with its most cautious button (Cancel, else No, else OK). In normal runs nothing is
// queued and the real box appears.
struct ShownMessageBox
{
    QMessageBox::Icon icon;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

void setMessageBoxesScripted(bool scripted);
void setNextMessageBoxAnswer(QMessageBox::StandardButton answer);
// The boxes recorded since the last call, oldest first.
QList<ShownMessageBox> takeShownMessageBoxes();
