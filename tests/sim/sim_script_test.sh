#!/usr/bin/env bash
# scripts/sim end to end, kept short (no scenario; tests/sim plays the
# network steps against the daemon): --keep with the printed command lines
# entering the seal and the root under TMPDIR, and clean-up after a failed
# start and after an interrupt. Everything it makes lives under its own
# temporary directory.
# Usage: sim_test.sh TOP BUILD_DIR
set -uo pipefail
top=$1
build=$2
work=$(mktemp -d /tmp/ctl_sim_test.XXXXXX)
# The simulation runs as an unprivileged id: it must reach what is made here.
chmod 0755 "$work"
trap 'rm -rf -- "$work"' EXIT
fails=0

# On an emulated run scripts/sim puts SYSSRV_EXEC_WRAPPER in front of the
# ARM programs it starts, and in front of the command lines it prints.
wrap=${SYSSRV_EXEC_WRAPPER:+$SYSSRV_EXEC_WRAPPER }

fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
expect_line() {  # FILE LINE
  grep -qxF -- "$2" "$1" || fail "missing line '$2' in $1:$(printf '\n'; cat "$1")"
}
empty_dir() { [ -z "$(ls -A "$1")" ]; }

# --- --keep without a scenario: the printed lines talk to the sealed
# appliance, the printed stop ends it and leaves nothing behind
mkdir "$work/t1"
TMPDIR=$work/t1 BUILD_DIR=$build "$top/scripts/sim" --keep --no-scenario >"$work/out1" 2>&1
rc=$?
[ "$rc" = 0 ] || fail "sim --keep exit $rc: $(cat "$work/out1")"
init=$(sed -n 's/^  nsenter --target \([0-9]*\) .*/\1/p' "$work/out1" | head -n 1)
enter="nsenter --target $init --user --mount --net --pid"
export_line=$(grep -E '^  export MSG_SOCKET_DIR=' "$work/out1")
call_line=$(grep -xF "  $enter $wrap$build/tools/syssrvctl/syssrvctl call DemoIF.EchoReq 'text: \"hi\"' --to EchoSrvc" "$work/out1")
stop_line=$(grep -E "^  $work/t1/syssrv-sim\.[A-Za-z0-9]{6}/stop\$" "$work/out1")
if [ -z "$init" ] || [ -z "$export_line" ] || [ -z "$call_line" ] || [ -z "$stop_line" ]; then
  fail "--keep did not print export/call/stop lines: $(cat "$work/out1")"
else
  reply=$(bash -c "$export_line; $call_line" 2>&1)
  [ "$reply" = $'text: "hi"\nserved_by: "EchoSrvc"' ] || fail "call through --keep printed: $reply"
  bash -c "$stop_line"
  empty_dir "$work/t1" || fail "stop left: $(ls -A "$work/t1")"
fi

# A fake build tree lets the next cases control the services.
fake=$work/fake
mkdir -p "$fake/tools/echo" "$fake/tools/syssrvctl"
printf '#!/bin/sh\nexit 1\n' >"$fake/tools/syssrvctl/syssrvctl"

# --- a service that dies before it is ready: non-zero, reported, cleaned
printf '#!/bin/sh\necho "cannot open endpoint" >&2\nexit 1\n' >"$fake/tools/echo/msg_echo"
chmod +x "$fake/tools/echo/msg_echo" "$fake/tools/syssrvctl/syssrvctl"
mkdir "$work/t3"
TMPDIR=$work/t3 BUILD_DIR=$fake "$top/scripts/sim" >"$work/out3" 2>&1
rc=$?
[ "$rc" != 0 ] || fail "sim succeeded with a dead service"
expect_line "$work/out3" "sim: msg_echo exited before it was ready:"
expect_line "$work/out3" "    cannot open endpoint"
empty_dir "$work/t3" || fail "sandbox left after failed start"

# --- interrupted while waiting for a service: the service is stopped and
# the root removed. Job control gives the background sim its own SIGINT.
# Inside the seal pids are its own: the fake service is found by a marker.
marker=sim-test-echo-$$
printf '#!/bin/bash\n: >"$MSG_SOCKET_DIR/../echo.started"\nexec -a %s sleep 300\n' "$marker" >"$fake/tools/echo/msg_echo"
mkdir "$work/t4"
set -m
TMPDIR=$work/t4 BUILD_DIR=$fake "$top/scripts/sim" >"$work/out4" 2>&1 &
simpid=$!
set +m
for _ in $(seq 300); do ls "$work"/t4/*/echo.started >/dev/null 2>&1 && break; sleep 0.1; done
ls "$work"/t4/*/echo.started >/dev/null 2>&1 || fail "fake service never started: $(cat "$work/out4")"
kill -INT "$simpid"
wait "$simpid"
rc=$?
[ "$rc" = 130 ] || fail "interrupted sim exit $rc (want 130)"
empty_dir "$work/t4" || fail "sandbox left after interrupt"
for p in /proc/[0-9]*; do
  { tr '\0' ' ' <"$p/cmdline"; } 2>/dev/null | grep -q "^$marker" && fail "the service survived the interrupt"
done

# --- bad argument
BUILD_DIR=$build "$top/scripts/sim" --frob >"$work/out5" 2>&1
rc=$?
[ "$rc" = 2 ] || fail "bad argument exit $rc"
expect_line "$work/out5" "sim: unknown argument '--frob'"

if [ "$fails" -ne 0 ]; then
  echo "$fails failure(s)"
  exit 1
fi
echo "sim: all cases passed"
