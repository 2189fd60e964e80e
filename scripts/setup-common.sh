# Shared by the scripts: installs the Debian packages that are missing and
# configures and builds one build folder. Sourced, not run.

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

build_packages=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-serialport-dev libgl-dev)

# configure_tree DIR [CMAKE OPTIONS...] configures DIR once.
configure_tree() {
    local dir=$1
    shift
    if [ ! -f "$root_dir/$dir/build.ninja" ]; then
        cmake -S "$root_dir" -B "$root_dir/$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    fi
}

# build_tree DIR [CMAKE OPTIONS...] configures DIR once and builds it.
build_tree() {
    configure_tree "$@"
    cmake --build "$root_dir/$1"
}
