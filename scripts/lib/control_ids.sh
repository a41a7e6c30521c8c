# Sourced by the scripts that drive the program's windows: every identifier the resource headers
# define as a plain number (controls, menu commands, dialogs, strings) becomes a read-only shell
# variable of the same name, IDC_UPD_REFRESH=1170 and so on. The numbers are read from the headers
# themselves, so a script never holds a copy that could drift from the program.

[ -n "${SCUP_CONTROL_IDS_READ:-}" ] && return 0
readonly SCUP_CONTROL_IDS_READ=1
scup_control_ids_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
eval "$(awk '$1 == "#define" && $2 ~ /^ID[A-Z]*_[A-Z0-9_]+$/ && $3 ~ /^[0-9]+$/ && !seen[$2]++ {
  print "readonly " $2 "=" $3 }' "$scup_control_ids_root"/res/*.h)"
unset scup_control_ids_root
