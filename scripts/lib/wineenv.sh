# Shared shell helpers for running the program under Wine. Source this file.

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}

# Raised whenever scup_seed_fonts changes, so that prefixes made before are seeded again.
SCUP_FONTS_VERSION=5

# scup_wine_prefix DIR: makes DIR a ready Wine prefix (created once, guarded by a lock so that
# tests started in parallel do not race) and exports WINEPREFIX.
scup_wine_prefix() {
  local prefix=$1
  mkdir -p "$prefix" || return 1
  export WINEPREFIX=$(cd "$prefix" && pwd)
  local fonts_marker="$WINEPREFIX/.scup-fonts-$SCUP_FONTS_VERSION"
  [ -f "$WINEPREFIX/.scup-ready" ] && [ -f "$fonts_marker" ] && return 0
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.scup-ready" ]; then
      wineboot -i >/dev/null 2>&1 || exit 1
      wineserver -w
      scup_seed_fonts || exit 1
      wineserver -w
      touch "$fonts_marker" "$WINEPREFIX/.scup-ready"
    elif [ ! -f "$fonts_marker" ]; then
      scup_seed_fonts || exit 1
      touch "$fonts_marker"
    fi
  ) 9>"$WINEPREFIX/.scup-lock"
}

# scup_wine_prefix_copy TEMPLATE DIR: DIR made anew as a copy of the ready prefix TEMPLATE (made
# first when it is not ready; no program ever runs in it). Making a prefix takes a minute of both
# cores, a copy a few seconds, so runs side by side each get a clean prefix of their own. The copy
# is made beside DIR and renamed, so that DIR is never a half-copied prefix.
scup_wine_prefix_copy() {
  local template=$1 dir=$2
  (scup_wine_prefix "$template" && wineserver -w) || return 1
  rm -rf "$dir" "$dir.copying" && mkdir -p "$(dirname "$dir")" &&
    cp -a "$template" "$dir.copying" && rm -f "$dir.copying/.scup-lock" && mv "$dir.copying" "$dir"
}

# Every user-interface language needs faces that hold its glyphs. Wine draws dialogs and message
# boxes in "Tahoma" ("MS Shell Dlg" is substituted by it); Wine's own Tahoma (fonts-wine) holds
# Latin, Cyrillic and Arabic. What Wine 8 does, and what follows from it:
#  - Text with right-to-left characters is shaped by Uniscribe on glyph indices, which never fall
#    back to a linked font: Arabic and Hebrew only show when the chosen face itself holds them (and
#    Latin, for the Latin words in the same line). Arabic is in Tahoma; the Hebrew copy asks for
#    "Microsoft Sans Serif" (the face Windows draws its Hebrew dialogs in), which is DejaVu Sans
#    Condensed here: it has Hebrew and Latin. A missing Tahoma is replaced by that face too.
#  - Left-to-right text does fall back to linked fonts; the links are looked up by the face that
#    was chosen, so both Tahoma and its replacement link to Noto Sans CJK (Chinese, Japanese,
#    Korean), Noto Sans Thai, and DejaVu Sans (the Vietnamese letters Tahoma lacks).
#  - Links on a name with no font make that name resolve to its first linked font, and links on a
#    substituted name ("MS Shell Dlg") are ignored: such names get none, and the ones an earlier
#    seeding wrote are removed.
#  - Thai is shaped by Uniscribe as well and gets no linked font either: the Thai copy asks for
#    "Leelawadee UI" (the face Windows draws Thai dialogs in), which is Loma here (Thai and Latin).
#  - The East Asian templates ask for the dialog faces of their Windows ("MS UI Gothic", "SimSun",
#    "PMingLiU", "Gulim"): each is the Noto Sans CJK face of its language, which holds Latin too.
# Wine does not look into the folder of its own fonts (fonts-wine) here, so the title bar's buttons,
# drawn with "Marlett", showed the letters "0 1 r": Marlett goes into the prefix's font folder.
# Wine rewrites the Tahoma link when the prefix is next used under another ANSI code page, so
# scripts that need these fonts run Wine under one fixed locale.
scup_seed_fonts() {
  local links=("NotoSansCJK-Regular.ttc,Noto Sans CJK JP" "NotoSansThai-Regular.ttf,Noto Sans Thai"
               "DejaVuSans.ttf,DejaVu Sans")
  local rtl_latin="DejaVu Sans Condensed"
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts" && cp /usr/share/wine/fonts/marlett.ttf "$fonts/" || return 1
  scup_import_reg fonts <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]
"Tahoma"=hex(7):$(scup_multi_sz_hex "${links[@]}")
"$rtl_latin"=hex(7):$(scup_multi_sz_hex "${links[@]}")
"MS Shell Dlg"=-
"MS Shell Dlg 2"=-
"Microsoft Sans Serif"=-

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]
"MS UI Gothic"="Noto Sans CJK JP"
"SimSun"="Noto Sans CJK SC"
"PMingLiU"="Noto Sans CJK TC"
"Gulim"="Noto Sans CJK KR"
"Microsoft Sans Serif"="$rtl_latin"
"Leelawadee UI"="Loma"

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"Tahoma"="$rtl_latin"
REG
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

