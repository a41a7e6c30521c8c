# The main updater dialog driven through its window, with real description and disk packages
# unpacked by unzip32.dll: one Wine session and display at a time.
find_library(SCUP_DIALOG_TEST_ZLIB NAMES libz.a z REQUIRED)
add_executable(scup_updater_dialog_tests ${CMAKE_CURRENT_LIST_DIR}/unit/UpdaterDialogTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unit/DialogDriver.cpp ${CMAKE_CURRENT_LIST_DIR}/unit/ZipWriter.cpp)
target_link_libraries(scup_updater_dialog_tests PRIVATE scup_test_support ${SCUP_DIALOG_TEST_ZLIB} comctl32)
add_dependencies(scup_updater_dialog_tests ScUpRes unzip32)
scup_register_tests(scup_updater_dialog_tests)
# show_dialog.exe shows the main dialog with sample updates, read from description packages that it
# writes itself.
target_sources(show_dialog PRIVATE ${CMAKE_CURRENT_LIST_DIR}/unit/ZipWriter.cpp)
target_link_libraries(show_dialog PRIVATE scup_app ${SCUP_DIALOG_TEST_ZLIB})
add_dependencies(show_dialog unzip32)

# A check from the main dialog through the real update thread against the real update server with
# its demo catalog, which run_with_server.sh starts around the Windows test.
add_executable(scup_updater_check_tests ${CMAKE_CURRENT_LIST_DIR}/server/UpdaterCheckEndToEndTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unit/SimulatedPC.cpp)
target_link_libraries(scup_updater_check_tests PRIVATE scup_test_support comctl32)
add_dependencies(scup_updater_check_tests ScUpRes unzip32 scup_infolib)
add_test(NAME updater_check.SoftwareView
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/server/run_with_server.sh ${CMAKE_BINARY_DIR}/../native/bin/updateserver
          ${CMAKE_BINARY_DIR}/../native/demo-catalog $<TARGET_FILE:scup_updater_check_tests>
          ${CMAKE_BINARY_DIR}/wineprefix "*SoftwareCheck*")
set_tests_properties(updater_check.SoftwareView PROPERTIES TIMEOUT 180 RESOURCE_LOCK wine_session)
