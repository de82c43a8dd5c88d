# Shared by scripts/run and scripts/test: installs what is missing and builds.
# Source it; it changes nothing until its functions are called.

repo_root=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
build_dir="$repo_root/build"
# The shipped 32-bit Windows executable's build, and the same sources built for 64-bit Windows,
# which the tests run where this machine runs no 32-bit code.
windows_build_dir="$repo_root/build-windows"
windows64_build_dir="$repo_root/build-windows64"
# The web page's build, whose page is build-web/tablinor-verdusk.html.
web_build_dir="$repo_root/build-web"

# What building and running the program needs.
program_packages=(cmake ninja-build g++ qt6-base-dev qt6-base-private-dev libgl-dev libfontconfig-dev libxcb1-dev fonts-wine)
# What the tests need besides: GoogleTest; an X server, a window manager and a Wayland compositor
# with XWayland to drive the real program in; the desktop-integration validators; the Windows
# resource compiler; the package tools and Debian's package checker; clang and its sanitizer
# runtimes, for the sanitizer and fuzzing builds; the message buses (dbus-x11 too, which would start
# a session bus for a program that has none), with the accessibility bus and pyatspi to drive the
# program as a screen reader does; Debian's hardening checker; and what builds the program again at
# another time and in another locale, and shows where two builds differ.
test_packages=(libgtest-dev xvfb xauth xdotool xclip x11-utils openbox weston xwayland imagemagick
    desktop-file-utils appstream binutils-mingw-w64-i686 python3 dpkg-dev lintian strace
    clang libclang-rt-14-dev dbus dbus-x11 at-spi2-core python3-pyatspi
    devscripts faketime locales diffoscope-minimal)
# What checks the source besides: the formatter, the linter, and jq to read what it lints from a
# build.
lint_packages=(clang-format clang-tidy jq)
# What the benchmarks need besides: Google Benchmark, and libxcb with the Damage extension to see
# the first frame from outside the program.
bench_packages=(libbenchmark-dev libxcb1-dev libxcb-damage0-dev xvfb xauth)
# What the Windows executable needs: the cross compiler (GoogleTest needs its -posix threads) and
# GoogleTest's source, which the cross build compiles for its tests.
windows_build_packages=(cmake ninja-build g++-mingw-w64-i686-posix googletest)
# What the Windows tests need: 32-bit wine with Debian's copies of Tahoma and MS Sans Serif, a
# virtual display, a window manager for the run as on a Linux desktop, the tools that drive the
# program and read its resources.
windows_test_packages=(wine wine32:i386 fonts-wine xvfb xauth openbox xdotool x11-utils imagemagick icoutils
    python3)
# What the Windows tests need besides where this machine runs no 32-bit code: the 64-bit cross
# compiler and 64-bit wine.
windows64_test_packages=(g++-mingw-w64-x86-64-posix wine64)
# What the web page needs: Emscripten, Debian's fonttools to cut down the page's face, and its terser
# to minify the script. GoogleTest's source, which the web build compiles for its tests under Node.js.
web_build_packages=(cmake ninja-build emscripten python3-fonttools node-terser googletest)
# What the web tests and benchmarks need besides: the three engines Debian ships and their
# drivers (Chromium's chromedriver; WebKitGTK's WebKitWebDriver, on a virtual display; Firefox ESR,
# which has no WebDriver classic here, over WebDriver BiDi from Node.js), and PIL for screenshots.
web_test_packages=(chromium chromium-driver firefox-esr webkit2gtk-driver xvfb xauth nodejs python3-selenium
    python3-pil)

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

# The build folder of a Windows architecture: i686 (the shipped executable) or x86_64.
windows_build_dir_of() {
    if [[ $1 == x86_64 ]]; then echo "$windows64_build_dir"; else echo "$windows_build_dir"; fi
}

# Cross-compiles for a Windows architecture, i686 or x86_64, small and stripped; the other
# arguments go to CMake. build_windows i686 makes "build-windows/Tablinor - Verdusk.exe".
build_windows() {
    configure_windows "$@"
    cmake --build "$(windows_build_dir_of "$1")"
}

