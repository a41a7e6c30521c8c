# The server exchanges against the real update server and real proxies (tinyproxy), both native
# programs that run_with_server.sh starts around the Windows test.
add_executable(scup_exchange_tests server/ExchangeEndToEndTest.cpp)
target_link_libraries(scup_exchange_tests PRIVATE scup_test_support)
add_dependencies(scup_exchange_tests ScUpRes)
set(exchange_runner ${CMAKE_CURRENT_SOURCE_DIR}/server/run_with_server.sh)
set(exchange_server ${CMAKE_BINARY_DIR}/../native/bin/updateserver)
set(exchange_catalog ${CMAKE_BINARY_DIR}/../native/demo-catalog)
foreach(group Direct OpenProxy AuthProxy)
  if(group STREQUAL "Direct")
    set(filter "*DirectLine*")
  elseif(group STREQUAL "OpenProxy")
    set(filter "*OpenProxy*")
  else()
    set(filter "*Credentials*")
  endif()
  add_test(NAME exchange.${group}
    COMMAND bash ${exchange_runner} ${exchange_server} ${exchange_catalog} $<TARGET_FILE:scup_exchange_tests>
            ${CMAKE_BINARY_DIR}/wineprefix ${filter})
  set_tests_properties(exchange.${group} PROPERTIES TIMEOUT 180 RESOURCE_LOCK wine_session)
endforeach()
