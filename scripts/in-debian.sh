#!/usr/bin/env bash
# Runs a command in a Debian root of another release, on a copy of this checkout:
#   in-debian.sh [--out DIR | --vm] RELEASE COMMAND [ARG...]
# RELEASE is a codename: bookworm (12), trixie (13) or sid (unstable; for amd64 alone, as
# a new user has it). The root is made once, from the mirror that this machine's own APT
# entry names, and kept for the next run in
# $TAVORINE_ROOTS (/var/cache/tavorine). The command runs as root in /src, a fresh copy of
# the checkout, with its own /tmp and no display; with --out, DIR is /out there. Its
# mounts and processes live in namespaces of its own, so they end with it however it
# ends, and scripts/test.sh then runs the tests in a network namespace of their own.
# With --vm the command runs in a virtual machine booted from the root instead, for a kernel
# that refuses what the release's Wine needs (scripts/in-vm.sh).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
roots=${TAVORINE_ROOTS:-/var/cache/tavorine}
die() { echo "in-debian: $*" >&2; exit 1; }

out="" vm=""
if [ "${1:-}" = --out ]; then
    out=$(cd "${2:?--out needs a folder}" && pwd)
    shift 2
elif [ "${1:-}" = --vm ]; then
    vm=1
    shift
fi
[ $# -ge 2 ] || die "usage: in-debian.sh [--out DIR | --vm] RELEASE COMMAND [ARG...]"
release=$1
shift
case $release in bookworm | trixie | sid) ;; *) die "no such release here: $release (bookworm, trixie or sid)" ;; esac
[ "$(id -u)" -eq 0 ] || die "making and entering a Debian root needs root; run it as root or with sudo"

# The mirror of this machine's own entry, and its security mirror if it has one. Sid calls
# itself forky (the next release) while its entry names sid.
host=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
targets=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 2>/dev/null | sort -u)
mirror=$(awk -v r="$host" '$2 == r || $2 == "sid" || $2 == "unstable" { print $1; exit }' <<<"$targets")
security=$(awk -v r="$host-security" '$2 == r { print $1; exit }' <<<"$targets")
[ -n "$mirror" ] || die "no entry for this machine's release ($host) among the APT sources"
fetch() { /usr/lib/apt/apt-helper -o Acquire::http::Timeout=30 download-file "$1" "$2" >/dev/null 2>&1; }
inrelease=$(mktemp)
trap 'rm -f "$inrelease" "$inrelease.security"' EXIT
fetch "${mirror%/}/dists/$release/InRelease" "$inrelease" || die "the mirror ${mirror%/} cannot be reached, or has no $release"
# A snapshot mirror serves a Release file past its Valid-Until date; apt refuses it unless
# told not to look at that date. The archive's signatures are still checked.
aptopts=()
until=$(sed -n 's/^Valid-Until: //p' "$inrelease")
if [ -n "$until" ] && [ "$(date -d "$until" +%s)" -lt "$(date +%s)" ]; then
    echo "in-debian: the mirror's $release Release file expired on $until; using it all the same, signatures checked"
    aptopts=(--aptopt='Acquire::Check-Valid-Until "false"')
fi

root=$roots/debian-$release
mkdir -p "$roots"
exec 9>"$root.lock"
flock 9  # one run at a time in a root

if [ ! -x "$root/usr/bin/apt-get" ]; then
    command -v mmdebstrap >/dev/null || {
        echo "in-debian: installing mmdebstrap"
        apt-get update -qq || true
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mmdebstrap >/dev/null
    }
    echo "in-debian: making a Debian $release root in $root from ${mirror%/}"
    sources=("deb ${mirror%/} $release main")
    if [ "$release" != sid ]; then
        sources+=("deb ${mirror%/} $release-updates main")
        # A sid machine names no security mirror: Debian's sits beside the main one.
        [ -n "$security" ] || security=${mirror%/}-security
        fetch "${security%/}/dists/$release-security/InRelease" "$inrelease.security" \
            && sources+=("deb ${security%/} $release-security main")
    fi
    rm -rf "$root.new"
    # Made under another name, so a run cut short leaves no half root to be taken for whole.
    mmdebstrap --quiet --mode=root --variant=minbase --include=ca-certificates "${aptopts[@]}" \
        --keyring=/usr/share/keyrings/debian-archive-keyring.gpg "$release" "$root.new" "${sources[@]}" \
        || die "mmdebstrap could not make the $release root"
    mv "$root.new" "$root"
fi
rm -f "$inrelease" "$inrelease.security"
# The root's own apt, which setup.sh runs, says the same of the date, whenever the root was made.
validity=$root/etc/apt/apt.conf.d/99tavorine-valid-until
if [ "${#aptopts[@]}" -gt 0 ]; then
    echo 'Acquire::Check-Valid-Until "false";' > "$validity"
else
    rm -f "$validity"
fi

echo "in-debian: copying the checkout to $root/src"
rm -rf "$root/src"
mkdir -p "$root/src" "$root/out"
cp /etc/resolv.conf "$root/etc/resolv.conf"
if git -C "$repo" rev-parse --git-dir >/dev/null 2>&1; then
    (cd "$repo" && git ls-files -z -co --exclude-standard | tar --null --ignore-failed-read -T - -cf - 2>/dev/null) |
        tar -C "$root/src" -xf -
else
    tar -C "$repo" --exclude=./build --exclude='./build-*' -cf - . | tar -C "$root/src" -xf -
fi

# Runs a command in the root, as root, in /src.
binfmt=/proc/sys/fs/binfmt_misc
in_root() {
    unshare --mount --propagation private --pid --fork -- bash -eu -c '
        root=$1 out=$2 binfmt=$3
        shift 3
        mount --bind "$root" "$root"  # so that / is a mount point there, as mmdebstrap needs
        mount -t proc proc "$root/proc"
        mount --rbind /sys "$root/sys"
        mount --rbind /dev "$root/dev"
        mount -t tmpfs tmpfs "$root/tmp"
        # Where 32-bit code runs under qemu, setup.sh reads the host'"'"'s registration.
        [ -e "$binfmt/register" ] && mount -t binfmt_misc binfmt_misc "$root$binfmt"
        [ -n "$out" ] && mount --bind "$out" "$root/out"
        exec chroot "$root" "$@"
    ' in-debian "$root" "$out" "$binfmt" "$@"
}
# The command as it starts there, in a clean environment.
clean=(/usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" CI="${CI:-}")
cmd=("${clean[@]}" bash -c 'cd /src && exec "$@"' in-debian "$@")
if [ -n "$vm" ]; then
    . "$repo/scripts/in-vm.sh"
else
    in_root "${cmd[@]}"
fi
