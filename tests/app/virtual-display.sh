# Sourced by the tests that run the real program on a virtual X server.
# start_virtual_display FOLDER: starts Xvfb (1280 × 800, no TCP) and exports DISPLAY once the server
# takes clients; sets xvfb to its process id. Other X servers may run on this machine, also ones of a
# test run in another root that shares the abstract socket names with this one and so cannot be seen
# by their lock files; they count from :0 or :99. The number here is drawn at random from a high
# range, tried anew when taken, and kept only when the server there answers with this screen's size.
# -noreset: by default Xvfb starts over whenever its last client leaves (the check here, or the
# accessibility bus's launcher), and a client connecting in that moment is refused.
start_virtual_display() {
    local folder=$1 number
    for _ in 1 2 3 4 5; do
        number=$((1000 + RANDOM % 30000))
        [ -e "/tmp/.X$number-lock" ] && continue
        : >"$folder/display"
        Xvfb ":$number" -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$folder/display" 2>>"$folder/xvfb.log" &
        xvfb=$!
        for _ in {1..50}; do # Xvfb names its display on fd 3 once it takes clients, or ends when it cannot
            grep -qs . "$folder/display" || ! kill -0 $xvfb 2>/dev/null && break
            sleep 0.2
        done
        if grep -qs . "$folder/display" &&
            xdpyinfo -display ":$number" 2>/dev/null | grep 'dimensions: *1280x800 pixels' >/dev/null; then
            export DISPLAY=:$number
            return 0
        fi
        kill $xvfb 2>/dev/null
        wait $xvfb 2>/dev/null
    done
    echo "no virtual X server started; its messages:"
    tail -n 5 "$folder/xvfb.log"
    return 1
}
