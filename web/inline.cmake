cmake_minimum_required(VERSION 3.25)
# Puts the page together: page.html with its style, script, worker, guide
# and the WebAssembly module (gzipped, as base64) in place of its markers.
#   cmake -DSOURCE=web -DWASM=core.wasm -DOUTPUT=page.html -DVERSION=x -P inline.cmake
# The module gzipped, a third of its size: the page inflates it with the
# browser's own DecompressionStream.
execute_process(COMMAND gzip -9 -n -c ${WASM} COMMAND base64 -w 0 OUTPUT_VARIABLE wasm RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "gzip or base64 could not read ${WASM}")
endif()
file(READ ${SOURCE}/page.html page)
foreach(part page.css boot.js page.js worker.js guide.html)
    file(READ ${SOURCE}/${part} text)
    string(REPLACE "@${part}@" "${text}" page "${page}")
endforeach()
string(REPLACE "@core.wasm@" "${wasm}" page "${page}")
string(REPLACE "@VERSION@" "${VERSION}" page "${page}")
file(WRITE ${OUTPUT}.new "${page}")
file(RENAME ${OUTPUT}.new ${OUTPUT})
