# Shared shell helpers for running the program under Wine. Source this file.

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}

# scup_wine_prefix DIR: makes DIR a ready Wine prefix (created once, guarded by a lock so that
# tests started in parallel do not race) and exports WINEPREFIX.
scup_wine_prefix() {
  local prefix=$1
  mkdir -p "$prefix" || return 1
  export WINEPREFIX=$(cd "$prefix" && pwd)
  [ -f "$WINEPREFIX/.scup-ready" ] && return 0
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.scup-ready" ]; then
      wineboot -i >/dev/null 2>&1 || exit 1
      wineserver -w
      scup_seed_fonts
      touch "$WINEPREFIX/.scup-ready"
    fi
  ) 9>"$WINEPREFIX/.scup-lock"
}

# Japanese and Arabic texts need fonts that hold their glyphs: link Wine's dialog and message
# fonts to the Noto fonts installed on the machine.
scup_seed_fonts() {
  local reg="$WINEPREFIX/scup-fonts.reg"
  local cjk="NotoSansCJK-Regular.ttc,Noto Sans CJK JP"
  local arab="NotoSansArabic-Regular.ttf,Noto Sans Arabic"
  cat >"$reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]
"Tahoma"=hex(7):$(scup_multi_sz_hex "$arab" "$cjk")
"MS Shell Dlg"=hex(7):$(scup_multi_sz_hex "$arab" "$cjk")
"MS Shell Dlg 2"=hex(7):$(scup_multi_sz_hex "$arab" "$cjk")
"Microsoft Sans Serif"=hex(7):$(scup_multi_sz_hex "$arab" "$cjk")

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]
"MS UI Gothic"="Noto Sans CJK JP"
REG
  wine regedit /S "$reg" >/dev/null 2>&1
  wineserver -w
}

# Prints the REG_MULTI_SZ hex form (UTF-16LE, comma separated) of the given texts.
scup_multi_sz_hex() {
  local s out=""
  for s in "$@"; do
    out+=$(printf '%s' "$s" | iconv -t UTF-16LE | od -An -v -tx1 | tr -s ' \n' ',' )
    out+="00,00,"
  done
  out+="00,00"
  echo "$out" | sed -e 's/^,//' -e 's/,,/,/g'
}

# scup_start_display: starts an Xvfb of this run's own when no display is set; sets SCUP_XVFB_PID.
scup_start_display() {
  SCUP_XVFB_PID=""
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    SCUP_XVFB_PID=$!
    local i
    for i in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    if kill -0 "$SCUP_XVFB_PID" 2>/dev/null; then
      export DISPLAY=":$n"
      return 0
    fi
  done
  echo "could not start Xvfb" >&2
  return 1
}

scup_stop_display() {
  [ -n "${SCUP_XVFB_PID:-}" ] && kill "$SCUP_XVFB_PID" 2>/dev/null
  SCUP_XVFB_PID=""
}
