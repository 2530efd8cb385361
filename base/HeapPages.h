// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

// Reading a large store or exporting it allocates many small blocks (each message's texts), and on
// Linux every fresh 4 KiB page of the heap costs a page fault. The GNU C library asks the kernel for
// transparent huge pages for its heap when its tunable glibc.malloc.hugetlb is 1, read only at
// start-up. Where the kernel gives huge pages only on request ("madvise" mode) and the environment
// does not choose the tunable yet, this starts the program again, in the same process, with it
// set; otherwise, or when that fails, it returns and the program goes on as started. Naming
// glibc.malloc.hugetlb in GLIBC_TUNABLES beforehand, with any value, keeps a program as started
// (under a profiler, for example). Call it first in main().
void restartWithHugeHeapPages(char** argv);

// The GLIBC_TUNABLES value to start again with, given the variable's value (null when unset) and the
// first line of /sys/kernel/mm/transparent_hugepage/enabled; none when a restart would change nothing.
std::optional<std::string> hugeHeapPagesTunables(const char* current, const std::string& transparentHugePages);
