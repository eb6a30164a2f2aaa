#!/usr/bin/env bash
# Times whole smart runs over 40 slices of 750x400 (JPEG q90, uploads
# re-encoded at q80) against loopback servers that answer at once and that
# hold every response back 80 ms, and the decoding the runs cannot avoid.
# Usage: smart_run.sh TOOL... (for Windows: build/windows/wine-run
# build/windows/cli/quillmar-cli.exe). Needs ImageMagick and python3.
set -euo pipefail
tool=()
for a in "$@"; do
  [[ -e "$a" ]] && a=$(realpath "$a")
  tool+=("$a")
done
set -- "${tool[@]}"
work=$(mktemp -d)
servers=()
trap 'kill "${servers[@]}" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
mkdir images uploaded
# A photo-like texture: blurred noise blown up, so slices differ in content.
convert -seed 7 -size 75x1600 xc: +noise Random -blur 0x3 -resize '750x16000!' page.png
{
  printf '<table id="__01" width="750" border="0" cellpadding="0" cellspacing="0">\r\n'
  for i in $(seq -w 1 40); do
    convert page.png -crop 750x400+0+$(( (10#$i - 1) * 400 )) +repage -quality 90 images/shop_$i.jpg
    convert images/shop_$i.jpg -quality 80 uploaded/u$i.jpg
    printf '\t<tr>\r\n\t\t<td>\r\n\t\t\t<img src="images/shop_%s.jpg" width="750" height="400" alt=""></td>\r\n\t</tr>\r\n' "$i"
  done
  printf '</table>\r\n'
} >slices.html

# One server a delay; each answers from this folder on its own port.
cat >server.py <<'PY'
import http.server, socket, sys, time
delay = float(sys.argv[1])
class H(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        time.sleep(delay)
        super().do_GET()
    def log_message(self, *a): pass
s = http.server.ThreadingHTTPServer(("127.0.0.1", 0), H)
print(s.server_address[1], flush=True)
s.serve_forever()
PY
start_server() {  # delay in seconds; prints the port
  python3 server.py "$1" >"port-$1" &
  servers+=($!)
  for _ in $(seq 50); do [[ -s "port-$1" ]] && break; sleep 0.1; done
}
start_server 0
start_server 0.08
links() {  # port: the 40 links in a shuffled order
  seq -w 1 40 | sort -R --random-source=<(yes) | sed "s|.*|http://127.0.0.1:$1/uploaded/u&.jpg|"
}
links "$(cat port-0)" >links-0.txt
links "$(cat port-0.08)" >links-80.txt

now() { date +%s.%N; }
run() {  # links file: prints the seconds a whole smart run takes
  local links=$1 t0
  shift
  t0=$(now)
  "$@" replace --code slices.html --links "$links" --smart --image images/shop_01.jpg \
    --out "out-$links" 2>/dev/null || true
  echo "$(now) - $t0" | bc
}

"$@" --help >/dev/null 2>&1 || true  # a first start warms up what the tool starts in (Wine)
run0=$(run links-0.txt "$@")
run80=$(run links-80.txt "$@")
t0=$(now); "$@" key images/*.jpg uploaded/*.jpg >/dev/null; t1=$(now)
"$@" key images/shop_01.jpg >/dev/null; t2=$(now)
paired0=$(grep -c "http://127.0.0.1" out-links-0.txt || true)
paired80=$(grep -c "http://127.0.0.1" out-links-80.txt || true)
cores=$(nproc)
awk -v run0="$run0" -v run80="$run80" -v keys="$(echo "$t1 - $t0" | bc)" \
    -v start="$(echo "$t2 - $t1" | bc)" -v p0="$paired0" -v p80="$paired80" -v cores="$cores" 'BEGIN {
  d80 = keys - start;  # 80 images decoded and fingerprinted one by one
  printf "smart run, 40 slices of 750x400, uploads re-encoded at q80, %d cores:\n", cores;
  printf "  server answers at once:    %.2f s (%d of 40 paired)\n", run0, p0;
  printf "  every answer held 80 ms:   %.2f s (%d of 40 paired); the delay costs %.2f s\n", run80, p80, run80 - run0;
  printf "  decoding 80 images one by one %.2f s (process start %.2f s taken out);\n", d80, start;
  printf "  goal for the run without delay: %.2f s (decoding / cores + 0.3 s)\n", d80 / cores + 0.3;
}'
