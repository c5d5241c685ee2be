# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# bash completion for quiplexlnx: tool options, boot selection keywords and request modifiers.

_quiplexlnx_options=(--help -h -\? --version --status --status=json --cancel --suspend --resume
    --dry-run --dry-run=json --boot-next --firmware-setup --cancel-firmware-setup)

# Keywords and modifiers match in any letter case, as quiplexlnx reads them.
_quiplexlnx_matching() {  # prefix, typed part, candidates...
    local prefix=$1 typed=${2,,} candidate
    shift 2
    for candidate in "$@"; do
        [[ ${candidate,,} == "$typed"* ]] && COMPREPLY+=("$prefix$candidate")
    done
}

_quiplexlnx() {
    local cur=${COMP_WORDS[COMP_CWORD]} previous=${COMP_WORDS[COMP_CWORD - 1]} i
    local -a before=()
    COMPREPLY=()
    # bash splits "--status=json" at "="; the pieces are joined again to see whole words.
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ $i -gt 1 && (${COMP_WORDS[i]} == = || ${COMP_WORDS[i - 1]} == =) ]]; then
            before[-1]+=${COMP_WORDS[i]}
        else
            before+=("${COMP_WORDS[i]}")
        fi
    done

    # A value after "=": only --status= and --dry-run= take one, "json".
    if [[ $cur == = || $previous == = ]]; then
        [[ $cur == = ]] && cur=""
        local option=${before[-1]%=}
        [[ ${#before[@]} -eq 1 && ($option == --status || $option == --dry-run) ]] &&
            _quiplexlnx_matching "" "$cur" json
        return 0
    fi

    # Tool options stand alone, but --dry-run and --boot-next (also after --dry-run) are followed
    # by a boot request whose selection comes first, as it does without them.
    local count=${#before[@]} skip=0 lead
    local -a offered=("${_quiplexlnx_options[@]}")
    if [[ ${before[0]:-} == --dry-run || ${before[0]:-} == --dry-run=json ]]; then
        skip=1 offered=(--boot-next)
    fi
    [[ ${before[skip]:-} == --boot-next ]] && skip=$((skip + 1)) offered=()
    count=$((count - skip)) lead=${before[skip]:-}
    # --firmware-setup takes what a request takes after it: /noreboot and /force.
    if [[ $skip -eq 0 && $count -eq 1 && $lead == --firmware-setup ]]; then
        _quiplexlnx_matching "" "${cur:-/}" /noreboot /force
        return 0
    fi
    [[ $lead == -* ]] && return 0
    if [[ $cur == -* ]]; then
        [[ $count -eq 0 ]] && _quiplexlnx_matching "" "$cur" "${offered[@]}"
    elif [[ $cur == ?*/* ]] || [[ (-z $cur || $cur == /*) && $count -gt 0 ]]; then
        # After the selection (in this word or an earlier one): /run=, /noreboot, /force.
        cur=${cur:-/}
        _quiplexlnx_matching "${cur%/*}" "/${cur##*/}" /run= /noreboot /force
    else
        _quiplexlnx_matching "" "$cur" /Current /Next /Shutdown /None
        [[ -z $cur && $count -eq 0 ]] && _quiplexlnx_matching "" "" "${offered[@]}"
    fi
    # /run= is followed by the file name, without a blank.
    if [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]]; then
        compopt -o nospace 2>/dev/null
    fi
    return 0
}
complete -F _quiplexlnx quiplexlnx
