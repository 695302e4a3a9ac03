# Cross-builds the static libpng and libjpeg that Debian's JUCE needs for the Windows
# program (Debian ships no MinGW builds of them) from Debian's own source packages, into
# $KVX_WIN_DEPS. Sourced by scripts/test-windows; does nothing when they are there already.

kvx_windows_deps() {
    local deps=$1
    local prefix=$deps/prefix
    local work=$deps/work
    if [ -f "$prefix/lib/libpng16.a" ] && [ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/include/jpegint.h" ] \
        && grep -q 'using ::boolean' "$prefix/include/jconfig.h" 2>/dev/null; then
        return 0
    fi
    rm -rf "$work"
    mkdir -p "$work" "$prefix" "$deps/apt/lists/partial" "$deps/apt/cache/archives/partial"

    # A deb-src entry of our own, kept in the build folder: the machine's /etc is not changed.
    local suite
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    cat > "$deps/apt/sources.list" <<LIST
deb-src http://deb.debian.org/debian $suite main
LIST
    local apt_options=(-o "Dir::Etc::SourceList=$deps/apt/sources.list" -o "Dir::Etc::SourceParts=-"
                       -o "Dir::State::Lists=$deps/apt/lists" -o "Dir::Cache=$deps/apt/cache"
                       -o "Debug::NoLocking=1" -o "APT::Sandbox::User=root")
    [ "$(id -u)" -eq 0 ] || apt_options=("${apt_options[@]:0:10}")
    apt-get "${apt_options[@]}" update -qq
    (cd "$work" && apt-get "${apt_options[@]}" source --download-only -qq libpng1.6 libjpeg-turbo)
    (cd "$work" && for dsc in *.dsc; do dpkg-source --no-check -x "$dsc" >/dev/null; done)

    local toolchain=$KVX_ROOT/cmake/mingw-w64-x86_64.cmake
    local common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
                  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_C_FLAGS=-O2 -Wno-dev)

    local jpeg_src png_src
    jpeg_src=$(find "$work" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -1)
    png_src=$(find "$work" -maxdepth 1 -type d -name 'libpng1.6-*' | head -1)
    [ -n "$jpeg_src" ] && [ -n "$png_src" ] || { echo "test-windows: source packages not unpacked" >&2; return 1; }

    cmake -S "$jpeg_src" -B "$work/jpeg-build" "${common[@]}" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF >/dev/null
    cmake --build "$work/jpeg-build" >/dev/null
    cmake --install "$work/jpeg-build" >/dev/null
    # JUCE includes jpeglib.h with JPEG_INTERNALS, which wants the internal header too.
    cp "$jpeg_src/jpegint.h" "$prefix/include/"

    cmake -S "$png_src" -B "$work/png-build" "${common[@]}" \
        -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include >/dev/null
    cmake --build "$work/png-build" >/dev/null
    cmake --install "$work/png-build" >/dev/null

    # windows.h defines `boolean` globally, while JUCE includes jpeglib.h inside a namespace
    # of its own and looks for `boolean` there: hand the global one into that namespace.
    /usr/bin/python3 - "$prefix/include/jconfig.h" <<'PY'
import sys
path = sys.argv[1]
text = open(path).read()
old = "typedef unsigned char boolean;\n#endif"
new = "typedef unsigned char boolean;\n#elif defined(__cplusplus)\nusing ::boolean;\n#endif"
if "using ::boolean" not in text:
    if old not in text:
        sys.exit("test-windows: jconfig.h has no boolean typedef to adjust")
    open(path, "w").write(text.replace(old, new, 1))
PY
    rm -rf "$work"
}
