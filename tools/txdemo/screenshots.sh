#!/usr/bin/env bash
# Saves a PNG of txdemo's window and of every window it opens, each shown in a Wine virtual
# desktop (which draws the window frames itself, as no window manager runs on the test display).
#
# usage: screenshots.sh BUILD_DIR OUT_DIR
# BUILD_DIR is a build tree whose harness is running (CTest's tx_env fixture, or
# tests/harness/start.sh); the PNGs go to OUT_DIR as txdemo-NAME.png.
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
DISPLAY=$(cat "$build/harness/display")
export DISPLAY

winpath() { local p=${1//\//\\}; echo "Z:$p"; }
exe=$(winpath "$build/bin/txdemo.exe")
# An album for the tag editor: three MP3 files that share an album and differ in title.
album=$(mktemp -d)
trap 'rm -rf "$album"' EXIT
for i in 1 2 3; do
    sox -n -r 44100 -c 2 -b 16 "$album/tone.wav" synth 1 sine $((220 * i))
    lame --quiet -b 128 "$album/tone.wav" "$album/0$i Song $i.mp3"
    id3v2 -A "Demo Album" -a "The Demo Band" -t "Song $i" -T "$i/3" -y 2004 -g 17 "$album/0$i Song $i.mp3"
done
rm "$album/tone.wav"
status=0
for name in main wave mp3 ogg wma wave-defaults mp3-defaults wma-defaults slider \
    frame-text frame-user-url frame-url frame-user-text frame-picture frame-genre frame-language frame-comment tags; do
    shot=$out/.txdemo-$name
    rm -f "$shot.ready" "$shot.done"
    open=()
    [ "$name" = main ] || open=(--open "$name")
    # The Wave dialog with a format chosen, so that its information fields are filled.
    [ "$name" = wave ] && open+=(--option "wave-format=44100 Hz; 16 bits; Stereo")
    size=640x400
    [ "$name" = tags ] && open+=(--folder "$(winpath "$album")") && size=1020x580
    "$build/harness-run" explorer "/desktop=txdemo-$name,$size" "$exe" "${open[@]}" --shot "$(winpath "$shot")" \
        >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 300); do
        [ -e "$shot.ready" ] && break
        sleep 0.1
    done
    desktop=$(xwininfo -root -tree | sed -n "s/^ *\(0x[0-9a-f]*\) \"txdemo-$name - Wine desktop\".*/\1/p" | head -1)
    if [ -e "$shot.ready" ] && [ -n "$desktop" ]; then
        # The window is shown; give the painting that follows a moment.
        sleep 0.5
        import -window "$desktop" "$out/txdemo-$name.png"
        echo "$out/txdemo-$name.png"
    else
        echo "txdemo --open $name: no window on screen" >&2
        status=1
    fi
    touch "$shot.done"
    wait "$pid" || true
    rm -f "$shot.ready" "$shot.done"
done
exit $status
