# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Helpers for reading Wine's traces, sourced by the Windows test scripts.

# The events in a trace of WINEDEBUG=+eventlog (Wine's ReportEvent is a stub that traces its
# arguments), one line each: type, event ID, then the strings, " | " before each.
events_in() {  # TRACE-FILE
    grep -a -E 'fixme:advapi:ReportEventA |eventlog:ReportEventW L"' "$1" |
        sed -E 's/^[0-9a-f]+://
                s/^fixme:advapi:ReportEventA \([0-9A-F]+,(0x[0-9a-f]+),0x0000,(0x[0-9a-f]+),.*/@\1 \2/
                s/^[a-z]+:eventlog:ReportEventW L"(.*)"\r?$/ | \1/' |
        tr -d '\n' | tr '@' '\n' | sed '/^$/d'
}

# The service QuiplexGuard as `sc query` shows it, through the sourcing script's `wine`.
guard_query() { wine sc query QuiplexGuard | tr -d '\r'; }
guard_field() {  # FIELD: the number sc query prints after it; nothing when not installed
    guard_query | sed -n "s/^ *$1 *: *\([0-9]*\).*/\1/p"
}
wait_for_guard() {  # STATE: polls, as the manager answers before the service has reported
    for _ in $(seq 100); do
        [ "$(guard_field STATE)" = "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# Wine's form of a Unix path: the Z: drive.
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

# The message boxes in a trace of WINEDEBUG=+relay, one line each: "text","caption",type.
boxes_in() {  # TRACE-FILE
    grep -a -o 'Call user32.MessageBoxA(.*) ret' "$1" |
        sed -E 's/^[^,]*,[0-9a-f]+ //; s/,[0-9a-f]+ "/,"/; s/\) ret$//'
}
