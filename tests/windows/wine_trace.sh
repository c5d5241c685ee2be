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

# Wine's form of a Unix path: the Z: drive.
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

# The message boxes in a trace of WINEDEBUG=+relay, one line each: "text","caption",type.
boxes_in() {  # TRACE-FILE
    grep -a -o 'Call user32.MessageBoxA(.*) ret' "$1" |
        sed -E 's/^[^,]*,[0-9a-f]+ //; s/,[0-9a-f]+ "/,"/; s/\) ret$//'
}
