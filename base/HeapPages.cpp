// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/HeapPages.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

namespace {

const char tunable[] = "glibc.malloc.hugetlb";

} // namespace

std::optional<std::string> hugeHeapPagesTunables(const char* current, const std::string& transparentHugePages)
{
    if (current && std::strstr(current, tunable))
        return std::nullopt;
    // In "always" mode the heap gets huge pages anyway, in "never" mode not even on request.
    if (transparentHugePages.find("[madvise]") == std::string::npos)
        return std::nullopt;
    std::string value = current && *current ? std::string(current) + ':' : std::string();
    return value + tunable + "=1";
}

void restartWithHugeHeapPages(char** argv)
{
#if defined(Q_OS_LINUX) && defined(__GLIBC__)
#if __GLIBC_PREREQ(2, 35)
    FILE* mode = std::fopen("/sys/kernel/mm/transparent_hugepage/enabled", "re");
    if (!mode)
        return;
    char line[128] = {};
    const bool read = std::fgets(line, sizeof line, mode) != nullptr;
    std::fclose(mode);
    if (!read)
        return;
    const char* current = std::getenv("GLIBC_TUNABLES");
    const std::optional<std::string> tunables = hugeHeapPagesTunables(current, line);
    if (!tunables)
        return;
    const std::string before = current ? current : "";
    if (setenv("GLIBC_TUNABLES", tunables->c_str(), 1) != 0)
        return;
    execv("/proc/self/exe", argv);
    // Still here: the program goes on as started, and so do the programs it starts.
    if (current)
        setenv("GLIBC_TUNABLES", before.c_str(), 1);
    else
        unsetenv("GLIBC_TUNABLES");
#else
    Q_UNUSED(argv);
#endif
#else
    Q_UNUSED(argv);
#endif
}
