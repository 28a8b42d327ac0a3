#!/usr/bin/env bash
# Tries the README on a fresh minimal Debian system, as a new user would:
#   check-fresh-machine.sh RELEASE             (bookworm or trixie; as root)
#   check-fresh-machine.sh --prepare RELEASE   only fills the download cache (below), which a check
#                                              then finds full; for running beside other work
# makes the system with debootstrap, puts a clean clone of this repository's HEAD into it, runs the
# start command under Xvfb until the main window shows, then the test command; on trixie it also
# makes the Debian package, installs it with apt into a second fresh system and starts the program
# from its desktop entry. Prints what passed and failed; exits non-zero on any failure.
#
# Downloads are kept in $PELLUCOR_FRESH_CACHE (default /var/cache/pellucor-fresh): the base system
# as a tarball and apt's archive folder, so that a repeated check downloads next to nothing; and
# a compiler cache, so that it compiles little. Packages come from the Debian archive this machine's
# own apt sources name.
# Everything mounted for the fresh system lives in a private mount and PID namespace: the host never
# sees those mounts, and every process started inside ends with the check.
set -euo pipefail

window_title='^Pellucor V2.1$'
xvfb_args=(-a -s "-screen 0 1280x1024x24")

log() { echo "check-fresh-machine: $*"; }

# ---- inside the private namespaces ----------------------------------------------------------------

# Mounts what programs in a fresh system expect. /dev is a small tmpfs of its own, so that nothing
# done inside can reach the host's devices.
mount_system() {
  local root=$1 archives=$2/archives compiler_cache=$2/ccache node
  mount -t proc proc "$root/proc"
  mount -t sysfs -o ro sysfs "$root/sys"
  mount -t tmpfs -o mode=755,size=1m dev "$root/dev"
  for node in "null 1 3" "zero 1 5" "full 1 7" "random 1 8" "urandom 1 9" "tty 5 0"; do
    set -- $node
    mknod -m 666 "$root/dev/$1" c "$2" "$3"
  done
  mkdir "$root/dev/pts" "$root/dev/shm"
  mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$root/dev/pts"
  ln -s pts/ptmx "$root/dev/ptmx"
  ln -s /proc/self/fd "$root/dev/fd"
  ln -s /proc/self/fd/0 "$root/dev/stdin"
  ln -s /proc/self/fd/1 "$root/dev/stdout"
  ln -s /proc/self/fd/2 "$root/dev/stderr"
  mount -t tmpfs -o mode=1777 shm "$root/dev/shm"  # the office keeps shared memory there
  mount --bind "$archives" "$root/var/cache/apt/archives"
  mkdir -p "$root/var/cache/ccache"
  mount --bind "$compiler_cache" "$root/var/cache/ccache"
}

# Runs a command as root inside a system, with a clean environment and no display. Compilations are
# cached between checks (ccache is the check's, not the README's).
in_system() {
  local root=$1
  shift
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
    CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_DIR=/var/cache/ccache \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@" </dev/null
}

# Shell code run under xvfb-run inside a system: starts "$@", waits until the main window shows,
# then ends the program. Fails when the program ends first or no window shows within the time given.
readonly until_window='
  "$@" & app=$!
  end=$((SECONDS + WAIT))
  until xdotool search --onlyvisible --name "$TITLE" >/dev/null 2>&1; do
    kill -0 $app 2>/dev/null || { echo "the program ended before its window showed" >&2; exit 1; }
    [ $SECONDS -lt $end ] || { echo "no window within $WAIT s" >&2; exit 1; }
    sleep 1
  done
  echo "window shown after $SECONDS s"
  kill $app; wait $app 2>/dev/null || true'

failed=0
results=()
# Runs one step, its output into a log; records and prints whether it passed.
step() {
  local name=$1 logfile=$2 start=$SECONDS
  shift 2
  log "$name ..."
  if "$@" >"$logfile" 2>&1; then
    results+=("PASS  $name ($((SECONDS - start)) s)")
  else
    results+=("FAIL  $name ($((SECONDS - start)) s), log: $logfile")
    failed=1
    tail -n 40 "$logfile" | sed 's/^/    | /'
  fi
  log "${results[-1]}"
}

start_command() {
  in_system "$1" apt-get update -q &&
    in_system "$1" apt-get install -y -q --no-install-recommends xvfb xauth xdotool ccache &&
    in_system "$1" env TITLE="$window_title" WAIT=3600 \
      xvfb-run "${xvfb_args[@]}" bash -c "cd /root/pellucor && set -- bash scripts/start.sh && $until_window"
}

