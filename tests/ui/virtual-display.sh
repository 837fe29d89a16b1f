# Source this: start_virtual_display GEOMETRY starts a private Xvfb and exports DISPLAY; the
# server is stopped when the sourcing script exits. -displayfd picks a free display number and
# tells it once the server is ready.
xvfb_pid=
stop_virtual_display() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
start_virtual_display() {
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    xvfb_pid=$!
    read -r display <"$fifo"
    rm -f "$fifo"
    export DISPLAY=":$display"
    trap stop_virtual_display EXIT INT TERM
}
