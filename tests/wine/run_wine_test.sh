#!/usr/bin/env bash
# Runs one Wine test case against the Windows programs.
#
#   run_wine_test.sh BIN_DIR CASE
#
# BIN_DIR holds TRVTRAY.exe, TRVTRAY9X.exe, TRVTRAY_DIAG.exe and trvtest.exe
# (build/windows/bin after scripts/build-windows.sh). Each run has its own X
# server (Xvfb on a free display) and its own fresh Wine prefix, and removes
# both when it ends, whatever the outcome. Every Wine command is bounded by
# timeout(1). Exit code: 0 passed, 1 failed, 77 skipped (no Windows build,
# no Wine or no Xvfb).
set -u

bin="${1:-}"
case_name="${2:-}"
if [ -z "$bin" ] || [ -z "$case_name" ]; then
    echo "usage: $0 BIN_DIR CASE" >&2
    exit 2
fi

for exe in TRVTRAY.exe TRVTRAY9X.exe TRVTRAY_DIAG.exe trvtest.exe; do
    if [ ! -f "$bin/$exe" ]; then
        echo "SKIP: $bin/$exe is missing; build the Windows programs first (scripts/build-windows.sh)"
        exit 77
    fi
done
for tool in wine wineboot wineserver Xvfb timeout; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done

work="$(mktemp -d "${TMPDIR:-/tmp}/trv-wine.XXXXXX")"
xvfb_pid=""
background_pids=()

cleanup() {
    local rc=$?
    trap - EXIT INT TERM
    if [ -d "$work/prefix" ]; then
        WINEPREFIX="$work/prefix" timeout 20 wineserver -k >/dev/null 2>&1
        WINEPREFIX="$work/prefix" timeout 20 wineserver -w >/dev/null 2>&1
    fi
    local p
    for p in "${background_pids[@]}"; do
        kill "$p" 2>/dev/null
        wait "$p" 2>/dev/null
    done
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$work"
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL [$case_name]: $*"
    if [ -s "$work/programs.log" ]; then
        echo "program output:"
        tr -d '\r' <"$work/programs.log" | tail -n 20 | sed 's/^/   /'
    fi
    exit 1
}

step() { echo "-- $*"; }

# ---- X server and prefix ------------------------------------------------------

start_xvfb() {
    local n=$((100 + $$ % 800)) tries i
    for ((tries = 0; tries < 30; tries++, n++)); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -nolisten tcp -screen 0 1024x768x24 >"$work/xvfb-$n.log" 2>&1 &
        xvfb_pid=$!
        for ((i = 0; i < 50; i++)); do
            if [ -e "/tmp/.X11-unix/X$n" ]; then
                export DISPLAY=":$n"
                return 0
            fi
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        # Lost a race for this display, or it never came up: try the next.
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
        xvfb_pid=""
    done
    return 1
}

start_xvfb || fail "no X server could be started"
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
# No Mono or Gecko installers: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset TRV_TRACE_FILE
mkdir -p "$WINEPREFIX"
boot_start=$(date +%s)
timeout 120 wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot -i failed (see the log above)"
echo "-- prefix ready in $(($(date +%s) - boot_start)) s"

# ---- running programs -----------------------------------------------------------

# run [ENV=VALUE...] EXE [ARGS...]: runs a program to its end (at most 30 s);
# its exit code is the function's.
run() {
    local envs=()
    while [[ "${1:-}" == *=* ]]; do envs+=("$1"); shift; done
    local exe="$1"; shift
    env "${envs[@]}" timeout 30 wine "$bin/$exe" "$@" >>"$work/programs.log" 2>&1
}

# start VAR [ENV=VALUE...] EXE [ARGS...]: starts a program in the background
# (at most 120 s) and stores its process id in VAR.
start() {
    local var="$1"; shift
    local envs=()
    while [[ "${1:-}" == *=* ]]; do envs+=("$1"); shift; done
    local exe="$1"; shift
    env "${envs[@]}" timeout 120 wine "$bin/$exe" "$@" >>"$work/programs.log" 2>&1 &
    local pid=$!
    background_pids+=("$pid")
    printf -v "$var" '%s' "$pid"
}

running() { kill -0 "$1" 2>/dev/null; }

