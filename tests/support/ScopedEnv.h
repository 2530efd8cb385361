// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>
#include <time.h>

// Sets an environment variable for the life of the object, then restores it (or unsets it again).
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name)
        , m_wasSet(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_wasSet)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    bool m_wasSet;
    QByteArray m_old;
};

// Sets the process's time zone for the life of the object, then restores it.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const QByteArray& zone)
        : m_env(std::in_place, "TZ", zone)
    {
        tzset();
    }
    ~ScopedTimeZone()
    {
        m_env.reset();
        tzset();
    }

private:
    std::optional<ScopedEnv> m_env;
};
