#!/usr/bin/env bash
# The main job end to end: sets the machine up, builds the 32-bit component with the test key
# and loopback domains (the win32-test preset, or win64-test where 32-bit programs cannot run,
# saying which), publishes a small
# release with pelko-publish, serves the update tree on loopback and runs PelkoWebHost under Wine
# with a server URL that this build allows.
# The patch window updates the install folder (a manifest, packages of which one goes to a
# sub-folder and one is a DLL marked Register), then the settings are written and the loader
# is started. Shows what was updated (files with their times), the settings file, the started
# loader's record and what was fetched; a second run shows that nothing is fetched again but
# the manifest package.
#
#   scripts/demo.sh [desk|classic|agent]      (default: desk)
#
# Uses its own Wine prefix, its own Xvfb and its own HTTP server under build/<preset>/demo-state
# and stops all three at the end. PELKO_ASSUME_NO_32BIT=1 acts as on a machine without 32-bit
# programs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
operation=${1:-desk}

bash scripts/setup.sh
if scripts/can-run-32bit.sh; then
  preset=win32-test
  echo "=== the 32-bit component (win32-test preset) under 32-bit Wine"
else
  preset=win64-test
  echo "=== 32-bit programs cannot run on this machine: the 64-bit build (win64-test preset) under 64-bit Wine"
fi
cmake --preset $preset >/dev/null
cmake --build --preset $preset -j2 --target PelkoWebHost PelkoWebLoader \
  PelkoDeskLoader PelkoLoader PelkoAgentLoader testreg_ok

bin=$root/build/$preset/bin
state=$root/build/$preset/demo-state
export PELKO_TEST_STATE=$state
wine_run() { "$root"/scripts/wine-run.sh --"${preset%-test}" "$@"; }
domain=$(sed -n 's/^PELKO_DOMAIN_1:STRING=//p' build/$preset/CMakeCache.txt)
mkdir -p "$state"

http_pid=""
stop_all() {
  [ -n "$http_pid" ] && kill "$http_pid" 2>/dev/null || true
  wine_run --stop >/dev/null 2>&1 || true
  scripts/xvfb.sh stop "$state" >/dev/null 2>&1 || true
}
trap stop_all EXIT

# The update tree below the update URL <server>Patch, made by the publisher from a release
# folder (files dated 2024-03-01 10:00:04) and its description.
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target pelko-publish
# Wine and the publisher both take the machine's own zone; the C run time under Wine would read
# a Unix TZ value in a format of its own.
unset TZ
tree=$state/update-tree
release=$state/release
rm -rf "$tree" "$release"
mkdir -p "$release/data" "$tree/CvUpdate"
cp "$bin/testreg_ok.dll" "$release/DemoPlugin.dll"
printf 'Pelko demo: installed by the patch window\r\n' >"$release/readme.txt"
printf 'colour=blue\r\n' >"$release/data/settings.dat"
touch -d '2024-03-01 10:00:04' "$release/DemoPlugin.dll" "$release/readme.txt" \
  "$release/data/settings.dat"
cat >"$state/publish.ini" <<'EOF'
[DemoPlugin.dll]
Register=1
CheckDate=1
Type=Common

[readme.txt]
CheckDate=1
Type=Common

[settings.dat]
TargetDir=data
CheckDate=1
Type=Common
EOF
# Signed with the key pair committed for tests and the demo only; the -test presets build its
# public half into the component.
key=$root/keys/test-only/release-test
build/native/bin/pelko-publish build --sign-key "$key.pem" --product PelkoTest \
  --expires-days 30 "$release" "$state/publish.ini" \
  "$tree/CvUpdate/PelkoPatch"
build/native/bin/pelko-publish verify --public-key "$key.pub" "$tree/CvUpdate/PelkoPatch"
echo "=== manifest RudovuZado.ini of the update tree"
unzip -p "$tree/CvUpdate/PelkoPatch/RudovuZado.ini.zip" RudovuZado.ini
echo "=== its signed statement RudovuZado.sig (second entry of RudovuZado.ini.zip)"
unzip -p "$tree/CvUpdate/PelkoPatch/RudovuZado.ini.zip" RudovuZado.sig

# A server of its own on a free loopback port; its log lists the requests.
rm -f "$state/http.log"
python3 -u scripts/static-server.py "$tree" >>"$state/http.log" 2>&1 &
http_pid=$!
port=""
for _ in $(seq 1 100); do
  port=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$state/http.log" | head -1)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "the HTTP server did not start" >&2; exit 1; }
server="http://$domain:$port/CvUpdate/Pelko"

# A display of its own, whatever the caller has.
env -u DISPLAY scripts/xvfb.sh start "$state" >/dev/null
unset DISPLAY
wine_run --init

# The product's loader programs are outside this system; stand-ins record how they were started.
folder=$state/wineprefix/drive_c/Corvane/Pelko
rm -rf "$folder"
mkdir -p "$folder"
case "$operation" in
desk) loader=PelkoDeskLoader; args=("$server" "demo-enc-data") ;;
classic) loader=PelkoLoader; args=("$server" "ENT-0042" "Corvane Demo") ;;
agent) loader=PelkoAgentLoader; args=("$server" "demo-agent-enc") ;;
*) echo "usage: $0 [desk|classic|agent]" >&2; exit 2 ;;
esac
cp "$bin"/PelkoDeskLoader.exe "$bin"/PelkoLoader.exe "$bin"/PelkoAgentLoader.exe "$folder"/
record=$folder/$loader.record.txt

run_host() {
  rm -f "$record"
  local start
  start=$(($(wc -c <"$state/http.log") + 1))
  echo "=== PelkoWebHost $operation ${args[*]}"
  (cd "$state" && wine_run "$bin"/PelkoWebHost.exe "$operation" "${args[@]}")
  for _ in $(seq 1 100); do [ -f "$record" ] && break; sleep 0.1; done
  echo "=== fetched from the update server"
  tail -c +"$start" "$state/http.log" | grep -ao '"GET [^"]*" [0-9]*' || echo "(nothing)"
}

run_host
echo "=== install folder C:\\Corvane\\Pelko\\ ($folder), files with their times"
(cd "$folder" && find . -type f ! -name '*.record.txt' -printf '%TY-%Tm-%Td %TH:%TM:%.2TS  %8s  %P\n' | sort -k4)
echo "=== DemoPlugin.dll.log (written by its DllRegisterServer)"
cat "$folder/DemoPlugin.dll.log"
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

echo
echo "=== second run: everything is current"
run_host
[ -f "$record" ] || { echo "no record: $loader.exe was not started" >&2; exit 1; }
echo "=== $loader started again"
