# Shared by scripts/test and scripts/run (sourced, not run): the Debian packages the build and the
# tests need, installed only when missing, and the CMake configure + build step.

# One package a line; add new ones here.
WV_PACKAGES=(
    cmake
    ninja-build
    g++
    libgtest-dev
    libgmock-dev
    libsqlite3-dev
    libfreeimage-dev  # decoding the main window's JPEG background
    python3           # interoperability tests
    python3-dbfread   # interoperability tests: an independent DBF reader
    python3-dbf       # interoperability tests: an independent DBF/FPT writer
    libdbd-xbase-perl # interoperability tests: index_dump, an independent CDX reader
    clang             # the optional fuzz build (WV_FUZZ=ON)
    libclang-rt-dev   # libFuzzer for the fuzz build
    qt6-base-dev      # the interface: Qt Widgets and Print Support
    qt6-base-dev-tools # moc, uic and rcc for the interface
    qt6-tools-dev     # Qt UiTools: dialog layouts loaded at run time
    libqt6opengl6-dev # needed by Qt's CMake package for Widgets
    fonts-liberation  # stand-ins for MS Sans Serif, Arial and Lucida Console
    xvfb              # screenshots of the interface under a virtual display
    xauth             # xvfb-run
    imagemagick       # screenshots of the interface
    poppler-utils     # report tests: pdftotext reads the printed PDF back
    dpkg-dev          # scripts/package: dpkg-shlibdeps finds the package's library dependencies
)

wv_root() { cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd; }

wv_install_packages() {
    local missing=() p
    for p in "${WV_PACKAGES[@]}"; do
        dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
        --no-install-recommends "${missing[@]}" </dev/null
}

# wv_build BUILD_DIR [CMAKE OPTIONS...]: configure when needed, then build everything.
wv_build() {
    local dir=$1
    shift
    cmake -S "$WV_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    ninja -C "$dir"
}
