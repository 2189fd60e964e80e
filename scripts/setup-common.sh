# Shared by the scripts: installs the Debian packages that are missing, configures and builds
# one build folder, and checks the Debian package made from one. Sourced, not run.

root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# install_missing PACKAGE... installs only what dpkg does not already have.
install_missing() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# help2man writes the manual pages, rsvg-convert renders the window icon; the Plans window's chart
# is Qt Charts, whose CMake package needs Qt OpenGL's, which qt6-charts-dev does not pull in;
# libgensio.pc links -lwrap, whose link-time file is in libwrap0-dev.
build_packages=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-serialport-dev qt6-charts-dev
    libqt6opengl6-dev libgl-dev libgensio-dev libwrap0-dev help2man librsvg2-bin)
# What the tests run besides the programs: python3-serial and ser2net meet them over the network.
test_packages=(python3 python3-serial ser2net clang-format)
# What making and checking the Debian package needs besides (CPack's dependency list comes from
# dpkg-shlibdeps).
package_packages=(dpkg-dev desktop-file-utils)
# scripts/fuzz builds with clang; libFuzzer and the sanitizer runtimes are in libclang-rt.
fuzz_packages=(clang libclang-rt-14-dev)

# configure_tree DIR [CMAKE OPTIONS...] configures DIR once.
configure_tree() {
    local dir=$1
    shift
    if [ ! -f "$root_dir/$dir/build.ninja" ]; then
        cmake -S "$root_dir" -B "$root_dir/$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    fi
}

# build_tree DIR [CMAKE OPTIONS...] configures DIR once and builds everything in it.
build_tree() {
    configure_tree "$@"
    cmake --build "$root_dir/$1"
}

package_fail() {
    echo "Package check: $*" >&2
    exit 1
}

# check_package DIR makes the Debian package of the built tree DIR and checks what it holds:
# each program and its manual page, the desktop entry and its icon, the documentation, root
# ownership and plain modes, stripped programs, the dependencies, and that each program answers
# --version with the project's version. Leaves the package's path in package_deb.
check_package() {
    local dir=$root_dir/$1
    (cd "$dir" && cpack -G DEB) >"$dir/cpack.log" 2>&1 || {
        cat "$dir/cpack.log" >&2
        package_fail "cpack failed"
    }
    local version deb
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
    deb=$dir/package/rs232c-tester_${version}_$(dpkg --print-architecture).deb
    [ -f "$deb" ] || package_fail "no $deb"
    case $(head -n 1 "$root_dir/packaging/changelog") in
    "rs232c-tester ($version) "*) ;;
    *) package_fail "packaging/changelog does not start with an entry for $version" ;;
    esac

    local programs=() program expected path listing
    mapfile -t programs <"$dir/packaging/programs"
    expected=(usr/share/applications/rs232c-tester.desktop
        usr/share/icons/hicolor/scalable/apps/rs232c-tester.svg
        usr/share/doc/rs232c-tester/README.md usr/share/doc/rs232c-tester/copyright
        usr/share/doc/rs232c-tester/changelog.gz usr/share/doc/rs232c-tester/docs/DESIGN.md)
    for program in "${programs[@]}"; do
        expected+=("usr/bin/$program" "usr/share/man/man1/$program.1.gz")
    done
    listing=$(dpkg-deb -c "$deb")
    for path in "${expected[@]}"; do
        grep -q " \./$path\$" <<<"$listing" || package_fail "$path is missing"
    done
    # Every entry belongs to root; directories and programs are 755, other files 644.
    local odd
    odd=$(awk '$2 != "root/root" || ($1 != "drwxr-xr-x" &&
               $1 != ($6 ~ /^\.\/usr\/bin\// ? "-rwxr-xr-x" : "-rw-r--r--"))' <<<"$listing")
    [ -z "$odd" ] || package_fail "wrong owner or mode: $odd"
    grep -q libqt6widgets6 <<<"$(dpkg-deb -f "$deb" Depends)" ||
        package_fail "Depends does not come from the programs"
    [ "$(dpkg-deb -f "$deb" Recommends)" = "fonts-nanum, fonts-symbola" ] ||
        package_fail "Recommends is not the fonts the windows use"

    package_tmp=$(mktemp -d)
    trap 'rm -rf "$package_tmp"' EXIT
    dpkg-deb -x "$deb" "$package_tmp"
    local entry=$package_tmp/usr/share/applications/rs232c-tester.desktop
    desktop-file-validate "$entry" || package_fail "the desktop entry is not valid"
    [ "$(sed -n 's/^Exec=//p' "$entry")" = rs232c-tester ] ||
        package_fail "the desktop entry does not start plain rs232c-tester"
    local icon
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [ -f "$package_tmp/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
        package_fail "the desktop entry's icon '$icon' is not in the package"
    for program in "${programs[@]}"; do
        [ "$("$package_tmp/usr/bin/$program" --version)" = "$program $version" ] ||
            package_fail "$program --version does not answer '$program $version'"
        ! grep -q '\.symtab' <<<"$(readelf -S --wide "$package_tmp/usr/bin/$program")" ||
            package_fail "$program is not stripped"
        zcat "$package_tmp/usr/share/man/man1/$program.1.gz" >"$package_tmp/page"
        grep -q '^\.SH "EXIT STATUS"' "$package_tmp/page" ||
            package_fail "the manual page of $program has no exit status"
    done
    rm -rf "$package_tmp"
    echo "Package check passed: $deb"
    package_deb=$deb
}
