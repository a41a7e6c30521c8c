# The self-upgrade: its pieces, the update thread's side with the real confirmation dialog and a
# really started staging copy, and the staging copy's install. They use the program's named events,
# windows, the download folder and started processes: one Wine session at a time.
add_executable(scup_upgrade_tests ${CMAKE_CURRENT_LIST_DIR}/upgrade/UpgradePiecesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/upgrade/RunUpgraderTest.cpp ${CMAKE_CURRENT_LIST_DIR}/upgrade/FinishSelfUpdateTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unit/DialogDriver.cpp ${CMAKE_CURRENT_LIST_DIR}/unit/ZipWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/upgrade/UpgradeTests.rc)
target_include_directories(scup_upgrade_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/unit)
find_library(SCUP_UPGRADE_ZLIB NAMES libz.a z REQUIRED)
target_link_libraries(scup_upgrade_tests PRIVATE scup_test_support ${SCUP_UPGRADE_ZLIB})
add_dependencies(scup_upgrade_tests ScUpRes unzip32 record_args trustca ScUpdater ScUpdaterPrevious)
# The version the build's program carries, as its version resource gives it.
target_compile_definitions(scup_upgrade_tests PRIVATE SCUP_PROGRAM_FILE_VERSION=L"${PROJECT_VERSION}.0")
scup_register_tests(scup_upgrade_tests)

# The real program upgraded end to end against the real update server (native programs that
# run_upgrade_e2e.sh builds the catalog for and starts around the Windows test).
add_executable(scup_upgrade_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/upgrade/SelfUpgradeEndToEndTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unit/SimulatedPC.cpp)
target_link_libraries(scup_upgrade_e2e_tests PRIVATE scup_test_support winhttp)
add_dependencies(scup_upgrade_e2e_tests ScUpdater ScUpdaterPrevious ScUpRes unzip32 scup_infolib)
set(upgrade_native_bin ${CMAKE_BINARY_DIR}/../native/bin)
foreach(group Accepted Refused Declined)
  if(group STREQUAL "Accepted")
    set(filter "*AcceptedUpgrade*")
  elseif(group STREQUAL "Refused")
    set(filter "*IsRefused*")
  else()
    set(filter "*Declining*")
  endif()
  add_test(NAME upgrade.e2e.${group}
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/upgrade/run_upgrade_e2e.sh ${upgrade_native_bin}/updateserver
            ${upgrade_native_bin}/mkcatalog ${CMAKE_BINARY_DIR}/bin $<TARGET_FILE:scup_upgrade_e2e_tests>
            ${CMAKE_BINARY_DIR}/wineprefix ${filter} ${SCUP_CODESIGN_DIR})
  set_tests_properties(upgrade.e2e.${group} PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine_session)
endforeach()
