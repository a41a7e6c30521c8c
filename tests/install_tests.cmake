# Downloading and installing updates: the updater against a scripted update server over real
# HTTP, the installer command lines on the prefix's registry, and real stand-in installers and a
# real .msi run under Wine. They share the registry and the named events of the Wine session.
include(${CMAKE_CURRENT_SOURCE_DIR}/fixtures/installers/installers.cmake)

add_executable(scup_install_tests install/InstallFixture.cpp install/FileDownloadTest.cpp
  install/InstallCommandTest.cpp install/InstallRunTest.cpp unit/ScriptedHttpServer.cpp unit/ZipWriter.cpp)
target_include_directories(scup_install_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/unit)
find_library(SCUP_TEST_ZLIB NAMES libz.a z REQUIRED)
target_link_libraries(scup_install_tests PRIVATE scup_test_support ws2_32 ${SCUP_TEST_ZLIB} shell32)
target_compile_definitions(scup_install_tests PRIVATE
  SCUP_INSTALLERS_DIR="${SCUP_INSTALLERS_DIR}" SCUP_APPRES_DIR="${CMAKE_BINARY_DIR}/fixtures")
add_dependencies(scup_install_tests ScUpRes unzip32 scup_appres scup_sleeper record_args ${SCUP_STANDIN_TARGETS})
scup_register_tests(scup_install_tests TIMEOUT 180)

# The same against the real update server with the demo catalog (built by the native tools after
# this build, with the stand-ins above as its software packages).
add_executable(scup_install_server_tests install/InstallFixture.cpp install/InstallEndToEndTest.cpp
  unit/ScriptedHttpServer.cpp unit/ZipWriter.cpp)
target_include_directories(scup_install_server_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/unit)
target_link_libraries(scup_install_server_tests PRIVATE scup_test_support ws2_32 winhttp ${SCUP_TEST_ZLIB} shell32)
add_dependencies(scup_install_server_tests ScUpRes unzip32 scup_demo_packages)
add_test(NAME install.EndToEnd
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/server/run_with_server.sh ${CMAKE_BINARY_DIR}/../native/bin/updateserver
          ${CMAKE_BINARY_DIR}/../native/demo-catalog $<TARGET_FILE:scup_install_server_tests>
          ${CMAKE_BINARY_DIR}/wineprefix "*")
set_tests_properties(install.EndToEnd PROPERTIES TIMEOUT 180 RESOURCE_LOCK wine_session)

# The firmware branch against the printer simulator over the real serial path.
add_executable(scup_install_firmware_tests install/FirmwareInstallTest.cpp port/FirmwareTestSupport.cpp
  port/PortTestSupport.cpp unit/SimulatedPC.cpp unit/DialogDriver.cpp unit/ScriptedHttpServer.cpp unit/ZipWriter.cpp)
target_include_directories(scup_install_firmware_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
  ${CMAKE_CURRENT_SOURCE_DIR}/unit)
target_link_libraries(scup_install_firmware_tests PRIVATE scup_test_support winspool shell32 ws2_32
  ${SCUP_TEST_ZLIB})
add_dependencies(scup_install_firmware_tests ScUpRes scup_infolib scfilo unzip32)
add_test(NAME install.Firmware
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/port/run_with_printer.sh ${CMAKE_BINARY_DIR}/../native/bin/printersim
          $<TARGET_FILE:scup_install_firmware_tests> ${CMAKE_BINARY_DIR}/wineprefix "FirmwareInstall.*"
          --record-size 128 --credit 1300)
set_tests_properties(install.Firmware PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine_session)
