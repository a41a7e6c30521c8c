# Package archives: unpacking through unzip32.dll (loaded at run time from the program folder,
# built there beside the program) and the temporary folders they are unpacked into.
target_sources(scup_app PRIVATE ${CMAKE_CURRENT_LIST_DIR}/PackageFiles.cpp)
target_link_libraries(scup_app PUBLIC oleaut32 shell32)
add_dependencies(ScUpdater unzip32)
