#!/usr/bin/env bash
# Sets up and builds when needed, then opens the workbench from its program folder.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/tools/setup.sh"
build=${ORVIK_BUILD_DIR:-$root/build}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'MSG'
ORVIK is a desktop program and needs a display, but neither DISPLAY nor WAYLAND_DISPLAY is set.
Run it from a desktop session, or inside a virtual X server:
    xvfb-run -a -s "-screen 0 1600x1000x24" tools/run.sh
MSG
  exit 1
fi
exec "$build/bin/ORVIK" "$@"
