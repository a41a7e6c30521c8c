# Benchmarks: programs that print figures (run by the scripts beside them, not by ctest).
add_executable(download_bench bench/DownloadBench.cpp)
target_link_libraries(download_bench PRIVATE scup_app psapi)
target_link_options(download_bench PRIVATE -municode)
add_dependencies(download_bench ScUpRes)
