# Sourced by the measuring scripts. start_private_broker WORKDIR starts mosquitto on a free
# 127.0.0.1 port, trying ports until one listens; it sets $port and $broker (the pid) and
# returns non-zero if none would listen. The caller kills $broker when it is done.
start_private_broker() {
  local work=$1 attempt
  for attempt in 1 2 3 4 5 6 7 8 9 10; do
    port=$((20000 + RANDOM % 20000))
    printf 'listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n' "$port" >"$work/mosquitto.conf"
    mosquitto -c "$work/mosquitto.conf" >"$work/broker.log" 2>&1 &
    broker=$!
    for _ in $(seq 50); do
      grep -q "listen socket on port $port" "$work/broker.log" && break
      kill -0 "$broker" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$broker" 2>/dev/null && grep -q "listen socket on port $port" "$work/broker.log"; then
      return 0
    fi
    kill "$broker" 2>/dev/null || true
    broker=
  done
  return 1
}
