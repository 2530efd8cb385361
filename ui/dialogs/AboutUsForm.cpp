// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/AboutUsForm.h"

#include "ui/StyleSheet.h"
#include "ui/WinMovable.h"

#include <QDate>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

AboutUsForm::AboutUsForm(QWidget* parent)
    : QDialog(parent)
    , movable(new WinMovable(this))
{
    setObjectName(QStringLiteral("AboutUsForm"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(400, 200);
    setStyleSheet(appStyleSheet());
    setWindowTitle(tr("关于"));

    lbTitle = new QLabel(tr("关于"), this);
    lbTitle->setObjectName(QStringLiteral("lbTitle"));
    lbTitle->setGeometry(10, 10, 380, 16);

    picApp = new QGraphicsView(this);
    picApp->setObjectName(QStringLiteral("picApp"));
    picApp->setGeometry(20, 45, 72, 72);
    picApp->setStyleSheet(QStringLiteral("background:Transparent;border:0;"));
    picApp->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    picApp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* scene = new QGraphicsScene(picApp);
    scene->addPixmap(QPixmap(QStringLiteral(":main")).scaledToHeight(64, Qt::SmoothTransformation));
    picApp->setScene(scene);

    lbProduct = new QLabel(QStringLiteral("%1 v%2").arg(tr("Quillbarrow SMS Desk"), QLatin1String(version)), this);
    lbProduct->setObjectName(QStringLiteral("lbProduct"));
    lbProduct->setGeometry(110, 50, 280, 20);

    lbHomePage = new QLabel(this);
    lbHomePage->setObjectName(QStringLiteral("lbHomePage"));
    lbHomePage->setGeometry(110, 75, 280, 20);
    lbHomePage->setTextFormat(Qt::RichText);
    lbHomePage->setOpenExternalLinks(true);
    lbHomePage->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(QLatin1String(homePage)));

    lbCopyRight = new QLabel(this);
    lbCopyRight->setObjectName(QStringLiteral("lbCopyRight"));
    lbCopyRight->setGeometry(110, 100, 280, 55);
    lbCopyRight->setWordWrap(true);
    lbCopyRight->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbCopyRight->setTextFormat(Qt::RichText);
    lbCopyRight->setOpenExternalLinks(true);
    lbCopyRight->setText(tr("Copyright © %1 Quillbarrow SMS Desk developers. Free software under the "
                            "<a href=\"https://www.gnu.org/licenses/gpl-3.0.html\">GNU General Public License, "
                            "version 3 or later</a>.")
                             .arg(QDate::currentDate().year()));

    btnOK = new QPushButton(tr("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(160, 160, 80, 24);

    connect(btnOK, &QPushButton::pressed, this, &QDialog::accept);
}
