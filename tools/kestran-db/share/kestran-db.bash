# Bash completion for kestran-db: commands, each command's options (read from its
# --help, so they never fall behind), option values (directories, files, builds,
# VersionCodes, the installations of a --config file, the archives of the chosen
# installation) and virtual paths, listed by kestran-db ls on the installation the
# command line names so far.

# _kestran_db_selection: the installation options among the words before the cursor,
# one per array element, in _kestran_db_selected.
_kestran_db_selection() {
  _kestran_db_selected=()
  local i word next
  for ((i = 2; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    next=${COMP_WORDS[i + 1]:-}
    case "$word" in
      --root | --config) _kestran_db_selected+=("$word" "${next/#\~/$HOME}"); i=$((i + 1)) ;;
      --build | --version-code | --installation) _kestran_db_selected+=("$word" "$next"); i=$((i + 1)) ;;
    esac
  done
}

# _kestran_db_vpaths TOOL CURRENT: the entries of the directory CURRENT lies in.
_kestran_db_vpaths() {
  local tool=$1 cur=$2 dir="" type size time name
  [[ $cur == */* ]] && dir=${cur%/*}/
  _kestran_db_selection
  [ ${#_kestran_db_selected[@]} -gt 0 ] || return 0
  while IFS=$'\t' read -r type size time name; do
    [ -n "$name" ] || continue
    if [ "$type" = d ]; then name+=/; fi
    [[ $dir$name == "$cur"* ]] && COMPREPLY+=("$dir$name")
  done < <("$tool" ls "$dir" "${_kestran_db_selected[@]}" 2>/dev/null)
  # A directory is completed up to its slash, so that its entries come next.
  [ ${#COMPREPLY[@]} -eq 0 ] || compopt -o nospace 2>/dev/null || true
}

_kestran_db() {
  local tool=${COMP_WORDS[0]/#\~/$HOME} cur=${COMP_WORDS[COMP_CWORD]}
  local prev=${COMP_WORDS[COMP_CWORD - 1]:-} command=${COMP_WORDS[1]:-}
  local commands="ls extract which records archives conflicts mount"
  COMPREPLY=()
  if [ "$COMP_CWORD" -eq 1 ]; then
    mapfile -t COMPREPLY < <(compgen -W "$commands --help --version" -- "$cur")
    return 0
  fi
  case "$prev" in
    --root | -o | --output)
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      return 0 ;;
    --config)
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return 0 ;;
    --build)
      mapfile -t COMPREPLY < <(compgen -W "3312 3312ru 3312en 3312ww 3312us 3795 3967" -- "$cur")
      return 0 ;;
    --version-code)
      mapfile -t COMPREPLY < <(compgen -W "0 1 2 3" -- "$cur")
      return 0 ;;
    --name-encoding)
      mapfile -t COMPREPLY < <(compgen -W "CP874 CP1250 CP1251 CP1252 CP1253 CP1254 CP1255 CP1256 CP1257 CP1258 none" \
        -- "$cur")
      return 0 ;;
    --installation)
      # The names in the [installations] section of the --config file.
      _kestran_db_selection
      local i config=""
      for ((i = 0; i < ${#_kestran_db_selected[@]}; i += 2)); do
        [ "${_kestran_db_selected[i]}" = --config ] && config=${_kestran_db_selected[i + 1]}
      done
      [ -r "$config" ] || return 0
      mapfile -t COMPREPLY < <(compgen -W "$(awk '
        /^[ \t]*\[/ { section = tolower($0); inside = section ~ /^[ \t]*\[installations\][ \t]*$/; next }
        inside && /=/ { name = $0; sub(/=.*/, "", name); gsub(/^[ \t]+|[ \t]+$/, "", name)
                        if (name != "" && name !~ /^#/) print name }' "$config")" -- "$cur")
      return 0 ;;
    --archive)
      # The file names of the chosen installation's archives.
      _kestran_db_selection
      [ ${#_kestran_db_selected[@]} -gt 0 ] || return 0
      mapfile -t COMPREPLY < <(compgen -W "$("$tool" archives "${_kestran_db_selected[@]}" 2>/dev/null |
        sed -n '2,$s/.*[/\\]//p')" -- "$cur")
      return 0 ;;
    -j | --jobs) return 0 ;;
  esac
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$("$tool" "$command" --help 2>/dev/null | grep -E '^  -' |
      grep -oE -- '--[a-z][a-z-]*')" -- "$cur")
    return 0
  fi
  case "$command" in
    ls | extract | which | conflicts) _kestran_db_vpaths "$tool" "$cur" ;;
    records) mapfile -t COMPREPLY < <(compgen -f -- "$cur") ;;
    mount) mapfile -t COMPREPLY < <(compgen -d -- "$cur") ;;
  esac
  return 0
}

complete -F _kestran_db kestran-db
