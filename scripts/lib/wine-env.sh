# Sourceable bash helpers: a per-build-tree Wine prefix and environment, its first boot, and a private Xvfb display.
# shellcheck shell=bash
#
#   source scripts/lib/wine-env.sh
#   pomu_wine_env build/windows   # WINEPREFIX, HOME, ... under that folder
#   pomu_xvfb_start               # exports DISPLAY (skip if a display is there)
#   pomu_wine_boot                # creates the prefix once
#   ... wine prog.exe ...
#   pomu_xvfb_stop                # ends this prefix's wineserver, then Xvfb
#
# The functions return non-zero on failure and never call exit, so they are
# safe to use from an interactive shell.

# Exports the Wine environment for the build folder $1 (made absolute, created
# if missing). HOME moves there too, so Wine's Trash and the user's files land
# inside the build tree. Sets LC_ALL=C.UTF-8 when the locale is not UTF-8.
pomu_wine_env() {
  if [ $# -lt 1 ] || [ -z "$1" ]; then
    echo "pomu_wine_env: usage: pomu_wine_env <builddir>" >&2
    return 2
  fi
  mkdir -p "$1" || return 1
  local dir
  dir="$(cd "$1" && pwd)" || return 1
  export WINEPREFIX="$dir/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export HOME="$dir/home"
  export XDG_DATA_HOME="$dir/home/.local/share"
  export WINEARCH=win64
  # Wine turns unix arguments and the new prefix's code pages from the unix
  # locale; under C/POSIX every non-ASCII argument is mangled.
  case "$(locale charmap 2>/dev/null)" in
    UTF-8 | utf8) ;;
    *) export LC_ALL=C.UTF-8 ;;
  esac
  mkdir -p "$XDG_DATA_HOME"
}

# Creates and configures $WINEPREFIX if that was not done yet. Works with or
# without DISPLAY; waits for the prefix's wineserver to end before returning,
# so nothing started here stays tied to the current display.
pomu_wine_boot() {
  if [ -z "${WINEPREFIX:-}" ]; then
    echo "pomu_wine_boot: WINEPREFIX is not set; call pomu_wine_env first" >&2
    return 2
  fi
  # The marker names what the prefix was set up with; a prefix of an earlier set-up is redone.
  local marker="$WINEPREFIX/.pomu-configured-2"
  if [ -f "$WINEPREFIX/system.reg" ] && [ -f "$marker" ]; then
    return 0
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || {
      echo "pomu_wine_boot: wineboot -i failed for $WINEPREFIX" >&2
      return 1
    }
  fi
  # Without a window manager every managed (even hidden) window costs about
  # 2 s in Wine's X11 driver; unmanaged windows do not wait for one.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || {
    echo "pomu_wine_boot: could not set X11 Driver\\Managed in $WINEPREFIX" >&2
    return 1
  }
  # Drive N: is a network drive (pomu_with_small_drive maps it): the type Wine reports for it.
  wine reg add 'HKLM\Software\Wine\Drives' /v n: /t REG_SZ /d network /f >/dev/null 2>&1 || {
    echo "pomu_wine_boot: could not make N: a network drive in $WINEPREFIX" >&2
    return 1
  }
  # Let the wineserver flush the registry to disk and exit.
  wineserver -w
  [ -f "$WINEPREFIX/system.reg" ] || {
    echo "pomu_wine_boot: $WINEPREFIX/system.reg missing after boot" >&2
    return 1
  }
  : >"$marker"
}

# True while process $1 runs; a zombie waiting to be reaped counts as ended.
_pomu_alive() {
  local stat
  stat="$(cat "/proc/$1/stat" 2>/dev/null)" || return 1
  stat="${stat##*) }"
  [ "${stat%% *}" != Z ]
}

