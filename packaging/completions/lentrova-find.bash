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
        --target)
            mapfile -t COMPREPLY < <(compgen -W 'windows exfat fat32 onedrive macos ecryptfs linux auto' -- "$cur")
            return
            ;;
        --format)
            mapfile -t COMPREPLY < <(compgen -W 'lines json' -- "$cur")
            return
            ;;
        --target-folder)
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return
            ;;
        --eq | --gt | --lt | --max-depth | --filter | --rules)
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
            --max-depth --files0-from --print0 --with-length --report -q --quiet --target --target-folder --rules --with-reason --summary --format
            -h --help --version' -- "$cur")
        return
    fi
    mapfile -t COMPREPLY < <(compgen -d -- "$cur")
}
complete -o filenames -F _lentrova_find lentrova-find
