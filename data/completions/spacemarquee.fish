# fish completion for spacemarquee: the commands, and for `name` the names the running copy has.
set -l commands name clear list preferences report quit
complete -c spacemarquee -f
complete -c spacemarquee -n "not __fish_seen_subcommand_from $commands" -a name -d 'Name the current desktop'
complete -c spacemarquee -n "not __fish_seen_subcommand_from $commands" -a clear -d "Remove the current desktop's label"
complete -c spacemarquee -n "not __fish_seen_subcommand_from $commands" -a list -d 'Every label'
complete -c spacemarquee -n "not __fish_seen_subcommand_from $commands" -a preferences -d 'Open Preferences'
complete -c spacemarquee -n "not __fish_seen_subcommand_from $commands" -a report -d 'Open the problem report'
complete -c spacemarquee -n "not __fish_seen_subcommand_from $commands" -a quit -d 'Quit the running copy'
complete -c spacemarquee -n "not __fish_seen_subcommand_from $commands" -l help -d 'The commands'
complete -c spacemarquee -n "not __fish_seen_subcommand_from $commands" -l version -d 'The version'
complete -c spacemarquee -n '__fish_seen_subcommand_from list' -l json -d 'As JSON'
complete -c spacemarquee -n '__fish_seen_subcommand_from name' -a '(spacemarquee list 2>/dev/null | cut -f5 | string match -v -- -)'
