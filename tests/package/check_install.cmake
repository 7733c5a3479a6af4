# Installs a fresh build of the project (configured as a user would, without
# the tests) into a scratch prefix, then builds and runs a consumer project
# against the installed package. Run with cmake -P, given SOURCE_DIR,
# WORK_DIR, GENERATOR and EXPECTED (the expected report of the worked deck).
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(build ${WORK_DIR}/build)
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${build} -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${build} -j2)
run(${CMAKE_COMMAND} --install ${build} --prefix ${prefix})

# The program, stripped, and its manual page.
foreach(file bin/fourfifths share/man/man1/fourfifths.1 include/fourfifths/study.h)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
run(readelf --sections ${prefix}/bin/fourfifths)
if(out MATCHES "\\.symtab|\\.debug_info")
  message(FATAL_ERROR "the installed program is not stripped")
endif()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/package/consumer -B ${WORK_DIR}/consumer
    -G ${GENERATOR} -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${WORK_DIR}/consumer/consumer ${SOURCE_DIR}/examples/worked.deck)
file(READ ${EXPECTED} expected)
if(NOT out STREQUAL "boundary 0.904\n${expected}pool boundary 0.904\n")
  message(FATAL_ERROR "the consumer printed:\n${out}")
endif()
message(STATUS "installed package found, linked and run")
