# Resource libraries of the maker's applications as their installers place them: one per
# language, each holding only a version resource with that language's translation entry.
set(SCUP_APPRES_DLLS)
foreach(lang 0409 0411 0407 0401)
  set(obj ${CMAKE_CURRENT_BINARY_DIR}/appres_${lang}.o)
  set(dll ${CMAKE_BINARY_DIR}/fixtures/appres_${lang}.dll)
  add_custom_command(
    OUTPUT ${dll}
    COMMAND ${CMAKE_RC_COMPILER} -DAPP_LANG=0x${lang}
            ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/appres/appres.rc -O coff -o ${obj}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/fixtures
    COMMAND ${CMAKE_C_COMPILER} -shared -nostdlib -Wl,--entry=0 -o ${dll} ${obj}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/appres/appres.rc
    COMMENT "Application resource library ${lang}")
  list(APPEND SCUP_APPRES_DLLS ${dll})
endforeach()
add_custom_target(scup_appres ALL DEPENDS ${SCUP_APPRES_DLLS})
