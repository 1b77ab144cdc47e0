# scripts/lib/wine.sh: a private Wine prefix and an Xvfb display, for scripts that run the
# updater. Source it; then call wine_start DIR, and wine_stop when done (an EXIT trap is set).

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes its ANSI code page (1252) and the encoding of file names (UTF-8) from the locale.
export LC_ALL=C.UTF-8
wine_xvfb_pid=""

wine_stop() {
    wineserver -k 2>/dev/null || true
    [ -z "$wine_xvfb_pid" ] || kill "$wine_xvfb_pid" 2>/dev/null || true
    wine_xvfb_pid=""
}

# Starts Xvfb on a free display and exports DISPLAY; DIR keeps the display number.
wine_start_xvfb() {
    local dir=$1
    # All its output away: a test that starts it must not wait for it to close a pipe.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" >/dev/null 2>&1 &
    wine_xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$dir/display" ] && break
        sleep 0.1
    done
    export DISPLAY=":$(head -n1 "$dir/display")"
}

# Makes a prefix in DIR/prefix and exports WINEPREFIX. Without a window manager, unmanaged
# windows close at once instead of after a 2 s wait.
wine_make_prefix() {
    export WINEPREFIX="$1/prefix"
    # Tried twice (the first start was once seen failing, silently, while the Linux suite
    # started beside it); what Wine prints goes to DIR/wineboot.log, shown if both fail.
    for _ in 1 2; do
        { wineboot -i && wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f &&
            wineserver -w; } >"$1/wineboot.log" 2>&1 && return 0
        wineserver -k 2>/dev/null || true
    done
    echo "Wine could not make its prefix:" >&2
    cat "$1/wineboot.log" >&2
    return 1
}

# Xvfb (unless USE_DISPLAY=yes) and a fresh prefix under DIR.
wine_start() {
    trap wine_stop EXIT
    [ "${USE_DISPLAY:-no}" = yes ] || wine_start_xvfb "$1"
    wine_make_prefix "$1"
}

# Maps drive LETTER to FOLDER in the prefix.
wine_map_drive() {
    ln -sfn "$2" "$WINEPREFIX/dosdevices/$1:"
}
