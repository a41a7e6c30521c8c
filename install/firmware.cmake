# The firmware transfer: firmware files, the printer's command protocol through scfilo.dll
# (imported by ordinal), the printers a transfer can reach, and the transfer itself with its
# dialogs and history entries.
target_sources(scup_install PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AnsiText.cpp ${CMAKE_CURRENT_LIST_DIR}/ConnectedPrinters.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FirmPort.cpp ${CMAKE_CURRENT_LIST_DIR}/FirmSender.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FirmTransfer.cpp ${CMAKE_CURRENT_LIST_DIR}/Pd3File.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScTrFileHeader.cpp ${CMAKE_CURRENT_LIST_DIR}/StoredFileQuery.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TransferEnvironment.cpp ${CMAKE_CURRENT_LIST_DIR}/TransferWorker.cpp)
target_link_libraries(scup_install PUBLIC scfilo_import scup_local winspool)
