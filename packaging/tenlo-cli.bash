# bash completion for tenlo-cli

_tenlo_cli() {
    local cur prev words cword
    _init_completion -n = || return

    local commands="devices ping version read write verify erase id update-firmware ports checksum
                    config calibration"
    local global="--port --device --simulate --no-keep-calibration --no-compare-calibration
                  --compare-calibration --quiet --trace --json --log --help --version"

    case $prev in
        --port)
            # COM names linked in the port folders, then the serial devices themselves.
            local dir names="all"
            for dir in "${TENLO_PORT_DIR:-}" "${XDG_CONFIG_HOME:-$HOME/.config}/tenlo/ports"; do
                [[ -n $dir && -d $dir ]] || continue
                names+=" $(command ls -1 "$dir" 2>/dev/null | sed -n 's/^com\([1-9][0-9]*\)$/COM\1/p')"
            done
            names+=" $(compgen -G '/dev/serial/by-id/*') $(compgen -G '/dev/ttyUSB*')"
            names+=" $(compgen -G '/dev/ttyACM*') $(compgen -G '/dev/ttyS*')"
            COMPREPLY=($(compgen -W "$names" -- "$cur"))
            return
            ;;
        --device)
            COMPREPLY=($(compgen -W "$(tenlo-cli devices 2>/dev/null | awk 'NR > 1 { print $2 }')" \
                -- "$cur"))
            return
            ;;
        --memories)
            local prefix=${cur%"${cur##*,}"}
            COMPREPLY=($(compgen -P "$prefix" -W "program config data" -- "${cur##*,}"))
            compopt -o nospace
            return
            ;;
        -o | --output | --data | --data-out | --file)
            _filedir '@(hex|HEX)'
            return
            ;;
        --log)
            _filedir csv
            return
            ;;
        --serial-file)
            _filedir
            return
            ;;
    esac

    # The command given so far, if any.
    local i command=""
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --port | --device | --memories | -o | --output | --data | --data-out | --file | \
                --log | --serial | --serial-file | --set | --bandgap)
                ((i++))
                ;;
            -*) ;;
            *)
                command=${words[i]}
                break
                ;;
        esac
    done

    local options=""
    case $command in
        read) options="-o --output --data-out --memories --force" ;;
        write)
            options="--data --memories --erase --verify --no-verify --serial --serial-file --set
                     --strict --force"
            ;;
        verify) options="--data --memories --set --force" ;;
        erase) options="--no-verify --force" ;;
        update-firmware) options="--file" ;;
        config) options="--read --force" ;;
        calibration) options="--set --bandgap" ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$global $options" -- "$cur"))
    elif [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    elif [[ $command == write || $command == verify || $command == checksum || \
        $command == config ]]; then
        _filedir '@(hex|HEX)'
    fi
} && complete -F _tenlo_cli tenlo-cli