configure_windows() {
    cmake -S "$repo_root" -B "$(windows_build_dir_of "$1")" -G Ninja --toolchain "$repo_root/cmake/mingw-w64-$1.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DTABLINOR_WARNINGS_AS_ERRORS=ON "${@:2}"
}

# Builds the web page, small; the arguments go to CMake. Emscripten's optimizer needs Debian's acorn,
# which a Node.js other than Debian's finds only through NODE_PATH. The tests run under Node.js
# itself, without the threads flag that emcmake would give it and that newer ones refuse.
build_web() {
    export NODE_PATH=/usr/share/nodejs
    emcmake cmake -S "$repo_root" -B "$web_build_dir" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DTABLINOR_WARNINGS_AS_ERRORS=ON -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)" "$@" >/dev/null
    cmake --build "$web_build_dir"
}

# Installs the Node.js packages that a folder of the project locks into a folder of the web build,
# exactly as locked, when the lock has changed; they drive Debian's browsers and download none.
# Debian's npm comes apart from its nodejs; NodeSource's nodejs carries its own.
install_node_modules() {
    local locked=$1 folder=$2
    command -v npm >/dev/null || install_missing npm
    if ! cmp -s "$locked/package-lock.json" "$folder/package-lock.json"; then
        mkdir -p "$folder"
        cp "$locked/package.json" "$locked/package-lock.json" "$folder/"
        (cd "$folder" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
    fi
}

# The web tests' (puppeteer-core, to drive Firefox over WebDriver BiDi), in build-web/npm.
install_web_test_modules() {
    install_node_modules "$repo_root/tests/web" "$web_build_dir/npm"
}

# The web benchmarks' (Lighthouse, for its own first visit on a phone's network), in
# build-web/bench-npm.
install_web_bench_modules() {
    install_node_modules "$repo_root/bench/web" "$web_build_dir/bench-npm"
}

# Whether this machine runs 32-bit code, which wine32 needs: newer kernels may run without it
# (ia32 emulation off), and then its loader fails at once with "Exec format error".
runs_32_bit_code() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# The Windows architecture whose build runs under wine here, i686 where this machine runs 32-bit
# code and x86_64 where it does not, with one line that says which.
wine_architecture() {
    if runs_32_bit_code; then
        echo "This machine runs 32-bit code: the 32-bit executable runs under wine." >&2
        echo i686
    else
        echo "This machine runs no 32-bit code: the same sources built for 64-bit Windows run under wine64." >&2
        echo x86_64
    fi
}

# Points wine at a prefix of the project's own for a Windows architecture, i686 or x86_64, in that
# build folder's wine/, made on first use, and keeps its server running so that each program
# starts quickly; the caller's EXIT trap must run `wineserver -k`. Needs a display: no window
# manager runs on the virtual one, so windows place themselves (Managed=N), unless a test starts
# one and sets Managed=Y for its run. Mono and Gecko are left out: nothing here needs them.
start_wine() {
    local folder
    folder=$(windows_build_dir_of "$1")
    export WINEPREFIX="$folder/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [[ $1 == x86_64 ]]; then
        # Debian's wine, and wine-stable that wineboot and winepath call, start wine32's loader
        # whenever it is installed: here they start wine64's, under its own name, by which it
        # finds its preloader.
        local loaders="$folder/wine64-loader"
        mkdir -p "$loaders"
        for name in wine wine-stable; do
            printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$loaders/$name"
            chmod +x "$loaders/$name"
        done
        export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 PATH="$loaders:$PATH"
    else
        export WINEARCH=win32
    fi
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

# Starts a message bus of the caller's own for this shell, listening on the socket that the path
# names, and waits for it; the caller's EXIT trap must end the shell's jobs.
start_message_bus() {
    dbus-daemon --session --nofork --nosyslog --address="unix:path=$1" 2>/dev/null &
    for _ in $(seq 50); do [[ -S $1 ]] && return; sleep 0.1; done
    echo "FAIL: the message bus at $1 did not start" >&2
    return 1
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
