#!/usr/bin/env bash
# Measures velkano-replay --serve on a long trace: records the demo's animation PASSES times over
# (default 260: about a million calls) with the capture library, starts the server on it, and
# times the answers for calls and frames spread over the whole trace, in random order, as the
# page asks for them. Prints the first load's time, the checkpoints, the server's memory and the
# answers' times. Needs a build with the demo (build/bench/velkano_long_trace_host).
#   bash scripts/measure-serve.sh [PASSES] [BUILD_DIR]
set -euo pipefail
passes=${1:-260}
build=$(realpath "${2:-build}")
work=$(mktemp -d)
trap 'kill -INT "${server:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT

VELKANO_TRACE="$work/long.vktrace" LD_PRELOAD="$build/libvelkano_capture.so" \
    "$build/bench/velkano_long_trace_host" "$passes"
"$build/tools/velkano-replay" --info "$work/long.vktrace" | sed -n '3,4p'

"$build/tools/velkano-replay" --serve --port 0 "$work/long.vktrace" > "$work/url" &
server=$!
until grep -q serving "$work/url" 2>/dev/null; do sleep 0.2; done
url=$(sed -n 's/.* at \(http[^ ]*\)$/\1/p' "$work/url")
facts=$(curl -s "${url}api/trace")
calls=$(sed 's/.*"calls":\([0-9]*\).*/\1/' <<< "$facts")
frames=$(sed 's/.*"frames":\([0-9]*\).*/\1/' <<< "$facts")
echo "first load: $(sed 's/.*"load":{"seconds":\([0-9.]*\)}.*/\1/' <<< "$facts") s;" \
    "checkpoints: $(sed 's/.*"checkpoints":\({[^}]*}\).*/\1/' <<< "$facts")"

time_of() { curl -s -o /dev/null -w '%{http_code} %{time_total}\n' "$url$1"; }
RANDOM=27
for _ in $(seq 20); do
    call=$(( (RANDOM * 32768 + RANDOM) % calls ))
    frame=$(( (RANDOM * 32768 + RANDOM) % frames ))
    echo "image $(time_of "api/call/$call/image.png")"
    echo "difference $(time_of "api/call/$call/image.png?view=difference")"
    echo "state $(time_of "api/call/$call/state")"
    echo "calls $(time_of "api/frame/$frame/calls")"
    echo "pixel $(time_of "api/frame/$frame/pixel?x=160&y=120")"
    echo "overdraw $(time_of "api/frame/$frame/overdraw.png")"
done | awk '$2 != 200 { print "failed:", $0; bad = 1 }
    { n[$1]++; sum[$1] += $3; if ($3 > worst[$1]) worst[$1] = $3 }
    END { for (k in n) printf "%-10s mean %.3f s, worst %.3f s (%d answers)\n", k, sum[k] / n[k], worst[k], n[k]; exit bad }'
echo "server memory: $(ps -o rss= -p "$server" | awk '{printf "%.0f MiB", $1 / 1024}') resident"