# ended PID SECONDS: waits up to SECONDS for the program to end, then checks
# that its exit code is 0.
ended_with_0() {
    local pid="$1" limit="$2" i rc
    for ((i = 0; i < limit * 10; i++)); do
        running "$pid" || break
        sleep 0.1
    done
    running "$pid" && fail "process $pid still runs after $limit s"
    wait "$pid"
    rc=$?
    [ "$rc" -eq 0 ] || fail "process $pid ended with exit code $rc, expected 0"
}

# tt ARGS...: the helper; prints its output without carriage returns.
tt() {
    local out rc
    out="$(timeout 40 wine "$bin/trvtest.exe" "$@" 2>&1)"
    rc=$?
    printf '%s' "$out" | tr -d '\r'
    return $rc
}

expect_window() {  # TITLE STATE: STATE is hidden, visible or absent
    local out
    out="$(tt find-window "$1")"
    if [ "$2" = absent ]; then
        [ "$out" = "not found" ] || fail "window \"$1\" exists ($out), expected none"
    else
        [ "$out" = "$2" ] || fail "window \"$1\": \"$out\", expected $2"
    fi
}

wait_window() { tt wait-window "$1" 30 >/dev/null || fail "window \"$1\" did not appear within 30 s"; }
wait_gone() { tt wait-gone "$1" 30 >/dev/null || fail "window \"$1\" is still there after 30 s"; }

# run_expect_0 EXE ARGS...: a program that must end by itself with code 0.
run_expect_0() {
    run "$@"
    local rc=$?
    [ "$rc" -eq 0 ] || fail "\"$*\" ended with exit code $rc, expected 0"
}

# The notifier's own trace file, as a Windows path and as a Linux path.
trace_file="$work/trace.txt"
trace_win="Z:${trace_file//\//\\}"

trace_has() { grep -qF -- "$1" "$trace_file" 2>/dev/null; }

wait_trace() {  # LINE: waits up to 10 s for the trace to hold LINE
    local i
    for ((i = 0; i < 100; i++)); do
        trace_has "$1" && return 0
        sleep 0.1
    done
    echo "trace so far:"
    tr -d '\r' <"$trace_file" 2>/dev/null | sed 's/^/   /'
    fail "the trace has no line \"$1\""
}

# ---- the cases ------------------------------------------------------------------------

# One notifier at a time; "-end" as a token stops it; look-alikes do not.
case_single_instance() {
    local first
    step "first notifier: a hidden top-level window \"TRVNOTIF\""
    start first TRVTRAY.exe
    wait_window TRVNOTIF
    tt send-devicechange 0x7 >/dev/null || fail "the window does not answer"
    expect_window TRVNOTIF hidden

    step "a second copy ends at once with 0 and leaves the first running"
    run_expect_0 TRVTRAY.exe
    running "$first" || fail "the first notifier ended"
    expect_window TRVNOTIF hidden

    local token
    for token in -END /end end --end; do
        step "\"$token\" is an ordinary token: the first notifier keeps running"
        run_expect_0 TRVTRAY.exe "$token"
        running "$first" || fail "\"$token\" stopped the notifier"
        expect_window TRVNOTIF hidden
    done

    step "\"foo -end bar\" stops it; both end with 0"
    run_expect_0 TRVTRAY.exe foo -end bar
    ended_with_0 "$first" 30
    expect_window TRVNOTIF absent
}

# "-end" with no notifier running does nothing and leaves nothing behind.
case_end_without_notifier() {
    step "\"-end\" alone ends with 0"
    run_expect_0 TRVTRAY.exe -end
    expect_window TRVNOTIF absent

    step "no instance is left behind: a normal start still gets its window"
    local n
    start n TRVTRAY.exe
    wait_window TRVNOTIF
    run_expect_0 TRVTRAY.exe -end
    ended_with_0 "$n" 30
}

