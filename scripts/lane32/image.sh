# Sourced by scripts/lane32.sh: the recipe of the lane's guest image. Everything in this file
# and in tests/harness/wine-env.sh goes into the image's cache key, so any change here builds
# a new image on the next run.
#
# The image is a Debian bookworm root (amd64 with i386 as a second architecture) holding
# Debian's own kernel, which executes 32-bit programs, and the 32-bit Wine with the GStreamer
# plugins that Wine's media decoding loads. Its Wine prefix is made once, inside the guest,
# when the image is built, so that a test run starts warm.

LANE_SUITE=bookworm
LANE_MIRROR=http://deb.debian.org/debian
LANE_PACKAGES=(
    linux-image-amd64 wine wine32:i386 xvfb
    gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386 gstreamer1.0-plugins-ugly:i386
    gstreamer1.0-libav:i386
)
# Sparse: the root takes about 2 GB of it.
LANE_IMAGE_SIZE=8G
# Where the guest keeps its prefix and home, as the harness keeps them in a build tree.
LANE_GUEST_HARNESS=/lane/harness

# The guest's PID 1: mounts what a program needs, runs /job/run.sh from the second disk and
# powers the machine off, whatever the script did. PID 1 must never exit (that is a panic).
lane_init_script() {
    cat <<'INIT'
#!/bin/sh
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sysfs /sys
mountpoint -q /dev || mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
hostname lane
# A UTF-8 locale, as on the host: Wine names files in the locale's character set.
export LANG=C.UTF-8
mkdir -p /job
if mount -t ext4 /dev/vdb /job && [ -f /job/run.sh ]; then
    /bin/bash /job/run.sh </dev/null >/dev/console 2>&1
    echo "lane-init: run.sh ended with $?" >/dev/console
else
    echo "lane-init: no job disk" >/dev/console
fi
sync
umount /job 2>/dev/null
sync
echo o >/proc/sysrq-trigger
sleep 60
INIT
}

# The job of the image's first boot: the Wine prefix, made the way the harness makes one.
lane_prepare_script() {
    cat <<PREPARE
#!/bin/bash
export TX_HARNESS_DIR=$LANE_GUEST_HARNESS TX_WINE_LOADER=wine TX_WINEARCH=win32
PREPARE
    cat <<'PREPARE'
set -u
mkdir -p "$TX_HARNESS_DIR/home"
Xvfb :70 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 100); do [ -e /tmp/.X11-unix/X70 ] && break; sleep 0.2; done
echo :70 >"$TX_HARNESS_DIR/display"
. /job/wine-env.sh
started=$(date +%s)
wine wineboot -i >/job/wineboot.log 2>&1
timeout 300 wineserver -w || wineserver -k
rm -f "$TX_HARNESS_DIR/display"
if [ -f "$WINEPREFIX/system.reg" ]; then
    echo "prefix ready in $(($(date +%s) - started)) s" >/job/prepared
fi
sync
PREPARE
}

# lane_build_image DIR: builds vmlinuz, initrd.img and root.img into DIR (which must not
# exist). Needs root, debootstrap, mkfs.ext4 and the archive; boots the image once through
# lane_boot (defined by the caller) to make the prefix.
lane_build_image() (
    set -euo pipefail
    out=$1
    work=$(mktemp -d "${out%/*}/build.XXXXXX")
    rootfs=$work/root
    # A chroot's mounts must go whatever happens, or the directory cannot be removed.
    trap 'umount -R "$rootfs/proc" "$rootfs/sys" "$rootfs/dev" 2>/dev/null || true; rm -rf "$work"' EXIT
    lane_log "debootstrap $LANE_SUITE from $LANE_MIRROR"
    debootstrap --variant=minbase --arch=amd64 "$LANE_SUITE" "$rootfs" "$LANE_MIRROR" >"$work/debootstrap.log" 2>&1 || {
        tail -20 "$work/debootstrap.log" >&2
        exit 1
    }
    mount -t proc proc "$rootfs/proc"
    mount --rbind /sys "$rootfs/sys"
    mount --rbind /dev "$rootfs/dev"
    printf '#!/bin/sh\nexit 101\n' >"$rootfs/usr/sbin/policy-rc.d"
    chmod 755 "$rootfs/usr/sbin/policy-rc.d"
    lane_log "installing ${LANE_PACKAGES[*]}"
    chroot "$rootfs" /bin/sh -c "dpkg --add-architecture i386 && apt-get update &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ${LANE_PACKAGES[*]} &&
        apt-get clean" >"$work/packages.log" 2>&1 || {
        tail -30 "$work/packages.log" >&2
        exit 1
    }
    umount -R "$rootfs/proc" "$rootfs/sys" "$rootfs/dev"
    rm -f "$rootfs/usr/sbin/policy-rc.d"
    rm -rf "$rootfs"/var/lib/apt/lists/* "$rootfs"/usr/share/doc/* "$rootfs"/usr/share/man/*
    lane_init_script >"$rootfs/sbin/lane-init"
    chmod 755 "$rootfs/sbin/lane-init"
    mkdir -p "$rootfs$LANE_GUEST_HARNESS"

    mkdir "$work/out"
    cp "$rootfs"/boot/vmlinuz-* "$work/out/vmlinuz"
    cp "$rootfs"/boot/initrd.img-* "$work/out/initrd.img"
    lane_log "making the root file system"
    mkfs.ext4 -q -F -L lane-root -d "$rootfs" "$work/out/root.img" "$LANE_IMAGE_SIZE" >/dev/null
    rm -rf "$rootfs"

    lane_log "making the Wine prefix inside the guest"
    mkdir "$work/job"
    lane_prepare_script >"$work/job/run.sh"
    cp "$LANE_WINE_ENV" "$work/job/wine-env.sh"
    lane_job_disk "$work/job" "$work/job.img" 64M
    lane_boot "$work/out" "$work/job.img" rw 900 "$work/prepare" || true
    lane_fetch "$work/job.img" /prepared "$work/prepared"
    lane_fetch "$work/job.img" /wineboot.log "$work/wineboot.log"
    if [ ! -f "$work/prepared" ]; then
        echo "lane32: the Wine prefix could not be made in the guest; its console:" >&2
        tail -40 "$work/prepare/console.log" >&2
        [ -f "$work/wineboot.log" ] && tail -20 "$work/wineboot.log" >&2
        exit 1
    fi
    lane_log "$(cat "$work/prepared")"
    mv "$work/out" "$out"
)
