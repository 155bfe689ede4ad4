# Builds the product stand-in at the product's exact size: links once with a small filler, then again with the filler grown by the gap.
# Contract: cmake -DCXX=<i686 g++> -DSOURCE=<placeholder.cpp> -DOUTPUT=<exe> -DSIZE=<bytes> -DCHECK=<pe-check.cmake> -P build-placeholder.cmake
foreach(var CXX SOURCE OUTPUT SIZE CHECK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "build-placeholder: ${var} not given")
  endif()
endforeach()

# Fixed flags, independent of the project's: the image must come out the same wherever it is built.
set(flags -Os -s -mwindows -fexec-charset=CP1252 -fno-exceptions -fno-rtti
    -fno-asynchronous-unwind-tables -nostdlib -Wl,-e,_PlaceholderEntry
    -Wl,--no-insert-timestamp -Wl,--file-alignment,512)

function(link_with filler)
  execute_process(
    COMMAND "${CXX}" ${flags} -DFILLER_BYTES=${filler} "${SOURCE}" -luser32 -lkernel32 -o "${OUTPUT}"
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "build-placeholder: link with ${filler} filler bytes failed")
  endif()
endfunction()

# The filler is a multiple of the file alignment, so the image grows by exactly what the filler grows.
set(first 512)
link_with(${first})
file(SIZE "${OUTPUT}" first_size)
math(EXPR filler "${first} + ${SIZE} - ${first_size}")
math(EXPR rest "${filler} % 512")
if(filler LESS 512 OR NOT rest EQUAL 0)
  message(FATAL_ERROR "build-placeholder: ${first_size} bytes with the smallest filler, cannot reach ${SIZE}")
endif()
link_with(${filler})
execute_process(COMMAND "${CMAKE_COMMAND}" -DFILE=${OUTPUT} -DSIZE=${SIZE} -P "${CHECK}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "build-placeholder: ${OUTPUT} failed the image check")
endif()
