# The Windows distribution: one folder holding the three programs, the DLLs
# they load, found beside them in the sysroot, and the Qt plugins a Windows
# desktop needs; nothing else. CPack makes a zip of it, and an NSIS installer
# with a start-menu entry that starts the full program, so that no console
# window opens behind the login window.

target_sources(veltrin-import PRIVATE ${CMAKE_CURRENT_LIST_DIR}/veltrin-import.rc)
target_sources(veltrin-import-full PRIVATE ${CMAKE_CURRENT_LIST_DIR}/veltrin-import.rc)

set(programs veltrin-import veltrin-import-full veltrin-demo-server)
install(TARGETS ${programs} RUNTIME DESTINATION .)
install(FILES ${VELTRIN_WIN64_SYSROOT}/plugins/platforms/qwindows.dll DESTINATION platforms)
install(FILES ${VELTRIN_WIN64_SYSROOT}/plugins/styles/qwindowsvistastyle.dll DESTINATION styles)

# The DLLs the programs and the plugins load, found through their import
# tables in the sysroot (CMake refuses install(RUNTIME_DEPENDENCIES) when
# cross-compiling).
set(binaries)
foreach(program IN LISTS programs)
  list(APPEND binaries "$<TARGET_FILE:${program}>")
endforeach()
foreach(plugin platforms/qwindows.dll styles/qwindowsvistastyle.dll)
  list(APPEND binaries "${VELTRIN_WIN64_SYSROOT}/plugins/${plugin}")
endforeach()
install(CODE "
  set(VELTRIN_BINARIES \"${binaries}\")
  set(VELTRIN_DLL_FOLDER \"${VELTRIN_WIN64_SYSROOT}/bin\")
  set(VELTRIN_OBJDUMP \"${CMAKE_OBJDUMP}\")
")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/InstallDlls.cmake)

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME veltrin-import)
set(CPACK_PACKAGE_VENDOR Veltrin)
set(CPACK_PACKAGE_FILE_NAME veltrin-import-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY veltrin-import)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "import contacts from Excel workbooks into Veltrin SMS platform groups")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_EXECUTABLES veltrin-import-full "Veltrin联系人导入")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME veltrin-import-full.exe)
set(CPACK_NSIS_MUI_ICON ${CMAKE_CURRENT_LIST_DIR}/veltrin-import.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_CURRENT_LIST_DIR}/veltrin-import.ico)
set(CPACK_NSIS_DISPLAY_NAME "Veltrin联系人导入")
set(CPACK_NSIS_PACKAGE_NAME "Veltrin联系人导入")
# A 64-bit installer, whose programs folder is the 64-bit one; the default
# 32-bit one runs only where 32-bit programs can.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
include(CPack)
