#!/usr/bin/env bash
# run_vendor_guide.sh SOURCE-DIR BUILD-DIR GUIDE SCRATCH
# Runs the blocks of the vendor guide fenced as "sh guide" in their order, as written, from the
# source folder, with HOME in SCRATCH and a sample release in its place. Before a block fenced as
# "sh guide update" one release file changes; afterwards only that file's package may differ.
# A block fenced as "sh guide serve" starts its server (on a free loopback port in place of
# 8080), which must then serve the tree's manifest package, and is stopped. The guide names the
# publisher's folder build/tools; the commands run against BUILD-DIR, the build this test
# belongs to, wherever it was configured; the build folders build/trial and build/vendor lie in
# SCRATCH (configured, not built). A block fenced as "sh guide check" cannot run here (it builds
# for minutes, installs packages, or signs with an authority's time stamp): its configures run
# (a preset without -B into SCRATCH), its builds are not run but each target they name must
# exist, each file it signs or verifies must be one its build makes, and each script it calls
# must exist and parse. A block fenced as "sh guide upload" runs with rsync to a web host
# replaced by copies into a local folder standing for it, which must then hold the tree. The
# "bat trial" line's pelkoweb: URL, read as a .bat file reads it, must name the server of the
# trial's command line.
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

# The sample release the guide describes, with fixed times; the settings file is large enough
# for a delta between two editions to be worth making.
mkdir -p "$work/release/bin" "$work/release/data"
for name in PelkoDeskLoader.exe PelkoLoader.exe PelkoAgentLoader.exe bin/Pelko.Core.dll; do
  echo "sample $name" >"$work/release/$name"
  touch -d '2024-03-01 10:00:04 UTC' "$work/release/$name"
done
settings() {
  echo "sample settings, edition $1"
  seq 1 4000 | sed 's/.*/setting & = value &/'
}
settings 1 >"$work/release/data/settings.dat"
touch -d '2024-03-01 10:00:04 UTC' "$work/release/data/settings.dat"

# The guide's blocks, in order, as one script: "cd" and "export" carry from block to block.
script=$scratch/guide.sh
{
  echo 'set -euo pipefail'
  declare -f settings
  echo 'edition=1'
  echo 'change_release() {'
  echo '  (cd "$HOME/pelko-vendor/www/CvUpdate/PelkoPatch/RudovuZado" && sha256sum *.zip) >"$HOME/before.sum"'
  echo '  edition=$((edition + 1))'
  echo '  settings $edition >"$HOME/pelko-vendor/release/data/settings.dat"'
  echo '  touch -d "2024-03-0$edition 09:00:00 UTC" "$HOME/pelko-vendor/release/data/settings.dat"'
  echo '}'
  # What a "sh guide check" block may do here: configure, name the targets of a build and the
  # files it makes, call the repository's scripts.
  echo 'scratch='"$scratch"
  cat <<'EOF'
cmake() {
  if [ -z "${checking:-}" ]; then command cmake "$@"; return; fi
  if [ "$1" = --build ]; then
    local folder=$2 arg targets=
    [ "$2" != --preset ] || folder=$scratch/$3
    for arg; do
      case $arg in
      --target) targets=1 ;;
      -*) targets= ;;
      *) [ -z "$targets" ] || ninja -C "$folder" -t query "$arg" >/dev/null ||
           { echo "the build in $folder has no target $arg" >&2; return 1; } ;;
      esac
    done
    return
  fi
  local arg previous= preset= folder=
  for arg; do
    [ "$previous" != --preset ] || preset=$arg
    [ "$arg" != -B ] || folder=given
    previous=$arg
  done
  [ -n "$folder" ] || [ -z "$preset" ] || set -- "$@" -B "$scratch/$preset"
  command cmake "$@" >/dev/null
}
built_file() {
  local folder
  folder=$(dirname "$1")
  while [ "$folder" != / ] && [ ! -f "$folder/build.ninja" ]; do folder=$(dirname "$folder"); done
  [ -f "$folder/build.ninja" ] || { echo "no configured build makes $1" >&2; return 1; }
  ninja -C "$folder" -t query "${1#"$folder"/}" >/dev/null ||
    { echo "the build in $folder makes no $1" >&2; return 1; }
}
osslsigncode() {
  [ "$1 $2" = "verify -in" ] || { echo "osslsigncode $1 $2: not checked" >&2; return 1; }
  built_file "$3"
}
checked_script() {
  [ -x "$1" ] && bash -n "$1" || { echo "no script $1" >&2; return 1; }
  [ "$(basename "$1")" = sign-binaries.sh ] || return 0
  [ -f "$2" ] && [ -f "$3" ] || { echo "no certificate $2 or key $3" >&2; return 1; }
  local file
  for file in "${@:4}"; do built_file "$file"; done
}
EOF
  # What a "sh guide upload" block's rsync does here: copies into $HOME/webhost/<host><path>.
  cat <<'EOF'
