// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ProgressForm.h"

#include "ui/MessageBoxes.h"
#include "ui/StyleSheet.h"
#include "ui/WinMovable.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

ProgressForm::ProgressForm(const QString& status, QWidget* parent)
    : QDialog(parent)
    , movable(new WinMovable(this))
    , lbStatus(new QLabel(this))
    , progressBar(new QProgressBar(this))
    , lbProgress(new QLabel(this))
    , btnCancel(new QPushButton(this))
{
    setObjectName(QStringLiteral("ProgressForm"));
    setWindowTitle(status);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    resize(350, 122);
    setStyleSheet(appStyleSheet());

    lbStatus->setObjectName(QStringLiteral("lbStatus"));
    lbStatus->setGeometry(20, 20, 311, 16);
    lbStatus->setText(status);

    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setGeometry(20, 40, 321, 23);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(true);
    progressBar->setOrientation(Qt::Horizontal);

    lbProgress->setObjectName(QStringLiteral("lbProgress"));
    lbProgress->setGeometry(25, 70, 281, 20);
    lbProgress->setAlignment(Qt::AlignCenter);

    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(130, 90, 75, 23);
    btnCancel->setText(tr("Cancel"));
    // Otherwise the dialog makes Cancel its default button and Enter would cancel the operation.
    btnCancel->setAutoDefault(false);
    btnCancel->setDefault(false);

    connect(this, &QDialog::finished, this, &ProgressForm::onFinish);
    connect(btnCancel, &QPushButton::pressed, this, &ProgressForm::cancel);
}

ProgressForm::~ProgressForm() = default;

void ProgressForm::setCancelEnabled(bool enabled)
{
    btnCancel->setEnabled(enabled);
}

void ProgressForm::accept() { }

void ProgressForm::reject() { }

void ProgressForm::updateProgress(const QString& status, int curProgress, const QString& progressText)
{
    if (!status.isEmpty())
        lbStatus->setText(status);
    // The bar ignores a value beyond its range and would go on showing an older one.
    if (curProgress >= 0)
        progressBar->setValue(std::min(curProgress, progressBar->maximum()));
    lbProgress->setText(
        progressText.isEmpty() ? QStringLiteral("Progress:%1%").arg(progressBar->value()) : progressText);
}

void ProgressForm::errorOccurred(const QString& text)
{
    if (closed)
        return;
    showErrorBox(text);
    done(0);
}

void ProgressForm::succeed(const QString& tipsStr)
{
    if (closed)
        return;
    if (m_keepSuccessText)
        m_successText = tipsStr;
    else if (!tipsStr.isEmpty())
        showInfoBox(tipsStr);
    done(1);
}

void ProgressForm::onFinish(int result)
{
    closed = true;
    cancelled = (result == 0);
}

void ProgressForm::tipsWait(const QString& info)
{
    // After the dialog closed nobody reads the tip; the worker, waiting on the flag, must still go on.
    if (!closed)
        showInfoBox(info);
    waitingForTips = false;
}

void ProgressForm::cancel()
{
    emit userCacel();
    done(0);
}
