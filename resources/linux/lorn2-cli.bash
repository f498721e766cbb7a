# bash completion for lorn2-cli
# Works with and without the bash-completion package: it only needs COMP_WORDS and compgen.

_lorn2_cli_files()
{
    # $1: current word, $2: optional extension to prefer
    if declare -F _filedir >/dev/null; then
        _filedir ${2:+"$2"}
    else
        local IFS=$'\n'
        if [[ -n $2 ]]; then
            COMPREPLY=($(compgen -d -- "$1") $(compgen -f -X "!*.$2" -- "$1"))
        else
            COMPREPLY=($(compgen -f -- "$1"))
        fi
    fi
}

# The serial numbers of the accounts in the working folder: Devices/TYPE_SERIAL.
_lorn2_cli_serials()
{
    local dir=$1 d s
    for d in "$dir"/Devices/*_*; do
        [[ -d $d ]] || continue
        s=${d##*_}
        [[ $s =~ ^[0-9]+$ ]] && printf '%s\n' "$((10#$s))"
    done
}

_lorn2_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local commands="list ports add edit delete export-devices show-archive import-archive
        export-archive export-db read-archive read-config read-report set-clock poll config-report
        save-config check-map report render chart quality db"
    local global="-C --home --quiet --progress --json -h --help --version"
    local account="--net-address --consumer --phone --consumer-id --address --contact --map
        --print-volumes --header-from-account"
    local connection="--port --baud --data-bits --parity --stop-bits --flow --timeout --retries
        --modem --modem-phone --modem-init --per-contour"
    COMPREPLY=()

    # The command is the first word that is neither a global option nor its value.
    local i=1 cmd="" dir=. w
    while ((i < COMP_CWORD)); do
        w=${COMP_WORDS[i]}
        case $w in
            -C) dir=${COMP_WORDS[i+1]}; ((i += 2)); continue ;;
            --progress) ((i += 2)); continue ;;
            --home) dir=${LORN2_HOME:-$HOME/Lorn2} ;;
            -*) ;;
            *) cmd=$w; break ;;
        esac
        ((i++))
    done
    # report --all takes --pdf without a file name: each PDF goes beside its report.
    local pdf_flag=""
    [[ $cmd == report && " ${COMP_WORDS[*]} " == *" --all "* ]] && pdf_flag=1
    local argpos=0 j
    if [[ -n $cmd ]]; then
        # Positional arguments already given after the command, for SERIAL vs FILE.
        for ((j = i + 1; j < COMP_CWORD; j++)); do
            w=${COMP_WORDS[j]}
            [[ $w == -* ]] && continue
            case ${COMP_WORDS[j-1]} in
                --pdf) [[ -n $pdf_flag ]] || continue ;;
                --type|--serial|--net-address|--consumer|--phone|--consumer-id|--address|\
                --contact|--map|--print-volumes|--header-from-account|--port|--baud|--data-bits|\
                --parity|--stop-bits|--flow|--timeout|--retries|--modem|--modem-phone|\
                --modem-init|--per-contour|--from|--to|--start|--end|--hourly|--daily|--contour|\
                --idle|--max-bytes|-o|--output|--time|--snapshot|--cfg-archive|--text|--esc|--dir|\
                --since|--config|--clock-drift|--jobs|--attempts|--series|--size|--format)
                    continue ;;
            esac
            ((argpos++))
        done
    fi

    case $prev in
        -C|--dir) COMPREPLY=($(compgen -d -- "$cur")); return ;;
        --progress) COMPREPLY=($(compgen -W "auto always never" -- "$cur")); return ;;
        --type) COMPREPLY=($(compgen -W "1 2 3 Karna1 Velos2 Darna3" -- "$cur")); return ;;
        --config) COMPREPLY=($(compgen -W "auto always never" -- "$cur")); return ;;
        --header-from-account|--modem|--per-contour|--cfg-archive)
            COMPREPLY=($(compgen -W "yes no" -- "$cur")); return ;;
        --parity) COMPREPLY=($(compgen -W "none odd even mark space" -- "$cur")); return ;;
        --stop-bits) COMPREPLY=($(compgen -W "1 1.5 2" -- "$cur")); return ;;
        --flow) COMPREPLY=($(compgen -W "none xon/xoff rts/cts both" -- "$cur")); return ;;
        --map) _lorn2_cli_files "$cur" map; return ;;
        -o|--output|--text|--esc) _lorn2_cli_files "$cur"; return ;;
        --pdf) [[ -n $pdf_flag ]] || { _lorn2_cli_files "$cur"; return; } ;;
        --from|--to|--start|--end|--hourly|--daily|--since)
            COMPREPLY=($(compgen -W "$(date +%F)" -- "$cur")); return ;;
        --serial|--net-address|--consumer|--phone|--consumer-id|--address|--contact|\
        --print-volumes|--port|--baud|--data-bits|--timeout|--retries|--modem-phone|\
        --modem-init|--contour|--idle|--max-bytes|--time|--snapshot|--clock-drift|--jobs|--attempts)
            return ;;
    esac

    if [[ -z $cmd ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$global" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    local opts="" first=""
    case $cmd in
        list|ports) opts="--json" ;;
        add) opts="--type --serial $account $connection" ;;
        edit) opts="--type $account $connection"; first=serial ;;
        delete) opts="--type --remove-files --move-files"; first=serial ;;
        export-devices) first=file ;;
        show-archive) opts="--type --from --to --json"; first=serial ;;
        import-archive) opts="--type"; first=file ;;
        export-archive|save-config) opts="--type"; first=serial-file ;;
        export-db) opts="--type"; first=serial ;;
        read-archive) opts="--type --start --end --to-end"; first=serial ;;
        read-config) opts="--type --cfg-archive"; first=serial ;;
        read-report) opts="--type --hourly --daily --contour --idle --max-bytes -o"; first=serial ;;
        set-clock) opts="--type --time"; first=serial ;;
        poll) opts="--type --all --since --config --clock-drift --jobs --attempts --json"; first=serials ;;
        config-report) opts="--type --snapshot --list-snapshots -o --output"; first=serial ;;
        check-map) first=map ;;
        report)
            opts="--type --hourly --daily --contour -o --text --pdf --all --dir"
            [[ -n $pdf_flag ]] || first=serial ;;
        render) opts="--text --pdf --esc"; first=tsr ;;
        chart) opts="--type --from --to --daily --contour --series --size --format -o --output"; first=serial ;;
        quality) opts="--type --all --from --to --json"; first=serials ;;
        db)
            opts="--to"
            if ((argpos == 0)) && [[ $cur != -* ]]; then
                COMPREPLY=($(compgen -W "check copy" -- "$cur"))
                return
            fi ;;
        *) return ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$opts -h --help" -- "$cur"))
        return
    fi
    case $first:$argpos in
        serial:0|serial-file:0|serials:*)
            COMPREPLY=($(compgen -W "$(_lorn2_cli_serials "$dir")" -- "$cur")) ;;
        serial-file:1|file:0) _lorn2_cli_files "$cur" ;;
        map:0) _lorn2_cli_files "$cur" map ;;
        tsr:0) _lorn2_cli_files "$cur" tsr ;;
    esac
}
complete -F _lorn2_cli lorn2-cli
