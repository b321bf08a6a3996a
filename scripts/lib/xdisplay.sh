# A private X server (Xvfb) for programs that need a display, sourced by the
# scripts: start_private_display picks a free display number, sets DISPLAY to
# it and XVFB_PID to the server; stop_private_display ends it and waits for it.
# Returns 1 without Xvfb.
start_private_display() {
  command -v Xvfb >/dev/null || return 1
  local file
  file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$file" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do [ -s "$file" ] && break; sleep 0.1; done
  DISPLAY=":$(head -n 1 "$file")"
  export DISPLAY
  rm -f "$file"
}

stop_private_display() {
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  fi
}
