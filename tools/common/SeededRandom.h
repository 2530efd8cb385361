// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <random>

// Draws that are the same on every platform for the same seed: the standard distributions are not,
// so every draw is taken from the raw engine output.
class SeededRandom
{
public:
    explicit SeededRandom(quint32 seed)
        : m_engine(seed)
    {
    }

    int below(int n) { return n <= 1 ? 0 : static_cast<int>(m_engine() % static_cast<quint32>(n)); }
    int between(int low, int high) { return low + below(high - low + 1); }
    bool percent(int p) { return below(100) < p; }
    QString digits(int n)
    {
        QString text;
        text.reserve(n);
        for (int i = 0; i < n; ++i)
            text.append(QChar(u'0' + below(10)));
        return text;
    }
    template <typename T> const T& pick(const QList<T>& list) { return list.at(below(int(list.size()))); }

private:
    std::mt19937 m_engine;
};
