# Shared by the scripts: where things are, and the Wine prefix the Windows build runs in.
ZORBEL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_NATIVE=$ZORBEL_ROOT/build/native
BUILD_WIN32=$ZORBEL_ROOT/build/win32
ARTIFACTS=$ZORBEL_ROOT/build/artifacts

export WINEPREFIX=${ZORBEL_WINEPREFIX:-$ZORBEL_ROOT/build/wine}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# The simulated player (removable) and a fixed disk, as Wine drives P: and F:.
export ZORBEL_PLAYER_DIR=$ZORBEL_ROOT/build/drives/player
export ZORBEL_FIXED_DIR=$ZORBEL_ROOT/build/drives/fixed

jobs() { nproc 2>/dev/null || echo 2; }

# Adds a registry value in both the 32-bit and the 64-bit view.
wine_reg_both() {
    wine reg add "$1" /v "$2" /d "$3" /f /reg:32 >/dev/null 2>&1
    wine reg add "$1" /v "$2" /d "$3" /f /reg:64 >/dev/null 2>&1
}

# Makes the prefix once: CJK font substitutes (Wine's dialog fonts have no CJK glyphs) and the
# two drives. Kept in the build folder, so a clean clone makes its own.
ensure_wine_prefix() {
    local ready=$WINEPREFIX/.zorbel-ready
    mkdir -p "$ZORBEL_PLAYER_DIR" "$ZORBEL_FIXED_DIR"
    if [ ! -f "$ready" ]; then
        echo "wine: creating prefix $WINEPREFIX"
        rm -rf "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        wineserver -w
        local subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
        for face in "MS Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma"; do
            wine_reg_both "$subst" "$face" "WenQuanYi Micro Hei"
        done
        # Without /reg:64 the drive types land under Wow6432Node and change nothing.
        wine reg add 'HKLM\Software\Wine\Drives' /v p: /d floppy /f /reg:64 >/dev/null 2>&1
        wine reg add 'HKLM\Software\Wine\Drives' /v f: /d hd /f /reg:64 >/dev/null 2>&1
        wineserver -w
        touch "$ready"
    fi
    # Xvfb has no window manager; a managed window would make Wine wait ~2 s for one each time.
    if [ ! -f "$WINEPREFIX/.zorbel-unmanaged" ]; then
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.zorbel-unmanaged"
    fi
    # The caption buttons are drawn from Marlett; this Wine build does not find its own copy.
    local fonts=$WINEPREFIX/drive_c/windows/Fonts
    if [ ! -f "$fonts/marlett.ttf" ] && [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        mkdir -p "$fonts" && cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
    fi
    ln -sfn "$ZORBEL_PLAYER_DIR" "$WINEPREFIX/dosdevices/p:"
    ln -sfn "$ZORBEL_FIXED_DIR" "$WINEPREFIX/dosdevices/f:"
}

# A prefix for another display scale, made from the one above: hard links to its files (it is
# 1.3 GB), real copies of the registry files (the wineserver rewrites those), and LogPixels set
# where Wine looks for it. Wine reads LogPixels when its wineserver starts, so a scale needs a
# prefix of its own: a running test cannot restart the wineserver it runs under. Prints the
# prefix's path.
ensure_dpi_prefix() {
    local dpi=$1 base=$WINEPREFIX
    local prefix=$ZORBEL_ROOT/build/wine-dpi$dpi
    if [ ! -f "$prefix/.zorbel-dpi" ] || [ "$base/.zorbel-ready" -nt "$prefix/.zorbel-dpi" ]; then
        WINEPREFIX=$base wineserver -w
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
        rm -rf "$prefix"
        cp -al "$base" "$prefix"
        for reg in "$base"/*.reg; do
            cp --remove-destination "$reg" "$prefix/"
        done
        local key
        for key in 'HKCU\Control Panel\Desktop' \
            'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
            WINEPREFIX=$prefix wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f \
                >/dev/null 2>&1
        done
        WINEPREFIX=$prefix wineserver -w
        touch "$prefix/.zorbel-dpi"
    fi
    ln -sfn "$ZORBEL_PLAYER_DIR" "$prefix/dosdevices/p:"
    ln -sfn "$ZORBEL_FIXED_DIR" "$prefix/dosdevices/f:"
    echo "$prefix"
}
