# End-to-end scenarios: the real program on a clean demo PC (local update server, simulated
# printer), driven from outside with scdrive. They share one Wine prefix of their own.
file(GLOB e2e_scenarios ${CMAKE_CURRENT_SOURCE_DIR}/e2e/*.sh)
list(REMOVE_ITEM e2e_scenarios ${CMAKE_CURRENT_SOURCE_DIR}/e2e/lib.sh)
foreach(scenario ${e2e_scenarios})
  get_filename_component(name ${scenario} NAME_WE)
  add_test(NAME e2e.${name} COMMAND bash ${scenario} ${CMAKE_BINARY_DIR}/..)
  set_tests_properties(e2e.${name} PROPERTIES TIMEOUT 300 RESOURCE_LOCK e2e_prefix)
  # Thirty-one starts of the program, one per language.
  if(name STREQUAL "every_language")
    set_tests_properties(e2e.${name} PROPERTIES TIMEOUT 1200)
  endif()
  # Six runs of the program, two of them installing and one sending firmware.
  if(name STREQUAL "unattended" OR name STREQUAL "msi_install")
    set_tests_properties(e2e.${name} PROPERTIES TIMEOUT 900)
  endif()
  # Fourteen unattended runs on catalogs of its own and one in the dialogs (a minute and a half
  # on an idle machine).
  if(name STREQUAL "signatures")
    set_tests_properties(e2e.${name} PROPERTIES TIMEOUT 600)
  endif()
endforeach()
