# cmake -DBUILD=DIR -DPREFIX=DIR -P install_into_prefix.cmake: a fresh install of BUILD.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD} --prefix ${PREFIX} failed:\n${out}${err}")
endif()
string(REGEX MATCHALL "\n" lines "${out}")
list(LENGTH lines count)
message(STATUS "installed into ${PREFIX} (${count} lines of cmake --install output)")
