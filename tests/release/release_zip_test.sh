#!/usr/bin/env bash
# Packs a download around two stand-in programs and reads it back as
# Explorer and Notepad would: every name flagged UTF-8, the guide GBK with CR
# LF line ends and no Markdown marks left, each picture it names beside it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'MZ program' >"$work/Quillmar.exe"
printf 'MZ tool' >"$work/quillmar-cli.exe"
"$root/scripts/release-zip" "$work/Quillmar-9.zip" "$work/Quillmar.exe" "$work/quillmar-cli.exe" >/dev/null

python3 - "$work/Quillmar-9.zip" "$root" <<'CHECK'
import pathlib, re, sys, zipfile

archive, root = zipfile.ZipFile(sys.argv[1]), pathlib.Path(sys.argv[2])
failures = []
def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)

entries = {e.filename: e for e in archive.infolist()}
names = list(entries)
check(names[:3] == ["Quillmar.exe", "quillmar-cli.exe", "使用说明.txt"],
      f"programs, then the guide: {names[:3]}")
check(archive.read("Quillmar.exe") == b"MZ program", "the program's bytes")
check(all(e.flag_bits & 0x800 for n, e in entries.items() if not n.isascii()),
      "every Chinese name carries the UTF-8 flag")
raw_archive = pathlib.Path(sys.argv[1]).read_bytes()
check("使用说明图片/".encode("utf-8") in raw_archive and "使用说明.txt".encode("utf-8") in raw_archive,
      "the names' bytes are UTF-8")

raw = archive.read("使用说明.txt")
check(not raw.startswith((b"\xef\xbb\xbf", b"\xff\xfe")), "the guide has no byte-order mark")
try:
    text = raw.decode("gbk")
    check(True, "the guide is GBK")
except UnicodeDecodeError as error:
    text = ""
    check(False, f"the guide is GBK: {error}")
check(raw.count(b"\n") > 100 and raw.count(b"\n") == raw.count(b"\r\n"),
      "every line ends with CR LF")
check(raw.count(b"\r") == raw.count(b"\r\n"), "no lone CR")
markdown = str((root / "docs" / "使用说明.md").read_text(encoding="utf-8"))
check(text.replace("\r\n", "\n").splitlines()[0] == markdown.splitlines()[0].lstrip("# "),
      "the guide starts with its title")
for mark in ("**", "```", "](", "`", "\n#", "|---"):
    check(mark not in text, f"no Markdown mark {mark!r} left")

shown = re.findall(r"^!\[[^]]*\]\(images/([^)]+)\)$", markdown, re.M)
check(len(shown) >= 3, f"the guide shows its pictures: {shown}")
for picture in shown:
    name = "使用说明图片/" + picture
    check(name in entries and archive.read(name) == (root / "docs/images" / picture).read_bytes(),
          f"{name} is the picture docs/images holds")
    check("使用说明图片\\" + picture in text, f"the text says where {picture} is")
sys.exit(1 if failures else 0)
CHECK

# A guide that GBK cannot hold stops the packing instead of losing text.
mkdir -p "$work/tree/scripts" "$work/tree/docs/images"
cp "$root/scripts/release-zip" "$work/tree/scripts/"
printf '# 说明\n\nA smile \xf0\x9f\x98\x80 GBK lacks.\n' >"$work/tree/docs/使用说明.md"
if "$work/tree/scripts/release-zip" "$work/bad.zip" "$work/Quillmar.exe" >/dev/null 2>"$work/bad.log"; then
  echo "FAIL a character GBK lacks was packed"
  exit 1
fi
if [[ ! -e "$work/bad.zip" ]] && grep -q iconv "$work/bad.log"; then
  echo "ok   a character GBK lacks stops the packing"
else
  echo "FAIL a character GBK lacks: $(cat "$work/bad.log")"
  exit 1
fi
