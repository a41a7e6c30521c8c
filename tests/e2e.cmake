# End-to-end scenarios: the real program on a clean demo PC (local update server, simulated
# printer), driven from outside with scdrive. Each runs in a Wine prefix and on a display of its
# own (an empty DISPLAY makes it start one), so they run side by side.
#
# Order: after the tests of the shared Wine session (see SCUP_SESSION_TEST_COST), the longest
# scenario first; the short tests that share nothing come last.
function(scup_add_scenario name scenario cost timeout)
  add_test(NAME e2e.${name} COMMAND bash ${scenario} ${CMAKE_BINARY_DIR}/.. ${ARGN})
  set_tests_properties(e2e.${name} PROPERTIES TIMEOUT ${timeout} COST ${cost} ENVIRONMENT DISPLAY=)
endfunction()

file(GLOB e2e_scenarios ${CMAKE_CURRENT_SOURCE_DIR}/e2e/*.sh)
list(REMOVE_ITEM e2e_scenarios ${CMAKE_CURRENT_SOURCE_DIR}/e2e/lib.sh)
foreach(scenario ${e2e_scenarios})
  get_filename_component(name ${scenario} NAME_WE)
  if(name STREQUAL "every_language")
    # Thirty-one starts of the program, one per language, in three parts of about six minutes.
    foreach(part 1 2 3)
      scup_add_scenario(every_language.${part} ${scenario} 300 900 --part ${part}/3)
    endforeach()
  elseif(name STREQUAL "unattended" OR name STREQUAL "msi_install")
    # Six runs of the program, two of them installing and one sending firmware.
    scup_add_scenario(${name} ${scenario} 100 900)
  elseif(name STREQUAL "signatures")
    # Fourteen unattended runs on catalogs of its own and one in the dialogs (a minute and a half
    # on an idle machine).
    scup_add_scenario(${name} ${scenario} 200 600)
  else()
    scup_add_scenario(${name} ${scenario} 100 300)
  endif()
endforeach()
