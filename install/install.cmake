# Downloading the ticked packages under safe names and installing them: installer command lines,
# the running-program test, verification and the firmware branch.
target_sources(scup_install PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AUFileUpdaterInstall.cpp ${CMAKE_CURRENT_LIST_DIR}/DownloadName.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DottedVersion.cpp ${CMAKE_CURRENT_LIST_DIR}/InstalledTemplates.cpp)
target_link_libraries(scup_install PUBLIC scup_server scup_local shell32 shlwapi)
