# The HTTP connection against a scripted server on loopback sockets (as the update server or as a
# proxy). It uses the program's named events and shows the credentials dialog, so it runs alone.
add_executable(scup_http_tests unit/HttpConnectionTest.cpp unit/ServerDataTest.cpp unit/ScriptedHttpServer.cpp)
target_link_libraries(scup_http_tests PRIVATE scup_test_support ws2_32)
add_dependencies(scup_http_tests ScUpRes)
scup_register_tests(scup_http_tests)
