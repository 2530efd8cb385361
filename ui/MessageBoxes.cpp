// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MessageBoxes.h"

#include "base/TaskReporting.h"
#include "ui/StyleSheet.h"
#include "ui/UiLog.h"
#include "ui/WinMovable.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QCoreApplication>
#include <QtDebug>

namespace {


// An error box shows this much of an error text: a box laid out around megabytes of a phone's text
// takes many seconds and freezes the window meanwhile.
constexpr qsizetype maxShownErrorLength = 1024;

struct Script
{
    bool scripted = false;
    QList<QMessageBox::StandardButton> answers;
    QList<ShownMessageBox> shown;
};

Script& script()
{
    static Script instance;
    return instance;
}

QMessageBox::StandardButton cautiousAnswer(QMessageBox::StandardButtons buttons)
{
    for (QMessageBox::StandardButton button : { QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ok }) {
        if (buttons.testFlag(button))
            return button;
    }
    return QMessageBox::Yes;
}

} // namespace

std::unique_ptr<QMessageBox> createMessageBox(QMessageBox::Icon icon, const QString& text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    auto box = std::make_unique<QMessageBox>(
        icon, QCoreApplication::translate("MessageBox", "Quillbarrow SMS Desk"), text, QMessageBox::NoButton);
    new WinMovable(box.get());
    box->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    box->setStyleSheet(appStyleSheet());
    for (QMessageBox::StandardButton button :
        { QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok, QMessageBox::Cancel }) {
        if (buttons.testFlag(button))
            box->addButton(button);
    }
    if (defaultButton != QMessageBox::NoButton && buttons.testFlag(defaultButton))
        box->setDefaultButton(defaultButton);
    return box;
}

QMessageBox::StandardButton showMessageBox(QMessageBox::Icon icon, const QString& text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    Script& s = script();
    if (s.scripted || !s.answers.isEmpty()) {
        s.shown.append({ icon, text, buttons, defaultButton });
        return s.answers.isEmpty() ? cautiousAnswer(buttons) : s.answers.takeFirst();
    }

    const std::unique_ptr<QMessageBox> box = createMessageBox(icon, text, buttons, defaultButton);
    return static_cast<QMessageBox::StandardButton>(box->exec());
}

QMessageBox::StandardButton showLabelledMessageBox(
    QMessageBox::Icon icon, const QString& text, const QList<LabelledButton>& buttons)
{
    QMessageBox::StandardButtons standard;
    for (const LabelledButton& button : buttons)
        standard |= button.button;
    Script& s = script();
    if (s.scripted || !s.answers.isEmpty()) {
        s.shown.append({ icon, text, standard, QMessageBox::NoButton });
        return s.answers.isEmpty() ? cautiousAnswer(standard) : s.answers.takeFirst();
    }
    const std::unique_ptr<QMessageBox> box = createMessageBox(icon, text, standard);
    for (const LabelledButton& button : buttons) {
        QAbstractButton* shown = box->button(button.button);
        if (!shown)
            shown = box->addButton(button.button);
        if (!button.text.isEmpty())
            shown->setText(button.text);
    }
    return static_cast<QMessageBox::StandardButton>(box->exec());
}

QString errorBoxText(const QString& error)
{
    return QStringLiteral("An Error Occurred. <br/><br/>%1").arg(shortenedText(error, maxShownErrorLength));
}

void showErrorBox(const QString& text)
{
    qCWarning(lcUi).noquote() << "Error shown to the user:" << shortenedText(text, maxLoggedTextLength);
    showMessageBox(QMessageBox::Critical, errorBoxText(text), QMessageBox::Ok);
}

void showInfoBox(const QString& text)
{
    showMessageBox(QMessageBox::Information, text, QMessageBox::Ok);
}

void showWarningBox(const QString& text)
{
    showMessageBox(QMessageBox::Warning, text, QMessageBox::Ok);
}

bool askYesNo(const QString& text)
{
    return showMessageBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool askYesNoDefaultNo(const QString& text)
{
    return showMessageBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void setMessageBoxesScripted(bool scripted)
{
    script().scripted = scripted;
}

void setNextMessageBoxAnswer(QMessageBox::StandardButton answer)
{
    script().answers.append(answer);
}

QList<ShownMessageBox> takeShownMessageBoxes()
{
    QList<ShownMessageBox> shown;
    shown.swap(script().shown);
    return shown;
}
