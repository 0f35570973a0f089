# Makes the self-contained page: the template IN with @WORKER_SOURCE@ replaced
# by the module's code (MODULE, the WebAssembly inlined in it) and the
# worker's (WORKER), and @ZIP_SOURCE@ by the zip library's (ZIP), written to
# OUT. A "</script" in the code would end the block early, so it is written as "<\/script", which means the same in
# JavaScript strings and regular expressions.
file(READ "${IN}" page)
file(READ "${MODULE}" module)
file(READ "${WORKER}" worker)
set(code "${module}\n${worker}")
string(REPLACE "</script" "<\\/script" code "${code}")
file(READ "${ZIP}" zip)
string(REPLACE "</script" "<\\/script" zip "${zip}")
string(REPLACE "@ZIP_SOURCE@" "${zip}" page "${page}")
string(REPLACE "@WORKER_SOURCE@" "${code}" page "${page}")
file(WRITE "${OUT}" "${page}")
