# shellcheck shell=bash
# Sourced by the scripts that send to the test tree's loopback listener.
#
# start_listener COUNT FILE: starts the listener in the background for COUNT
# datagrams, printing them to FILE, and sets $listener (its pid) and $port.
# Fails, with one line, when it does not start within five seconds. The
# listener gives up by itself after five seconds without a datagram.
#
# wait_listener: waits for it to end, and fails as it did.
#
# stop_listener: kills it, if it still runs. Callers put it in their EXIT
# trap, so that the listener never outlives them.
start_listener()
{
	build/tests/osc-dump "$1" >"$2" &
	listener=$!
	local deadline=$((SECONDS + 5))
	while [ "$SECONDS" -lt "$deadline" ]; do
		port=$(sed -n '1s/^listening on 127\.0\.0\.1://p' "$2")
		[ -z "$port" ] || return 0
		# It has said why on standard error.
		kill -0 "$listener" 2>/dev/null || return 1
		sleep 0.05
	done
	echo "$0: the loopback listener did not start within 5 seconds" >&2
	return 1
}

wait_listener()
{
	local pid=$listener
	listener=
	wait "$pid"
}

stop_listener()
{
	[ -z "${listener-}" ] || kill "$listener" 2>/dev/null || true
}
