# The progress and status dialogs: the status panel, the firmware transfer's progress, device,
# confirmation and communication-failure dialogs, and the task-bar progress they mirror.
target_sources(scup_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AppMainWindow.cpp ${CMAKE_CURRENT_LIST_DIR}/CantCommDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DevProgDlg.cpp ${CMAKE_CURRENT_LIST_DIR}/FirmUpDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessageDialog.cpp ${CMAKE_CURRENT_LIST_DIR}/TaskbarProgress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TrProgressDlg.cpp ${CMAKE_CURRENT_LIST_DIR}/TrProgressState.cpp)
target_link_libraries(scup_ui PUBLIC ole32 uuid comctl32 gdi32)
