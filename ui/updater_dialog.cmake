# The main updater dialog with its details pane, region menu and description packages. It unpacks
# packages and sends firmware, so it is built into the application library, above the install
# and package code it uses.
target_sources(scup_app PRIVATE
  ${CMAKE_SOURCE_DIR}/ui/DescriptionPackage.cpp ${CMAKE_SOURCE_DIR}/ui/DetailsPageAddress.cpp
  ${CMAKE_SOURCE_DIR}/ui/DetailsPane.cpp ${CMAKE_SOURCE_DIR}/ui/DropDownBox.cpp
  ${CMAKE_SOURCE_DIR}/ui/RegionMenu.cpp ${CMAKE_SOURCE_DIR}/ui/UpdateRowOrder.cpp
  ${CMAKE_SOURCE_DIR}/ui/UpToDateNote.cpp
  ${CMAKE_SOURCE_DIR}/ui/UpdaterDialog.cpp)
target_link_libraries(scup_app PUBLIC uxtheme gdiplus comdlg32 shlwapi comctl32 shell32)
