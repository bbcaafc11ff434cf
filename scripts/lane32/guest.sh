#!/bin/bash
# Runs inside the lane's guest as /job/run.sh (started by the image's init): every program of
# /job/manifest under the 32-bit Wine, each with its own time limit. Outputs and exit codes go
# to /job/out on the job disk; one line per event goes to the second serial port, which the
# host prints as it comes, so that a run the host has to stop still shows how far it got.
#
# A manifest line (see tx_add_wine_test): NAME, PROGRAM (a file of /job/bin), VAR=VALUE
# fields, "--", the arguments, separated by tabs. @SOURCE@ and @BINARY@ stand for the source
# and build trees, which the guest has at /lane/src and /lane.
set -u
. /job/lane.conf
status() { echo "TXLANE $*" >/dev/ttyS1; }
booted=$(cut -d' ' -f1 /proc/uptime)

# Programs run from the guest's own disk, never from a shared one: that once gave a loaded
# DLL pages of zeros.
mkdir -p /lane/work /job/out
cp -a /job/bin /lane/bin
cp -a /job/src /lane/src

export TX_HARNESS_DIR=$LANE_GUEST_HARNESS TX_WINE_LOADER=wine TX_WINEARCH=win32
# As the harness does: the display first, so that the wineserver has a display driver.
Xvfb :70 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 100); do
    [ -e /tmp/.X11-unix/X70 ] && break
    sleep 0.2
done
echo :70 >"$TX_HARNESS_DIR/display"
. /job/wine-env.sh
wineserver -p
# A crashing program prints its backtrace and ends, instead of waiting on a crash dialog
# until its time is up. This first program also starts Wine's services for the whole run.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
status ready "$booted" "$(cut -d' ' -f1 /proc/uptime)"

while IFS=$'\t' read -r -a fields; do
    [ ${#fields[@]} -ge 2 ] && [ "${fields[0]:0:1}" != "#" ] || continue
    name=${fields[0]}
    program=${fields[1]}
    vars=()
    args=()
    target=vars
    for field in "${fields[@]:2}"; do
        field=${field//@SOURCE@//lane/src}
        field=${field//@BINARY@//lane}
        if [ "$target" = vars ] && [ "$field" = -- ]; then
            target=args
        elif [ "$target" = vars ]; then
            vars+=("$field")
        else
            args+=("$field")
        fi
    done
    status start "$name"
    mkdir -p "/lane/work/$name"
    started=$EPOCHREALTIME
    # The program's own environment may change Wine's (TX_DLLOVERRIDES): apply it first.
    (cd "/lane/work/$name" && export "${vars[@]}" && . /job/wine-env.sh &&
        exec timeout -k 10 "$LANE_PROGRAM_TIMEOUT" wine "/lane/bin/$program" "${args[@]}") \
        >"/job/out/$name.log" 2>&1 </dev/null
    rc=$?
    # Wine's debugger sometimes hands the crashed program's end back as exit code 0.
    if grep -q '^wine: Unhandled' "/job/out/$name.log"; then
        rc=crashed
    fi
    ended=$EPOCHREALTIME
    seconds=$(printf '%d.%d' $(((${ended/./} - ${started/./}) / 1000000)) $(((${ended/./} - ${started/./}) / 100000 % 10)))
    echo "$rc $seconds" >"/job/out/$name.rc"
    sync
    status done "$name" "$rc" "$seconds"
done </job/manifest

wineserver -k
status end "$(cut -d' ' -f1 /proc/uptime)"
