#!/usr/bin/env bash
# Test fixture: starts Xvfb and one persistent wineserver for the whole test run, and makes
# the private prefix. The display must exist before the wineserver starts, or Wine runs
# without a display driver.
set -euo pipefail
: "${TX_HARNESS_DIR:?}"
mkdir -p "$TX_HARNESS_DIR/home"
cd "$TX_HARNESS_DIR"

if ! { [ -f xvfb.pid ] && kill -0 "$(cat xvfb.pid)" 2>/dev/null; }; then
    rm -f xvfb.pid display
    for n in $(seq 70 99); do
        [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >xvfb.log 2>&1 &
        echo $! >xvfb.pid
        for _ in $(seq 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            sleep 0.1
        done
        if [ -e "/tmp/.X11-unix/X$n" ]; then
            echo ":$n" >display
            break
        fi
        kill "$(cat xvfb.pid)" 2>/dev/null || true
        rm -f xvfb.pid
    done
    [ -f display ] || { echo "no free display for Xvfb" >&2; exit 1; }
fi

. "$(dirname "$0")/wine-env.sh"
started=$(date +%s)
# A 64-bit prefix also tries to set up its 32-bit half, which fails where 32-bit programs
# cannot run; the prefix itself is complete all the same.
"$TX_WINE_LOADER" wineboot -i >wineboot.log 2>&1 || true
# The server writes the registry files when it ends, a few seconds after its last client.
timeout 120 wineserver -w 2>/dev/null || wineserver -k 2>/dev/null || true
[ -f "$WINEPREFIX/system.reg" ] || { cat wineboot.log >&2; exit 1; }
# Then one server, kept alive for the whole run so that every test starts warm.
# Detached from our output: a test runner waits for every holder of its pipes.
wineserver -p </dev/null >/dev/null 2>&1
# The first program starts Wine's services, which live as long as the server; started from
# here they hold no test's output open. It also turns the crash dialog off: a crashing test
# program then prints its backtrace and ends, instead of waiting for a click until its time-out.
"$TX_WINE_LOADER" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    </dev/null >/dev/null 2>&1 || true
# No window manager runs on the test display, so Wine must not leave windows to one: a managed
# window that closes waits two seconds for a window manager to withdraw it, which every dialog
# and message box a test closes would pay.
"$TX_WINE_LOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
# Windows programs see the drives only while Wine's mount manager service runs: without it
# My Computer lists no drives. Wine's service manager gives a starting service about 10 s,
# then ends it and does not try again in this session. A busy machine can miss that, and the
# whole run would go without drives; so it is started again until it runs.
deadline=$(($(date +%s) + 90))
while :; do
    mountmgr=$("$TX_WINE_LOADER" sc query MountMgr </dev/null 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *STATE *: *[0-9]* *//p')
    [ "$mountmgr" = RUNNING ] || [ "$(date +%s)" -ge "$deadline" ] && break
    if [ "$mountmgr" = STOPPED ]; then
        "$TX_WINE_LOADER" sc start MountMgr </dev/null >/dev/null 2>&1 || true
    else
        sleep 0.5
    fi
done
[ "$mountmgr" = RUNNING ] || echo "Wine's mount manager does not run (${mountmgr:-no answer}): no drives" >&2
echo "Xvfb on $DISPLAY, prefix $WINEPREFIX ready in $(( $(date +%s) - started )) s"
