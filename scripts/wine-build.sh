# Sourced (with $root set to the repository) by ./txconv and the benchmarks: the build that runs
# on this machine and its Wine. Where the kernel runs 32-bit programs that is the shipped 32-bit
# build; elsewhere the 64-bit build of the same code under 64-bit Wine. Sets arch and build and
# exports the Wine loader; tx_enter_wine then takes the build's private Wine environment. Build
# before entering it: the environment moves HOME into the build tree.
if "$root/scripts/native32.sh"; then
    arch=i686 build=${TRELVOX_BUILD:-$root/build}
    export TX_WINE_LOADER=wine TX_WINEARCH=win32
else
    arch=x86_64 build=$root/build-x86_64
    export TX_WINE_LOADER=/usr/lib/wine/wine64 TX_WINEARCH=win64
fi

tx_enter_wine() {
    export TX_HARNESS_DIR="$build/harness"
    mkdir -p "$TX_HARNESS_DIR/home"
    . "$root/tests/harness/wine-env.sh"
    unset DISPLAY
}
