#!/usr/bin/env bash
# Runs one Wine test case against the Windows programs.
#
#   run_wine_test.sh BIN_DIR CASE
#
# BIN_DIR holds TRVTRAY.exe, TRVTRAY9X.exe, TRVTRAY_DIAG.exe and trvtest.exe
# (build/windows/bin after scripts/build-windows.sh), and for the cases of the
# watcher, the uninstaller and the launcher also TRVWATCH.exe, TRVUNINST.exe
# and TRVBUTTON.exe. TRV_WINE_ARTIFACTS names a folder where cases keep
# screenshots. Each run has its own X
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

# need EXE...: skips the case when one of the programs was not built.
need() {
    local exe
    for exe in "$@"; do
        if [ ! -f "$bin/$exe" ]; then
            echo "SKIP: $bin/$exe is missing; build the Windows programs first (scripts/build-windows.sh)"
            exit 77
        fi
    done
}
case "$case_name" in
    watch_* | uninst_*) need TRVWATCH.exe TRVUNINST.exe ;;
    button_*) need TRVBUTTON.exe ;;
esac

work="$(mktemp -d "${TMPDIR:-/tmp}/trv-wine.XXXXXX")"
xvfb_pid=""
background_pids=()
immutable_files=()

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
    local f
    for f in "${immutable_files[@]}"; do chattr -i "$f" 2>/dev/null; done
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

