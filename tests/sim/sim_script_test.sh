#!/usr/bin/env bash
# scripts/sim end to end: the transcript of the echo round trip, --keep with
# the printed command lines, and clean-up after a failed start and after an
# interrupt. Everything it makes lives under its own temporary directory.
# Usage: sim_test.sh TOP BUILD_DIR
set -uo pipefail
top=$1
build=$2
work=$(mktemp -d /tmp/ctl_sim_test.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
fails=0

# On an emulated run scripts/sim puts SYSSRV_EXEC_WRAPPER in front of the
# ARM programs it starts, and in front of the command lines it prints.
wrap=${SYSSRV_EXEC_WRAPPER:+$SYSSRV_EXEC_WRAPPER }

fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
expect_line() {  # FILE LINE
  grep -qxF -- "$2" "$1" || fail "missing line '$2' in $1:$(printf '\n'; cat "$1")"
}
# A process that is gone or only a zombie awaiting its reaper.
gone() {
  [ ! -e "/proc/$1" ] || [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" = Z ]
}
empty_dir() { [ -z "$(ls -A "$1")" ]; }

# --- the plain run: transcript, then nothing left behind
mkdir "$work/t1"
TMPDIR=$work/t1 BUILD_DIR=$build "$top/scripts/sim" >"$work/out1" 2>&1
rc=$?
[ "$rc" = 0 ] || fail "sim exit $rc: $(cat "$work/out1")"
expect_line "$work/out1" "sim: sent     DemoIF.EchoReq to EchoSrvc"
expect_line "$work/out1" 'sim:            text: "hello appliance"'
expect_line "$work/out1" "sim: received DemoIF.EchoRsp from EchoSrvc"
expect_line "$work/out1" 'sim:            served_by: "EchoSrvc"'
expect_line "$work/out1" "sim: stopped; sandbox removed"
grep -qE '^sim: round trip [0-9]+\.[0-9]{3} ms ' "$work/out1" || fail "no round-trip time"
grep -qE "^sim: sandbox root $work/t1/syssrv-sim\.[A-Za-z0-9]{6}\$" "$work/out1" || fail "root not under TMPDIR"
empty_dir "$work/t1" || fail "sandbox left behind: $(ls -A "$work/t1")"
pid=$(sed -n 's/^sim: started msg_echo (pid \([0-9]*\))$/\1/p' "$work/out1")
[ -n "$pid" ] && gone "$pid" || fail "msg_echo ($pid) still running"

# --- --keep: the printed lines talk to it, the printed stop ends it
mkdir "$work/t2"
TMPDIR=$work/t2 BUILD_DIR=$build "$top/scripts/sim" --keep >"$work/out2" 2>&1
rc=$?
[ "$rc" = 0 ] || fail "sim --keep exit $rc: $(cat "$work/out2")"
pid=$(sed -n 's/^sim: started msg_echo (pid \([0-9]*\))$/\1/p' "$work/out2")
export_line=$(grep -E '^  export MSG_SOCKET_DIR=' "$work/out2")
call_line=$(grep -xF "  $wrap$build/tools/syssrvctl/syssrvctl call DemoIF.EchoReq 'text: \"hi\"' --to EchoSrvc" "$work/out2")
stop_line=$(grep -E "^  $work/t2/syssrv-sim\.[A-Za-z0-9]{6}/stop\$" "$work/out2")
if [ -z "$export_line" ] || [ -z "$call_line" ] || [ -z "$stop_line" ]; then
  fail "--keep did not print export/call/stop lines: $(cat "$work/out2")"
else
  reply=$(bash -c "$export_line; $call_line" 2>&1)
  [ "$reply" = $'text: "hi"\nserved_by: "EchoSrvc"' ] || fail "call through --keep printed: $reply"
  bash -c "$stop_line"
  empty_dir "$work/t2" || fail "stop left: $(ls -A "$work/t2")"
fi
[ -n "$pid" ] && { for _ in $(seq 50); do gone "$pid" && break; sleep 0.1; done; gone "$pid"; } ||
  fail "msg_echo ($pid) survived stop"

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
printf '#!/bin/sh\necho $$ > "$MSG_SOCKET_DIR/../echo.pid"\nexec sleep 300\n' >"$fake/tools/echo/msg_echo"
mkdir "$work/t4"
set -m
TMPDIR=$work/t4 BUILD_DIR=$fake "$top/scripts/sim" >"$work/out4" 2>&1 &
simpid=$!
set +m
for _ in $(seq 100); do ls "$work"/t4/*/echo.pid >/dev/null 2>&1 && break; sleep 0.1; done
echopid=$(cat "$work"/t4/*/echo.pid 2>/dev/null)
[ -n "$echopid" ] || fail "fake service never started: $(cat "$work/out4")"
kill -INT "$simpid"
wait "$simpid"
rc=$?
[ "$rc" = 130 ] || fail "interrupted sim exit $rc (want 130)"
empty_dir "$work/t4" || fail "sandbox left after interrupt"
[ -n "$echopid" ] && { gone "$echopid" || fail "service $echopid survived the interrupt"; }

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
