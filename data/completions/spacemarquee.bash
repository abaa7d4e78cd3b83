# bash completion for spacemarquee: the commands, and for `name` the names the running copy has.
_spacemarquee() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    if [[ $COMP_CWORD -eq 1 ]]; then
        COMPREPLY=($(compgen -W "name clear list preferences report quit --help --version" -- "$cur"))
        return
    fi
    case ${COMP_WORDS[1]} in
    list)
        [[ $COMP_CWORD -eq 2 ]] && COMPREPLY=($(compgen -W "--json" -- "$cur"))
        ;;
    name)
        [[ $COMP_CWORD -eq 2 ]] || return
        # Titles may hold spaces: one candidate a line, quoted for the shell.
        local IFS=$'\n' title
        COMPREPLY=()
        while IFS= read -r title; do
            [[ -n $title && $title != - && $title == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$title")")
        done < <(spacemarquee list 2>/dev/null | cut -f5)
        ;;
    esac
}
complete -F _spacemarquee spacemarquee
