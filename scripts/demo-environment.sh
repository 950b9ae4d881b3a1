# Sourced by scripts that run a program against the demo server. start_demo_environment DIR
# [SETTINGS] starts the demo server (of the Linux build) on a free port, logging to DIR, and
# writes a settings file for it: SETTINGS, or else one in DIR's own program-data folder, which
# ProgramData then names. Sets settings, port and demo_server (the server's pid).
# On exit the server and the program under test (its pid in tool, once started) are stopped.
tool=""
stop_demo_environment() { kill ${demo_server:-} ${tool:+$tool} 2>/dev/null || true; }
trap stop_demo_environment EXIT

start_demo_environment() {
    local work=$1 build=${BUILD_DIR:-build}
    rm -rf "$work"
    mkdir -p "$work"
    if [ $# -ge 2 ]; then
        settings=$2
    else
        export ProgramData="$work/ProgramData"
        settings="$ProgramData/Brenvale Europe GmbH/BrenvaleTAPIDriver.ini"
    fi
    mkdir -p "$(dirname "$settings")"
    "$build/tools/cti-demo-server/cti-demo-server" --port 0 >"$work/server.log" 2>&1 &
    demo_server=$!
    port=""
    for _ in $(seq 100); do
        port=$(sed -n 's|^Listening on ws://127.0.0.1:\([0-9]*\)/cti.*|\1|p' "$work/server.log")
        [ -n "$port" ] && break
        sleep 0.1
    done
    [ -n "$port" ] || { cat "$work/server.log"; echo "The demo server did not start." >&2; return 1; }
    printf '[UserData]\r\nserver=127.0.0.1\r\nuserName=demo\r\npassword=%s\r\nport=%s\r\n' \
        "$(printf demo | base64)" "$port" >"$settings"
}