# Starts one Xvfb on the first free display from :99 upward, exports DISPLAY
# and POMU_XVFB_PID, and returns once the display accepts clients.
pomu_xvfb_start() {
  if [ -n "${POMU_XVFB_PID:-}" ] && _pomu_alive "$POMU_XVFB_PID"; then
    echo "pomu_xvfb_start: an Xvfb from this shell is running already (pid $POMU_XVFB_PID)" >&2
    return 1
  fi
  command -v Xvfb >/dev/null 2>&1 || { echo "pomu_xvfb_start: Xvfb not found" >&2; return 1; }
  local n pid log tries
  log="$(mktemp "${TMPDIR:-/tmp}/pomu-xvfb.XXXXXX")" || return 1
  for ((n = 99; n < 199; n++)); do
    if [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; then
      continue
    fi
    # Started from a subshell, so Xvfb is no job of the caller's shell and a
    # bare `wait` there does not block on it. -noreset: by default the server
    # resets when its last client leaves, and a program connecting just then
    # is refused ("could not connect to display"), as between two tests.
    pid="$( (Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset </dev/null >"$log" 2>&1 & echo $!) )"
    # Up to 10 s for the display to come up; a taken display makes Xvfb exit.
    for ((tries = 0; tries < 200; tries++)); do
      if ! _pomu_alive "$pid"; then
        pid=""
        break
      fi
      if command -v xdpyinfo >/dev/null 2>&1; then
        DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && break
      elif [ -S "/tmp/.X11-unix/X$n" ]; then
        break
      fi
      sleep 0.05
    done
    if [ -n "$pid" ] && _pomu_alive "$pid" && [ "$tries" -lt 200 ]; then
      rm -f "$log"
      export POMU_XVFB_OLD_DISPLAY="${DISPLAY-}"
      export POMU_XVFB_HAD_DISPLAY="${DISPLAY+1}"
      export DISPLAY=":$n"
      export POMU_XVFB_PID="$pid"
      return 0
    fi
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
  done
  echo "pomu_xvfb_start: could not start Xvfb on :99 to :198; last log:" >&2
  cat "$log" >&2
  rm -f "$log"
  return 1
}

# Ends the wineserver of $WINEPREFIX (it holds windows on this display), then
# the Xvfb started by pomu_xvfb_start, and restores the previous DISPLAY.
pomu_xvfb_stop() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
  local pid="${POMU_XVFB_PID:-}"
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    local i
    for ((i = 0; i < 100; i++)); do
      _pomu_alive "$pid" || break
      sleep 0.05
    done
    if _pomu_alive "$pid"; then kill -9 "$pid" 2>/dev/null || true; fi
    if [ -n "${POMU_XVFB_HAD_DISPLAY:-}" ]; then
      export DISPLAY="${POMU_XVFB_OLD_DISPLAY:-}"
    else
      unset DISPLAY
    fi
  fi
  unset POMU_XVFB_PID POMU_XVFB_OLD_DISPLAY POMU_XVFB_HAD_DISPLAY
  return 0
}

# Runs the command with a drive T: that is a 1 MiB tmpfs, in a mount namespace of its own so
# the mount is gone with the command, and POMU_SMALL_DRIVE=T:\ telling the tests it is there;
# and with the network drive N: (POMU_NETWORK_DRIVE=N:\), a folder of the prefix's that Wine
# reports as a network share. Without the superuser or unshare the command runs without T:
# (those rows are skipped).
pomu_with_small_drive() {
  local drive="$WINEPREFIX/small-drive" network="$WINEPREFIX/network-drive"
  mkdir -p "$network" || return 1
  ln -sfn "$network" "$WINEPREFIX/dosdevices/n:" || return 1
  export POMU_NETWORK_DRIVE='N:\'
  if [ "$(id -u)" != 0 ] || ! command -v unshare >/dev/null 2>&1; then
    "$@"
    return
  fi
  mkdir -p "$drive" || return 1
  unshare --mount --propagation private bash -c '
    mount -t tmpfs -o size=1m,mode=0777 tmpfs "$1" || exit 1
    ln -sfn "$1" "$WINEPREFIX/dosdevices/t:" || exit 1
    shift
    POMU_SMALL_DRIVE="T:\\" exec "$@"' bash "$drive" "$@"
}
