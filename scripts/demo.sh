# SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Sourced by scripts/run for --demo: runs the built application against the phone simulator playing
# a demo phone, plugged in over USB through a private adb server and reachable over WiFi on
# 127.0.0.1. Everything the application and adb keep goes to a home folder of its own below the
# build folder, so the person's data and their own adb server are never touched.

QSMS_DEMO_SERVICE_PORT=44441
QSMS_DEMO_SIM_PID=
QSMS_DEMO_SERIAL=

qsms_demo_listening() {
    [ -n "$(ss -Hltn "sport = :$1" 2>/dev/null)" ]
}

# A port for the private adb server that nothing listens on yet.
qsms_demo_adb_server_port() {
    local port
    for port in $(seq $((20000 + RANDOM % 9000)) 29999) $(seq 20000 29999); do
        if ! qsms_demo_listening "$port"; then
            echo "$port"
            return 0
        fi
    done
    return 1
}

# Stops the simulator and takes the device away from adb; safe to run more than once.
qsms_demo_stop() {
    if [ -n "${ANDROID_ADB_SERVER_PORT:-}" ] && qsms_demo_listening "$ANDROID_ADB_SERVER_PORT"; then
        if [ -n "$QSMS_DEMO_SERIAL" ]; then
            adb disconnect "$QSMS_DEMO_SERIAL" >>"$QSMS_DEMO_DIR/adb.log" 2>&1 || true
        fi
        adb kill-server >>"$QSMS_DEMO_DIR/adb.log" 2>&1 || true
    fi
    QSMS_DEMO_SERIAL=
    if [ -n "$QSMS_DEMO_SIM_PID" ]; then
        kill "$QSMS_DEMO_SIM_PID" 2>/dev/null || true
        local _
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            kill -0 "$QSMS_DEMO_SIM_PID" 2>/dev/null || break
            sleep 0.3
        done
        kill -9 "$QSMS_DEMO_SIM_PID" 2>/dev/null || true
        wait "$QSMS_DEMO_SIM_PID" 2>/dev/null || true
        QSMS_DEMO_SIM_PID=
    fi
}

# qsms_run_demo [--companion] [APP_ARGUMENT...]: runs the demo until the application ends; its status
# is the application's. The phone has no companion app and is read directly over USB, as a person's
# own phone is; with --companion it runs the companion app, which the application then talks to.
qsms_run_demo() {
    local packages="android,com.android.phone,com.android.providers.telephony,com.android.settings,com.android.mms"
    local road="read directly over USB"
    if [ "${1:-}" = "--companion" ]; then
        shift
        packages="$packages,com.quillbarrow.smsagent"
        road="running the companion app"
    fi
    QSMS_DEMO_DIR="$QSMS_BUILD/demo"
    local home="$QSMS_DEMO_DIR/home"
    mkdir -p "$home"
    : >"$QSMS_DEMO_DIR/adb.log"

    if qsms_demo_listening "$QSMS_DEMO_SERVICE_PORT"; then
        echo "Demo: port $QSMS_DEMO_SERVICE_PORT on this machine is taken (is a demo or a phone simulator still" \
            "running?); the demo phone needs it for its WiFi service." >&2
        return 1
    fi

    # The display may be reached through the real home's authority file, which the new home hides.
    if [ -z "${XAUTHORITY:-}" ] && [ -f "$HOME/.Xauthority" ]; then
        export XAUTHORITY="$HOME/.Xauthority"
    fi
    export HOME="$home"
    export XDG_DATA_HOME="$home/.local/share" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache"
    # Read by every adb call, the application's included: they all reach the private server.
    ANDROID_ADB_SERVER_PORT="$(qsms_demo_adb_server_port)"
    export ANDROID_ADB_SERVER_PORT

    trap qsms_demo_stop EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP

    "$QSMS_BUILD/tools/phonesim/qsms-phone-sim" --demo --port "$QSMS_DEMO_SERVICE_PORT" --adb-port 0 \
        --packages "$packages" \
        >"$QSMS_DEMO_DIR/phone.out" 2>"$QSMS_DEMO_DIR/phone.log" &
    QSMS_DEMO_SIM_PID=$!
    local ready="" _
    for _ in $(seq 100); do
        ready="$(grep -m1 '^ready adb=' "$QSMS_DEMO_DIR/phone.out" || true)"
        if [ -n "$ready" ] || ! kill -0 "$QSMS_DEMO_SIM_PID" 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
    if [ -z "$ready" ]; then
        echo "Demo: the phone simulator did not start:" >&2
        tail -n 5 "$QSMS_DEMO_DIR/phone.log" >&2
        return 1
    fi
    local device_port="${ready#ready adb=}"
    device_port="${device_port%% *}"

    QSMS_DEMO_SERIAL="127.0.0.1:$device_port"
    adb start-server >>"$QSMS_DEMO_DIR/adb.log" 2>&1
    adb connect "$QSMS_DEMO_SERIAL" >>"$QSMS_DEMO_DIR/adb.log" 2>&1 || true
    for _ in $(seq 50); do
        if adb devices 2>>"$QSMS_DEMO_DIR/adb.log" | grep "^${QSMS_DEMO_SERIAL}[[:space:]]device" >/dev/null; then
            break
        fi
        sleep 0.2
    done

    echo "Demo: a simulated Ostara Lumen 7 with 2,000 messages, $road, is plugged in over USB (adb server" \
        "port $ANDROID_ADB_SERVER_PORT, device $QSMS_DEMO_SERIAL); over WiFi connect to 127.0.0.1."
    echo "Demo: data folder below ${home#"$QSMS_ROOT"/}; close the window to end the demo."
    local status=0
    "$QSMS_BUILD/quillbarrow-sms-desk" "$@" || status=$?
    qsms_demo_stop
    return "$status"
}
