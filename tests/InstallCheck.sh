#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a temporary prefix, checks what a desktop needs of it (programs, desktop
# entry, metadata, icons, manual page) with the desktop's own validators, and starts the installed
# application offscreen with an empty home folder until it has logged its start-up line.
#   InstallCheck.sh BUILD_DIR MANUAL_PAGE_SOURCE
set -euo pipefail

build=$1
manual_source=$2
app_id=com.quillbarrow.smsdesk

work=$(mktemp -d)
app_pid=
cleanup() {
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "InstallCheck: $*" >&2
    exit 1
}

prefix=$work/usr
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
    cat "$work/install.log"
    fail "cmake --install failed"
}

for program in quillbarrow-sms-desk qsms-phone-sim; do
    [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed"
done

desktop=$prefix/share/applications/$app_id.desktop
metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
[ -f "$desktop" ] || fail "the desktop entry is not installed"
[ -f "$metainfo" ] || fail "the AppStream metadata is not installed"
# Warnings count as failures: desktop-file-validate prints them but still exits with 0.
if ! report=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$report" ]; then
    fail "desktop-file-validate: $report"
fi
appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli rejects the metadata"
grep -qx "Name=Quillbarrow SMS Desk" "$desktop" || fail "the desktop entry has another name"
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$prefix/bin/$exec_program" ] || fail "the desktop entry starts $exec_program, which is not installed"
grep -qx "Icon=$app_id" "$desktop" || fail "the desktop entry names another icon"

for size in 16 22 24 32 48 64 128 256 512; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    [ -f "$icon" ] || fail "no ${size}x${size} icon"
    file -b "$icon" | grep -q "^PNG image data, $size x $size," || fail "$icon is not a $size-pixel PNG"
done

# groff prints a warning for each fault of the markup.
if ! report=$(groff -t -man -ww -z -Tutf8 "$manual_source" 2>&1) || [ -n "$report" ]; then
    fail "groff: $report"
fi
manual=$prefix/share/man/man1/quillbarrow-sms.1
if [ -x "$prefix/bin/quillbarrow-sms" ]; then
    [ -f "$manual" ] || fail "the command line is installed without its manual page"
    grep -q '^\.TH QUILLBARROW-SMS 1 .*[0-9]\.[0-9]' "$manual" || fail "the manual page names no version"
elif [ -e "$manual" ]; then
    fail "a manual page is installed for a command line that is not"
fi

# The application runs from the prefix alone, with an empty home folder. adb is a stand-in that
# answers nothing, so that no adb server outlives the check.
home=$work/home
mkdir -p "$home" "$work/stub"
printf '#!/bin/sh\nexit 1\n' >"$work/stub/adb"
chmod +x "$work/stub/adb"
data_root=$home/.local/share/Quillbarrow
(cd "$work" && exec env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$home" PATH="$work/stub:$PATH" \
    QT_QPA_PLATFORM=offscreen "$prefix/bin/quillbarrow-sms-desk" >"$work/app.out" 2>&1) &
app_pid=$!
started=
for _ in $(seq 1 300); do
    if grep -qs "start-up, data root $data_root/" "$data_root"/*/qlogs/log-*.txt; then
        started=yes
        break
    fi
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$started" ]; then
    cat "$work/app.out" >&2
    fail "the installed application logged no start-up line under $data_root"
fi
sleep 1
kill -0 "$app_pid" 2>/dev/null || {
    cat "$work/app.out" >&2
    fail "the installed application ended right after starting"
}
echo "InstallCheck: installed into $prefix, validated, and started: $(grep -h 'start-up' "$data_root"/*/qlogs/*.txt)"
