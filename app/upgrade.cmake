# The self-upgrade: fetching and checking the new updater, staging it and starting the staging copy.
target_sources(scup_app PRIVATE ${CMAKE_CURRENT_LIST_DIR}/AUAppUpgrader.cpp ${CMAKE_CURRENT_LIST_DIR}/SelfUpgrade.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UpgraderFiles.cpp)
target_link_libraries(scup_app PUBLIC shell32)
