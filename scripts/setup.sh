# SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by scripts/run, scripts/test, scripts/sanitize and scripts/fuzz: installs the Debian
# packages the build and the tests need (only when one is missing), configures and builds, and runs
# the tests.

set -euo pipefail

QSMS_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
QSMS_BUILD="${QSMS_BUILD_DIR:-$QSMS_ROOT/build}"

# fonts-lohit-deva shapes the Devanagari of the synthetic messages (without a font for it Qt
# tries, and warns about, every other font); qt6-gtk-platformtheme passes a GTK desktop's palette, a
# dark one included, on to the application.
QSMS_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-qpa-plugins
    libsqlite3-dev sqlite3 adb fonts-dejavu-core libxcb1-dev x11-apps
    libcairo2-dev libpango1.0-dev libharfbuzz-dev libfontconfig-dev zlib1g-dev
    fonts-noto-color-emoji fonts-wqy-microhei fonts-lohit-deva qt6-gtk-platformtheme
    xvfb xauth iproute2 util-linux poppler-utils
    # The tests read the HTML and CSV exports back as a browser, a spreadsheet and Python do.
    chromium libreoffice-calc-nogui python3
)

# What the installation check (tests/InstallCheck.sh) and scripts/package need besides: the
# desktop's validators of the desktop entry and the metadata, groff for the manual page, file for
# the icons.
QSMS_INSTALL_CHECK_PACKAGES=(desktop-file-utils appstream groff-base file)

# qsms_install_packages [EXTRA_PACKAGE...]: the project's packages and the extra ones.
qsms_install_packages() {
    local missing=()
    local pkg
    for pkg in "${QSMS_PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

# qsms_configure [CMAKE_OPTION...]: configures $QSMS_BUILD with the extra options.
qsms_configure() {
    cmake -S "$QSMS_ROOT" -B "$QSMS_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
}

# qsms_build [CMAKE_OPTION...]: configures and builds everything in $QSMS_BUILD.
qsms_build() {
    qsms_configure "$@"
    cmake --build "$QSMS_BUILD" --parallel "$(nproc)"
}

# qsms_run_tests [CTEST_ARGUMENT...]: runs the tests of $QSMS_BUILD through CTest; its status is
# CTest's.
#
# Channel ports are chosen from 10001-45999 by the time of day, and the tests bind them on
# 127.0.0.1 (the phone simulator, adb forwarding). The kernel also hands out ports of that range to
# outgoing connections, and a test's many short connections would now and then hold the very port
# a channel needs. The tests therefore run in a network namespace of their own (loopback only), in
# which those ports, and 46001-49999 where the tests put their own servers, are reserved: they can
# be bound, but are never given to an outgoing connection.
qsms_run_tests() {
    local ctest_command=(ctest --test-dir "$QSMS_BUILD" --output-on-failure --parallel "$(nproc)" "$@")
    local isolated='ip link set lo up && echo 10000-49999 > /proc/sys/net/ipv4/ip_local_reserved_ports && exec "$@"'
    local unshare_options
    for unshare_options in "--net" "--map-root-user --net"; do
        # shellcheck disable=SC2086
        if unshare $unshare_options bash -c "$isolated" isolated-check true 2>/dev/null; then
            # shellcheck disable=SC2086
            unshare $unshare_options bash -c "$isolated" isolated-tests "${ctest_command[@]}"
            return
        fi
    done
    echo "Note: no network namespace available; running the tests in the host's network." >&2
    "${ctest_command[@]}"
}
