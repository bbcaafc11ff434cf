#!/usr/bin/env bash
# The 32-bit lane: runs the 32-bit build's test programs under the real 32-bit Wine, for
# machines whose kernel cannot execute 32-bit programs. The programs run in a QEMU guest
# (software emulation) that boots Debian's own amd64 kernel, which can.
#
#   scripts/lane32.sh [BUILD_DIR]      (default: build/, the i686 tree)
#
# The list of programs is the build tree's lane32.manifest, which the i686 tree writes when it
# does not run its tests itself. The guest image is cached outside the repository, keyed by
# its recipe (scripts/lane32/image.sh), and booted read-only; the first run builds it from
# Debian's archive (about ten minutes). Outputs and exit codes come back to
# BUILD_DIR/lane32/out. Prints each program's result and time and closes with
# "N passed, N failed"; exits non-zero if any program failed or did not run.
#
# TRELVOX_LANE_CACHE           where images are kept (~/.cache/trelvox-lane)
# TRELVOX_LANE_PROGRAM_TIMEOUT seconds one program may take in the guest (300)
# TRELVOX_LANE_TIMEOUT         seconds the whole guest may take (1200)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-${TRELVOX_BUILD:-$root/build}}" && pwd)
cache=${TRELVOX_LANE_CACHE:-$HOME/.cache/trelvox-lane}
program_timeout=${TRELVOX_LANE_PROGRAM_TIMEOUT:-300}
vm_timeout=${TRELVOX_LANE_TIMEOUT:-1200}
LANE_WINE_ENV=$root/tests/harness/wine-env.sh
started=$EPOCHREALTIME

lane_log() { echo "lane32: $*"; }
die() {
    echo "lane32: $*" >&2
    echo "0 passed, 1 failed"
    exit 1
}
# Seconds since $1 (an EPOCHREALTIME), with one decimal.
since() {
    local us=$((${EPOCHREALTIME/./} - ${1/./}))
    printf '%d.%d' $((us / 1000000)) $((us / 100000 % 10))
}

