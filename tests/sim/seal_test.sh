#!/usr/bin/env bash
# The seal the simulation runs in (sim/seal) keeps this machine out of reach:
# from inside, writing a kernel sysctl is refused, a process started outside
# cannot be signalled, and an address added to lo lands on the seal's own lo,
# never on this machine's. Every step that would change this machine if the
# seal were missing runs only after the seal is shown to be there, and writes
# back what is already there or uses a documentation address.
# Usage: seal_test.sh TOP
set -uo pipefail
seal=$1/sim/seal
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

if ! "$seal" --check; then
  echo "FAIL: cannot seal on this machine (line above)"
  exit 1
fi

printk_before=$(cat /proc/sys/kernel/printk)
sleep 300 &
outside=$!
trap 'kill "$outside" 2>/dev/null' EXIT

# The first lines are checks that the seal is there; the rest only runs
# when they pass.
inside=$("$seal" sh -c '
  read -r a b c </proc/self/uid_map
  [ "$a $b $c" != "0 0 4294967295" ] || { echo "unsealed user namespace"; exit 9; }
  [ "$(readlink /proc/self/ns/net)" != "'"$(readlink /proc/self/ns/net)"'" ] || { echo "unsealed network"; exit 9; }
  [ "$(readlink /proc/self/ns/pid)" != "'"$(readlink /proc/self/ns/pid)"'" ] || { echo "unsealed pids"; exit 9; }
  echo "id $(id -u)"
  if printf "%s\n" "$(cat /proc/sys/kernel/printk)" >/proc/sys/kernel/printk 2>/dev/null; then
    echo "printk written"
  else
    echo "printk refused"
  fi
  if kill -TERM '"$outside"' 2>/dev/null; then echo "signal delivered"; else echo "signal refused"; fi
  ip addr add 192.0.2.77/32 dev lo && echo "lo: $(ip -o -4 addr show dev lo | grep -o "192.0.2.77/32")"
  echo "interfaces: $(ls /sys/class/net | tr "\n" " ")"
' 2>&1)
rc=$?
printf '%s\n' "$inside" | sed 's/^/  inside: /'

[ "$rc" = 0 ] || fail "the sealed command ended with $rc"
for line in "id 0" "printk refused" "signal refused" "lo: 192.0.2.77/32" "interfaces: eth0 lo "; do
  printf '%s\n' "$inside" | grep -qxF -- "$line" || fail "missing inside: '$line'"
done

[ "$(cat /proc/sys/kernel/printk)" = "$printk_before" ] || fail "printk changed on this machine"
kill -0 "$outside" 2>/dev/null || fail "the process started outside was signalled"
if ip -o addr show dev lo | grep -qF 192.0.2.77; then
  fail "192.0.2.77 reached this machine's lo"
  ip addr del 192.0.2.77/32 dev lo
fi

# A command left running inside ends with the seal.
marker=seal-test-$$-$RANDOM
"$seal" bash -c "exec -a $marker sleep 300 & exit 0"
sleep 0.2
for p in /proc/[0-9]*; do
  { tr "\\0" " " <"$p/cmdline"; } 2>/dev/null | grep -q "^$marker" && fail "a process outlived its seal (${p#/proc/})"
done

if [ "$fails" -ne 0 ]; then
  echo "$fails failure(s)"
  exit 1
fi
echo "seal: all cases passed"