test_command() {
  in_system "$1" bash -c 'cd /root/pellucor && bash scripts/test.sh'
}

make_package() {
  in_system "$1" bash -c 'cd /root/pellucor && bash scripts/package.sh' &&
    cp "$1"/root/pellucor/build/pellucor_*.deb "$2/root/"
}

# Installs the package into a system that has nothing else, then starts the program exactly as the
# desktop entry says.
install_and_start_package() {
  local root=$1
  in_system "$root" apt-get update -q &&
    in_system "$root" bash -c 'apt-get install -y -q --no-install-recommends /root/pellucor_*.deb' &&
    in_system "$root" apt-get install -y -q --no-install-recommends xvfb xauth xdotool desktop-file-utils &&
    in_system "$root" desktop-file-validate /usr/share/applications/pellucor.desktop &&
    in_system "$root" env TITLE="$window_title" WAIT=120 xvfb-run "${xvfb_args[@]}" bash -c '
      exec_line=$(sed -n "s/^Exec=//p" /usr/share/applications/pellucor.desktop | sed "s/ %[fFuU]//")
      echo "Exec=$exec_line"
      cd /root && set -- $exec_line && '"$until_window"
}

inside() {
  local release=$1 root=$2 package_root=$3 cache=$4 logs=$5
  mount --make-rprivate /
  mount_system "$root" "$cache"
  step "start command (bash scripts/start.sh) shows the main window" "$logs/start.log" start_command "$root"
  step "test command (bash scripts/test.sh)" "$logs/test.log" test_command "$root"
  if [ -n "$package_root" ]; then
    mount_system "$package_root" "$cache"
    step "Debian package (bash scripts/package.sh)" "$logs/package.log" make_package "$root" "$package_root"
    if [ -n "$(ls "$package_root"/root/pellucor_*.deb 2>/dev/null)" ]; then
      step "package installed with apt on a fresh system, started from its desktop entry" \
        "$logs/package-install.log" install_and_start_package "$package_root"
    fi
  fi
  printf '%s\n' "${results[@]}" >"$logs/results"
  return $failed
}

# Fills apt's archive folder with every package the checks install, without installing any.
prepare_inside() {
  local root=$1 cache=$2 repo=/root/pellucor set packages=()
  mount --make-rprivate /
  mount_system "$root" "$cache"
  for set in program tests package; do
    mapfile -t -O "${#packages[@]}" packages < <(in_system "$root" bash $repo/scripts/install-deps.sh $set --list)
  done
  packages+=(xvfb xauth xdotool ccache desktop-file-utils)
  in_system "$root" apt-get update -q &&
    in_system "$root" apt-get install -y -q -d --no-install-recommends "${packages[@]}"
}

# ---- on the host ------------------------------------------------------------------------------------

# The Debian archive of this machine's own apt sources (deb822 .sources files or one-line lists).
host_mirror() {
  local uri
  uri=$(sed -n 's/^[[:space:]]*URIs:[[:space:]]*//p' /etc/apt/sources.list.d/*.sources 2>/dev/null |
    tr ' ' '\n' | grep -E '/debian/?$' | head -n 1 || true)
  if [ -z "$uri" ]; then
    uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
      sed -n 's/^[[:space:]]*deb[[:space:]]\+\(\[[^]]*\][[:space:]]*\)\?\([^[:space:]]*\).*/\2/p' |
      grep -E '/debian/?$' | head -n 1 || true)
  fi
  echo "${uri%/}"
}

