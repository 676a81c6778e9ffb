#!/usr/bin/env bash
# Runs the Windows program's local address lookup under wine inside a network
# namespace whose only usable address is 198.51.100.1 (its adapter's first
# one is a self-assigned 169.254 address), and expects
# exactly that address. The host name resolves to loopback there, so this
# takes the adapter-table fallback; and it can only pass if wine's sockets
# and adapters come from that namespace, not from the machine's own network.
# Exits 77 (skipped) without root or iproute2.
#
#   local_address_in_namespace.sh <wine-run.sh> <state-folder> <print_local_address.exe>
set -euo pipefail

wine_run=$1 state=$2 program=$3
if [[ $(id -u) != 0 ]] || ! command -v ip >/dev/null; then
  echo "skipped: needs root and iproute2 for a network namespace"
  exit 77
fi

ns=cuwin-$$-address
ip netns add "$ns"
cleanup() {
  ip netns exec "$ns" "$wine_run" --end "$state" || true
  ip netns del "$ns"
}
trap cleanup EXIT
# Both ends of the pair stay inside: nothing can leave the namespace.
ip -n "$ns" link add veth0 type veth peer name veth1
# First a self-assigned address (a port without DHCP), which must be passed over.
ip -n "$ns" address add 169.254.7.7/16 dev veth0
ip -n "$ns" address add 198.51.100.1/24 dev veth0
for link in lo veth0 veth1; do
  ip -n "$ns" link set "$link" up
done

found=$(ip netns exec "$ns" "$wine_run" "$state" "$program" | tr -d '\r')
echo "local address in the namespace: '$found'"
[[ $found == 198.51.100.1 ]]
