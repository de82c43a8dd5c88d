# Shared by scripts/run and scripts/test: installs what is missing and builds.
# Source it; it changes nothing until its functions are called.

repo_root=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
build_dir="$repo_root/build"
windows_build_dir="$repo_root/build-windows"

# What building and running the program needs.
program_packages=(cmake ninja-build g++ qt6-base-dev libgl-dev libfontconfig-dev libxcb1-dev fonts-wine)
# What the tests need besides: GoogleTest; an X server, a window manager and a Wayland compositor
# with XWayland to drive the real program in; the linters; the desktop-integration validators;
# the Windows resource compiler; the package tools; and the message buses (dbus-x11 too, which
# would start a session bus for a program that has none).
test_packages=(libgtest-dev xvfb xauth xdotool xclip x11-utils openbox weston xwayland imagemagick
    clang-format clang-tidy desktop-file-utils appstream binutils-mingw-w64-i686 python3 dpkg-dev strace
    clang libclang-rt-14-dev dbus dbus-x11)
# What the benchmarks need besides: Google Benchmark, and libxcb with the Damage extension to see
# the first frame from outside the program.
bench_packages=(libbenchmark-dev libxcb1-dev libxcb-damage0-dev xvfb xauth)
# What the Windows executable needs: the cross compiler (GoogleTest needs its -posix threads) and
# GoogleTest's source, which the cross build compiles for its tests.
windows_build_packages=(cmake ninja-build g++-mingw-w64-i686-posix googletest)
# What the Windows tests need: 32-bit wine with Debian's copies of Tahoma and MS Sans Serif, a
# virtual display, the tools that drive the program and read its resources, and the linter.
windows_test_packages=(wine wine32:i386 fonts-wine xvfb xauth xdotool x11-utils imagemagick icoutils
    python3 clang-tidy)

as_root() {
    if ((EUID == 0)); then "$@"; else sudo "$@"; fi
}

install_missing() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    ((${#missing[@]} == 0)) && return 0
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        -o DPkg::Lock::Timeout=600 "${missing[@]}"
}

# wine32 is a package of the i386 architecture.
add_i386_architecture() {
    dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
}

configure_program() {
    cmake -S "$repo_root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTABLINOR_WARNINGS_AS_ERRORS=ON "$@"
}

build_program() {
    configure_program "$@"
    cmake --build "$build_dir"
}

# Cross-compiles the Windows executable, "build-windows/Tablinor - Verdusk.exe", small and stripped.
build_windows() {
    cmake -S "$repo_root" -B "$windows_build_dir" -G Ninja --toolchain "$repo_root/cmake/mingw-w64-i686.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DTABLINOR_WARNINGS_AS_ERRORS=ON "$@"
    cmake --build "$windows_build_dir"
}

# Points wine at a 32-bit prefix of the project's own in build-windows/wine, made on first use,
# and keeps its server running so that each program starts quickly; the caller's EXIT trap must
# run `wineserver -k`. Needs a display: no window manager runs on the virtual one, so windows
# place themselves (Managed=N). Mono and Gecko are left out: nothing here needs them.
start_wine() {
    export WINEPREFIX="$windows_build_dir/wine" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    local made="$WINEPREFIX/made-by-tablinor"
    if [[ ! -f $made ]]; then
        rm -rf "$WINEPREFIX"
        wineboot -i
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
        cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
        wineserver -w
        touch "$made"
    fi
    wineserver -p
    # Wine's own services start with the first program and outlive it, keeping its output open:
    # started here, they keep this script's output rather than a test's.
    wineboot >/dev/null 2>&1
}

# Qt warns on every start without a runtime folder of the user's own.
ensure_runtime_dir() {
    if [[ -z ${XDG_RUNTIME_DIR:-} || ! -d $XDG_RUNTIME_DIR ]]; then
        XDG_RUNTIME_DIR=$(mktemp -d /tmp/runtime-tablinor.XXXXXX)
        chmod 700 "$XDG_RUNTIME_DIR"
        export XDG_RUNTIME_DIR
    fi
}

# Starts an X server of its own for this shell, 1024 x 768 unless given another size, on a display
# number it picks itself, and points DISPLAY (and Qt) at it. The caller's EXIT trap must end the
# shell's jobs. It keeps its root window's properties between clients, as a desktop's server does.
start_virtual_display() {
    local number_file
    number_file=$(mktemp)
    Xvfb -displayfd 1 -screen 0 "${1:-1024x768}x24" -nolisten tcp -noreset >"$number_file" 2>/dev/null &
    for _ in $(seq 50); do [[ -s $number_file ]] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$number_file")" QT_QPA_PLATFORM=xcb
    rm -f "$number_file"
}
