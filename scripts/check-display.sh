#!/usr/bin/env bash
# Says plainly, before anything is built, when there is no X display for the viewer to open.
# The viewer is an X11 program; on a Wayland desktop it runs through XWayland.
set -euo pipefail
fail() {
  echo "kwellor: $1" >&2
  echo "Run it from a graphical desktop session (X11, or Wayland with XWayland), over ssh -X," \
    "or under Xvfb (xvfb-run ./run)." >&2
  exit 1
}
if [ -z "${DISPLAY:-}" ]; then
  if [ -n "${WAYLAND_DISPLAY:-}" ]; then
    fail "DISPLAY is not set: this Wayland session offers no XWayland."
  fi
  fail "DISPLAY is not set: there is no X display to open a window on."
fi
if command -v xdpyinfo >/dev/null; then
  xdpyinfo >/dev/null 2>&1 || fail "the X display '$DISPLAY' cannot be opened."
elif [[ $DISPLAY =~ ^(unix)?:([0-9]+)(\.[0-9]+)?$ ]]; then
  # A local display without xdpyinfo at hand: its socket must at least be there.
  [ -S "/tmp/.X11-unix/X${BASH_REMATCH[2]}" ] ||
    fail "the X display '$DISPLAY' is not running (no /tmp/.X11-unix/X${BASH_REMATCH[2]})."
fi
