# Sourced by the CD benchmarks: make_disc_image DIR MINUTES TRACKS writes DIR/disc.bin, that
# many minutes of random frames, and DIR/disc.cue, which splits it into TRACKS audio tracks
# of equal length, and sets frames to the image's frame count.
make_disc_image() {
    local dir=$1 minutes=$2 tracks=$3 i at
    frames=$((minutes * 60 * 75))
    echo "making a $minutes-minute image ($frames frames, $tracks tracks)"
    head -c $((frames * 2352)) /dev/urandom >"$dir/disc.bin"
    {
        echo 'FILE "disc.bin" BINARY'
        for i in $(seq 0 $((tracks - 1))); do
            at=$((i * frames / tracks))
            printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n' $((i + 1)) $((at / 4500)) $((at / 75 % 60)) \
                $((at % 75))
        done
    } >"$dir/disc.cue"
    cat "$dir/disc.bin" >/dev/null # into the page cache, for every reader alike
}
