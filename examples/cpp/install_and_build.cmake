# Test driver, run with cmake -P: installs the engine from the build tree into a fresh prefix, then
# configures, builds and runs examples/cpp against that prefix alone, as a C++ user would.
# Expects: BUILD_DIR, SOURCE_DIR (the example), WORK_DIR, GENERATOR, CXX_COMPILER, and optionally
# SANITIZE (the sanitizers the engine was built with, which the program must link as well).
foreach(required BUILD_DIR SOURCE_DIR WORK_DIR GENERATOR CXX_COMPILER)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "install_and_build.cmake needs -D${required}=...")
  endif()
endforeach()

function(run_step description)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status
                  OUTPUT_VARIABLE output ERROR_VARIABLE output)
  message("${output}")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${description} failed (${status})")
  endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(example_build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})

run_step("installing the engine" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(installed include/korvane/engine/register.h include/korvane/clifford/local_clifford.h)
  if(NOT EXISTS ${prefix}/${installed})
    message(FATAL_ERROR "${installed} was not installed")
  endif()
endforeach()

set(flags "")
if(SANITIZE)
  set(flags -DCMAKE_CXX_FLAGS=-fsanitize=${SANITIZE}
            -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=${SANITIZE})
endif()
# CMAKE_FIND_USE_CMAKE_SYSTEM_PATH off: the package must come from the fresh prefix, nowhere else.
run_step("configuring the example"
  ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${example_build} -G ${GENERATOR}
  -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=${prefix}
  -DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF ${flags})
run_step("building the example" ${CMAKE_COMMAND} --build ${example_build})
run_step("running the example" ${example_build}/bell_pairs 1000)
