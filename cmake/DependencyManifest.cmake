# Writes <build>/dependency-manifest.txt: every pkg-config module and CMake package that this
# configure run actually found, with the file that was used (the .pc file, the *Config.cmake
# file). tests/deps/check_install_list.py asks dpkg who owns each file, so a package that a
# developer installed by hand and forgot to add to scripts/install-deps.sh fails the suite
# instead of a new machine's first build.

set(_manifest "")

# pkg_check_modules keeps the modules it was asked for in one internal cache entry per prefix.
get_cmake_property(_cache_vars CACHE_VARIABLES)
foreach(_var ${_cache_vars})
    if(NOT _var MATCHES "^__pkg_config_arguments_(.+)$")
        continue()
    endif()
    if(NOT ${CMAKE_MATCH_1}_FOUND)
        continue()
    endif()
    foreach(_arg ${${_var}})
        if(_arg MATCHES "^(REQUIRED|QUIET|IMPORTED_TARGET|GLOBAL|NO_CMAKE_PATH|NO_CMAKE_ENVIRONMENT_PATH)$")
            continue()
        endif()
        string(REGEX REPLACE "[<>=].*$" "" _module "${_arg}")
        execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --path ${_module}
            OUTPUT_VARIABLE _pc OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _rc)
        if(_rc EQUAL 0 AND _pc)
            string(APPEND _manifest "pkgconfig\t${_module}\t${_pc}\n")
        endif()
    endforeach()
endforeach()

# Every <Package>_DIR that holds a config file is a package found in config mode.
foreach(_var ${_cache_vars})
    if(NOT _var MATCHES "^(.+)_DIR$")
        continue()
    endif()
    set(_package ${CMAKE_MATCH_1})
    set(_dir "${${_var}}")
    if(NOT IS_DIRECTORY "${_dir}")
        continue()
    endif()
    string(TOLOWER "${_package}" _lower)
    foreach(_candidate "${_package}Config.cmake" "${_lower}-config.cmake")
        if(EXISTS "${_dir}/${_candidate}")
            string(APPEND _manifest "cmake\t${_package}\t${_dir}/${_candidate}\n")
            break()
        endif()
    endforeach()
endforeach()

file(WRITE ${CMAKE_BINARY_DIR}/dependency-manifest.txt "${_manifest}")
