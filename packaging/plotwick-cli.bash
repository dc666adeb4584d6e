# bash completion for plotwick-cli: its commands, each command's options, the export formats,
# folders where a command takes a folder and files where it takes a record or an output.

_plotwick_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    # "--format=p": bash splits at "=", so the option is two words back.
    if [[ $prev == "=" ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    elif [[ $cur == "=" ]]; then
        cur=""
    fi
    COMPREPLY=()

    local command="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} != -* ]]; then
            command=${COMP_WORDS[i]}
            break
        fi
    done
    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            mapfile -t COMPREPLY < <(compgen -W "--help --version" -- "$cur")
        else
            mapfile -t COMPREPLY < <(compgen -W "users databases drawings shapes export export-all" -- "$cur")
        fi
        return
    fi

    local export_options="--user-folder --substitute-font --scale --width --height --fit --quality
        --grayscale --progressive --text-outlines"
    local options="" folders=0
    case $command in
        users | databases | drawings) folders=1 ;;
        shapes) options="--normalise --user-folder" ;;
        export) options=$export_options ;;
        export-all) options="--format --jobs $export_options" folders=1 ;;
        *) return ;;
    esac

    case $prev in
        --format)
            mapfile -t COMPREPLY < <(compgen -W "svg emf wmf bmp jpg png pdf" -- "$cur")
            return ;;
        --user-folder)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return ;;
        --scale | --width | --height | --quality | --jobs)
            return ;;
    esac

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options --help" -- "$cur")
        return
    fi
    compopt -o filenames 2>/dev/null
    if ((folders)); then
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
    else
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}
complete -F _plotwick_cli plotwick-cli
