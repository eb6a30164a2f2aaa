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

failures=0
check() {  # expected actual
  if cmp -s "$1" "$2"; then
    echo "ok   $2"
  else
    echo "FAIL $2 differs from $1"
    diff <(iconv -f gbk -t utf-8 "$1") <(iconv -f gbk -t utf-8 "$2") | head -20 || true
    failures=$((failures + 1))
  fi
}

"$@" replace --code slices.html --links links-by-number.txt --by-number \
  --out by-number.html --links-out by-number-left.txt 2>by-number.log
check expected/by-number.html by-number.html
check expected/by-number-left.txt by-number-left.txt

"$@" replace --code slices.html --links links-smart.txt --smart --image 'images/店铺_02.jpg' \
  --out smart.html --links-out smart-left.txt 2>smart.log
check expected/smart.html smart.html
check expected/smart-left.txt smart-left.txt
tr -d '\r' <smart.log >smart-progress.log  # Windows writes CR LF to a redirected stream
check expected/smart.log smart-progress.log

# The same page as a CSS export: images in <div>s, read by the second reading.
"$@" replace --code slices-div.html --links links-by-number.txt --by-number \
  --out div-by-number.html 2>/dev/null
check expected/div-by-number.html div-by-number.html
"$@" replace --code slices-div.html --links links-smart.txt --smart --image 'images/店铺_02.jpg' \
  --out div-smart.html 2>/dev/null
check expected/div-smart.html div-smart.html

# A host that re-encoded slice 2 harder than the others: three fingerprint
# cells moved, so only the near match pairs it; --exact leaves a placeholder
# and says so with exit status 4.
cp "$data/u02-q20.jpg" uploaded/
sed 's/u02\.jpg/u02-q20.jpg/' links-smart.txt >links-near.txt
sed 's/u02\.jpg/u02-q20.jpg/' expected/smart.html >expected-near.html
"$@" replace --code slices.html --links links-near.txt --smart --image 'images/店铺_02.jpg' \
  --out near.html 2>near.log
check expected-near.html near.html
if grep -q "near match: link 5, slice 2, " near.log; then echo "ok   near match reported"; else
  echo "FAIL near match not reported"; failures=$((failures + 1)); fi

status=0
"$@" replace --code slices.html --links links-near.txt --smart --image 'images/店铺_02.jpg' \
  --exact --out exact.html 2>exact.log || status=$?
sed 's|http://127.0.0.1:[0-9]*/uploaded/u02-q20.jpg|mivron02|' expected-near.html >expected-exact.html
check expected-exact.html exact.html
if [[ $status -eq 4 ]] && tr -d '\r' <exact.log | grep -q "^mivron02  images/店铺_02.jpg$"; then
  echo "ok   unmatched slice listed, exit 4"
else
  echo "FAIL unmatched slice ($status)"; failures=$((failures + 1))
fi

# An input check refuses the press with exit status 1 and its message.
printf 'no slice code here' >plain.txt
status=0
"$@" replace --code plain.txt --links links-smart.txt --by-number --out refused.html 2>refused.log || status=$?
[[ $status -eq 1 && ! -e refused.html ]] && echo "ok   refused press" || { echo "FAIL refused press ($status)"; failures=$((failures + 1)); }

# Mark-up that passes the check but names no slice image: refused, no output.
printf '<p>01. sale</p><img src="images/logo.gif">' >no-slices.html
status=0
"$@" replace --code no-slices.html --links links-smart.txt --by-number --out none.html \
  2>none.log || status=$?
if [[ $status -eq 1 && ! -e none.html ]] && grep -q "没有找到切片图片路径" none.log; then
  echo "ok   nothing found"
else
  echo "FAIL nothing found ($status)"; failures=$((failures + 1))
fi

status=0
"$@" replace --code missing.html --links links-smart.txt --by-number 2>/dev/null || status=$?
[[ $status -eq 3 ]] && echo "ok   missing file" || { echo "FAIL missing file ($status)"; failures=$((failures + 1)); }

status=0
"$@" replace --code slices.html 2>/dev/null || status=$?
[[ $status -eq 2 ]] && echo "ok   usage" || { echo "FAIL usage ($status)"; failures=$((failures + 1)); }

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
    echo "ok   refused $case"
  else
    echo "FAIL refused $case ($status): $(cat "$case.log")"
    failures=$((failures + 1))
  fi
done

echo "$((19 - failures)) passed, $failures failed"
exit $((failures > 0))
