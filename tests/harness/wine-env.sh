# Sourced by the harness scripts: the private Wine environment of one build tree.
# TX_HARNESS_DIR is the build tree's harness directory; TX_WINE_LOADER the Wine loader for the
# build's architecture (wine, or wine64 for the 64-bit test build); TX_WINEARCH the prefix kind.
: "${TX_HARNESS_DIR:?}"
TX_WINE_LOADER=${TX_WINE_LOADER:-wine}
export WINEPREFIX="$TX_HARNESS_DIR/wineprefix"
# Wine links the prefix's user folders into $HOME: keep that inside the build tree too.
export HOME="$TX_HARNESS_DIR/home"
export WINEDEBUG=-all
export WINEARCH=${TX_WINEARCH:-win32}
# No Mono or Gecko installer prompts when the prefix is made. No audio drivers either: the
# tests and txconv play nothing, and without them DirectShow's device enumeration does not
# print a screen of ALSA errors on a machine without a sound card. Only the processes started
# from here are affected; Wine elsewhere keeps its drivers. A check may add overrides of its
# own in TX_DLLOVERRIDES (for example to hide a system component).
export WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv,winepulse.drv=${TX_DLLOVERRIDES:+;$TX_DLLOVERRIDES}"
if [ -f "$TX_HARNESS_DIR/display" ]; then
    DISPLAY=$(cat "$TX_HARNESS_DIR/display")
    export DISPLAY
fi
