// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/AndroidWIFIForm.h"

#include "android/AndroidConnectWithWiFiThread.h"
#include "base/DataFolders.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressForm.h"
#include "ui/StyleSheet.h"
#include "ui/WinMovable.h"

#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>

#include <algorithm>

namespace {

const QLatin1String addressesKey("wifi/addresses");

} // namespace

AndroidWIFIForm::AndroidWIFIForm(QWidget* parent)
    : QDialog(parent)
    , movable(new WinMovable(this))
{
    setObjectName(QStringLiteral("AndroidWIFIForm"));
    setWindowTitle(QStringLiteral("AndroidWIFIForm"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    resize(404, 226);
    setStyleSheet(appStyleSheet()
        + QStringLiteral(" #lbTipsDownloadWifiConnection { font-size:9px; color:#767B7C; margin:0 10px;}"));

    label = new QLabel(this);
    label->setObjectName(QStringLiteral("label"));
    label->setGeometry(40, 40, 341, 61);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setText(tr("Run Quillbarrow SMS Agent on Android phone and click Connection button to get the Wifi "
                      "connection info. Now input the info to the following Text Box. "));

    txtWifiSocket = new QLineEdit(this);
    txtWifiSocket->setObjectName(QStringLiteral("txtWifiSocket"));
    txtWifiSocket->setGeometry(40, 110, 331, 20);
    // The addresses that connected before, the last one filled in.
    const QStringList addresses
        = QSettings(settingsFilePath(), QSettings::IniFormat).value(addressesKey).toStringList();
    if (!addresses.isEmpty()) {
        txtWifiSocket->setText(addresses.first());
        txtWifiSocket->selectAll();
        txtWifiSocket->setCompleter(new QCompleter(addresses, txtWifiSocket));
    }

    btnConnect = new QPushButton(tr("Connect"), this);
    btnConnect->setObjectName(QStringLiteral("btnConnect"));
    btnConnect->setGeometry(100, 140, 75, 23);

    btnClose = new QPushButton(tr("Cancel"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(230, 140, 75, 23);

    label_2 = new QLabel(tr("Connect Android via WiFi"), this);
    label_2->setObjectName(QStringLiteral("label_2"));
    label_2->setGeometry(20, 10, 271, 16);

    lbTipsDownloadWifiConnection = new QLabel(this);
    lbTipsDownloadWifiConnection->setObjectName(QStringLiteral("lbTipsDownloadWifiConnection"));
    lbTipsDownloadWifiConnection->setGeometry(0, 190, 401, 31);
    lbTipsDownloadWifiConnection->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lbTipsDownloadWifiConnection->setWordWrap(true);
    lbTipsDownloadWifiConnection->setOpenExternalLinks(true);
    lbTipsDownloadWifiConnection->setText(
        tr("If you haven't installed Quillbarrow SMS Agent on Android phone, please go to the Market (Google Play) on "
           "your Android to search Quillbarrow SMS Agent to download and install. "));
    // The note has room for two lines of a narrow font; where the desktop's font wraps it onto a third,
    // it grows upwards into the space below the buttons instead of being cut at the dialog's edge.
    lbTipsDownloadWifiConnection->ensurePolished();
    const int tipsBottom = 221;
    const int tipsHeight = std::clamp(lbTipsDownloadWifiConnection->heightForWidth(401), 31, tipsBottom - 168);
    lbTipsDownloadWifiConnection->setGeometry(0, tipsBottom - tipsHeight, 401, tipsHeight);

    connect(btnClose, &QPushButton::pressed, this, &QDialog::reject);
    connect(btnConnect, &QPushButton::pressed, this, &AndroidWIFIForm::onBtnConnect);
}

void AndroidWIFIForm::onBtnConnect()
{
    static const QRegularExpression address(QStringLiteral("^(\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3})$"));
    const auto match = address.match(txtWifiSocket->text().trimmed());
    if (!match.hasMatch()) {
        showWarningBox(tr("IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE"));
        return;
    }

    ProgressForm progress(tr("IDS_CONNECTING_ANDROID_DEVICE"), this);
    AndroidConnectWithWiFiThread thread(match.captured(1), &progress);
    thread.start(QThread::InheritPriority);
    const int result = progress.exec();
    thread.wait();
    // Errors have been shown by the progress dialog; the user may try another address.
    if (result == QDialog::Accepted && !progress.cancelled) {
        m_device = thread.device();
        QSettings settings(settingsFilePath(), QSettings::IniFormat);
        QStringList addresses = settings.value(addressesKey).toStringList();
        addresses.removeAll(match.captured(1));
        addresses.prepend(match.captured(1));
        settings.setValue(addressesKey, QStringList(addresses.mid(0, 8)));
        done(QDialog::Accepted);
    }
}
