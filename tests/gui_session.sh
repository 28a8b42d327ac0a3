#!/usr/bin/env bash
# A person's use of Pellucor: start it on a display, choose the parent and child workbooks through
# the file dialog, press "开始", confirm "操作完成!", and check the saved child workbook.
#   gui_session.sh <pellucor>
set -euo pipefail
pellucor=$1

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

work=$(mktemp -d /tmp/pellucor-session-XXXXXX)
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "gui_session: $*" >&2; exit 1; }

# xdotool's search among shown windows, tried again when a window went away while it looked:
# xdotool then ends with an X error (BadWindow), which would read as nothing found.
search() {
  local found
  for _ in 1 2 3 4 5; do
    if found=$(xdotool search --onlyvisible "$@" 2>"$work/search.err"); then
      printf '%s\n' "$found"
      return 0
    fi
    grep -q 'X Error' "$work/search.err" || return 1
  done
  return 1
}
# within SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds, for SECONDS at most.
within() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}
shows() { search --name "$1" >/dev/null; }
hides() { ! shows "$1"; }
# window TITLE [SECONDS]: waits (30 s unless told) for a shown window whose title matches, and
# prints its id.
window() {
  within "${2:-30}" shows "$1" && search --name "$1" | head -n 1
}
# Clicks at a point of a window, in pixels from its top-left corner.
click() {
  xdotool mousemove --window "$1" "$2" "$3" click 1
}
# Presses a "..." button and chooses a file in the open-file dialog, whose file name field has the
# focus when it opens. A click that reaches the window before it takes input is repeated.
choose() {
  local dialog=''
  for _ in 1 2 3 4 5; do
    click "$main" "$1" "$2"
    dialog=$(window '^打开文件$' 6) && break
  done
  [ -n "$dialog" ] || fail "no file dialog for $3"
  shift 2
  xdotool windowfocus --sync "$dialog"
  xdotool type --delay 10 "$1"
  xdotool key Return
  within 10 hides '^打开文件$' || fail "the file dialog did not close for $1"
}

# The program's windows on the screen: an open drop-down list adds its popup.
shown() {
  { search --pid "$app" || true; } | wc -l
}
more_shown() { [ "$(shown)" -gt "$1" ]; }
no_more_shown() { [ "$(shown)" -le "$1" ]; }
# Opens the drop-down list at a point of the main window and chooses the entry below the current
# one. The keys wait for the popup, and the next click for its close: a popup that opens late (a
# fresh system's first font lookup) would otherwise let the keys go astray and swallow the click.
choose_next() {
  local before
  before=$(shown)
  click "$main" "$1" "$2"
  within 10 more_shown "$before" || fail "no list opened at $1,$2"
  sleep 0.2  # the popup takes the keyboard just after it shows
  xdotool key Down Return
  within 10 no_more_shown "$before" || fail "the list at $1,$2 did not close"
}

# Workbooks are made from tab-separated text, every cell as text, and read back as such, by an
# office with a profile of its own in the session's folder.
convert() {
  soffice -env:UserInstallation="file://$work/profile" --headless --norestore "$@" --outdir "$work" >/dev/null 2>&1
}
workbook() {  # workbook NAME ROW...: NAME.xls, one argument per row
  local name=$1
  shift
  printf '%s\n' "$@" >"$work/$name.csv"
  convert --infilter="CSV:9,34,76,1,1/2/2/2" --convert-to xls "$work/$name.csv"
}
cells() {  # cells NAME: the first sheet of NAME.xls
  convert --convert-to 'csv:Text - txt - csv (StarCalc):9,34,76' "$work/$1.xls"
  cat "$work/$1.csv"
}

workbook parent $'A01\t000' $'A02\t111' $'A03\t222'
workbook child A01 B01 A03
cp -p "$work/parent.xls" "$work/parent.before"

# Pellucor is laid out in twips; at 96 dpi 15 twips make a pixel.
QT_QPA_PLATFORM=xcb "$pellucor" 2>"$work/stderr" &
app=$!
main=$(window '^Pellucor V2.1$') || fail "no main window"
xdotool windowfocus --sync "$main"

choose 344 26 "$work/parent.xls"   # "..." beside the parent path (Command2 at 5010, 240 twips)
choose 344 88 "$work/child.xls"    # "..." beside the child path (Command3 at 5010, 1170 twips)
choose_next 110 152      # the value column list (Combo5 at 1440, 2130 twips): B after A
click "$main" 346 268   # "开始" (Command1 at 4590, 3840 twips)

done_box=$(window '^完成$') || fail "no completion box"
xdotool windowfocus --sync "$done_box"
xdotool key Return

kill "$app"
wait "$app" 2>/dev/null || true
# The office of a program is the one whose pipe is named after the program's process.
office_pattern="pipe,name=pellucor_${app}_"
app=

expected=$'000\tA01\n\tB01\n222\tA03'
actual=$(cells child)
[ "$actual" = "$expected" ] || fail "the child workbook holds"$'\n'"$actual"$'\n'"instead of"$'\n'"$expected"
cmp -s "$work/parent.xls" "$work/parent.before" || fail "the parent workbook changed"
[ "$(stat -c %Y "$work/parent.xls")" = "$(stat -c %Y "$work/parent.before")" ] || fail "the parent workbook was rewritten"
for lock in "$work"/.~lock*; do [ -e "$lock" ] && fail "a lock file was left behind: $lock"; done
pgrep -f "$office_pattern" >/dev/null && fail "an office process was left running"
echo "gui_session: 1 passed, 0 failed"