web_path() {
  if [[ $1 =~ ^([A-Za-z0-9._-]+):(/.*)$ ]]; then
    echo "$HOME/webhost/${BASH_REMATCH[1]}${BASH_REMATCH[2]}"
  else
    echo "$1"
  fi
}
rsync() {
  local delete= paths=() arg
  for arg; do
    case $arg in
    -a) ;;
    --delete) delete=1 ;;
    -*) echo "rsync $arg: not known here" >&2; return 1 ;;
    *) paths+=("$(web_path "$arg")") ;;
    esac
  done
  [ ${#paths[@]} -eq 2 ] || { echo "rsync: one source and one target" >&2; return 1; }
  local from=${paths[0]} to=${paths[1]}
  mkdir -p "$to"
  if [[ $from != */ ]]; then cp -a "$from" "$to"; else cp -a "$from." "$to"; fi
  if [ -n "$delete" ]; then
    (cd "$to" && find . -mindepth 1 -depth) | while read -r name; do
      [ -e "$from$name" ] || rm -rf "${to:?}/$name"
    done
  fi
  served_whole "$to"
}
# A manifest on the web host names only objects already there: a customer who reads it finds
# its files.
served_whole() {
  [ -f "$1/RudovuZado.ini.zip" ] || return 0
  python3 - "$1" <<'PY'
import os, re, sys, zipfile
folder = sys.argv[1]
with zipfile.ZipFile(os.path.join(folder, "RudovuZado.ini.zip")) as package:
    manifest = package.read("RudovuZado.ini").decode("ascii")
missing = [name for name in re.findall(r"^Object=(\S+)", manifest, re.M)
           if not os.path.isfile(os.path.join(folder, name))]
if missing:
    sys.exit(f"the manifest on the web host names objects not uploaded yet: {missing}")
PY
}
EOF
  # A bounded wait for the served manifest package, then the server is stopped.
  echo 'check_served() {'
  echo '  local url=http://127.0.0.1:'"$port"'/CvUpdate/PelkoPatch/RudovuZado.ini.zip tries=0'
  echo '  until python3 -c "import sys, urllib.request; sys.stdout.buffer.write(urllib.request.urlopen(sys.argv[1], timeout=5).read())" "$url" >"$HOME/served.zip" 2>/dev/null; do'
  echo '    tries=$((tries + 1)); [ $tries -lt 50 ] || { kill $serve_pid; echo "nothing served at $url" >&2; return 1; }; sleep 0.2'
  echo '  done'
  echo '  kill $serve_pid; wait $serve_pid 2>/dev/null || true'
  echo '  cmp "$HOME/served.zip" www/CvUpdate/PelkoPatch/RudovuZado.ini.zip'
  echo '}'
  awk -v build="$build_dir" -v trial="$scratch/trial" -v vendor="$scratch/vendor" -v port="$port" '
    /^```sh guide update$/ { print "change_release"; inside = 1; blocks++; next }
    /^```sh guide serve$/ { serve = 1; inside = 1; blocks++; next }
    /^```sh guide check$/ { print "(checking=1"; closing = ")"; check = 1; inside = 1; blocks++; next }
    /^```sh guide upload$/ {
      print "(RUNNER_TEMP=$HOME/runner WEB_HOST=web.pelko.example.com"
      print "mkdir -p \"$RUNNER_TEMP\"; RELEASE_KEY_PEM=$(cat \"$HOME/pelko-vendor/keys/release.pem\")"
      closing = ")"; inside = 1; blocks++; next
    }
    /^```sh guide$/ { inside = 1; blocks++; next }
    /^```/ && inside {
      if (serve) print "check_served"
      if (closing) print closing
      inside = 0; serve = 0; check = 0; closing = ""; next
    }
    inside {
      gsub(/(\$PWD\/)?build\/(native|tools)\//, build "/")
      gsub(/build\/trial/, trial)
      gsub(/build\/vendor/, vendor)
      if (check && $0 ~ /^scripts\//) sub(/^/, "checked_script ")
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

# The guide's smaller update made a delta from the tree it kept.
compgen -G "$tree/objects/*.pdelta" >/dev/null || { echo "no delta in $tree/objects" >&2; exit 1; }
# The web host holds the tree the publishing job made (the tree kept as trees/1.5), nothing else.
diff -r "$HOME/webhost/web.pelko.example.com/srv/www/CvUpdate/PelkoPatch" "$work/trees/1.5" >&2 ||
  { echo "the web host does not hold the published tree" >&2; exit 1; }
# The product build was configured with the vendor's values and upgrade code.
grep -qxF "PELKO_UPGRADE_CODE:STRING=$(cat "$work/upgrade-code")" "$scratch/vendor/CMakeCache.txt" ||
  { echo "the product build does not carry the vendor's upgrade code" >&2; exit 1; }
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
rm -rf "$scratch/trial" "$scratch/vendor" "$scratch/tools"
echo "the guide's commands ran as written"
