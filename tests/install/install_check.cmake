# Run by CTest: install, then build and run the consumer both ways. Any failure is fatal.
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(LAST_OUTPUT "${out}" PARENT_SCOPE)
endfunction()

function(expect_output what)
  if(NOT LAST_OUTPUT STREQUAL "R 800 1\n")
    message(FATAL_ERROR "${what} printed '${LAST_OUTPUT}'")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component meshes_libs)

foreach(f include/meshes/strings/zarvik_string.h include/meshes/param_tree/dynamic_row.h)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "missing installed file ${f}")
  endif()
endforeach()
file(GLOB pcdirs ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
list(GET pcdirs 0 pcdir)
get_filename_component(libdir ${pcdir} DIRECTORY)

# find_package
run("configure consumer" ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/cmake-build
    -G ${GENERATOR} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS}")
run("build consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
run("run consumer (find_package)" ${WORK_DIR}/cmake-build/consumer)
expect_output("consumer (find_package)")

# pkg-config
set(ENV{PKG_CONFIG_PATH} ${pcdir})
run("pkg-config" pkg-config --cflags --libs dynrows)
string(STRIP "${LAST_OUTPUT}" pcflags)
separate_arguments(pcflags UNIX_COMMAND "${pcflags}")
separate_arguments(extra UNIX_COMMAND "${CXX_FLAGS}")
run("compile consumer (pkg-config)" ${CXX} -std=c++17 -Wall -Wextra ${extra}
    ${CONSUMER_DIR}/main.cpp ${pcflags} -o ${WORK_DIR}/consumer_pc)
set(ENV{LD_LIBRARY_PATH} ${libdir})
run("run consumer (pkg-config)" ${WORK_DIR}/consumer_pc)
expect_output("consumer (pkg-config)")
