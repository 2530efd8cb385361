// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SaveFileDialog.h"

#include <QFileDialog>
#include <QPair>
#include <QQueue>

#include <utility>

namespace {

QQueue<QPair<QString, QString>>& queuedAnswers()
{
    static QQueue<QPair<QString, QString>> answers;
    return answers;
}

QList<ShownSaveDialog>& shownDialogs()
{
    static QList<ShownSaveDialog> shown;
    return shown;
}

} // namespace

QString getSaveFileName(QWidget* parent, const QString& caption, const QString& proposedPath, const QString& filters,
    QString* selectedFilter)
{
    if (queuedAnswers().isEmpty())
        return QFileDialog::getSaveFileName(parent, caption, proposedPath, filters, selectedFilter);

    shownDialogs().append({ caption, proposedPath, filters });
    const auto answer = queuedAnswers().dequeue();
    if (selectedFilter)
        *selectedFilter = answer.second;
    return answer.first;
}

QString getOpenFileName(QWidget* parent, const QString& caption, const QString& folder, const QString& filters)
{
    if (queuedAnswers().isEmpty())
        return QFileDialog::getOpenFileName(parent, caption, folder, filters);

    shownDialogs().append({ caption, folder, filters });
    return queuedAnswers().dequeue().first;
}

void setNextSaveFileAnswer(const QString& path, const QString& selectedFilter)
{
    queuedAnswers().enqueue({ path, selectedFilter });
}

QList<ShownSaveDialog> takeShownSaveDialogs()
{
    return std::exchange(shownDialogs(), {});
}
