// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/CountryLibDb.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <stdexcept>

namespace {

const QString resourcePath = QStringLiteral(":/res/countries.db");
const QString selectByMcc =
    QStringLiteral("select c.* from mmc_sn as m inner join countries as c on m.[sn] = c.sn and m.mmc=?");
const QString selectBySn = QStringLiteral("select * from countries where sn=?");

[[noreturn]] void throwText(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

CountryInfo countryFromRow(const Sqlite3Cursor& row)
{
    CountryInfo info;
    info.sn = row.getText(QStringLiteral("sn"));
    info.n = row.getText(QStringLiteral("n"));
    info.ln = row.getText(QStringLiteral("ln"));
    info.pnum = row.getText(QStringLiteral("pnum"));
    info.mmc = row.getText(QStringLiteral("mmc"));
    info.numc = row.getText(QStringLiteral("numc"));
    info.r1 = QLatin1Char('^') + row.getText(QStringLiteral("r1")) + QLatin1Char('$');
    return info;
}

// The stored pattern is r1 between "^" and "$". Many national patterns are alternations, and "^a|b$"
// anchors only the first and the last alternative, so "07946123456" would pass as a GB mobile number.
// The anchors are therefore put around the whole pattern; \z also refuses a final line break that "$"
// lets through.
QString wholeTextPattern(const QString& anchored)
{
    QString inner = anchored;
    if (inner.startsWith(QLatin1Char('^')) && inner.endsWith(QLatin1Char('$')) && inner.size() >= 2)
        inner = inner.mid(1, inner.size() - 2);
    return QStringLiteral("\\A(?:%1)\\z").arg(inner);
}

// Normalising runs once per message of a load, so each thread keeps the few patterns it has compiled.
const QRegularExpression& compiledPattern(const QString& anchored)
{
    thread_local QHash<QString, QRegularExpression> cache;
    auto it = cache.constFind(anchored);
    if (it != cache.constEnd())
        return *it;
    if (cache.size() > 64)
        cache.clear();
    QRegularExpression expression(wholeTextPattern(anchored));
    expression.optimize();
    return *cache.insert(anchored, expression);
}

bool isAsciiLetterOrAt(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || u == u'@';
}

bool isKeptInNumber(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || u == u'+';
}

} // namespace

bool CountryInfo::isNumberLength(int n) const
{
    const QStringList parts = numc.split(QLatin1Char(','));
    for (const QString& part : parts) {
        if (part.toInt() == n)
            return true;
    }
    return false;
}

bool CountryInfo::matchesNumberPattern(const QString& number) const
{
    if (r1.isEmpty())
        return false;
    return compiledPattern(r1).match(number).hasMatch();
}

QString normalizePhoneNumber(const CountryInfo& country, const QString& address)
{
    if (std::any_of(address.cbegin(), address.cend(), isAsciiLetterOrAt))
        return address.toLower();

    QString cleaned;
    cleaned.reserve(address.size());
    for (QChar c : address) {
        if (isKeptInNumber(c))
            cleaned.append(c);
    }
    if (cleaned.isEmpty() || cleaned.contains(QLatin1Char('+')))
        return cleaned;

    const int length = static_cast<int>(cleaned.size());
    if (country.isNumberLength(length) && country.matchesNumberPattern(cleaned))
        return QLatin1Char('+') + country.pnum + cleaned;

    if (cleaned.startsWith(QLatin1Char('0')) && country.isNumberLength(length - 1)) {
        const QString national = cleaned.mid(1);
        if (country.matchesNumberPattern(national))
            return QLatin1Char('+') + country.pnum + national;
    }

    // Without a dialling code every number "starts with" it, and an empty country would turn any
    // number whose length reads as 0 into a bare "+"; only a real code is taken as a prefix.
    if (!country.pnum.isEmpty() && cleaned.startsWith(country.pnum)
        && country.isNumberLength(length - static_cast<int>(country.pnum.size())))
        return QLatin1Char('+') + cleaned;

    return cleaned;
}

CountryLibDb::CountryLibDb(const QString& path, const QString& mcc)
    : m_path(path)
    , m_mcc(mcc)
{
}

void CountryLibDb::open()
{
    if (isOpen())
        return;

    const QString& path = m_path;
    if (!QFile::exists(path)) {
        QFile resource(resourcePath);
        if (!resource.exists())
            throwText(QStringLiteral("can not find :res/countries.db."));
        // QFile::copy writes a temporary file and renames it, so a failed copy leaves no partial
        // library behind that would later be taken for a good one.
        if (!resource.copy(path)) {
            // Another connection may have copied it in the meantime; its copy is as good as ours.
            if (!QFile::exists(path))
                throwText(QStringLiteral("can not create %1. %2").arg(path, resource.errorString()));
        } else {
            // Resource files are read-only and the copy keeps that; the user must be able to replace it.
            QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
        }
    }

    openThrow(path, ReadWrite);
    m_current = CountryInfo();
    m_current = findByMcc(m_mcc);
}

CountryInfo CountryLibDb::currentCountry()
{
    open();
    return m_current;
}

CountryInfo CountryLibDb::findByMcc(const QString& mcc, bool* found)
{
    open();
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(selectByMcc).addTextParam(mcc));
    const bool hasRow = cursor.moveNext();
    if (found)
        *found = hasRow;
    return hasRow ? countryFromRow(cursor) : m_current;
}

CountryInfo CountryLibDb::findBySn(const QString& sn, bool* found)
{
    open();
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(selectBySn).addTextParam(sn.toUpper()));
    const bool hasRow = cursor.moveNext();
    if (found)
        *found = hasRow;
    return hasRow ? countryFromRow(cursor) : m_current;
}
