# Makes the problem library LIBRARY from SCHEMA and the *.sgf files of
# PROBLEM_DIR, with the tools KURA and KURA_SGF. The library is made beside
# the old one and only replaces it when every file was imported, so that a
# failed build leaves no half-filled library behind.
set(NEW "${LIBRARY}.new")
file(REMOVE_RECURSE "${NEW}")
file(MAKE_DIRECTORY "${NEW}")
execute_process(COMMAND "${KURA}" "${NEW}" INPUT_FILE "${SCHEMA}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "kura could not create the tables from ${SCHEMA}")
endif()
file(GLOB problems "${PROBLEM_DIR}/*.sgf")
list(SORT problems)
foreach(problem IN LISTS problems)
  execute_process(COMMAND "${KURA_SGF}" import "${NEW}" "${problem}"
                  RESULT_VARIABLE status OUTPUT_QUIET)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "kura-sgf could not import ${problem}")
  endif()
endforeach()
file(REMOVE_RECURSE "${LIBRARY}")
file(RENAME "${NEW}" "${LIBRARY}")
list(LENGTH problems count)
message(STATUS "problem library ${LIBRARY}: ${count} file(s) imported")
