#!/usr/bin/env bash
# The Debian package, made, installed and removed for real: `cpack -G DEB` in a release build
# writes tamsel_<version>_<arch>.deb (into a scratch directory), whose Depends names the
# packages of the binaries' shared libraries and whose files are exactly those `cmake --install`
# puts in place; apt-get installs it (offline: every dependency is installed already), the
# installed tamsel decodes a file made by uuencode, man and bash find their files, the MIME type
# is registered by the file trigger; `apt-get remove --purge` leaves none of it behind.
# Only /usr is touched, so other tests may run beside it; runs of this test wait for each other.
# Usage: test-package.sh BUILD_DIR   (exit 77: skipped, not root or no apt-get/dpkg)
set -euo pipefail

fail() {
    echo "FAIL: $*"
    exit 1
}

(($# == 1)) || fail "usage: test-package.sh BUILD_DIR (a release build)"
build=$1

# A release build, configured with this packaging and built.
cache=$build/CMakeCache.txt
if [[ ! -f $cache ]] || ! grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$cache" ||
    [[ ! -f $build/CPackConfig.cmake || ! -x $build/cli/tamsel || ! -x $build/app/tamselwin ]]; then
    fail "$build holds no release build; build the release preset first:" \
        "cmake --preset release && cmake --build --preset release"
fi
build=$(realpath "$build")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$cache")
[[ -n $version ]] || fail "$cache names no project version"

if (($(id -u) != 0)); then
    echo "skipped: installing a package needs root (running as $(id -un))"
    exit 77
fi
for tool in apt-get dpkg dpkg-deb dpkg-query; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
for tool in cpack uuencode man cmp; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps.sh)"
done

# What the package holds: the files, under /usr.
files=(
    /usr/bin/tamsel
    /usr/bin/tamselwin
    /usr/share/applications/tamselwin.desktop
    /usr/share/bash-completion/completions/tamsel
    /usr/share/icons/hicolor/scalable/apps/tamselwin.svg
    /usr/share/man/man1/tamsel.1
    /usr/share/man/man1/tamselwin.1
    /usr/share/mime/packages/tamselwin.xml
)
mime_glob='application/x-tamselwin32-document:*.uue'

# One run at a time: another one's remove must not pull the files from under this one.
exec 9>/tmp/tamsel-package-test.lock
flock -w 600 9 ||
    fail "another package test has held /tmp/tamsel-package-test.lock for 10 minutes"

status=$(dpkg-query -W -f='${db:Status-Status}' tamsel 2>/dev/null || true)
case $status in
    "" | not-installed | config-files) ;;
    *) fail "a tamsel package is on this system already ($status); this test installs and" \
        "purges its own, so remove it first: apt-get remove tamsel" ;;
esac
for f in "${files[@]}"; do
    [[ ! -e $f ]] || fail "$f exists already; the package would take it over and remove it"
done

scratch=$(mktemp -d)
installed=0
cleanup() {
    if ((installed)); then
        echo "cleaning up: removing the package"
        DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq tamsel </dev/null >/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT
chmod 755 "$scratch"  # apt's download user reads the package from here

echo "== cpack -G DEB in $build"
(cd "$build" && cpack -G DEB -B "$scratch/pkg") >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
deb=$scratch/pkg/tamsel_${version}_$arch.deb
[[ -f $deb ]] || { ls -l "$scratch/pkg"; fail "cpack wrote no $(basename "$deb")"; }
chmod 644 "$deb"

echo "== control fields"
dpkg-deb -I "$deb"
[[ $(dpkg-deb -f "$deb" Package) == tamsel ]] || fail "the package is not named tamsel"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "its version is not $version"
[[ $(dpkg-deb -f "$deb" Architecture) == "$arch" ]] || fail "its architecture is not $arch"
[[ -n $(dpkg-deb -f "$deb" Maintainer) ]] || fail "it has no maintainer"
# The names in Depends, without versions or alternatives' bars.
depends=" $(dpkg-deb -f "$deb" Depends | sed 's/([^)]*)//g; s/[,|]/ /g' | tr -s ' ') "
for lib in libc6 'libstdc\+\+6' zlib1g 'libqt6core6(t64)?' 'libqt6gui6(t64)?' \
    'libqt6widgets6(t64)?' 'libqt6dbus6(t64)?' 'libqt6svg6(t64)?' libx11-6; do
    [[ $depends =~ \ $lib\  ]] || fail "Depends names no ${lib//\\/} package:$depends"
done

echo "== file list"
dpkg-deb -c "$deb"
listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort)
expected=$(printf '%s\n' "${files[@]}" | sort)
if [[ $listed != "$expected" ]]; then
    diff <(echo "$expected") <(echo "$listed") || true
    fail "the package's files (right) are not the expected ones (left)"
