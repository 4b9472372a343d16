# Sourced: which Wine this machine has, asked of the installed packages and of the files
# themselves, not read off one release's layout. Every script that runs Wine asks here:
#   WINE         the loader that runs a 32-bit Windows program; empty where none is installed
#   WINE64       the loader that makes a 64-bit prefix (under new WoW64, WINE itself)
#   WINESERVER   the server; Wine itself reads this name to find it
#   WINE_WOW64   "new" where a 32-bit program runs inside a 64-bit process (Wine's new WoW64:
#                Wine 11, Arch, Fedora, Debian sid), empty where Wine has a 32-bit Unix part
#   WINE_ARCH32  the prefix that 32-bit programs get: win32, or win64 where no 32-bit prefix
#                can be made (new WoW64)
#   WINE_UNIX_CFLAGS  -m32 or -m64: what a library preloaded into that Unix process is built for
# The answers are exported, so the scripts and test programs that a script starts reuse them.

# 1 for a 32-bit ELF file, 2 for a 64-bit one, nothing for anything else.
elf_class() {
    [ "$(head -c 4 "$1" 2>/dev/null | od -An -c | tr -d ' ')" = 177ELF ] || return 0
    od -An -j4 -N1 -tu1 "$1" | tr -d ' '
}

find_wine() {
    local f loader32="" loader64="" server32="" server64=""
    # The loaders and servers that the packages hold, and those on the PATH, links followed;
    # Debian's wrapper scripts among them are no ELF files and drop out.
    for f in $({ dpkg-query -S '*/wine/wine*' 2>/dev/null | sed 's|^[^/]*||'
                 for c in wine wineserver; do command -v "$c" >/dev/null && readlink -f "$(command -v "$c")"; done
               } | sort -u); do
        case ${f##*/}:$(elf_class "$f") in
            wineserver*:1) server32=$f ;;
            wineserver*:2) server64=$f ;;
            wine:1 | wine[0-9]*:1) loader32=$f ;;
            wine:2 | wine[0-9]*:2) loader64=$f ;;
        esac
    done
    WINE="" WINE64=$loader64 WINE_WOW64="" WINE_ARCH32=win32 WINE_UNIX_CFLAGS=-m32
    WINESERVER=${server64:-$server32}
    if [ -n "$loader32" ]; then
        WINE=$loader32
    elif [ -n "$loader64" ] && dpkg-query -S '*/i386-windows/ntdll.dll' 2>/dev/null | grep -qv ':i386'; then
        # No 32-bit Unix part, but 32-bit Windows libraries: the 64-bit loader runs both kinds.
        WINE=$loader64 WINE_WOW64=new WINE_ARCH32=win64 WINE_UNIX_CFLAGS=-m64
    fi
    TAVORINE_WINE_ASKED=1
    export WINE WINE64 WINESERVER WINE_WOW64 WINE_ARCH32 WINE_UNIX_CFLAGS TAVORINE_WINE_ASKED
}

[ -n "${TAVORINE_WINE_ASKED:-}" ] || find_wine
