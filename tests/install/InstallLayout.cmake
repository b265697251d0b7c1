# Installs the build into a temporary prefix, then for a temporary user, the
# two ways the README tells, and checks that exactly the two deliverables
# land where the README says, the same bytes as built.
#   cmake -DBUILD_DIR=<build> -DWORK=<scratch folder> -DREADME=<README.md>
#         -DPLUGIN=<built tessivo.so> -DPROGRAM=<built corvane> -P InstallLayout.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/prefix" "${WORK}/home")

# Runs an install; any failure ends the test.
function(install_run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "install failed (${rc}): ${ARGN}\n${out}")
  endif()
endfunction()

# Every file under root, relative to it, must be one of the expected ones,
# each the same as what was built.
function(expect_files root)
  set(pairs ${ARGN})
  file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
  set(wanted "")
  while(pairs)
    list(POP_FRONT pairs name built)
    list(APPEND wanted "${name}")
    if(NOT EXISTS "${root}/${name}")
      message(FATAL_ERROR "missing: ${root}/${name}")
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${root}/${name}" "${built}" RESULT_VARIABLE differs)
    if(NOT differs EQUAL 0)
      message(FATAL_ERROR "${root}/${name} is not the built ${built}")
    endif()
  endwhile()
  list(SORT found)
  list(SORT wanted)
  if(NOT found STREQUAL wanted)
    message(FATAL_ERROR "under ${root}: installed [${found}], expected [${wanted}]")
  endif()
endfunction()

install_run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${WORK}/prefix")
expect_files("${WORK}/prefix" lib/vst/tessivo.so "${PLUGIN}" bin/corvane "${PROGRAM}")

install_run(${CMAKE_COMMAND} -E env "HOME=${WORK}/home" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --component user)
expect_files("${WORK}/home" .vst/tessivo.so "${PLUGIN}" .local/bin/corvane "${PROGRAM}")

# The README tells these commands and places.
file(READ "${README}" readme)
foreach(said "cmake --install build/release --prefix" "cmake --install build/release --component user"
             "`PREFIX/lib/vst/tessivo.so`" "`PREFIX/bin/corvane`" "`~/.vst/tessivo.so`" "`~/.local/bin/corvane`")
  string(FIND "${readme}" "${said}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the README does not say ${said}")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
message(STATUS "installed exactly lib/vst/tessivo.so and bin/corvane; ~/.vst/tessivo.so and ~/.local/bin/corvane")
