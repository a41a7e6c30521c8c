# The progress and status dialogs, and the firmware transfer.
#
# scup_progress_tests drives the dialogs as real windows: one Wine session and display at a time.
add_executable(scup_progress_tests ${CMAKE_CURRENT_SOURCE_DIR}/unit/ProgressDialogTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/unit/DialogDriver.cpp)
target_link_libraries(scup_progress_tests PRIVATE scup_test_support)
add_dependencies(scup_progress_tests ScUpRes)
scup_register_tests(scup_progress_tests)

# scup_firmware_tests: the transfer against the printer simulator of the native tools, over the
# real serial path (port/run_with_printer.sh), with its dialogs driven as real windows. Each
# group gets a simulator of its own, started with the behaviour that the group's suites name.
add_executable(scup_firmware_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/port/FirmwareTestSupport.cpp ${CMAKE_CURRENT_SOURCE_DIR}/port/FirmwareTransferTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/port/FirmwareFaultTest.cpp ${CMAKE_CURRENT_SOURCE_DIR}/port/StoredFileQueryTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/port/ConnectedPrintersTest.cpp ${CMAKE_CURRENT_SOURCE_DIR}/port/PortTestSupport.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/unit/SimulatedPC.cpp ${CMAKE_CURRENT_SOURCE_DIR}/unit/DialogDriver.cpp)
target_include_directories(scup_firmware_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(scup_firmware_tests PRIVATE scup_test_support winspool shell32)
add_dependencies(scup_firmware_tests ScUpRes scup_infolib scfilo)

set(firmware_printersim ${CMAKE_BINARY_DIR}/../native/bin/printersim)
set(firmware_runner ${CMAKE_CURRENT_SOURCE_DIR}/port/run_with_printer.sh)

# firmware_test(NAME FILTER [printersim options...])
function(firmware_test name filter)
  add_test(NAME firmware.${name}
    COMMAND bash ${firmware_runner} ${firmware_printersim} $<TARGET_FILE:scup_firmware_tests>
            ${CMAKE_BINARY_DIR}/wineprefix ${filter} ${ARGN})
  set_tests_properties(firmware.${name} PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine_session)
endfunction()

firmware_test(transfer128 "Transfer128.*:LowBattery.*:BusyPrinter.*" --record-size 128 --credit 1300)
firmware_test(files "FileChecks.*" --record-size 128 --credit 1300)
firmware_test(stored128 "StoredFiles128.*" --record-size 128)
firmware_test(transfer64 "Transfer64.*:StoredFiles64.*" --record-size 64 --credit 1300)
firmware_test(split_status "SplitStatusTransfer.*" --split 10,10,12 --split-delay 150 --credit 1300)
firmware_test(refusing "RefusingPrinter.*" --refuse)
firmware_test(silent "SilentPrinter.*" --mute 1)
firmware_test(slow_to_store "SlowToStorePrinter.*" --finish-delay 6000)
firmware_test(slow_to_store_long "SlowToStoreALongFile.*" --finish-delay 6000)
firmware_test(slow_mode "SlowModePrinter.*" --mode-delay 3000)
firmware_test(refusing_midway "RefusingMidway.*" --credit 1300 --refuse-after 1300)
firmware_test(varying "VaryingPrinter.*" --record-size 128 --credit 300-5000 --vary-delays --seed 7)
firmware_test(cancel "CancelledTransfer.*" --baud 19200 --credit 1300)
firmware_test(old_version "OldVersionPrinter.*" --record-size 128 --credit 1300 --keep-old-version)

add_test(NAME firmware.two_printers
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/port/with_second_printer.sh
          "--baud 115200 --credit 200000 --drop-after 700" ${firmware_printersim}
          $<TARGET_FILE:scup_firmware_tests> ${CMAKE_BINARY_DIR}/wineprefix "TwoPrinters.*")
set_tests_properties(firmware.two_printers PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine_session)

# The spooler's side needs no printer on the line.
add_test(NAME firmware.connected_printers COMMAND scup_firmware_tests
         --gtest_filter=ConnectedPrinters.*:TransferPorts.*)
set_tests_properties(firmware.connected_printers PROPERTIES TIMEOUT 120 RESOURCE_LOCK wine_session
                     WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The benchmark of the transfer's throughput (tests/bench/firmware_bench.sh runs it); not a test.
add_executable(firmware_bench ${CMAKE_CURRENT_SOURCE_DIR}/bench/FirmwareBench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/port/FirmwareTestSupport.cpp ${CMAKE_CURRENT_SOURCE_DIR}/port/PortTestSupport.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/unit/SimulatedPC.cpp ${CMAKE_CURRENT_SOURCE_DIR}/unit/DialogDriver.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/unit/TestSupport.cpp)
target_include_directories(firmware_bench PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(firmware_bench PRIVATE scup_app gtest winspool shell32)
target_link_options(firmware_bench PRIVATE -municode)
add_dependencies(firmware_bench ScUpRes scup_infolib scfilo)
