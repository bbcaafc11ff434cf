# find_package(Trelvox) for front ends built against the Trelvox SDK. It gives the imported
# target Trelvox::Trelvox (Trelvox.dll, its import library for the compiler in use, and the
# headers), and Trelvox_RUNTIME_DLLS: every DLL that goes beside the front end's program.
get_filename_component(_trelvox_root "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)

if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(Trelvox_FOUND FALSE)
    set(Trelvox_NOT_FOUND_MESSAGE "Trelvox.dll is a 32-bit library: configure a 32-bit (Win32) build")
    return()
endif()

if(NOT TARGET Trelvox::Trelvox)
    if(MSVC)
        set(_trelvox_implib "${_trelvox_root}/lib/Trelvox.lib")
    else()
        set(_trelvox_implib "${_trelvox_root}/lib/libTrelvox.dll.a")
    endif()
    add_library(Trelvox::Trelvox SHARED IMPORTED)
    set_target_properties(Trelvox::Trelvox PROPERTIES
        IMPORTED_LOCATION "${_trelvox_root}/bin/Trelvox.dll"
        IMPORTED_IMPLIB "${_trelvox_implib}"
        INTERFACE_INCLUDE_DIRECTORIES "${_trelvox_root}/include")
    unset(_trelvox_implib)
endif()

file(GLOB Trelvox_RUNTIME_DLLS "${_trelvox_root}/bin/*.dll")
set(Trelvox_INCLUDE_DIRS "${_trelvox_root}/include")
unset(_trelvox_root)
