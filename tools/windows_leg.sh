# Which Windows test leg this host can run. Sourced by tools/test_windows.sh;
# the probes are functions of their own so that a test can stand in for them.
#
#   i686    the shipped 32-bit cardlift.exe under wine (wine32): needs a host
#           that executes 32-bit x86 programs, which some x86-64 hosts cannot
#           (their kernel answers "Exec format error").
#   x86_64  the same sources built as a 64-bit Windows program under wine64,
#           beside the 32-bit program checked as files: needs an amd64 host.

# True when the kernel runs a 32-bit x86 Linux program. The program is written
# here byte by byte, so the probe needs nothing installed: an ELF header, one
# loadable segment mapped at 0x08048000 and the code
#   mov eax, 1 (exit) ; mov ebx, 42 ; int 0x80
# at offset 84. Only the status 42 counts: it shows that the code ran. $1 is a
# directory for the program, which must allow executing files.
host_runs_i386() {
    local probe=$1/i386_probe
    local header='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'  # 32-bit, little-endian
    header+='\x02\x00\x03\x00\x01\x00\x00\x00'  # executable, i386, version 1
    header+='\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00'  # entry, program and section header offsets
    header+='\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x28\x00\x00\x00\x00\x00'  # flags and table sizes
    local segment='\x01\x00\x00\x00\x00\x00\x00\x00'  # loadable, from file offset 0
    segment+='\x00\x80\x04\x08\x00\x80\x04\x08'  # virtual and physical address
    segment+='\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'  # 96 bytes, r-x, page-aligned
    local code='\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80'
    printf "$header$segment$code" >"$probe"
    chmod +x "$probe"
    local status=0
    "$probe" 2>/dev/null || status=$?
    rm -f "$probe"
    [ "$status" -eq 42 ]
}

# True on an amd64 host, where Debian's wine64 runs x86-64 Windows programs.
host_runs_amd64() {
    [ "$(dpkg --print-architecture)" = amd64 ]
}

# Sets `windows_leg` to i686 or x86_64 and prints one line saying which leg runs
# and why; fails, saying why, when no leg can run or the leg asked for cannot.
# $1: the leg asked for (CARDLIFT_WINDOWS_LEG): auto (or empty), i686 or x86_64.
# $2: a directory for the probe program.
choose_windows_leg() {
    local request=${1:-auto} i386=no amd64=no why
    host_runs_i386 "$2" && i386=yes
    host_runs_amd64 && amd64=yes
    case $request in
    auto)
        if [ $i386 = yes ]; then
            windows_leg=i686 why="this host runs 32-bit x86 programs"
        elif [ $amd64 = yes ]; then
            windows_leg=x86_64 why="this host cannot run 32-bit x86 programs"
        else
            echo "Windows test leg: none can run: this host runs neither 32-bit x86 programs nor amd64 ones" >&2
            return 1
        fi
        ;;
    i686 | x86_64)
        local needed=$i386
        [ "$request" = i686 ] || needed=$amd64
        if [ $needed = no ]; then
            echo "Windows test leg: $request, as CARDLIFT_WINDOWS_LEG asks, cannot run on this host" >&2
            return 1
        fi
        windows_leg=$request why="as CARDLIFT_WINDOWS_LEG asks; 32-bit x86 programs run here: $i386"
        ;;
    *)
        echo "Windows test leg: CARDLIFT_WINDOWS_LEG is $request, not auto, i686 or x86_64" >&2
        return 1
        ;;
    esac
    if [ $windows_leg = i686 ]; then
        echo "Windows test leg: i686 ($why): cardlift.exe, its unit tests and the end-to-end suite under wine"
    else
        echo "Windows test leg: x86_64 ($why): the i686 cardlift.exe checked as files, the x86-64 build's unit tests and end-to-end suite under wine64"
    fi
}

# Where Debian's wine packages put the programs that are not on the PATH: the
# loaders wine (package wine32) and wine64 (package wine64) and the server
# wineserver (package libwine, which both bring). With wine64 alone nothing of
# wine is on the PATH at all.
wine_lib=${wine_lib:-/usr/lib/wine}

# Prints the path of the wine program $1, looked for in the folder $2 first,
# then on the PATH; fails with one line naming what is missing and the package
# $3 that brings it.
find_wine_tool() {
    local name=$1 folder=$2 package=$3
    if [ -x "$folder/$name" ]; then
        echo "$folder/$name"
    elif command -v "$name"; then
        :
    else
        echo "Windows test leg: $name is missing: not in $folder nor on the PATH; install the package $package" >&2
        return 1
    fi
}

# Sets wine_loader and wine_server for leg $1. The loader is wine (wine32) for
# i686 and wine64 for x86_64, each from wine_lib first, then from the PATH
# (package wine's links, where it is installed). The server is the one beside
# the loader, then the PATH's.
find_wine_tools() {
    if [ "$1" = i686 ]; then
        wine_loader=$(find_wine_tool wine "$wine_lib" "wine (with wine32)") || return 1
    else
        wine_loader=$(find_wine_tool wine64 "$wine_lib" wine64) || return 1
    fi
    wine_server=$(find_wine_tool wineserver "${wine_loader%/*}" "wine64 or wine32 (their libwine)") || return 1
    echo "Windows test leg: wine loader $wine_loader, server $wine_server"
}

# The Debian packages leg $1 needs beyond the native ones.
windows_leg_packages() {
    if [ "$1" = i686 ]; then
        echo g++-mingw-w64-i686 wine wine32
    else
        echo g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64
    fi
}

# wine32 is built for i386 only: dpkg must know that architecture before the
# i686 leg's packages can be installed.
enable_i386_packages() {
    dpkg --print-foreign-architectures | grep -qx i386 && return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo dpkg --add-architecture i386 ||
        { echo "Windows test leg: dpkg could not add the i386 architecture that wine32 needs" >&2; return 1; }
}
