# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# The one filler of linux/sleep-hook.sh.in: quiplex_sleep_hook() makes a hook at build time (the
# build tree's, the hibernation test's); the install rules include this file to make theirs.
if(DEFINED QUIPLEX_HOOK_OUTPUT)
    # Run with -P, or included at install time, with QUIPLEXLNX and QUIPLEX_HOOK_OUTPUT set.
    configure_file(${CMAKE_CURRENT_LIST_DIR}/../linux/sleep-hook.sh.in ${QUIPLEX_HOOK_OUTPUT}
        @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                               WORLD_READ WORLD_EXECUTE)
    return()
endif()

set(QUIPLEX_SLEEP_HOOK_SCRIPT ${CMAKE_CURRENT_LIST_FILE})

# Makes `output` at build time, naming `program` (a generator expression is fine) as quiplexlnx.
function(quiplex_sleep_hook target output program)
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DQUIPLEXLNX=${program} -DQUIPLEX_HOOK_OUTPUT=${output}
                -P ${QUIPLEX_SLEEP_HOOK_SCRIPT}
        DEPENDS ${QUIPLEX_SLEEP_HOOK_SCRIPT} ${PROJECT_SOURCE_DIR}/linux/sleep-hook.sh.in
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${output})
    # Where the hook is, for $<TARGET_PROPERTY:target,QUIPLEX_HOOK>.
    set_target_properties(${target} PROPERTIES QUIPLEX_HOOK ${output})
endfunction()
