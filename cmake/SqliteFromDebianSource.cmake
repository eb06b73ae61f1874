# SQLite for the Windows build, compiled from Debian's own source package of
# sqlite3 (scripts/setup.sh fetches it with apt-get source).  The package
# carries SQLite's source tree, not the single-file amalgamation: its own
# "make sqlite3.c" (host compiler and tclsh) makes sqlite3.c, which the
# cross compiler then builds.
set(KESTO_SQLITE_SOURCE_CACHE /var/cache/kesto/sqlite3-source
    CACHE PATH "Where scripts/setup.sh unpacked Debian's sqlite3 source package")
file(GLOB _kesto_sqlite_trees LIST_DIRECTORIES true "${KESTO_SQLITE_SOURCE_CACHE}/sqlite3-*")
list(FILTER _kesto_sqlite_trees EXCLUDE REGEX "\\.(tar|dsc)")
list(GET _kesto_sqlite_trees 0 KESTO_SQLITE_TREE)
if(NOT EXISTS "${KESTO_SQLITE_TREE}/configure")
    message(FATAL_ERROR "No sqlite3 source in ${KESTO_SQLITE_SOURCE_CACHE}: run scripts/setup.sh")
endif()
find_program(KESTO_TCLSH NAMES tclsh tclsh8.6 REQUIRED)

set(_out ${CMAKE_BINARY_DIR}/sqlite-amalgamation)
add_custom_command(
    OUTPUT ${_out}/sqlite3.c ${_out}/sqlite3.h
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_out}
    COMMAND ${CMAKE_COMMAND} -E chdir ${_out} env CC=gcc CFLAGS= LDFLAGS=
            ${KESTO_SQLITE_TREE}/configure --disable-tcl --disable-readline > ${_out}/configure.log
    COMMAND ${CMAKE_COMMAND} -E chdir ${_out} make sqlite3.c > ${_out}/make.log
    COMMENT "Making sqlite3.c from Debian's sqlite3 source"
    VERBATIM)
add_library(kesto_sqlite3 STATIC ${_out}/sqlite3.c)
target_include_directories(kesto_sqlite3 PUBLIC ${_out})
set_target_properties(kesto_sqlite3 PROPERTIES LINKER_LANGUAGE C)
target_compile_definitions(kesto_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION
                                                 SQLITE_DEFAULT_FOREIGN_KEYS=1)
# SQLite's own code is not held to kesto's warnings.
target_compile_options(kesto_sqlite3 PRIVATE -w)
