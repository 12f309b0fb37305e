# Sourced: start_listener COUNT FILE starts the test tree's loopback listener
# in the background for COUNT datagrams, writing to FILE, and sets
# $listener (its pid) and $port once it is bound.
start_listener()
{
	build/tests/osc-dump "$1" >"$2" &
	listener=$!
	until [ -s "$2" ]; do
		kill -0 "$listener" && sleep 0.05
	done
	port=$(sed -n '1s/.*://p' "$2")
}
