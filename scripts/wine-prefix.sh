# Sourced by the Wine test scripts: the Wine prefix in build-wine/wineprefix, whose COM1 is
# the pseudo-terminal that fusesim links to $wine_port, and fusesim started and stopped
# around each group of runs. Needs $root (the source folder).
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || { echo "wine: $wine is missing (Debian package wine64)" >&2; exit 1; }
export WINEPREFIX=$root/build-wine/wineprefix
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
wine_port=$root/build-wine/ttyFUSE

wine_prefix_setup() {
  mkdir -p "$root/build-wine"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: making the Wine prefix ($WINEPREFIX)"
    "$wine" wineboot -i >/dev/null 2>&1
  fi
  # Wine's device manager remakes dosdevices/com1 from this key at each start; without it,
  # COM1 would go back to /dev/ttyS0.
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$wine_port" /f >/dev/null 2>&1
  # The fonts the windows name by their Windows names, missing from a fresh prefix (Windows
  # has them): the metric-compatible Liberation fonts stand in, as they do on Linux.
  "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' \
    /d 'Liberation Mono' /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS Sans Serif' \
    /d 'Liberation Sans' /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  ln -sfn "$wine_port" "$WINEPREFIX/dosdevices/com1"
}

sim_pid=""
# start_sim FUSESIM LOG [fusesim options]: fusesim on $wine_port, waiting until it is there.
start_sim() {
  local fusesim=$1 log=$2
  shift 2
  "$fusesim" --link "$wine_port" "$@" >"$log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 50); do [ -L "$wine_port" ] && [ -e "$wine_port" ] && break; sleep 0.1; done
}
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
}

# A display for the windows: Xvfb and a window manager (openbox), started by x_start and
# stopped, by their own ids, by x_stop. Sets DISPLAY.
x_pids=()
x_start() {
  local dir=$1 n
  mkdir -p "$dir"
  rm -f "$dir/display"
  Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  x_pids+=($!)
  for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
  n=$(cat "$dir/display")
  [ -n "$n" ] || { echo "wine: Xvfb did not start" >&2; return 1; }
  export DISPLAY=:$n
  openbox --sm-disable >"$dir/openbox.log" 2>&1 &
  x_pids+=($!)
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
}
x_stop() {
  local i
  for ((i = ${#x_pids[@]} - 1; i >= 0; i--)); do
    kill "${x_pids[$i]}" 2>/dev/null || true
    wait "${x_pids[$i]}" 2>/dev/null || true
  done
  x_pids=()
}
