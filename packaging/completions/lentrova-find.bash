# SPDX-License-Identifier: MIT
# bash completion for lentrova-find
_lentrova_find()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    case $prev in
        --unit)
            mapfile -t COMPREPLY < <(compgen -W 'name bytes path path-bytes' -- "$cur")
            return
            ;;
        --eq | --gt | --lt | --max-depth | --filter)
            return
            ;;
        --exclude)
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return
            ;;
        --report | --files0-from)
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--eq --gt --lt --unit --filter --exclude --one-file-system
            --max-depth --files0-from --print0 --with-length --report -q --quiet -h --help --version' -- "$cur")
        return
    fi
    mapfile -t COMPREPLY < <(compgen -d -- "$cur")
}
complete -o filenames -F _lentrova_find lentrova-find
