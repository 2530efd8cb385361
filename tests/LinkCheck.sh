#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when one of the given programs needs Qt Widgets or Qt PrintSupport: the programs below the
# widget layer must load neither. Prints one line per program.
#   LinkCheck.sh PROGRAM...
status=0
for program in "$@"; do
    name=$(basename "$program")
    if ! needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\].*/\1/p') || [ -z "$needed" ]; then
        echo "$name: no libraries listed"
        status=1
        continue
    fi
    widgets=$(grep -E '^libQt6(Widgets|PrintSupport)\.' <<<"$needed" | tr '\n' ' ')
    if [ -n "$widgets" ]; then
        echo "$name links ${widgets% }"
        status=1
    else
        echo "$name links no widgets"
    fi
done
exit "$status"
