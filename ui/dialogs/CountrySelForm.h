// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class WinMovable;

// Asks for the phone's country when the phone reported no usable mobile country code. It ends with a
// chosen country, or with Cancel, which stops the command that asked; Escape and the close request
// do nothing.
class CountrySelForm : public QDialog
{
    Q_OBJECT

public:
    // The country of the phone's SIM (a two-letter code) is current when the dialog opens; without one,
    // or with one the list does not hold, the country of the desktop's locale is.
    explicit CountrySelForm(QWidget* parent = nullptr, const QString& simCountry = QString());

    // The mobile country code of the chosen country, once exec() returned 1.
    const QString& code() const { return m_code; }

public slots:
    void accept() override;
    void reject() override;
    // Shows the countries whose display text contains the keyword, in name order.
    void kwinput(const QString& keyword);

private:
    void fillCountries(const QString& simCountry);

    WinMovable* movable;
    QLabel* lbTitle;
    QLineEdit* txtKW;
    QListWidget* ltCountries;
    QPushButton* btnOK;
    QPushButton* btnClose;
    // Code and display text of every country, in name order.
    QList<QPair<QString, QString>> m_countries;
    QString m_code;
};