fi

echo "== apt-get install"
installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    -o DPkg::Lock::Timeout=300 "$deb" </dev/null
[[ $(dpkg-query -W -f='${db:Status-Status} ${Version}' tamsel) == "installed $version" ]] ||
    fail "tamsel $version is not installed after apt-get install"
for f in "${files[@]}"; do
    [[ -f $f ]] || fail "$f is not installed"
done
missing=$(ldd /usr/bin/tamsel /usr/bin/tamselwin | grep 'not found' || true)
[[ -z $missing ]] || fail "shared libraries not found: $missing"

echo "== the installed tamsel"
said=$(/usr/bin/tamsel --version) || fail "tamsel --version failed (exit $?)"
first=${said%%$'\n'*}
[[ $first == "tamsel $version" ]] || fail "tamsel --version says '$first', not 'tamsel $version'"
mkdir "$scratch/work" "$scratch/work/out"
head -c 300000 /dev/urandom >"$scratch/work/data.bin"
(cd "$scratch/work" && uuencode data.bin data.bin >data.uue)
written=$(cd "$scratch/work" && /usr/bin/tamsel decode -d out data.uue) ||
    fail "tamsel decode failed (exit $?)"
[[ $written == data.bin ]] || fail "tamsel decode printed '$written', not the name data.bin"
cmp "$scratch/work/data.bin" "$scratch/work/out/data.bin" ||
    fail "the decoded file differs from the one uuencode was given"

echo "== man, bash completion, MIME type"
for page in tamsel tamselwin; do
    man -wa "$page" | grep -qx "/usr/share/man/man1/$page.1" ||
        fail "man -w does not find /usr/share/man/man1/$page.1"
done
if [[ -r /usr/share/bash-completion/bash_completion ]]; then
    # bash-completion's loader finds the file by the command's name, as it does when Tab is hit.
    bash --norc --noprofile -c 'source /usr/share/bash-completion/bash_completion
        __load_completion tamsel && complete -p tamsel' | grep -q -- '-F _tamsel' ||
        fail "bash-completion does not load a completion for tamsel"
fi
if command -v update-mime-database >/dev/null; then
    # shared-mime-info's file trigger on /usr/share/mime/packages has rebuilt the database.
    grep -qxF "50:$mime_glob" /usr/share/mime/globs2 ||
        fail "the MIME type is not in /usr/share/mime/globs2 after the install"
fi

echo "== apt-get remove --purge"
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -o DPkg::Lock::Timeout=300 tamsel </dev/null
installed=0
status=$(dpkg-query -W -f='${db:Status-Status}' tamsel 2>/dev/null || true)
[[ -z $status || $status == not-installed ]] || fail "tamsel is still known to dpkg ($status)"
for f in "${files[@]}"; do
    [[ ! -e $f ]] || fail "$f is still there after the purge"
done
if command -v update-mime-database >/dev/null; then
    ! grep -qF "$mime_glob" /usr/share/mime/globs2 ||
        fail "the MIME type is still in /usr/share/mime/globs2 after the purge"
fi
echo "the package installs, works and is removed cleanly"
