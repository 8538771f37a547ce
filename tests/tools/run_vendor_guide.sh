#!/usr/bin/env bash
# run_vendor_guide.sh SOURCE-DIR BUILD-DIR GUIDE SCRATCH
# Runs the blocks of the vendor guide fenced as "sh guide" in their order, as written, from the
# source folder, with HOME in SCRATCH and a sample release in its place. Before a block fenced as
# "sh guide update" one release file changes; afterwards only that file's package may differ.
# A block fenced as "sh guide serve" starts its server (on a free loopback port in place of
# 8080), which must then serve the tree's manifest package, and is stopped. The guide names the
# publisher's folder build/tools; the commands run against BUILD-DIR, the build this test
# belongs to, wherever it was configured; the trial build's folder build/trial lies in SCRATCH
# (configured, not built). The "bat trial" line's pelkoweb: URL, read as a .bat file reads it,
# must name the server of the trial's command line.
set -euo pipefail
source_dir=$1
build_dir=$(cd "$2" && pwd)
guide=$3
scratch=$4

rm -rf "$scratch"
mkdir -p "$scratch/home"
export HOME=$scratch/home
work=$HOME/pelko-vendor
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

# The sample release the guide describes, with fixed times.
mkdir -p "$work/release/bin" "$work/release/data"
for name in PelkoDeskLoader.exe PelkoLoader.exe PelkoAgentLoader.exe bin/Pelko.Core.dll \
  data/settings.dat; do
  echo "sample $name" >"$work/release/$name"
  touch -d '2024-03-01 10:00:04 UTC' "$work/release/$name"
done

# The guide's blocks, in order, as one script: "cd" and "export" carry from block to block.
script=$scratch/guide.sh
{
  echo 'set -euo pipefail'
  echo 'change_release() {'
  echo '  (cd "$HOME/pelko-vendor/www/CvUpdate/PelkoPatch/RudovuZado" && sha256sum *.zip) >"$HOME/before.sum"'
  echo '  echo "sample settings, second edition" >"$HOME/pelko-vendor/release/data/settings.dat"'
  echo '  touch -d "2024-03-02 09:00:00 UTC" "$HOME/pelko-vendor/release/data/settings.dat"'
  echo '}'
  # A bounded wait for the served manifest package, then the server is stopped.
  echo 'check_served() {'
  echo '  local url=http://127.0.0.1:'"$port"'/CvUpdate/PelkoPatch/RudovuZado.ini.zip tries=0'
  echo '  until python3 -c "import sys, urllib.request; sys.stdout.buffer.write(urllib.request.urlopen(sys.argv[1], timeout=5).read())" "$url" >"$HOME/served.zip" 2>/dev/null; do'
  echo '    tries=$((tries + 1)); [ $tries -lt 50 ] || { kill $serve_pid; echo "nothing served at $url" >&2; return 1; }; sleep 0.2'
  echo '  done'
  echo '  kill $serve_pid; wait $serve_pid 2>/dev/null || true'
  echo '  cmp "$HOME/served.zip" www/CvUpdate/PelkoPatch/RudovuZado.ini.zip'
  echo '}'
  awk -v build="$build_dir" -v trial="$scratch/trial" -v port="$port" '
    /^```sh guide update$/ { print "change_release"; inside = 1; blocks++; next }
    /^```sh guide serve$/ { serve = 1; inside = 1; blocks++; next }
    /^```sh guide$/ { inside = 1; blocks++; next }
    /^```/ && inside {
      if (serve) print "check_served"
      inside = 0; serve = 0; next
    }
    inside {
      gsub(/(\$PWD\/)?build\/(native|tools)\//, build "/")
      gsub(/build\/trial/, trial)
      if (serve) { gsub(/ 8080 /, " " port " "); print "(exec " $0 ") >/dev/null 2>&1 & serve_pid=$!"; next }
      print
    }
    END { if (blocks == 0) exit 1 }
  ' "$guide"
} >"$script"

cd "$source_dir"
bash "$script"

tree=$work/www/CvUpdate/PelkoPatch
[ -f "$tree/RudovuZado.ini.zip" ] || { echo "no manifest package in $tree" >&2; exit 1; }
for name in PelkoDeskLoader.exe PelkoLoader.exe PelkoAgentLoader.exe Pelko.Core.dll settings.dat; do
  [ -f "$tree/RudovuZado/$name.zip" ] || { echo "no package for $name" >&2; exit 1; }
done
if [ -f "$HOME/before.sum" ]; then
  changed=$(cd "$tree/RudovuZado" && sha256sum --quiet -c "$HOME/before.sum" 2>/dev/null |
    sed -n 's/: FAILED$//p' || true)
  [ "$changed" = "settings.dat.zip" ] ||
    { echo "after the update, changed packages: '${changed}' (expected settings.dat.zip)" >&2; exit 1; }
fi

# The trial build was configured as the guide says: a test build with the vendor's key.
grep -q '^PELKO_TESTING:BOOL=ON' "$scratch/trial/CMakeCache.txt" ||
  { echo "the trial build is no test build" >&2; exit 1; }
grep -qF "PELKO_UPDATE_KEYS:STRING=$(cat "$work/keys/release.pub")" "$scratch/trial/CMakeCache.txt" ||
  { echo "the trial build does not carry the vendor's key" >&2; exit 1; }
grep -q 'BEGIN ENCRYPTED PRIVATE KEY' "$work/codesign/key.pem" ||
  { echo "the trial's code-signing key has no passphrase" >&2; exit 1; }
python3 - "$guide" <<'PY'
import re, sys, urllib.parse
text = open(sys.argv[1], encoding="utf-8").read()
server = re.search(r"PelkoWebHost\.exe desk (\S+) ", text).group(1)
line = re.search(r"^```bat trial\n(.*)\n```", text, re.M).group(1)
url = re.search(r'"(pelkoweb:[^"]*)"', line).group(1).replace("%%", "%")
query = urllib.parse.parse_qs(urllib.parse.urlsplit(url).query)
if query.get("server") != [server]:
    sys.exit(f"the .bat URL names the server {query.get('server')}, the command line {server}")
PY
rm -rf "$scratch/trial"
echo "the guide's commands ran as written"
