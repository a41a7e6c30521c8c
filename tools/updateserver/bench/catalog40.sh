# Sourced by the benchmarks: a catalog source of 40 entries, two printer models with three firmware
# packages and four family-wide applications, each in four regions, with random package contents.
#   scup_write_catalog40 SRC ROOT UPDATER_VERSION UPDATER_DISPLAY REGION...
# writes SRC/catalog-src.xml and the packages it names (ROOT: the repository, for the thumbnail).
scup_write_catalog40() {
  local src=$1 root=$2 version=$3 display=$4 model id region
  shift 4
  local regions=("$@")
  mkdir -p "$src/images" "$src/packages/firmware" "$src/packages/software" "$src/packages/updater"
  cp "$root/tests/fixtures/catalog-src/images/sc-200.png" "$src/images/"
  {
    echo '<CatalogSource>'
    echo "  <Updater version=\"$version\" display=\"$display\"><File source=\"updater/ScUpdater.zip\"/></Updater>"
    for model in SC-200 SC-300; do
      echo "  <Model name=\"$model\" driver=\"Corvane $model\">"
      for id in FP-MAIN FP-FONTS FC-TMPL01; do
        echo "    <Package id=\"$id\" category=\"FIRM\" version=\"2.10\" thumbnail=\"images/sc-200.png\">"
        for region in "${regions[@]}"; do
          echo "      <Spec value=\"$region\" source=\"firmware/${model}_${id}_$region.pd3\"/>"
          head -c 65536 /dev/urandom >"$src/packages/firmware/${model}_${id}_$region.pd3"
        done
        echo "      <Text lang=\"ENG\" title=\"$model $id 2.10\">Faster printing of long labels.</Text>"
        echo '    </Package>'
      done
      echo '  </Model>'
    done
    echo '  <Software>'
    for id in PP-SCEDIT52 PP-CONTACT13 PC-TMPLBIZ PP-FONTPACK; do
      echo "    <Package id=\"$id\" category=\"PCS\" version=\"5.2.1\" thumbnail=\"images/sc-200.png\">"
      for region in "${regions[@]}"; do
        echo "      <Spec value=\"$region\" source=\"software/${id}_$region.exe\"/>"
        head -c 262144 /dev/urandom >"$src/packages/software/${id}_$region.exe"
      done
      echo "      <Text lang=\"ENG\" title=\"$id 5.2.1\">Opens older label files faster.</Text>"
      echo '    </Package>'
    done
    echo '  </Software>'
    echo '</CatalogSource>'
  } >"$src/catalog-src.xml"
  head -c 1048576 /dev/urandom >"$src/packages/updater/ScUpdater.zip"
}
