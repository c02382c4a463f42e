#!/bin/bash
# Runs a test program against a private PulseAudio server with a null sink (see pulse-server.sh),
# with PULSE_SERVER naming it.
#   pulse-unit.sh BIN_DIR TEST_PROGRAM [ARGS...]    exit 77: skipped, no server could run here
set -u
. "$(dirname "${BASH_SOURCE[0]}")/pulse-server.sh"
pulse_begin "$1"
shift
# A null sink nobody listens to renders a second or more ahead at a time: a stream that comes then
# waits that long before it is taken, which no real sink does. A recorder on its monitor asks for
# 20 ms, as the other scripts' recorders do, and the sink works in blocks that small from then on.
parec --device=capture.monitor --format=s16le --rate=44100 --channels=2 --raw --latency-msec=20 >/dev/null &
xsession_pids+=($!)
pulse_await_recorder
sleep 1
"$@"
