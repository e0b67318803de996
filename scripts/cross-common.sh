# Shared by the cross-build scripts (sourced, not run): package installation
# that names what is missing in one line, Debian source packages, and the
# cache of libraries built from them.
#
# The cache lives outside the work tree (VEXA_CACHE, /var/cache/vexa by
# default), one folder per library, version and toolchain. A folder is built
# under a temporary name and renamed only once it is complete, so a build
# that was interrupted leaves nothing a later run would trust.

VEXA_CACHE=${VEXA_CACHE:-/var/cache/vexa}
APT="apt-get -o DPkg::Lock::Timeout=900"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo

die() {
    echo "$SCRIPT: $*" >&2
    exit 1
}

# install_packages PKG...: installs those not installed yet; one line naming
# the package when one cannot be installed.
install_packages() {
    missing=""
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
            missing="$missing $p"
        fi
    done
    [ -z "$missing" ] && return 0
    echo "installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO $APT update -qq >/dev/null 2>&1 || true
    # shellcheck disable=SC2086
    if ! $SUDO $APT install -y -qq --no-install-recommends $missing >/dev/null 2>&1; then
        for p in $missing; do
            dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" ||
                die "cannot install the package $p"
        done
    fi
}

# require_tool TOOL PACKAGE: one line naming the package when TOOL is missing.
require_tool() {
    command -v "$1" >/dev/null 2>&1 || die "missing $1 (package $2)"
}

# enable_source_packages: apt-get source needs a deb-src line for the archive
# the machine already uses; it goes in a file of its own, written once.
enable_source_packages() {
    list=/etc/apt/sources.list.d/vexa-deb-src.list
    if ! grep -rqs '^deb-src\|^Types:.*deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        uri=""
        suite=""
        key=""
        sources=/etc/apt/sources.list.d/debian.sources
        if [ -f $sources ]; then
            uri=$(sed -n 's/^URIs: *//p' $sources | head -n 1 | cut -d' ' -f1)
            suite=$(sed -n 's/^Suites: *//p' $sources | head -n 1 | cut -d' ' -f1)
            key=$(sed -n 's/^Signed-By: *//p' $sources | head -n 1)
        elif [ -f /etc/apt/sources.list ]; then
            line=$(grep -m1 '^deb ' /etc/apt/sources.list || true)
            case "$line" in
            *"["*) key=$(echo "$line" | sed -n 's/.*signed-by=\([^] ]*\).*/\1/p')
                line=$(echo "$line" | sed 's/\[[^]]*\] *//') ;;
            esac
            uri=$(echo "$line" | awk '{print $2}')
            suite=$(echo "$line" | awk '{print $3}')
        fi
        [ -n "$uri" ] && [ -n "$suite" ] || die "no Debian archive in the apt sources to add a deb-src line for"
        # apt refuses two lines for one archive that name different keys.
        options=""
        [ -n "$key" ] && options="[signed-by=$key] "
        echo "deb-src $options$uri $suite main" | $SUDO tee "$list.tmp" >/dev/null
        $SUDO mv "$list.tmp" "$list"
    fi
    if [ -z "$(apt-cache showsrc libsdl2 2>/dev/null)" ]; then
        $SUDO $APT update -qq >/dev/null 2>&1 || die "apt-get update failed after adding $list"
    fi
}

# source_version SOURCE: the version apt-get source would fetch.
source_version() {
    apt-cache showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -n 1
}

# cached_build NAME VERSION TOOLCHAIN BUILD_FUNCTION: prints the cache folder
# of NAME, building it first with BUILD_FUNCTION SOURCE_DIR PREFIX when it is
# not there. Progress goes to stderr.
cached_build() {
    key="$VEXA_CACHE/$1-$2-$3"
    if [ -d "$key" ]; then
        echo "$key"
        return 0
    fi
    $SUDO mkdir -p "$VEXA_CACHE"
    work=$(mktemp -d "$VEXA_CACHE/.build-$1-XXXXXX")
    # Removed on every way out; only the finished rename survives.
    trap 'rm -rf "$work"' EXIT INT TERM
    echo "building $1 $2 for $3 into $key (once)" >&2
    (cd "$work" && $APT source -qq "$1=$2" >"$work/source.log" 2>&1) ||
        { cat "$work/source.log" >&2; die "apt-get source $1=$2 failed"; }
    src=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)
    [ -n "$src" ] || die "apt-get source $1 unpacked nothing"
    "$4" "$src" "$work/prefix" >"$work/build.log" 2>&1 ||
        { tail -n 30 "$work/build.log" >&2; die "building $1 $2 for $3 failed (log above)"; }
    mv -T "$work/prefix" "$key"
    rm -rf "$work"
    trap - EXIT INT TERM
    echo "$key"
}
