// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AndroidDevice.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class WinMovable;

// Asks for the phone's WiFi address (shown by the companion app) and connects to it. Accepted once
// a phone answered; device() then describes it.
class AndroidWIFIForm : public QDialog
{
    Q_OBJECT

public:
    explicit AndroidWIFIForm(QWidget* parent = nullptr);

    const AndroidDevice& device() const { return m_device; }

public slots:
    void onBtnConnect();

private:
    WinMovable* movable;
    QLabel* label;
    QLineEdit* txtWifiSocket;
    QPushButton* btnConnect;
    QPushButton* btnClose;
    QLabel* label_2;
    QLabel* lbTipsDownloadWifiConnection;
    AndroidDevice m_device;
};
