# The port library (scfilo.dll) against the printer simulator of the native tools, over the real
# serial path: run_with_printer.sh starts the simulator on a COM port of the tests' prefix, seeds
# printer queues for it and runs one group of the tests. The simulator is built in the native
# build folder beside this one.
add_executable(scfilo_tests
  port/PortTestSupport.cpp port/PortNameTest.cpp port/ExportsTest.cpp port/PrinterExchangeTest.cpp
  port/LineFaultTest.cpp)
target_link_libraries(scfilo_tests PRIVATE scfilo_import scfilo_core gtest_main)
add_dependencies(scfilo_tests scfilo)

add_test(NAME port.names COMMAND scfilo_tests --gtest_filter=PortNames.*:LineRate.*)
set_tests_properties(port.names PROPERTIES TIMEOUT 60)

set(port_printersim ${CMAKE_BINARY_DIR}/../native/bin/printersim)
set(port_runner ${CMAKE_CURRENT_SOURCE_DIR}/port/run_with_printer.sh)

# port_test(NAME FILTER [printersim options...])
function(port_test name filter)
  add_test(NAME port.${name}
    COMMAND bash ${port_runner} ${port_printersim} $<TARGET_FILE:scfilo_tests> ${CMAKE_BINARY_DIR}/wineprefix
            ${filter} ${ARGN})
  # They seed and remove printer queues in the shared prefix and hold its COM11.
  set_tests_properties(port.${name} PROPERTIES TIMEOUT 180 RESOURCE_LOCK wine_session)
endfunction()

port_test(printer128 "Exports.*:NoPort.*:LongRecordPrinter.*" --record-size 128 --credit 1300)
port_test(printer64 "ShortRecordPrinter.*" --record-size 64)
port_test(split_status "SplitStatus.*" --split 10,10,12 --split-delay 150)
port_test(muted "MutedPrinter.*" --mute 2)
port_test(dropped_line "DroppedLine.*" --credit 1300 --drop-after 700)
port_test(slow_line "SlowLine.*" --baud 9600 --credit 1300)
