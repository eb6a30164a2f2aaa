#!/usr/bin/env bash
# Times a smart run over 40 slices of 750x400 JPEG against a loopback server
# that delays every response by 50 ms, and splits the time into downloads,
# decoding and the rest (text work). Usage: smart_run.sh TOOL... (for
# Windows: build/windows/wine-run build/windows/cli/quillmar-cli.exe).
set -euo pipefail
tool=()
for a in "$@"; do
  [[ -e "$a" ]] && a=$(realpath "$a")
  tool+=("$a")
done
set -- "${tool[@]}"
work=$(mktemp -d)
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
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

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >server.py <<PY
import http.server, time
class H(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        time.sleep(0.05)
        super().do_GET()
    def log_message(self, *a): pass
http.server.ThreadingHTTPServer(("127.0.0.1", $port), H).serve_forever()
PY
python3 server.py &
server=$!
sleep 1
seq -w 1 40 | sort -R --random-source=<(yes) | sed "s|.*|http://127.0.0.1:$port/uploaded/u&.jpg|" >links.txt

now() { date +%s.%N; }
t0=$(now); "$@" replace --code slices.html --links links.txt --smart --image images/shop_01.jpg --out out.html 2>/dev/null; t1=$(now)
"$@" key images/*.jpg uploaded/*.jpg >/dev/null; t2=$(now)
"$@" key $(sed 's/\r//' links.txt) >/dev/null; t3=$(now)
"$@" key images/shop_01.jpg >/dev/null; t4=$(now)
matched=$(grep -c "http://127.0.0.1" out.html || true)
awk -v run="$(echo "$t1 - $t0" | bc)" -v decode="$(echo "$t2 - $t1" | bc)" -v fetch="$(echo "$t3 - $t2" | bc)" \
    -v start="$(echo "$t4 - $t3" | bc)" -v matched="$matched" 'BEGIN {
  d80 = decode - start;              # 80 images decoded and fingerprinted
  f = fetch - start - d80 / 2;       # 40 downloads (their 40 decodes taken out)
  printf "smart run, 40 slices: total %.2f s, %d of 40 paired\n", run, matched;
  printf "  process start %.2f s, decoding+fingerprints (80 images) %.2f s,\n", start, d80;
  printf "  downloads (40, 50 ms delay each) %.2f s, text work and the rest %.2f s\n", f, run - start - d80 - f;
}'