# A program name without a folder is one of BIN_DIR; a Windows path
# (C:\...) is taken as it stands.
program_path() {
    case "$1" in
        *\\* | */*) printf '%s' "$1" ;;
        *) printf '%s' "$bin/$1" ;;
    esac
}

# run [ENV=VALUE...] EXE [ARGS...]: runs a program to its end (at most 30 s);
# its exit code is the function's.
run() {
    local envs=()
    while [[ "${1:-}" == *=* ]]; do envs+=("$1"); shift; done
    local exe="$1"; shift
    env "${envs[@]}" timeout 30 wine "$(program_path "$exe")" "$@" >>"$work/programs.log" 2>&1
}

# start VAR [ENV=VALUE...] EXE [ARGS...]: starts a program in the background
# (at most 120 s) and stores its process id in VAR.
start() {
    local var="$1"; shift
    local envs=()
    while [[ "${1:-}" == *=* ]]; do envs+=("$1"); shift; done
    local exe="$1"; shift
    env "${envs[@]}" timeout 120 wine "$(program_path "$exe")" "$@" >>"$work/programs.log" 2>&1 &
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

# Waits of up to 30 s for a window to appear or go. Each look is a short run
# of the helper, so a helper start that fails while the prefix is still
# settling costs one look, not the test.
wait_for_window() {  # TITLE present|absent
    local deadline=$(($(date +%s) + 30)) out
    while :; do
        out="$(tt find-window "$1")"
        if [ "$2" = present ]; then
            [ "$out" = hidden ] || [ "$out" = visible ] && return 0
        else
            [ "$out" = "not found" ] && return 0
        fi
        [ "$(date +%s)" -ge "$deadline" ] && return 1
        sleep 0.3
    done
}
wait_window() { wait_for_window "$1" present || fail "window \"$1\" did not appear within 30 s"; }
wait_gone() { wait_for_window "$1" absent || fail "window \"$1\" is still there after 30 s"; }

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

# ---- registry, files and processes of the prefix --------------------------------

# wreg ARGS...: "wine reg" without its output.
wreg() { timeout 30 wine reg "$@" >/dev/null 2>&1; }

key_exists() { wreg query "$1"; }

# reg_value KEY NAME: prints the data of a value, or fails when it is absent.
reg_value() {
    local out
    out="$(timeout 30 wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r')" || return 1
    printf '%s\n' "$out" | sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | head -n 1
    printf '%s\n' "$out" | grep -q "^ *$2 *REG_"
}

# import_reg TEXT: loads registry text (REGEDIT4 format) into the prefix.
import_reg() {
    printf 'REGEDIT4\n\n%s\n' "$1" >"$work/import.reg"
    timeout 30 wine regedit /s "$(win_path "$work/import.reg")" >/dev/null 2>&1 || fail "regedit could not load the keys"
}

win_path() {
    local abs
    abs="$(realpath -m "$1")"
    printf 'Z:%s' "${abs//\//\\}"
}

# The Windows process behind a program started with "start": the child of
# its timeout(1).
wine_pid_of() { pgrep -P "$1" | head -n 1; }

# cpu_ticks PID: user plus system time of a process, in clock ticks.
cpu_ticks() {
    local stat
    stat="$(cat "/proc/$1/stat" 2>/dev/null)" || return 1
    # Fields after the parenthesised name: state is field 3, utime 14, stime 15.
    set -- ${stat##*) }
    echo $((${12} + ${13}))
}

run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
service_key='HKLM\SYSTEM\CurrentControlSet\Services'
session_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'

# ---- the watcher ---------------------------------------------------------------

# "-setup" registers and starts a watcher; a second copy ends at once;
# "-remove" unregisters and stops it.
case_watch_setup_remove() {
    local expected data
    expected="$(win_path "$bin/TRVWATCH.exe")"
    step "\"-setup\" ends with 0, writes the Run value and starts a watcher"
    run_expect_0 TRVWATCH.exe -setup
    data="$(reg_value "$run_key" TRVWATCH)" || fail "no Run value \"TRVWATCH\""
    [ "$data" = "$expected" ] || fail "Run value is \"$data\", expected \"$expected\""
    wait_window TRVWATCH
    expect_window TRVWATCH hidden
    sleep 2
    expect_window TRVWATCH hidden

    step "a second start ends at once with 0; the first keeps running"
    local t0=$(date +%s)
    run_expect_0 TRVWATCH.exe
    echo "   second start took $(($(date +%s) - t0)) s"
    expect_window TRVWATCH hidden

    step "\"-setup\" again: the value stays, the started copy finds the first and ends"
    run_expect_0 TRVWATCH.exe -setup
    data="$(reg_value "$run_key" TRVWATCH)" || fail "the Run value is gone"
    [ "$data" = "$expected" ] || fail "Run value is \"$data\" after the second -setup"
    expect_window TRVWATCH hidden

    step "\"-remove\" deletes the value and stops the watcher"
    run_expect_0 TRVWATCH.exe -remove
    reg_value "$run_key" TRVWATCH >/dev/null && fail "the Run value is still there"
    wait_gone TRVWATCH
}

# "-remove" without a Run value still stops a running watcher; with no adapter
# the watcher idles.
case_watch_remove_without_value() {
    local w pid before after ticks
    start w TRVWATCH.exe
    wait_window TRVWATCH
    reg_value "$run_key" TRVWATCH >/dev/null && fail "a plain start wrote the Run value"

    step "idle CPU use of the watcher over 10 s"
    pid="$(wine_pid_of "$w")"
    [ -n "$pid" ] && grep -qa TRVWATCH "/proc/$pid/cmdline" || fail "no Wine process of TRVWATCH.exe found"
    ticks=$(getconf CLK_TCK)
    before=$(cpu_ticks "$pid") || fail "cannot read /proc/$pid/stat"
    sleep 10
    after=$(cpu_ticks "$pid") || fail "the watcher ended while idle"
    local permille=$(((after - before) * 1000 / (ticks * 10)))
    echo "   CPU: $((after - before)) ticks in 10 s = $((permille / 10)).$((permille % 10)) % of one core"
    [ "$permille" -le 200 ] || fail "the idle watcher is busy: $((permille / 10)) % of one core"

    step "\"-remove\" with no value stops it; both end with 0"
    run_expect_0 TRVWATCH.exe -remove
    ended_with_0 "$w" 30
    expect_window TRVWATCH absent
}

# Only blanks separate tokens: "-setup", a tab and more text is one token, so
# the program runs as the watcher. Capital letters or a slash are no option.
case_watch_not_options() {
    local w arg
    for arg in $'-setup\tmore' -SETUP /setup -setupx; do
        step "\"${arg//$'\t'/<tab>}\" runs as the watcher and writes nothing"
        # The helper starts the raw command line, so the tab arrives unquoted.
        # Its output goes to a file: the started watcher inherits it and a
        # pipe would stay open for as long as the watcher runs.
        timeout 40 wine "$bin/trvtest.exe" start-raw "$(win_path "$bin/TRVWATCH.exe") $arg" \
            >>"$work/programs.log" 2>&1 || fail "the helper could not start it"
        wait_window TRVWATCH
        reg_value "$run_key" TRVWATCH >/dev/null && fail "\"$arg\" wrote the Run value"
        run_expect_0 TRVWATCH.exe -remove
        wait_gone TRVWATCH
    done
}

# ---- the uninstaller --------------------------------------------------------------

# A prefix with the three packages, the shared programs running, and the
# copies the system made of the packages' INF files.
install_packages() {
    local win="$WINEPREFIX/drive_c/windows"
    step "the Windows 2000/XP family"
    timeout 60 wine winecfg -v winxp64 >/dev/null 2>&1 || fail "winecfg could not set the Windows version"
    step "programs, drivers, INF files and their copies"
    cp "$bin/TRVTRAY.exe" "$win/TRVTRAY.EXE"
    cp "$bin/TRVWATCH.exe" "$win/TRVWATCH.EXE"
    cp "$bin/TRVUNINST.exe" "$win/system32/TRVUNINST.EXE"
    echo library >"$win/system32/TRVPAGE32.DLL"
    echo library >"$win/system32/TRVCOINST.DLL"
    local f
    for f in TRVADPT TRVBRG1 TRVBRG2; do
        echo driver >"$win/system32/drivers/$f.SYS"
        printf '[Version]\r\n[%s]\r\n' "$f" >"$win/inf/$f.INF"
        echo precompiled >"$win/inf/$f.PNF"
    done
    printf '[Version]\r\nSignature="$Windows NT$"\r\n[TRVADPT]\r\nCopyFiles=x\r\n' >"$win/inf/oem91.inf"
    echo precompiled >"$win/inf/oem91.PNF"
    printf '[Version]\r\n[trvadpt]\r\n[Trvadpti]\r\n' >"$win/inf/oem92.inf"
    printf '[Version]\r\n[TRVADPT]\r\n' >"$win/inf/oem93.inf"
    # Read-only for Windows. Wine opens files with the Unix rights of its
    # user, and root may write to anything: there the file is made
    # immutable as well.
    chmod a-w "$win/inf/oem93.inf"
    readonly_inf=oem93.inf
    if [ "$(id -u)" -eq 0 ]; then
        if chattr +i "$win/inf/oem93.inf" 2>/dev/null; then
            immutable_files+=("$win/inf/oem93.inf")
        else
            echo "   (running as root without chattr: the read-only copy is not checked)"
            readonly_inf=""
        fi
    fi
    printf '[Version]\r\n[TRVBRG2I]\r\n' >"$win/inf/oem94.inf"
    printf '[Version]\r\n[TRVADPTI]\r\n' >"$win/inf/oem95.inf"
    printf '[Version]\r\nTRVBRG1\r\n' >"$win/inf/oem96.inf"
    step "Uninstall and service keys"
    local reg="" p
    for p in TRVADPT TRVBRG2 TRVBRG1; do
        reg+="[${uninstall_key/HKLM/HKEY_LOCAL_MACHINE}\\$p]
\"DisplayName\"=\"$p package\"

[${uninstall_key/HKLM/HKEY_LOCAL_MACHINE}\\$p\\Parts]
\"Count\"=\"1\"

[${service_key/HKLM/HKEY_LOCAL_MACHINE}\\$p]
\"Start\"=dword:00000003

[${service_key/HKLM/HKEY_LOCAL_MACHINE}\\$p\\Enum]
\"Count\"=dword:00000000

"
    done
    import_reg "$reg"
    for p in TRVADPT TRVBRG2 TRVBRG1; do
        key_exists "$uninstall_key\\$p" || fail "the Uninstall key of $p could not be made"
    done
}

# pending: the files marked for deletion at the next start, one a line.
pending() {
    timeout 30 wine reg query "$session_key" /v PendingFileRenameOperations 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *PendingFileRenameOperations *REG_MULTI_SZ *//p' | sed 's/\\0/\n/g' | grep -v '^$'
}

