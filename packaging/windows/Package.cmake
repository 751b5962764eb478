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

# The DLLs the programs and the plugins load, as their import tables name
# them, followed through the sysroot's DLLs; Windows' own stay out. (CMake
# refuses install(RUNTIME_DEPENDENCIES) when cross-compiling, so the same
# look-up runs as install code.)
set(binaries)
foreach(program IN LISTS programs)
  string(APPEND binaries " \"$<TARGET_FILE:${program}>\"")
endforeach()
foreach(plugin platforms/qwindows.dll styles/qwindowsvistastyle.dll)
  string(APPEND binaries " \"${VELTRIN_WIN64_SYSROOT}/plugins/${plugin}\"")
endforeach()
file(GLOB sysroot_dlls RELATIVE ${VELTRIN_WIN64_SYSROOT}/bin ${VELTRIN_WIN64_SYSROOT}/bin/*.dll)
set(sysroot_dll_patterns)
foreach(dll IN LISTS sysroot_dlls)
  # Windows compares DLL names without regard to letter case, and so does
  # the look-up, in lower case.
  string(TOLOWER "${dll}" dll)
  string(REGEX REPLACE "([.+])" "[\\1]" pattern "${dll}")
  string(APPEND sysroot_dll_patterns " \"^${pattern}$\"")
endforeach()
install(CODE "
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND \"${CMAKE_OBJDUMP}\")
  file(GET_RUNTIME_DEPENDENCIES
    EXECUTABLES ${binaries}
    DIRECTORIES \"${VELTRIN_WIN64_SYSROOT}/bin\"
    PRE_INCLUDE_REGEXES ${sysroot_dll_patterns}
    PRE_EXCLUDE_REGEXES \".*\"
    RESOLVED_DEPENDENCIES_VAR dlls
    UNRESOLVED_DEPENDENCIES_VAR missing)
  if(missing)
    message(FATAL_ERROR \"DLLs not in the sysroot: \${missing}\")
  endif()
  file(INSTALL \${dlls} DESTINATION \"\${CMAKE_INSTALL_PREFIX}\")
")

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
