# Authenticode signatures on what the program runs: the installers, the .msi packages and the updater
# itself. A test or demo build signs with a code-signing certificate of the test authority (made here,
# shared with the native build, whose https deployment uses the same authority); a release build
# names the folder of the maker's own certificate and key.
find_program(SCUP_OSSLSIGNCODE osslsigncode REQUIRED)
get_filename_component(scup_default_ca_dir ${CMAKE_BINARY_DIR}/../native/test-ca ABSOLUTE)
set(SCUP_CODESIGN_DIR ${scup_default_ca_dir} CACHE PATH "Folder of codesign.pem and codesign.key")
if(NOT EXISTS ${SCUP_CODESIGN_DIR}/codesign.pem)
  execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/tools/updateserver/deploy/make-test-ca.sh ${SCUP_CODESIGN_DIR}
                  RESULT_VARIABLE scup_ca_made)
  if(NOT scup_ca_made EQUAL 0)
    message(FATAL_ERROR "the test authority could not be made in ${SCUP_CODESIGN_DIR}")
  endif()
endif()

# The sign command for IN into OUT with the certificate pair NAME of the folder (codesign by default).
function(scup_sign_commands out_var in out)
  set(signer codesign)
  if(ARGC GREATER 3)
    set(signer ${ARGV3})
  endif()
  # osslsigncode writes no file that is already there.
  set(${out_var}
      COMMAND ${CMAKE_COMMAND} -E rm -f ${out}.signing
      COMMAND ${SCUP_OSSLSIGNCODE} sign -certs ${SCUP_CODESIGN_DIR}/${signer}.pem
              -key ${SCUP_CODESIGN_DIR}/${signer}.key -h sha256 -in ${in} -out ${out}.signing
      COMMAND ${CMAKE_COMMAND} -E rename ${out}.signing ${out}
      PARENT_SCOPE)
endfunction()

# Signs an executable target where it is linked.
function(scup_sign_target target)
  scup_sign_commands(commands $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD ${commands} COMMENT "Authenticode: ${target}" VERBATIM)
endfunction()
