# The user-interface languages of ScUpdater: the code its resource copy is named by (res/lang/CODE.rc)
# and the Windows language identifier (LANGID). Source this file.
SCUP_LANGUAGES=(
  "ar 1025" "bg 1026" "zh-TW 1028" "cs 1029" "da 1030" "de 1031" "en 1033" "es 1034" "fi 1035" "fr 1036"
  "he 1037" "hu 1038" "it 1040" "ja 1041" "ko 1042" "nl 1043" "nb 1044" "pl 1045" "pt-BR 1046" "ro 1048"
  "ru 1049" "hr 1050" "sk 1051" "sv 1053" "th 1054" "tr 1055" "sl 1060" "vi 1066" "zh-CN 2052"
  "en-GB 2057" "pt-PT 2070"
)

# scup_language_id CODE|LANGID: prints the decimal LANGID. A code is a language's code above (in
# any case), or one of the usual other names of it; any decimal LANGID is taken as it is (the
# program shows a language it has no copy of in English). Fails for anything else.
scup_language_id() {
  local wanted=${1,,} entry code id
  case $wanted in
    en-us) wanted=en ;;
    zh | zh-hans | zh-cn) wanted=zh-cn ;;
    zh-hant | zh-tw) wanted=zh-tw ;;
    pt) wanted=pt-pt ;;
    no | nn) wanted=nb ;;
    iw) wanted=he ;;
  esac
  for entry in "${SCUP_LANGUAGES[@]}"; do
    read -r code id <<<"$entry"
    [ "${code,,}" = "$wanted" ] && { echo "$id"; return 0; }
  done
  case $wanted in
    "" | *[!0-9]*) return 1 ;;
    *) echo "$((10#$wanted))" ;;
  esac
}

# scup_language_code LANGID: prints the code of a language that has its own copy; fails otherwise.
scup_language_code() {
  local entry code id
  for entry in "${SCUP_LANGUAGES[@]}"; do
    read -r code id <<<"$entry"
    [ "$id" = "$1" ] && { echo "$code"; return 0; }
  done
  return 1
}
