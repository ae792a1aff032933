# bash completion for vantrel-cli

_vantrel_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    case $prev in
        --rom|--inspect)
            # Firmware files of every format read, by their usual names, in any case.
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur"; compgen -f -- "$cur" |
                grep -iE '\.(rom|hex|ihex|srec|s19|s28|s37|mot|elf)$')
            return
            ;;
        --base|--station|--operator|--since)
            return
            ;;
        --baud)
            mapfile -t COMPREPLY < <(compgen -W '38400 57600 115200' -- "$cur")
            return
            ;;
        --html)
            # The page to write: an HTML file, or a folder to put it in.
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur"; compgen -f -- "$cur" | grep -iE '\.html?$')
            return
            ;;
        --log|--stats)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--rom --base --baud --json --remember --loop --log --station --operator --stats --since --html --list-ports --inspect --help --version' -- "$cur")
        return
    fi
    # Any other path is a device too (a USB adapter's link, a simulated unit).
    if [[ $cur == */* || $cur == .* || $cur == "~"* ]]; then
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return
    fi

    # A port may be named only once; COM names in any case.
    local -A named=()
    local word
    for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        [[ -n $word ]] || continue
        named[$word]=1
        named[${word^^}]=1
    done
    local candidates=() port device
    for port in COM{1..16}; do
        [[ -z ${named[$port]-} ]] && candidates+=("$port")
    done
    if [[ -z $cur ]]; then
        for device in /dev/serial/by-id/* /dev/tty*; do
            [[ -e $device && -z ${named[$device]-} ]] && candidates+=("$device")
        done
    fi
    mapfile -t COMPREPLY < <(compgen -W "${candidates[*]}" -- "${cur^^}")
}

complete -F _vantrel_cli vantrel-cli
