// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/CountrySelForm.h"

#include "base/DataFolders.h"
#include "base/TaskReporting.h"
#include "store/CountryLibDb.h"
#include "ui/MessageBoxes.h"
#include "ui/StyleSheet.h"
#include "ui/WinMovable.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

CountrySelForm::CountrySelForm(QWidget* parent, const QString& simCountry)
    : QDialog(parent)
    , movable(new WinMovable(this))
{
    setObjectName(QStringLiteral("CountrySelForm"));
    setWindowTitle(QStringLiteral("CountrySelForm"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    resize(326, 398);
    setStyleSheet(appStyleSheet());

    auto* verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSpacing(10);

    lbTitle = new QLabel(tr("IDS_SEL_YOUR_PHONE_COUNTRY"), this);
    lbTitle->setObjectName(QStringLiteral("lbTitle"));
    verticalLayout->addWidget(lbTitle);

    auto* widget = new QWidget(this);
    widget->setObjectName(QStringLiteral("widget"));
    auto* listLayout = new QVBoxLayout(widget);
    listLayout->setContentsMargins(0, 0, 0, 0);
    txtKW = new QLineEdit(widget);
    txtKW->setObjectName(QStringLiteral("txtKW"));
    listLayout->addWidget(txtKW);
    ltCountries = new QListWidget(widget);
    ltCountries->setObjectName(QStringLiteral("ltCountries"));
    listLayout->addWidget(ltCountries);
    verticalLayout->addWidget(widget);

    auto* widget_2 = new QWidget(this);
    widget_2->setObjectName(QStringLiteral("widget_2"));
    auto* buttonLayout = new QHBoxLayout(widget_2);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    btnOK = new QPushButton(QStringLiteral("OK"), widget_2);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    // Cancel ends the command that asked; Escape and the close request still do nothing, so that a
    // stray key never drops a country chosen with care.
    btnClose = new QPushButton(tr("取消"), widget_2);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    buttonLayout->addStretch();
    buttonLayout->addWidget(btnOK);
    buttonLayout->addWidget(btnClose);
    verticalLayout->addWidget(widget_2);

    connect(txtKW, &QLineEdit::textChanged, this, &CountrySelForm::kwinput);
    connect(btnOK, &QPushButton::pressed, this, &CountrySelForm::accept);
    connect(btnClose, &QPushButton::pressed, this, [this] { done(QDialog::Rejected); });

    fillCountries(simCountry);
}

void CountrySelForm::fillCountries(const QString& simCountry)
{
    try {
        CountryLibDb library(countryLibPath(), QString());
        library.open();
        Sqlite3Cursor rows = library.queryThrow(
            Sqlite3Sql("select pnum, n, substr(mmc,0,4) as mmc, sn from countries order by n asc"));
        // The SIM's country, else the desktop's, is the likely answer; it is only preselected, and OK still asks.
        const QString localCountry = QLocale::territoryToCode(QLocale().territory());
        QListWidgetItem* simItem = nullptr;
        QListWidgetItem* localItem = nullptr;
        while (rows.moveNext()) {
            const QString code = rows.getText(QStringLiteral("mmc"));
            const QString text = QStringLiteral("%1 (+%2)")
                                     .arg(rows.getText(QStringLiteral("n")), rows.getText(QStringLiteral("pnum")));
            m_countries.append({ code, text });
            auto* item = new QListWidgetItem(text, ltCountries);
            item->setData(Qt::UserRole, code);
            const QString shortName = rows.getText(QStringLiteral("sn"));
            if (!simItem && !simCountry.isEmpty() && shortName.compare(simCountry, Qt::CaseInsensitive) == 0)
                simItem = item;
            if (!localItem && !localCountry.isEmpty() && shortName.compare(localCountry, Qt::CaseInsensitive) == 0)
                localItem = item;
        }
        if (simItem || localItem)
            ltCountries->setCurrentItem(simItem ? simItem : localItem);
        if (ltCountries->currentItem())
            ltCountries->scrollToItem(ltCountries->currentItem(), QAbstractItemView::PositionAtCenter);
    } catch (const std::exception& error) {
        showErrorBox(exceptionText(error));
    }
}

void CountrySelForm::kwinput(const QString& keyword)
{
    ltCountries->clear();
    for (const auto& [code, text] : std::as_const(m_countries)) {
        if (!text.contains(keyword, Qt::CaseInsensitive))
            continue;
        auto* item = new QListWidgetItem(text, ltCountries);
        item->setData(Qt::UserRole, code);
    }
}

void CountrySelForm::accept()
{
    const QListWidgetItem* item = ltCountries->currentItem();
    if (!item) {
        showWarningBox(tr("IDS_CANT_CONTINUE_WITHOUT_SEL_ONE_COUNTRY"));
        return;
    }
    if (!askYesNo(tr("IDS_CONFIRM_SEL_COUNTRY_%1").arg(item->text())))
        return;
    m_code = item->data(Qt::UserRole).toString();
    QDialog::accept();
}

void CountrySelForm::reject() { }
