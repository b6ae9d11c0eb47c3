# Bash completion of vtpapertoollpr_<model>: the options, the queues of the printcap file
# after -P, the model's label formats after -n and -d, and the tape widths after -w.
# Uses none of the bash-completion package's helpers, so that it also works sourced by hand.

# Prints the queue names of an LPRng printcap, one a line. An entry starts on a line that
# is not blank, a comment or a continuation (leading blank, ':' or '|'); its names are
# what comes before the first ':', separated by '|'. A name with a blank inside is the
# entry's description, which no queue can be called.
_vtpapertoollpr_queues() {
  local line name names
  while IFS= read -r line || [[ $line ]]; do
    [[ $line == [^[:space:]#:\|]* ]] || continue
    line=${line%%:*}
    IFS='|' read -ra names <<<"${line%\\}"
    for name in "${names[@]}"; do
      name=${name#"${name%%[![:space:]]*}"}
      name=${name%"${name##*[![:space:]]}"}
      [[ $name && $name != *[[:space:]]* ]] && printf '%s\n' "$name"
    done
  done <"${VTPAPERTOOL_PRINTCAP:-/etc/printcap}"
}

# Prints the label names that "<command> --list" shows, each ended by a NUL, as a name may
# hold any other byte. The list writes '\' as '\\', a tab as '\t' and other control bytes
# as three octal digits: exactly the escapes of a printf format (%b would read '\0331' as
# one octal number), once every '%' is doubled.
_vtpapertoollpr_labels() {
  local name rest
  # The tool waits up to 30 s for another run's lock; a completion must not hang that long.
  timeout 3 "$1" --list 2>/dev/null | while IFS=$'\t' read -r name rest; do
    # shellcheck disable=SC2059
    printf "${name//%/%%}\\0"
  done
}

_vtpapertoollpr() {
  local word=${COMP_WORDS[COMP_CWORD]} cur=$2 option=${COMP_WORDS[COMP_CWORD - 1]}
  local candidate quote= widths= reply
  COMPREPLY=()
  # The tool's own rule for the model: the first id found anywhere in its name. A test
  # holds these patterns to the program's table of models.
  case $1 in
    *rk210* | *rk260* | *rk380xn*) ;;
    *lm4200* | *lmq750ks* | *lmq700k* | *lmq700*) widths='4 6 9 12 18 24 36' ;;
    *) return ;;
  esac
  # Words come in pairs of an option and its value, but for --dry-run, --prune and
  # --allow-empty, which stand alone anywhere an option may; the other long options stand
  # alone after the name.
  local at=1
  while ((at < COMP_CWORD)); do
    [[ ${COMP_WORDS[at]} == --dry-run || ${COMP_WORDS[at]} == --prune ||
      ${COMP_WORDS[at]} == --allow-empty ]] || ((at++))
    ((at++))
  done
  if ((at == COMP_CWORD)); then
    reply='-P -n -d -w -h --apply --delete-listed --prune --allow-empty --dry-run'
    ((COMP_CWORD == 1)) && reply+=' --list --check --repair --export --model --version --help'
    mapfile -t COMPREPLY < <(compgen -W "$reply" -- "$cur")
    return
  fi
  # Inside an open quote readline hands over the text after it and closes the quote
  # itself, so the reply must be quoted for the inside of that quote.
  case $word in
    "'$cur") quote=\' ;;
    *) # The typed text as the shell reads it: a backslash escapes the next character, or
      # within double quotes one of \ " $ `.
      [[ $word == "\"$cur" ]] && quote=\"
      reply=$cur cur=
      while [[ $reply == *\\?* ]]; do
        cur+=${reply%%\\*} reply=${reply#*\\}
        [[ $quote && $reply != [\\\"\$\`]* ]] && cur+=\\
        cur+=${reply:0:1} reply=${reply:1}
      done
      cur+=${reply%\\} ;;
  esac
  case ${option:0:2} in
    -P) mapfile -t reply < <(_vtpapertoollpr_queues 2>/dev/null) ;;
    -n | -d) mapfile -t -d '' reply < <(_vtpapertoollpr_labels "$1") ;;
    -w) read -ra reply <<<"$widths" ;;
    *) return ;;
  esac
  for candidate in "${reply[@]}"; do
    [[ $candidate == "$cur"* ]] || continue
    case $quote in
      \') candidate=${candidate//\'/\'\\\'\'} ;;
      \") candidate=${candidate//\\/\\\\} candidate=${candidate//\"/\\\"}
        candidate=${candidate//\$/\\\$} candidate=${candidate//\`/\\\`} ;;
      *) printf -v candidate %q "$candidate" ;;
    esac
    COMPREPLY+=("$candidate")
  done
}

# bash-completion loads this file under the name of the command being completed, one
# name per model; sourced by hand it covers the tool's links on PATH.
complete -F _vtpapertoollpr -- $(compgen -c vtpapertoollpr_) "${BASH_SOURCE[0]##*/}"