expect_marked() {  # NAME...: each is in the pending list (letter case ignored)
    local list name
    list="$(pending)"
    for name in "$@"; do
        printf '%s\n' "$list" | grep -qiF -- "\\$name" || { printf '   %s\n' "$list"; fail "$name is not marked for deletion"; }
    done
}

expect_not_marked() {
    local list name
    list="$(pending)"
    for name in "$@"; do
        printf '%s\n' "$list" | grep -qiF -- "\\$name" && { printf '   %s\n' "$list"; fail "$name is marked for deletion"; }
    done
    return 0
}

# The adapter package alone leaves the bridges and the shared programs; the
# last packages take the shared programs with them; the restart deletes.
case_uninst_packages() {
    install_packages
    local win="$WINEPREFIX/drive_c/windows" tray
    start tray 'C:\windows\TRVTRAY.EXE'
    wait_window TRVNOTIF
    run_expect_0 'C:\windows\TRVWATCH.EXE' -setup
    wait_window TRVWATCH

    step "\"SILENT TRVADPT\": only the adapter package goes; exit code 1"
    run 'C:\windows\system32\TRVUNINST.EXE' SILENT TRVADPT
    local rc=$?
    [ "$rc" -eq 1 ] || fail "the uninstaller ended with $rc, expected 1"
    key_exists "$uninstall_key\\TRVADPT" && fail "the adapter's Uninstall key is still there"
    key_exists "$service_key\\TRVADPT" && fail "the adapter's service key is still there"
    local p
    for p in TRVBRG2 TRVBRG1; do
        key_exists "$uninstall_key\\$p" || fail "the Uninstall key of $p is gone"
        key_exists "$service_key\\$p" || fail "the service key of $p is gone"
    done
    expect_marked TRVADPT.SYS TRVADPT.INF TRVADPT.PNF oem91.inf oem91.PNF oem95.inf
    expect_not_marked TRVBRG1.SYS TRVBRG2.SYS TRVBRG1.INF TRVBRG2.INF oem92.inf $readonly_inf oem94.inf oem96.inf \
        TRVTRAY.EXE TRVWATCH.EXE TRVUNINST.EXE TRVPAGE32.DLL TRVCOINST.DLL
    [ -f "$win/system32/drivers/TRVADPT.SYS" ] || fail "TRVADPT.SYS went before the restart"
    running "$tray" || fail "the notifier ended"
    expect_window TRVNOTIF hidden
    expect_window TRVWATCH hidden
    reg_value "$run_key" TRVWATCH >/dev/null || fail "the watcher's Run value is gone"

    step "\"SILENT TRVBRG2 TRVBRG1\": the last packages and the shared components go"
    run 'C:\windows\system32\TRVUNINST.EXE' SILENT TRVBRG2 TRVBRG1
    rc=$?
    [ "$rc" -eq 1 ] || fail "the uninstaller ended with $rc, expected 1"
    for p in TRVADPT TRVBRG2 TRVBRG1; do
        key_exists "$uninstall_key\\$p" && fail "the Uninstall key of $p is still there"
        key_exists "$service_key\\$p" && fail "the service key of $p is still there"
    done
    ended_with_0 "$tray" 30
    wait_gone TRVNOTIF
    wait_gone TRVWATCH
    reg_value "$run_key" TRVWATCH >/dev/null && fail "the watcher's Run value is still there"
    expect_marked TRVBRG1.SYS TRVBRG2.SYS TRVBRG1.INF TRVBRG2.INF oem94.inf \
        TRVTRAY.EXE TRVWATCH.EXE TRVUNINST.EXE TRVPAGE32.DLL TRVCOINST.DLL
    expect_not_marked oem92.inf $readonly_inf oem96.inf

    step "after the restart the marked files are gone, the others stay"
    timeout 120 wineboot -r >>"$work/programs.log" 2>&1 || fail "wineboot -r failed"
    local f
    for f in system32/drivers/TRVADPT.SYS system32/drivers/TRVBRG1.SYS system32/drivers/TRVBRG2.SYS \
             inf/TRVADPT.INF inf/TRVADPT.PNF inf/TRVBRG1.INF inf/TRVBRG2.INF inf/oem91.inf inf/oem91.PNF \
             inf/oem94.inf inf/oem95.inf TRVTRAY.EXE TRVWATCH.EXE system32/TRVUNINST.EXE \
             system32/TRVPAGE32.DLL system32/TRVCOINST.DLL; do
        [ -e "$win/$f" ] && fail "$f is still there after the restart"
    done
    for f in inf/oem92.inf inf/oem93.inf inf/oem96.inf; do
        [ -e "$win/$f" ] || fail "$f is gone"
    done
    return 0
}

