# The C and C++ libraries below Qt, each as one target named veltrin::<name>
# that every folder links, found the way each platform offers them: through
# pkg-config on Linux, through the CMake packages that the Windows sysroot
# installs beside its libraries when cross-compiling (pkg-config there would
# answer with the build machine's own libraries and flags).

function(veltrin_library name pkgconfig_module cmake_package cmake_target)
  if(WIN32)
    find_package(${cmake_package} REQUIRED CONFIG)
    set(found ${cmake_target})
  else()
    string(TOUPPER "VELTRIN_${name}" prefix)
    pkg_check_modules(${prefix} REQUIRED IMPORTED_TARGET GLOBAL ${pkgconfig_module})
    set(found PkgConfig::${prefix})
  endif()
  add_library(veltrin::${name} INTERFACE IMPORTED GLOBAL)
  target_link_libraries(veltrin::${name} INTERFACE ${found})
endfunction()

if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
endif()
veltrin_library(curl libcurl CURL CURL::libcurl)
veltrin_library(xml2 libxml-2.0 LibXml2 LibXml2::LibXml2)
veltrin_library(zip libzip libzip libzip::zip)
veltrin_library(httplib cpp-httplib httplib httplib::httplib)
