# Benchmarks: programs that print figures (run by the scripts beside them, not by ctest).
add_executable(download_bench bench/DownloadBench.cpp)
target_link_libraries(download_bench PRIVATE scup_app psapi)
target_link_options(download_bench PRIVATE -municode)
add_dependencies(download_bench ScUpRes)
# The plainest WinHTTP read loop, the ceiling the program's download is measured against: it links
# none of the program's code.
add_executable(bare_download_bench bench/BareDownloadBench.cpp)
target_include_directories(bare_download_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(bare_download_bench PRIVATE winhttp psapi)
target_link_options(bare_download_bench PRIVATE -municode)
# The time the signature check adds to a check of 40 entries (in-process, no network).
add_executable(verify_bench bench/VerifyBench.cpp unit/TestSigner.cpp)
target_include_directories(verify_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(verify_bench PRIVATE scup_app bcrypt crypt32)
target_link_options(verify_bench PRIVATE -municode)
