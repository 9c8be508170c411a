# The module's face to the system, read from the binary with the platform's tools: it exports
# pluginInit and nothing else, and it links no code that only repair needs. On Windows the calls
# it imports from KERNEL32 itself (not those of the MinGW runtime linked into it) are the file
# layer's and the log's, so a repair-only call such as SetEndOfFile shows at once.
cmake_minimum_required(VERSION 3.25)
if(WINDOWS)
  execute_process(COMMAND ${DUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  # The export name table: lines "\t[   0] name" after "[Ordinal/Name Pointer] Table".
  string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\][^\n]*\n)*)" _ "${dump}")
  string(REGEX MATCHALL "\\] [^\n]+" names "${CMAKE_MATCH_1}")
  list(TRANSFORM names REPLACE "^\\] " "")
else()
  execute_process(COMMAND ${DUMP} -D --defined-only ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  string(REGEX MATCHALL "[^\n]+" lines "${dump}")
  set(names)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
    list(APPEND names ${name})
  endforeach()
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${DUMP} failed on ${MODULE}")
endif()
if(NOT names STREQUAL "pluginInit")
  message(FATAL_ERROR "${MODULE} must export only pluginInit; it exports: ${names}")
endif()
message(STATUS "${MODULE} exports: ${names}")

if(WINDOWS)
  set(allowed
    # the file layer
    CreateFileW CloseHandle GetFileSizeEx SetFilePointerEx ReadFile WriteFile MultiByteToWideChar
    # the diagnostics log
    AllocConsole GetStdHandle SetConsoleScreenBufferSize WriteConsoleA GetModuleFileNameA
    GetCurrentThreadId)
  # The import lines "\t<vma>\t <hint>  <name>" after "DLL Name: KERNEL32.dll".
  string(REGEX MATCH "DLL Name: KERNEL32\\.dll\n[^\n]*\n((\t[0-9a-f]+\t[^\n]*\n)*)" _ "${dump}")
  string(REGEX MATCHALL "[^ \t\n]+\n" imported "${CMAKE_MATCH_1}")
  list(TRANSFORM imported STRIP)
  # In the linker's cross reference a symbol's first file defines it and the lines below name the
  # files that use it: the toolchain's by absolute path, the build's own objects by relative path.
  file(READ ${MAP} map)
  string(FIND "${map}" "\nCross Reference Table" start)
  if(start LESS 0 OR NOT imported)
    message(FATAL_ERROR "no imports or cross reference to read in ${MODULE} and ${MAP}")
  endif()
  string(SUBSTRING "${map}" ${start} -1 map)
  string(REGEX REPLACE "[][;\\]" "_" map "${map}")  # nothing that splits or nests a CMake list
  string(REPLACE "\n" ";" map "${map}")
  set(own)
  set(symbol)
  foreach(line IN LISTS map)
    if(line MATCHES "^[^ ]")
      string(REGEX REPLACE "^(__imp_)?([^ ]+).*" "\\2" symbol "${line}")
    elseif(line MATCHES "^ +[^/ ]" AND symbol IN_LIST imported)
      list(APPEND own ${symbol})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES own)
  set(stray ${own})
  list(REMOVE_ITEM stray ${allowed})
  if(stray)
    message(FATAL_ERROR "${MODULE} calls KERNEL32 beyond the file layer's and the log's calls: ${stray}")
  endif()
  message(STATUS "${MODULE} imports from KERNEL32 itself: ${own}")
else()
  # No call to tell by: the repair-only size setter's own symbol must be absent.
  execute_process(COMMAND ${DUMP} -C ${MODULE} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR symbols MATCHES "fileio::[A-Za-z]+::setSize")
    message(FATAL_ERROR "${MODULE} links repair's fileio setSize (or ${DUMP} failed)")
  endif()
endif()
