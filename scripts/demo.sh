#!/usr/bin/env bash
# The launch path end to end: sets the machine up, builds the win32 preset and runs
# PelkoWebHost under Wine with a loopback server URL that this build allows. Then shows the
# install folder, the settings file and what the started loader program recorded.
#
#   scripts/demo.sh [desk|classic|agent]      (default: desk)
#
# Uses its own Wine prefix and its own Xvfb under build/win32/demo-state and stops both at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
operation=${1:-desk}

bash scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2 --target PelkoWebHost PelkoWebLoader \
  PelkoDeskLoader PelkoLoader PelkoAgentLoader

bin=$root/build/win32/bin
state=$root/build/win32/demo-state
export PELKO_TEST_STATE=$state
domain=$(sed -n 's/^PELKO_DOMAIN_1:STRING=//p' build/win32/CMakeCache.txt)
server="http://$domain:8080/CvUpdate/Pelko"

stop_all() {
  scripts/wine-run.sh --stop >/dev/null 2>&1 || true
  scripts/xvfb.sh stop "$state" >/dev/null 2>&1 || true
}
trap stop_all EXIT
# A display of its own, whatever the caller has.
env -u DISPLAY scripts/xvfb.sh start "$state" >/dev/null
unset DISPLAY
scripts/wine-run.sh --init

# The product's loader programs are outside this system; stand-ins record how they were started.
folder=$state/wineprefix/drive_c/Corvane/Pelko
mkdir -p "$folder"
rm -f "$folder"/PelkoWebLoader.ini "$folder"/*.record.txt
case "$operation" in
desk) loader=PelkoDeskLoader; args=("$server" "demo-enc-data") ;;
classic) loader=PelkoLoader; args=("$server" "ENT-0042" "Corvane Demo") ;;
agent) loader=PelkoAgentLoader; args=("$server" "demo-agent-enc") ;;
*) echo "usage: $0 [desk|classic|agent]" >&2; exit 2 ;;
esac
cp "$bin"/PelkoDeskLoader.exe "$bin"/PelkoLoader.exe "$bin"/PelkoAgentLoader.exe "$folder"/

echo "=== PelkoWebHost $operation ${args[*]}"
(cd "$state" && "$root"/scripts/wine-run.sh "$bin"/PelkoWebHost.exe "$operation" "${args[@]}")

record=$folder/$loader.record.txt
for _ in $(seq 1 100); do [ -f "$record" ] && break; sleep 0.1; done

echo "=== install folder C:\\Corvane\\Pelko\\ ($folder)"
ls -l "$folder"
echo "=== settings file PelkoWebLoader.ini"
cat "$folder"/PelkoWebLoader.ini
echo
echo "=== $loader.record.txt (written by the started loader program)"
if [ -f "$record" ]; then
  cat "$record"
else
  echo "no record: $loader.exe was not started" >&2
  exit 1
fi
