# Suite of unzip32.dll and of the program's package unpacking. The tests make their own archives,
# good and hostile; three more are made at build time by Debian's zip, to check against archives of
# a real zip tool: one with Zip64 records forced on (-fz), which zip writes then even for small files.
find_library(SCUP_TEST_ZLIB NAMES libz.a z REQUIRED)
add_executable(scup_unzip_tests unit/UnzipLibraryTest.cpp unit/PackageFilesTest.cpp unit/ZipWriter.cpp)
target_link_libraries(scup_unzip_tests PRIVATE scup_test_support ${SCUP_TEST_ZLIB} oleaut32)
add_dependencies(scup_unzip_tests unzip32 ScUpRes)

set(unzip_fixtures ${CMAKE_BINARY_DIR}/fixtures/unzip)
file(MAKE_DIRECTORY ${unzip_fixtures}/src/images)
file(WRITE ${unzip_fixtures}/src/data.xml
  "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ScriboUpdater><Title>Firmware</Title><Version>1.2</Version></ScriboUpdater>\n")
file(WRITE ${unzip_fixtures}/src/data_DEU.xml
  "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ScriboUpdater><Title>Gerätesoftware für Drucker</Title></ScriboUpdater>\n")
string(REPEAT "line of text that repeats, so that it packs well\n" 3000 unzip_big)
file(WRITE ${unzip_fixtures}/src/big.txt "${unzip_big}")
string(REPEAT "PD3 firmware record 0123456789ABCDEF " 500 unzip_firm)
file(WRITE ${unzip_fixtures}/src/firm.pd3 "${unzip_firm}")
file(WRITE ${unzip_fixtures}/src/images/thumb.bmp "BM thumbnail stand-in\n")

find_program(SCUP_ZIP zip)
if(SCUP_ZIP)
  add_custom_command(
    OUTPUT ${unzip_fixtures}/tool.zip ${unzip_fixtures}/stream.zip ${unzip_fixtures}/tool64.zip
    COMMAND ${CMAKE_COMMAND} -E rm -f ${unzip_fixtures}/tool.zip ${unzip_fixtures}/stream.zip
      ${unzip_fixtures}/tool64.zip
    COMMAND ${SCUP_ZIP} -q -r -X -n .txt ../tool.zip .
    COMMAND ${SCUP_ZIP} -q -r -X -fz -n .txt ../tool64.zip .
    COMMAND sh -c "\"$0\" -q -r -X - . | cat > ../stream.zip" ${SCUP_ZIP}
    WORKING_DIRECTORY ${unzip_fixtures}/src
    DEPENDS ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Zip archives for the unzip tests"
    VERBATIM)
  add_custom_target(scup_unzip_fixtures
    DEPENDS ${unzip_fixtures}/tool.zip ${unzip_fixtures}/stream.zip ${unzip_fixtures}/tool64.zip)
  add_dependencies(scup_unzip_tests scup_unzip_fixtures)
else()
  message(WARNING "zip not found (scripts/setup.sh installs it): the tests of zip-made archives will fail")
endif()

scup_register_tests(scup_unzip_tests SHARES_NO_SESSION)
