# Writes the header of what built the programs (cli/build_info.cpp includes it): the project's
# version, the commit of the git checkout the sources come from ("" outside one, "-dirty" when
# tracked files differ from it), the build type and the compiler flags. Run at every build, so that
# the commit is the one built; the file is rewritten only when its text changes, so that nothing
# is compiled again for nothing.
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -DVERSION=... -DBUILD_TYPE=... -DFLAGS=... -P write_build_info.cmake
set(commit "")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                  OUTPUT_VARIABLE head RESULT_VARIABLE head_status OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(head_status EQUAL 0)
    set(commit ${head})
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} status --porcelain --untracked-files=no
                    OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT changes STREQUAL "")
      string(APPEND commit "-dirty")
    endif()
  endif()
endif()

# C++ string literals: a backslash or a double quote in the flags is escaped.
string(REPLACE "\\" "\\\\" FLAGS "${FLAGS}")
string(REPLACE "\"" "\\\"" FLAGS "${FLAGS}")
string(STRIP "${FLAGS}" FLAGS)
string(REGEX REPLACE " +" " " FLAGS "${FLAGS}")
set(text "// Generated at build time by cmake/write_build_info.cmake.
#define KIT_VERSION \"${VERSION}\"
#define KIT_COMMIT \"${commit}\"
#define KIT_BUILD_TYPE \"${BUILD_TYPE}\"
#define KIT_BUILD_FLAGS \"${FLAGS}\"
")
set(old "")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
