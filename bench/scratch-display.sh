# Sourced by the process benchmarks: a scratch folder in $root and a virtual display of their own
# in $DISPLAY, both gone when the script exits.
#   scratch-display.sh NAME FIRST_DISPLAY
command -v Xvfb >/dev/null || { echo "Xvfb is needed" >&2; exit 2; }

root=$(mktemp -d "/tmp/qv$1-XXXXXX")
xvfb=""
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$root"
}
trap cleanup EXIT

display=""
for n in $(seq "$2" $(($2 + 49))); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=":$n"; break; }
done
[ -n "$display" ] || { echo "no free display" >&2; exit 2; }
# No reset when the last client leaves: a program started again at once would be dropped.
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.05; done
unset QT_QPA_PLATFORM
export DISPLAY=$display
