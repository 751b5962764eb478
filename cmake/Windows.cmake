# The Windows build, cross-compiled with MinGW-w64 against the sysroot whose
# toolchain file configured it (../shared/win64/mingw64.cmake).
if(NOT WIN32)
  return()
endif()

# The sysroot is where its Qt was found: <sysroot>/lib/cmake/Qt6.
cmake_path(SET veltrin_sysroot NORMALIZE "${Qt6_DIR}/../../..")
set(VELTRIN_WIN64_SYSROOT "${veltrin_sysroot}" CACHE PATH
    "The Windows sysroot; the programs run with the DLLs of its bin/")

if(CMAKE_CROSSCOMPILING)
  # The toolchain names plain wine, which hands the tests neither their Qt
  # settings nor the sysroot's DLLs; scripts/wine-env sets Wine up for them.
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env VELTRIN_WIN64_SYSROOT=${VELTRIN_WIN64_SYSROOT} ${CMAKE_SOURCE_DIR}/scripts/wine-env)
endif()