# ---- the launcher --------------------------------------------------------------

button_key='HKEY_LOCAL_MACHINE\SOFTWARE\Dantz\Retrospect\ButtonBackup'

# screenshot NAME: the whole X screen into the artifacts folder.
screenshot() {
    local dir="${TRV_WINE_ARTIFACTS:-}"
    [ -n "$dir" ] || return 0
    mkdir -p "$dir"
    if timeout 20 import -window root "$work/$1.png" >/dev/null 2>&1; then
        cp "$work/$1.png" "$dir/$1.png" && echo "   screenshot: $dir/$1.png"
    else
        echo "   (no screenshot: import failed)"
    fi
}

# ended_within PID SECONDS: waits for the program to end and prints its code.
ended_within() {
    local pid="$1" limit="$2" i
    for ((i = 0; i < limit * 10; i++)); do
        running "$pid" || break
        sleep 0.1
    done
    running "$pid" && fail "process $pid still runs after $limit s"
    wait "$pid"
    echo "   ended with exit code $?"
}

close_dialog() {
    step "OK closes the dialog and ends the launcher"
    tt click-button Pushlaunch OK >/dev/null || fail "the dialog has no OK button to press"
    ended_within "$1" 30
    expect_window Pushlaunch absent
}

# Without the backup application's key the launcher shows its dialog.
case_button_no_key() {
    local b
    start b TRVBUTTON.exe
    step "the dialog \"Pushlaunch\" appears"
    wait_window Pushlaunch
    expect_window Pushlaunch visible
    sleep 1
    screenshot button_no_key
    running "$b" || fail "the launcher ended with its dialog open"
    close_dialog "$b"
}