main() {
  local prepare_only=
  if [ "${1:-}" = --prepare ]; then
    prepare_only=1
    shift
  fi
  local release=${1:-}
  case "$release" in
    bookworm) first_display=200 ;;
    trixie) first_display=300 ;;
    *) echo "usage: check-fresh-machine.sh bookworm|trixie" >&2; exit 2 ;;
  esac
  [ "$(id -u)" -eq 0 ] || { echo "check-fresh-machine: run as root" >&2; exit 2; }
  # The one tool a machine may lack comes from its own archive.
  if ! command -v debootstrap >/dev/null; then
    log "installing debootstrap"
    { apt-get update -q && apt-get install -y -q --no-install-recommends debootstrap; } >/dev/null ||
      { echo "check-fresh-machine: cannot install debootstrap" >&2; exit 2; }
  fi
  for tool in debootstrap unshare chroot git; do
    command -v $tool >/dev/null || { echo "check-fresh-machine: needs $tool" >&2; exit 2; }
  done

  repo=$(cd "$(dirname "$0")/.." && pwd)
  mirror=$(host_mirror)
  [ -n "$mirror" ] || { echo "check-fresh-machine: no Debian archive in this machine's apt sources" >&2; exit 2; }
  cache=${PELLUCOR_FRESH_CACHE:-/var/cache/pellucor-fresh}/$release
  mkdir -p "$cache/archives/partial" "$cache/ccache"
  exec 9>"$cache/lock"
  flock 9  # one check of a release at a time: they share the cache

  work=$(mktemp -d /var/tmp/pellucor-fresh-$release-XXXXXX)
  # Removes the systems; refuses while anything is still mounted below them.
  cleanup() {
    if grep -q " $work" /proc/self/mountinfo; then
      echo "check-fresh-machine: something is still mounted under $work; left in place" >&2
      return
    fi
    rm -rf "$work"
  }
  trap cleanup EXIT
  trap 'exit 130' INT TERM
  logs=$work/logs
  mkdir -p "$logs"
  total_start=$SECONDS

  if [ ! -s "$cache/base.tar" ]; then
    log "making a minimal $release system with debootstrap (kept in $cache/base.tar)"
    debootstrap --variant=minbase "$release" "$work/base" "$mirror" >"$logs/debootstrap.log" 2>&1 ||
      { tail -n 20 "$logs/debootstrap.log"; exit 1; }
    rm -f "$work"/base/var/cache/apt/archives/*.deb
    tar -C "$work/base" --numeric-owner -cf "$cache/base.tar.part" . && mv "$cache/base.tar.part" "$cache/base.tar"
    rm -rf "$work/base"
  fi

  unpack() {
    mkdir "$1"
    tar -C "$1" --numeric-owner -xpf "$cache/base.tar"
    cp /etc/resolv.conf "$1/etc/resolv.conf"
    echo "deb $mirror $release main" >"$1/etc/apt/sources.list"
    # X servers are also reached through abstract sockets, which the host and every check share: a
    # client would reach another system's server of the same number and be refused. Lock files for
    # the displays below this release's own range keep xvfb-run -a off the host's and the other's.
    local display
    for ((display = 99; display < first_display; display++)); do touch "$1/tmp/.X$display-lock"; done
    # A system that lives for one check need not survive a power cut: dpkg skips its fsyncs.
    echo force-unsafe-io >"$1/etc/dpkg/dpkg.cfg.d/unsafe-io"
  }
  root=$work/system
  unpack "$root"
  commit=$(git -C "$repo" rev-parse HEAD)
  [ -z "$(git -C "$repo" status --porcelain)" ] || log "note: uncommitted changes are not part of the check"
  git init -q "$root/root/pellucor"
  git -C "$root/root/pellucor" fetch -q "$repo" "$commit"
  git -C "$root/root/pellucor" checkout -q --detach FETCH_HEAD
  if [ -n "$prepare_only" ]; then
    log "$release: downloading the packages from $mirror"
    unshare --mount --pid --fork --kill-child -- \
      bash "$repo/scripts/check-fresh-machine.sh" --inside-prepare "$root" "$cache" >"$logs/prepare.log" 2>&1 ||
      { tail -n 20 "$logs/prepare.log"; exit 1; }
    log "$release: download cache filled after $((SECONDS - total_start)) s"
    return
  fi
  log "$release: checking $(git -C "$repo" log --oneline -1 "$commit")"
  package_root=
  if [ "$release" = trixie ]; then
    package_root=$work/package-system
    unpack "$package_root"
  fi

  status=0
  unshare --mount --pid --fork --kill-child -- \
    bash "$repo/scripts/check-fresh-machine.sh" --inside "$release" "$root" "$package_root" "$cache" "$logs" ||
    status=$?
  # Logs outlive the systems, for reading after a failure.
  mkdir -p "$cache/logs"
  cp "$logs"/*.log "$cache/logs/" 2>/dev/null || true

  echo
  echo "check-fresh-machine $release: $((SECONDS - total_start)) s in all"
  if [ -s "$logs/results" ]; then
    sed 's/^/  /; s|'"$logs"'|'"$cache/logs"'|' "$logs/results"
  fi
  if [ $status -ne 0 ]; then
    echo "check-fresh-machine $release: FAILED"
    exit 1
  fi
  echo "check-fresh-machine $release: passed"
}

# Everything is read before anything runs, so that the script may change while a check is under way.
{
  if [ "${1:-}" = --inside ]; then
    shift
    inside "$@"
  elif [ "${1:-}" = --inside-prepare ]; then
    shift
    prepare_inside "$@"
  else
    main "$@"
  fi
  exit
}