# scup_import_reg NAME: imports the .reg text (version 5 format) read from stdin into the prefix
# with one regedit start. regedit reads hex(2) and hex(7) data of a file without a byte order
# mark as ANSI bytes, which garbles UTF-16 hex, so the file is handed over as UTF-16LE with a BOM,
# the form Windows' own regedit writes.
scup_import_reg() {
  local reg="$WINEPREFIX/scup-$1.reg"
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$reg" || return 1
  wine regedit /S "$reg" >/dev/null 2>&1
}

# scup_seed_printer NAME [DRIVER] [PORT] [MODELID] [ATTRIBUTES]: registers a printer queue in the prefix and its
# driver's key as the driver package writes it (32-bit view), so that the program finds a printer
# of ours without a real driver being installed. The driver information library answers MODELID.
scup_seed_printer() {
  local name=$1 driver=${2:-Corvane SC-200} port=${3:-COM5:} model=${4:-00002107} attributes=${5:-00000000}
  scup_import_reg printer <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers\\$name]
"Name"="$name"
"Printer Driver"="$driver"
"Port"="$port"
"Attributes"=dword:$attributes

[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Corvane Industries, Ltd.\\Scribo\\Driver\\3.0\\$driver]
"Info Dll"="CVSCINF.dll"
"EnableUpdater"=dword:00000001
"ModelId"=dword:$model
REG
}

# scup_set_default_lcid LCID: the language the program shows its windows in (decimal, e.g. 1041).
# The language a user chose at the last run is kept in the configuration file and wins over this
# setting, so that file's default selection is dropped with it.
scup_set_default_lcid() {
  find "$WINEPREFIX/drive_c/users" -path '*Corvane*' -name ScUpdater.config -delete 2>/dev/null
  scup_import_reg lcid <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Corvane Industries, Ltd.\\ScUpdater\\Settings]
"DefaultLCID"="$1"
REG
}

# scup_draw_own_frames: Xvfb runs no window manager, so windows would show without caption and
# borders, and the X window would be smaller than the window's rectangle. Wine then draws the
# frames itself, and a screenshot cropped to the window rectangle shows the whole window.
scup_draw_own_frames() {
  scup_import_reg frames <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Decorated"="N"
REG
}

# scup_unmanaged_windows: without a window manager Wine waits for one on every window it shows
# or closes (about 2 s for each modal dialog). Test prefixes let Wine manage the windows itself.
scup_unmanaged_windows() {
  scup_import_reg unmanaged <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"
REG
}

# scup_start_display: starts an Xvfb of this run's own when no display is set; sets SCUP_XVFB_PID.
# Xvfb picks a free display number itself (-displayfd) and reports it once it accepts clients, so
# runs started at the same time never end up on one another's display.
scup_start_display() {
  SCUP_XVFB_PID=""
  [ -n "${DISPLAY:-}" ] && return 0
  local report
  report=$(mktemp) || return 1
  # -noreset: an X server resets when its last client leaves, and a client that connects during the
  # reset loses its connection; Wine then ends that process with status 1 and, with WINEDEBUG=-all,
  # without a word. Between two tests the display often has no client at all.
  Xvfb -displayfd 3 -screen 0 "${SCUP_XVFB_SCREEN:-1024x768x24}" -nolisten tcp -noreset 3>"$report" >/dev/null 2>&1 &
  SCUP_XVFB_PID=$!
  local i n=""
  for i in $(seq 1 100); do
    n=$(head -n1 "$report")
    [ -n "$n" ] && break
    kill -0 "$SCUP_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$report"
  if [ -z "$n" ]; then
    scup_stop_display
    echo "could not start Xvfb" >&2
    return 1
  fi
  export DISPLAY=":$n"
}

# scup_stop_display: stops the Xvfb that scup_start_display started (none when a display was set)
# and waits until it has gone.
scup_stop_display() {
  local pid=${SCUP_XVFB_PID:-}
  SCUP_XVFB_PID=""
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || true
  local i
  for i in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  # The display was unset before scup_start_display set it; it is gone now.
  unset DISPLAY
  return 0
}

# scup_hold_wine_session: the prefix's wineserver stays up between programs until the session is
# ended. A server left to exit a few seconds after its last program can do so just as the next one
# connects, which then dies with "wine client error:0: recvmsg: Connection reset by peer"; a script
# that runs many programs one after another (and waits between them) holds its session. Its own
# output (an object dump when it is ended) goes to a file in the prefix.
scup_hold_wine_session() {
  wineserver -p >"$WINEPREFIX/wineserver-session.log" 2>&1
  SCUP_WINE_HELD=$WINEPREFIX
}

# scup_kill_wine_programs: ends every program of the prefix at once; a held session is held again.
scup_kill_wine_programs() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  [ "${SCUP_WINE_HELD:-}" = "$WINEPREFIX" ] && scup_hold_wine_session
  return 0
}

# scup_end_wine_session [SECONDS]: lets the prefix's Wine session end by itself (wineserver exits a
# few seconds after its last program), else ends it, so that nothing of it is left running. A held
# session is ended at once: its caller has seen its own programs end.
scup_end_wine_session() {
  if [ "${SCUP_WINE_HELD:-}" = "$WINEPREFIX" ]; then
    SCUP_WINE_HELD=""
    scup_kill_wine_programs
    return 0
  fi
  timeout "${1:-20}" wineserver -w 2>/dev/null || wineserver -k 2>/dev/null
  return 0
}