# A registered application in a folder with a blank starts with the file as
# its argument; an empty parameter starts nothing.
case_button_launch() {
    local dir="$WINEPREFIX/drive_c/Program Files/Test App" b
    mkdir -p "$dir"
    cp "$bin/trvtest.exe" "$dir/probe.exe"
    echo backup >"$WINEPREFIX/drive_c/users/Public/backup.rbs"
    import_reg "[$button_key]
\"ApplicationPath\"=\"C:\\\\Program Files\\\\Test App\\\\probe.exe\"
\"LaunchParameter\"=\"C:\\\\users\\\\Public\\\\backup.rbs\""

    step "the application starts with the file as its argument"
    run TRVBUTTON.exe
    local i
    for ((i = 0; i < 200; i++)); do
        [ -s "$dir/probe.exe.args" ] && break
        sleep 0.1
    done
    [ -s "$dir/probe.exe.args" ] || fail "the application was not started within 20 s"
    # Wine puts quotes around a program path it found by trying the blanks
    # in turn; the argument after it is what counts.
    local got app='C:\Program Files\Test App\probe.exe' arg='C:\users\Public\backup.rbs'
    got="$(cat "$dir/probe.exe.args")"
    echo "   command line: $got"
    [ "$got" = "$app $arg" ] || [ "$got" = "\"$app\" $arg" ] ||
        fail "the application got \"$got\", expected \"$app $arg\""
    expect_window Pushlaunch absent

    step "an empty parameter: the dialog, and nothing starts"
    rm -f "$dir/probe.exe.args"
    import_reg "[$button_key]
\"LaunchParameter\"=\"\""
    start b TRVBUTTON.exe
    wait_window Pushlaunch
    sleep 2
    [ -e "$dir/probe.exe.args" ] && fail "the application was started"
    close_dialog "$b"
    [ -e "$dir/probe.exe.args" ] && fail "the application was started"
    return 0
}

if ! declare -F "case_$case_name" >/dev/null; then
    echo "unknown case \"$case_name\"" >&2
    exit 2
fi
"case_$case_name"
echo "PASS [$case_name]"