# A "TRV\Event" broadcast from another program reaches the diagnostic build.
case_event_broadcast() {
    local n path='\\?\trvtest#adapter#1'
    start n "TRV_TRACE_FILE=$trace_win" TRVTRAY_DIAG.exe
    wait_window TRVNOTIF
    wait_trace "TRVNOTIF - Starting System Tray Application"
    wait_trace "TRVNOTIF - Register Device Notification"

    step "ZelDeviceRefresh for a path that is not listed"
    tt broadcast-event 1 "$path" >/dev/null || fail "trvtest could not broadcast"
    wait_trace "TRVNOTIF - DEVICECHANGE - wP 0xffff"
    wait_trace 'TRVNOTIF - DEVICECHANGE\DBT_USERDEFINED\DBT_DEVTYP_OEM - TRV\Event'
    wait_trace "TRVNOTIF - - Processing Event - 0x1"
    wait_trace "TRVNOTIF - -    Version       - 0x1"
    wait_trace "TRVNOTIF - -    Size          - 0x12c"
    wait_trace "TRVNOTIF - -    DevPath       - $path"
    wait_trace "TRVNOTIF - -- Event Type = ZelDeviceRefresh"

    step "ZelDeviceRestart and ZelDeviceEject for an unknown path, and an unknown type"
    tt broadcast-event 0 "$path" >/dev/null || fail "trvtest could not broadcast"
    wait_trace "TRVNOTIF - -- Event Type = ZelDeviceRestart"
    tt broadcast-event 2 "$path" >/dev/null || fail "trvtest could not broadcast"
    wait_trace "TRVNOTIF - -- Event Type = ZelDeviceEject"
    tt broadcast-event 7 "$path" >/dev/null || fail "trvtest could not broadcast"
    wait_trace "TRVNOTIF - - Processing Event - 0x7"
    running "$n" || fail "the notifier ended"
    expect_window TRVNOTIF hidden

    step "stopped by \"-end\""
    run_expect_0 TRVTRAY.exe -end
    ended_with_0 "$n" 30
    wait_trace "TRVNOTIF - Ending System Tray Application"
}

# The delivered program has no trace points at all.
case_delivered_writes_no_trace() {
    local n
    start n "TRV_TRACE_FILE=$trace_win" TRVTRAY.exe
    wait_window TRVNOTIF
    tt broadcast-event 1 '\\?\trvtest#adapter#1' >/dev/null || fail "trvtest could not broadcast"
    tt send-devicechange 0x7 >/dev/null || fail "the window does not answer"
    tt send-power 0x7 >/dev/null || fail "the window does not answer"
    run_expect_0 "TRV_TRACE_FILE=$trace_win" TRVTRAY.exe -end
    ended_with_0 "$n" 30
    [ ! -e "$trace_file" ] || fail "TRVTRAY.exe wrote a trace file"
}

# No adapter: the icon ends up out of the notification area, and device-change
# and power messages (malformed ones included) do no harm.
case_no_adapter_messages() {
    local n m
    start n TRVTRAY.exe
    wait_window TRVNOTIF
    for m in "send-devicechange 0x7" "send-power 0x7" "send-power 0x8" "send-power 0x6" "send-power 0x4" \
             "send-power 0x12" "send-devicechange 0x8000" "send-devicechange 0x8004" "send-devicechange 0xffff"; do
        step "$m"
        # shellcheck disable=SC2086
        tt $m >/dev/null || fail "\"$m\" was not handled"
        running "$n" || fail "the notifier ended after \"$m\""
    done
    expect_window TRVNOTIF hidden
    step "the notification area shows no icon"
    # Wine's stand-alone tray window is shown exactly while it holds icons.
    local tray
    tray="$(tt find-window "Wine System Tray")"
    [ "$tray" != visible ] || fail "the notification area shows an icon"
    echo "   tray window: $tray"
    run_expect_0 TRVTRAY.exe -end
    ended_with_0 "$n" 30
}

# TRVTRAY9X starts and stops the same way.
case_win9x_build() {
    local n
    start n TRVTRAY9X.exe
    wait_window TRVNOTIF
    tt send-devicechange 0x7 >/dev/null || fail "the window does not answer"
    expect_window TRVNOTIF hidden
    step "a second copy ends with 0 and leaves the first running"
    run_expect_0 TRVTRAY9X.exe
    running "$n" || fail "the first notifier ended"
    run_expect_0 TRVTRAY9X.exe -END
    running "$n" || fail "\"-END\" stopped the notifier"
    step "\"-end\" stops it"
    run_expect_0 TRVTRAY9X.exe -end
    ended_with_0 "$n" 30
    expect_window TRVNOTIF absent
}

if ! declare -F "case_$case_name" >/dev/null; then
    echo "unknown case \"$case_name\"" >&2
    exit 2
fi
"case_$case_name"
echo "PASS [$case_name]"