# lane_fetch IMAGE PATH DEST: copies a file or directory out of an ext4 image without
# mounting it. Missing paths leave DEST absent.
lane_fetch() {
    if debugfs -R "stat $2" "$1" 2>/dev/null | grep -q 'Type: directory'; then
        mkdir -p "$3"
        debugfs -R "rdump $2 $3" "$1" >/dev/null 2>&1
        # rdump writes PATH's last component inside DEST.
        local inner=$3/${2##*/}
        if [ -d "$inner" ]; then
            mv "$inner"/* "$3"/ 2>/dev/null || true
            rmdir "$inner"
        fi
    else
        debugfs -R "dump $2 $3" "$1" >/dev/null 2>&1 && [ -s "$3" ] || rm -f "$3"
    fi
}

# lane_job_disk DIR IMAGE SIZE: an ext4 image holding DIR's files, without a journal, so that
# what the guest wrote and synced is where debugfs reads it even if the guest is killed.
lane_job_disk() {
    mkfs.ext4 -q -F -O ^has_journal -L lane-job -d "$1" "$2" "$3" >/dev/null
}

# lane_boot IMAGE_DIR JOB_IMAGE rw|snapshot SECONDS LOG_DIR: boots the guest with the job disk
# and waits until it powers off or the time is up (then it is killed: status 124 or 137).
# -cpu max without SMAP: with it, QEMU 7.2's emulation makes every 32-bit Wine process die of
# a guest kernel Oops at an IRET.
lane_boot() {
    local snapshot=on
    [ "$3" = rw ] && snapshot=off
    mkdir -p "$5"
    timeout -k 10 "$4" qemu-system-x86_64 -nodefaults -no-user-config -machine pc -accel tcg,thread=multi \
        -cpu max,-smap -smp 2 -m 3072 -display none -no-reboot -nic none \
        -kernel "$1/vmlinuz" -initrd "$1/initrd.img" \
        -append "root=/dev/vda rw console=ttyS0 init=/sbin/lane-init panic=-1 quiet loglevel=3" \
        -drive "file=$1/root.img,format=raw,if=virtio,snapshot=$snapshot" \
        -drive "file=$2,format=raw,if=virtio" \
        -serial "file:$5/console.log" -serial "file:$5/status.log" </dev/null
}

. "$root/scripts/lane32/image.sh"

# --- the image -------------------------------------------------------------------------------

for tool in qemu-system-x86_64 debootstrap mkfs.ext4 debugfs; do
    command -v "$tool" >/dev/null || die "$tool is missing: run scripts/setup.sh"
done
manifest=$build/lane32.manifest
[ -s "$manifest" ] || die "no $manifest: configure the i686 tree without running its tests (TRELVOX_RUN_WINE_TESTS=OFF)"

key=$(cat "$root/scripts/lane32/image.sh" "$LANE_WINE_ENV" | sha256sum | cut -c1-12)
image=$cache/$key
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9
if [ ! -f "$image/root.img" ]; then
    [ "$(id -u)" = 0 ] || die "building the guest image needs root (debootstrap, chroot)"
    lane_log "building the guest image $image"
    image_started=$EPOCHREALTIME
    lane_build_image "$image" ||
        die "the guest image could not be built (is Debian's archive reachable?): the 32-bit lane cannot run"
    lane_log "guest image built in $(since "$image_started") s"
    # Older images of other recipes are not needed any more.
    find "$cache" -mindepth 1 -maxdepth 1 -type d ! -name "$key" -exec rm -rf {} +
else
    lane_log "reusing the guest image $image"
fi
flock -u 9

# --- the job disk ----------------------------------------------------------------------------

run=$build/lane32
rm -rf "$run"
mkdir -p "$run/job/bin" "$run/job/src"
names=()
while IFS=$'\t' read -r name program _; do
    [ -n "$name" ] && [ "${name:0:1}" != "#" ] || continue
    names+=("$name")
    cp "$build/bin/$program" "$run/job/bin/"
done <"$manifest"
[ ${#names[@]} -gt 0 ] || die "$manifest lists no program"
cp "$build"/bin/*.dll "$run/job/bin/"
# Debug information only makes the disk bigger; the guest prints no symbols anyway.
for file in "$run"/job/bin/*; do
    i686-w64-mingw32-strip --strip-debug "$file" 2>/dev/null || true
done
if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
    git -C "$root" ls-files -z --cached --others --exclude-standard |
        (cd "$root" && xargs -0 cp --parents -t "$run/job/src" 2>/dev/null) || true
else
    tar -C "$root" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$run/job/src" -xf -
fi
cp "$manifest" "$run/job/manifest"
cp "$root/scripts/lane32/guest.sh" "$run/job/run.sh"
cp "$LANE_WINE_ENV" "$run/job/wine-env.sh"
printf 'LANE_PROGRAM_TIMEOUT=%s\nLANE_GUEST_HARNESS=%s\n' "$program_timeout" "$LANE_GUEST_HARNESS" >"$run/job/lane.conf"
size=$(du -sm "$run/job" | cut -f1)
lane_job_disk "$run/job" "$run/job.img" "$((size * 2 + 256))M"

# --- the run ---------------------------------------------------------------------------------

lane_log "${#names[@]} programs, at most $program_timeout s each, the guest at most $vm_timeout s"
boot_started=$EPOCHREALTIME
: >"$run/status.log"
lane_boot "$image" "$run/job.img" snapshot "$vm_timeout" "$run" &
vm=$!
count=0
running=
# The guest's status lines as they come; the serial port ends them with CR LF.
while read -r -a event; do
    [ "${event[0]:-}" = TXLANE ] || continue
    event=("${event[@]%$'\r'}")
    case ${event[1]:-} in
    ready) lane_log "guest ready after $(since "$boot_started") s (kernel at ${event[2]} s, Wine at ${event[3]} s)" ;;
    start) running=${event[2]} ;;
    done)
        count=$((count + 1))
        running=
        case ${event[3]} in
        0) verdict=passed ;;
        77) verdict=skipped ;;
        124 | 137) verdict="FAILED: no end after $program_timeout s" ;;
        crashed) verdict="FAILED: crashed" ;;
        *) verdict="FAILED (exit ${event[3]})" ;;
        esac
        printf 'lane32: [%2d/%d] %-24s %6s s  %s\n' "$count" "${#names[@]}" "${event[2]}" "${event[4]}" "$verdict"
        ;;
    end) break ;;
    esac
done < <(tail -n +1 -f --pid=$vm "$run/status.log" 2>/dev/null)
vm_status=0
wait $vm || vm_status=$?
lane_log "guest ran $(since "$boot_started") s"
if [ $vm_status -ne 0 ]; then
    if [ $vm_status = 124 ] || [ $vm_status = 137 ]; then
        echo "lane32: the guest was stopped after $vm_timeout s${running:+, during $running}" >&2
    else
        echo "lane32: QEMU ended with status $vm_status" >&2
    fi
    echo "lane32: the guest's console ends with:" >&2
    tail -20 "$run/console.log" >&2
fi

# --- the results -----------------------------------------------------------------------------

lane_fetch "$run/job.img" /out "$run/out"
passed=0
failed=0
skipped=0
for name in "${names[@]}"; do
    if [ ! -f "$run/out/$name.rc" ]; then
        failed=$((failed + 1))
        echo "lane32: $name: no result (the guest stopped before it ended)"
        [ -f "$run/out/$name.log" ] && tail -50 "$run/out/$name.log" | sed "s/^/  $name| /"
        continue
    fi
    read -r rc _ <"$run/out/$name.rc"
    case $rc in
    0) passed=$((passed + 1)) ;;
    77) skipped=$((skipped + 1)) ;;
    *)
        failed=$((failed + 1))
        echo "lane32: $name failed ($([ "$rc" = crashed ] && echo crashed || echo "exit $rc")); its output:"
        tail -200 "$run/out/$name.log" | sed "s/^/  $name| /"
        ;;
    esac
done
lane_log "outputs and exit codes in $run/out; the lane took $(since "$started") s"
echo "$passed passed, $failed failed$([ $skipped -gt 0 ] && echo ", $skipped skipped")"
[ $failed -eq 0 ]
