# SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by scripts/run and scripts/test: installs the Debian packages the build and the tests
# need (only when one is missing), then configures and builds into build/.

set -euo pipefail

QSMS_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
QSMS_BUILD="${QSMS_BUILD_DIR:-$QSMS_ROOT/build}"

QSMS_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-qpa-plugins
    libsqlite3-dev sqlite3 adb fonts-dejavu-core
    xvfb xauth iproute2 util-linux poppler-utils
)

qsms_install_packages() {
    local missing=()
    local pkg
    for pkg in "${QSMS_PACKAGES[@]}"; do
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

qsms_build() {
    cmake -S "$QSMS_ROOT" -B "$QSMS_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$QSMS_BUILD" --parallel "$(nproc)"
}
