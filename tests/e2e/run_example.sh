#!/usr/bin/env bash
# Runs the bundled example through the real command-line tool against a
# loopback HTTP server, in both modes, and compares every output byte for
# byte. Arguments: the tool's command (for Windows: the Wine wrapper and the exe).
set -euo pipefail
example="$(cd "$(dirname "$0")/../../examples/shop" && pwd)"
data="$(cd "$(dirname "$0")/data" && pwd)"
work=$(mktemp -d)
server=
cleanup() {
  [[ -n "$server" ]] && kill "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cp -r "$example"/. "$work"
cd "$work"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 >/dev/null 2>&1 &
server=$!
for _ in $(seq 50); do
  python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
  sleep 0.1
done
sed -i "s/@PORT@/$port/g" links-*.txt expected/*

passes=0
failures=0
ok() {
  echo "ok   $*"
  passes=$((passes + 1))
}
fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}
check() {  # expected actual
  if cmp -s "$1" "$2"; then
    ok "$2"
  else
    fail "$2 differs from $1"
    diff <(iconv -f gbk -t utf-8 "$1") <(iconv -f gbk -t utf-8 "$2") | head -20 || true
  fi
}

"$@" replace --code slices.html --links links-by-number.txt --by-number \
  --out by-number.html --links-out by-number-left.txt 2>by-number.log
check expected/by-number.html by-number.html
check expected/by-number-left.txt by-number-left.txt

# The smart list holds a link to a file the server does not have: the run is
# done, but says so, with exit status 4.
status=0
"$@" replace --code slices.html --links links-smart.txt --smart --image 'images/店铺_02.jpg' \
  --out smart.html --links-out smart-left.txt 2>smart.log || status=$?
check expected/smart.html smart.html
check expected/smart-left.txt smart-left.txt
tr -d '\r' <smart.log >smart-progress.log  # Windows writes CR LF to a redirected stream
check expected/smart.log smart-progress.log
[[ $status -eq 4 ]] && ok "dead link, exit 4" || { fail "dead link ($status)"; }

# Links on https, pasted below the usage text with blanks around them: by
# number nothing is downloaded, so no server needs to speak TLS.
{ printf '使用说明：\r\n\r\n' | iconv -f utf-8 -t gbk; sed 's/^http:/  https:/; s/$/ \r/' links-by-number.txt; } >links-https.txt
sed 's|http://127|https://127|' expected/by-number.html >expected-https.html
"$@" replace --code slices.html --links links-https.txt --by-number --out https.html 2>https.log
check expected-https.html https.html
if grep -q "skipped 1 line of the link list" https.log; then ok "usage line skipped"; else
  fail "usage line not reported: $(cat https.log)"; fi

# Without --image the page names its slice files, from its own folder; also
# a page one folder down that names them with ../.
"$@" replace --code slices.html --links links-smart.txt --smart --out page.html 2>/dev/null || true
check expected/smart.html page.html
mkdir -p pages
sed 's|src="images/|src="../images/|' slices.html >pages/slices-up.html
sed 's|src="images/spacer|src="../images/spacer|' expected/smart.html >expected-up.html
"$@" replace --code pages/slices-up.html --links links-smart.txt --smart --out up.html 2>/dev/null || true
check expected-up.html up.html

# Slices saved as .jpeg, in a folder whose name holds digits and a dot.
mkdir -p '06.首页/images'
for k in 01 02 03 04; do cp "images/店铺_$k.jpg" "06.首页/images/店铺_$k.jpeg"; done
sed 's/\.jpg" width/.jpeg" width/' slices.html >slices-jpeg.html
"$@" replace --code slices-jpeg.html --links links-smart.txt --smart \
  --image '06.首页/images/店铺_03.jpeg' --out jpeg.html 2>/dev/null || true
check expected/smart.html jpeg.html

# The same page as a CSS export: images in <div>s, read by the second reading.
"$@" replace --code slices-div.html --links links-by-number.txt --by-number \
  --out div-by-number.html 2>/dev/null
check expected/div-by-number.html div-by-number.html
"$@" replace --code slices-div.html --links links-smart.txt --smart --image 'images/店铺_02.jpg' \
  --out div-smart.html 2>/dev/null || true
check expected/div-smart.html div-smart.html

# A host that re-encoded slice 2 harder than the others: three fingerprint
# cells moved, so only the near match pairs it; and that served slice 4 at
# 640 pixels wide (Lanczos, quality 85), which only the scaled match pairs.
# --exact leaves placeholders and says so with exit status 4.
cp "$data/u02-q20.jpg" "$data/u04-640.jpg" uploaded/
sed 's/u02\.jpg/u02-q20.jpg/; s/u04\.jpg/u04-640.jpg/' links-smart.txt >links-near.txt
sed 's/u02\.jpg/u02-q20.jpg/; s/u04\.jpg/u04-640.jpg/' expected/smart.html >expected-near.html
"$@" replace --code slices.html --links links-near.txt --smart --image 'images/店铺_02.jpg' \
  --out near.html 2>near.log || true
check expected-near.html near.html
if grep -q "near match: link 5, slice 2, " near.log; then ok "near match reported"; else
  fail "near match not reported"; fi
if grep -q "scaled match: link 4, slice 4, scaled by 0.853, " near.log; then
  ok "scaled match reported"
else
  fail "scaled match not reported: $(cat near.log)"
fi

status=0
"$@" replace --code slices.html --links links-near.txt --smart --image 'images/店铺_02.jpg' \
  --exact --out exact.html 2>exact.log || status=$?
sed 's|http://127.0.0.1:[0-9]*/uploaded/u02-q20.jpg|mivron02|; s|http://127.0.0.1:[0-9]*/uploaded/u04-640.jpg|mivron04|' \
  expected-near.html >expected-exact.html
check expected-exact.html exact.html
if [[ $status -eq 4 ]] && tr -d '\r' <exact.log | grep -q "^mivron02  images/店铺_02.jpg$" &&
  tr -d '\r' <exact.log | grep -q "^mivron04  images/店铺_04.jpg$"; then
  ok "unmatched slice listed, exit 4"
else
  fail "unmatched slice ($status)";
fi

# The comparison page: each slice file beside the upload it took and how,
# the link that gave no image and why; every local picture a file: address
# of the file the run read. The exit status stays the run's.
status=0
"$@" replace --code slices.html --links links-near.txt --smart --image 'images/店铺_02.jpg' \
  --out report-result.html --report 对照.html 2>report.log || status=$?
check expected-near.html report-result.html
if [[ $status -eq 4 ]] && grep -q '<meta charset="utf-8">' 对照.html &&
  grep -q '>相同<' 对照.html && grep -q '>近似<' 对照.html && grep -q '>缩放 ×0.853<' 对照.html &&
  grep -q 'missing.jpg</td><td>下载到的不是图片' 对照.html && grep -q "comparison page is 对照.html" report.log; then
  ok "comparison page"
else
  fail "comparison page ($status): $(cat report.log)"
fi
if python3 - 对照.html <<'FILES'
import pathlib, re, sys, urllib.parse
page = pathlib.Path(sys.argv[1]).read_text(encoding="utf-8")
addresses = re.findall(r'src="(file:[^"]*)"', page)
paths = []
for address in addresses:
    path = urllib.parse.unquote(address[len("file://"):])
    # Under Wine the slices are on drive Z:, the root of the file system.
    path = re.sub(r"^/[A-Za-z]:/", "/", path)
    paths.append(path)
names = [pathlib.Path(p).name for p in paths]
ok = names == [f"店铺_0{k}.jpg" for k in range(1, 5)] and all(pathlib.Path(p).is_file() for p in paths)
sys.exit(0 if ok else f"file: addresses {addresses}")
FILES
then ok "comparison page's file: addresses"; else fail "comparison page's file: addresses"; fi
mkdir -p quiet && cp slices.html quiet/ && cp -r images quiet/
(cd quiet && "$@" replace --code slices.html --links ../links-smart.txt --smart --out quiet.html \
  2>/dev/null || true)
[[ $(ls quiet | sort | tr '\n' ' ') == "images quiet.html slices.html " ]] &&
  ok "no page without --report" || fail "without --report: $(ls quiet)"
status=0
"$@" replace --code slices.html --links links-smart.txt --smart --out unwritten.html \
  --report images 2>unwritten.log || status=$?
[[ $status -eq 4 ]] && grep -q "cannot write the comparison page images" unwritten.log &&
  ok "unwritable page, exit status of the run" || fail "unwritable page ($status)"
status=0
"$@" replace --code slices.html --links links-by-number.txt --by-number --report x.html \
  2>/dev/null || status=$?
[[ $status -eq 2 && ! -e x.html ]] && ok "--report belongs to --smart" || fail "--report by number ($status)"

# An input check refuses the press with exit status 1 and its message.
printf 'no slice code here' >plain.txt
status=0
"$@" replace --code plain.txt --links links-smart.txt --by-number --out refused.html 2>refused.log || status=$?
[[ $status -eq 1 && ! -e refused.html ]] && ok "refused press" || { fail "refused press ($status)"; }

# Mark-up that passes the check but names no slice image: refused, no output.
printf '<p>01. sale</p><img src="images/logo.gif">' >no-slices.html
status=0
"$@" replace --code no-slices.html --links links-smart.txt --by-number --out none.html \
  2>none.log || status=$?
if [[ $status -eq 1 && ! -e none.html ]] && grep -q "没有找到切片图片路径" none.log; then
  ok "nothing found"
else
  fail "nothing found ($status)";
fi

status=0
"$@" replace --code missing.html --links links-smart.txt --by-number 2>/dev/null || status=$?
[[ $status -eq 3 ]] && ok "missing file" || { fail "missing file ($status)"; }

status=0
"$@" replace --code slices.html 2>/dev/null || status=$?
[[ $status -eq 2 ]] && ok "usage" || { fail "usage ($status)"; }

# Options as --name=value; an option given twice is wrong usage; help works.
"$@" replace --code=slices.html --links=links-by-number.txt --by-number --out=equals.html 2>/dev/null
check expected/by-number.html equals.html
status=0
"$@" replace --code slices.html --code slices.html --links links-by-number.txt --by-number \
  2>/dev/null >/dev/null || status=$?
[[ $status -eq 2 ]] && ok "repeated option" || { fail "repeated option ($status)"; }
"$@" replace --help | grep -q "exit status" && ok "replace --help" || { fail "replace --help"; }

# Too few links by number: the slices left keep their paths; exit 4.
head -n 3 links-by-number.txt >links-short.txt
status=0
"$@" replace --code slices.html --links links-short.txt --by-number --out short.html 2>short.log || status=$?
if [[ $status -eq 4 ]] && iconv -f gbk -t utf-8 short.html | grep -q 'images/店铺_04.jpg' &&
  grep -q "1 link too few: the last 1 slice file keeps its local path" short.log; then
  ok "too few links, exit 4"
else
  fail "too few links ($status)";
fi

# A page as slicing tools and shop templates write them: a cell whose slice
# is its background, a table the server put inside, a second table, a file
# named again in a rollover script and a link. Each slice file takes one
# link, which every place naming it gets, in both runs.
iconv -f utf-8 -t gbk >cells.html <<'PAGE'
<html><head><script>function over(i) { swap(i, 'images/店铺_03.jpg'); }</script></head><body>
<table width="750" border="0" cellpadding="0" cellspacing="0">
	<tr>
		<td background="images/店铺_01.jpg" width="750" height="250">
			<table><tr><td>店铺公告</td></tr></table></td>
	</tr>
</table>
<table width="750" border="0" cellpadding="0" cellspacing="0">
	<tr>
		<td><img src="images/店铺_02.jpg" width="375" height="300" alt=""></td>
		<td><a href="images/店铺_03.jpg" onmouseover="over(this)"><img src="images/店铺_03.jpg" width="375" height="300" alt=""></a></td>
	</tr>
	<tr>
		<td colspan="2" background="images/店铺_04.jpg"><img src="images/spacer.gif" width="750" height="250" alt=""></td>
	</tr>
</table>
</body></html>
PAGE
sed_links=()
for k in 1 2 3 4; do
  link=$(sed -n "${k}p" links-by-number.txt | tr -d '\r')
  sed_links+=(-e "s|images/$(printf '\xb5\xea\xc6\xcc')_0$k.jpg|$link|g")
done
LC_ALL=C sed "${sed_links[@]}" cells.html >expected-cells.html
"$@" replace --code cells.html --links links-by-number.txt --by-number --out cells-by-number.html \
  2>/dev/null
check expected-cells.html cells-by-number.html
"$@" replace --code cells.html --links links-smart.txt --smart --image 'images/店铺_02.jpg' \
  --out cells-smart.html 2>/dev/null || true
check expected-cells.html cells-smart.html

# A rollover: slice 2's picture while the pointer is over it, saved beside
# it under its name and a frame, named by the scripts alone. Smart pairs it
# by its picture like a slice; by number it keeps its path, and the run
# says so with exit status 4.
convert images/店铺_02.jpg -flop images/店铺_02_f2.jpg
cp images/店铺_02_f2.jpg uploaded/r02.jpg
iconv -f utf-8 -t gbk >rollover.html <<'PAGE'
<html><head><script>MM_preloadImages('images/店铺_02_f2.jpg');</script></head><body>
<table width="750" border="0" cellpadding="0" cellspacing="0">
	<tr>
		<td><img src="images/店铺_01.jpg" width="375" height="300" alt=""></td>
		<td><a href="#" onMouseOver="MM_swapImage('b','','images/店铺_02_f2.jpg',1)"><img name="b" src="images/店铺_02.jpg" width="375" height="300" alt=""></a></td>
	</tr>
</table>
</body></html>
PAGE
rollover_link="http://127.0.0.1:$port/uploaded/r02.jpg"
LC_ALL=C sed "${sed_links[@]:0:4}" rollover.html >expected-rollover-by-number.html
LC_ALL=C sed -e "s|images/$(printf '\xb5\xea\xc6\xcc')_02_f2.jpg|$rollover_link|g" \
  expected-rollover-by-number.html >expected-rollover-smart.html
status=0
"$@" replace --code rollover.html --links links-by-number.txt --by-number \
  --out rollover-by-number.html 2>rollover-by-number.log || status=$?
check expected-rollover-by-number.html rollover-by-number.html
if [[ $status -eq 4 ]] && grep -q "1 rollover picture keeps its local path" rollover-by-number.log; then
  ok "rollover by number, exit 4"
else
  fail "rollover by number ($status)"
fi
{ cat links-smart.txt; printf '%s\n' "$rollover_link"; } >links-rollover.txt
"$@" replace --code rollover.html --links links-rollover.txt --smart --image 'images/店铺_02.jpg' \
  --out rollover-smart.html 2>/dev/null || true
check expected-rollover-smart.html rollover-smart.html

# A key needs an image: a missing file and a page that is no image give a
# reason on standard error, no key, and exit status 3.
status=0
"$@" key images/店铺_01.jpg missing.jpg slices.html >keys.txt 2>keys.log || status=$?
if [[ $status -eq 3 && $(wc -l <keys.txt) -eq 1 ]] && grep -q "missing.jpg: cannot read" keys.log &&
  grep -q "slices.html: not an image" keys.log; then
  ok "key of no image"
else
  fail "key of no image ($status): $(cat keys.log)";
fi

# Standard output that cannot be written loses the result: exit status 3.
if [[ -w /dev/full ]]; then
  status=0
  "$@" replace --code slices.html --links links-by-number.txt --by-number >/dev/full 2>full.log || status=$?
  if [[ $status -eq 3 ]] && ! grep -q "replaced" full.log; then ok "stdout full"; else
    fail "stdout full ($status): $(cat full.log)"; fi
fi

# A GBK file that begins with a UTF-8 byte-order mark is refused, naming the
# option that reads it.
{ printf '\xef\xbb\xbf'; cat links-by-number.txt; } >links-bom.txt
status=0
"$@" replace --code slices.html --links links-bom.txt --by-number --out bom.html 2>bom.log || status=$?
if [[ $status -eq 1 && ! -e bom.html ]] && grep -q -- "--encoding utf-8" bom.log; then
  ok "byte-order mark refused"
else
  fail "byte-order mark ($status): $(cat bom.log)";
fi

# UTF-8 files: a byte-order mark is kept, and what is not replaced leaves
# byte for byte as it came.
{ printf '\xef\xbb\xbf'; iconv -f gbk -t utf-8 slices.html; printf '<!-- 版权所有 · 店铺 -->\r\n'; } >slices-utf8.html
{ printf '\xef\xbb\xbf'; iconv -f gbk -t utf-8 expected/by-number.html; printf '<!-- 版权所有 · 店铺 -->\r\n'; } >expected-utf8.html
"$@" replace --code slices-utf8.html --links links-by-number.txt --by-number --encoding utf-8 \
  --out by-number-utf8.html 2>/dev/null
check expected-utf8.html by-number-utf8.html

# Text GBK cannot hold exactly is refused whole: exit status 1, a message
# naming the file and line, and no output file.
for case in copyright emoji nul; do
  case $case in
    copyright) { cat slices-utf8.html; printf '<p>\xc2\xa9 2024</p>\r\n'; } >"in-$case.html"; encoding=utf-8; expect='line 32 holds U+00A9' ;;
    emoji) { printf '<p>\xf0\x9f\x98\x80</p>\r\n'; cat slices-utf8.html; } >"in-$case.html"; encoding=utf-8; expect='line 1 holds U+1F600' ;;
    nul) { cat slices.html; printf 'tail\0after\r\n'; } >"in-$case.html"; encoding=gbk; expect='line 31 holds a NUL byte' ;;
  esac
  status=0
  "${@}" replace --code "in-$case.html" --links links-by-number.txt --by-number --encoding $encoding \
    --out "out-$case.html" 2>"$case.log" || status=$?
  if [[ $status -eq 1 && ! -e "out-$case.html" ]] && grep -q "$expect" "$case.log"; then
    ok "refused $case"
  else
    fail "refused $case ($status): $(cat "$case.log")"
  fi
done

echo "$passes passed, $failures failed"
exit $((failures > 0))
