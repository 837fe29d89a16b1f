#!/usr/bin/env bash
# The Debian entries of this machine's apt sources, for a root of the same release. The files
# are apt's own (apt-config names them: sources.list and sources.list.d/), one-line entries of
# .list files and deb822 paragraphs of .sources files alike. An entry is Debian's when each of
# its suites is the release's own (bookworm, bookworm-updates, bookworm-security, ...) and each
# of its components one of Debian's; any other (a vendor's repository) is left out: a fresh
# machine has none, and it may not be reachable from one. The entries are kept as written here,
# options and keys included.
#   scripts/debian-sources.sh mirror      the URI of the release's main suite (for debootstrap)
#   scripts/debian-sources.sh write ROOT  the entries into ROOT/etc/apt/sources.list (one-line)
#                                         and ROOT/etc/apt/sources.list.d/debian.sources (deb822)
set -euo pipefail

usage="usage: $0 mirror | write ROOT"
case "${1:-}" in
  mirror) (( $# == 1 )) || { echo "$usage" >&2; exit 2; }
          list_out=/dev/null; sources_out=/dev/null ;;
  write) (( $# == 2 )) || { echo "$usage" >&2; exit 2; }
         list_out=$2/etc/apt/sources.list; sources_out=$2/etc/apt/sources.list.d/debian.sources ;;
  *) echo "$usage" >&2; exit 2 ;;
esac

release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[[ -n "$release" ]] || { echo "$0: /etc/os-release names no release" >&2; exit 1; }
eval "$(apt-config shell list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d)"

# Prints the URI of each entry of the release's main suite; writes the Debian entries.
read_entries() {
  awk -v release="$release" -v list_out="$list_out" -v sources_out="$sources_out" '
    function debian_suite(suite) { return suite == release || index(suite, release "-") == 1 }
    function debian_component(component) {
      return component ~ /^(main|contrib|non-free|non-free-firmware)$/
    }
    # One-line entries: deb [OPTIONS] URI SUITE COMPONENT...
    FILENAME ~ /\.list$/ {
      entry = $0
      sub(/#.*/, "")
      if ($1 != "deb") next
      i = 2
      if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
      uri = $i; suite = $(i + 1)
      if (i + 2 > NF || !debian_suite(suite)) next
      for (c = i + 2; c <= NF; c++) if (!debian_component($c)) next
      print entry > list_out
      if (suite == release) print uri
      next
    }
    # deb822 paragraphs: "Field: value" lines; continuation lines (a key block) are kept as they
    # are, and read for nothing.
    FILENAME ~ /\.sources$/ {
      delete field
      lines = split($0, line, "\n")
      for (l = 1; l <= lines; l++) {
        if (line[l] ~ /^[A-Za-z-]+:/) {
          name = tolower(substr(line[l], 1, index(line[l], ":") - 1))
          field[name] = substr(line[l], index(line[l], ":") + 1)
        }
      }
      if (tolower(field["enabled"]) ~ /no/ || field["types"] !~ /(^|[ \t])deb([ \t]|$)/) next
      suites = split(field["suites"], suite_of, /[ \t]+/)
      components = split(field["components"], component_of, /[ \t]+/)
      uris = split(field["uris"], uri_of, /[ \t]+/)
      kept = 0; main_suite = 0
      for (s = 1; s <= suites; s++) {
        if (suite_of[s] == "") continue
        if (!debian_suite(suite_of[s])) next
        kept++
        if (suite_of[s] == release) main_suite = 1
      }
      for (c = 1; c <= components; c++) if (component_of[c] != "" && !debian_component(component_of[c])) next
      if (kept == 0 || field["components"] !~ /[^ \t]/) next
      print $0 "\n" > sources_out
      for (u = 1; u <= uris && main_suite; u++) if (uri_of[u] != "") print uri_of[u]
    }
  ' "$@"
}

# apt's order: sources.list, then the parts by name. A .sources file is read paragraph by
# paragraph (RS=""), a .list file line by line.
files=()
[[ -f "$list" ]] && files+=("RS=\n" "$list")
while IFS= read -r -d '' file; do
  case "$file" in
    *.list) files+=("RS=\n" "$file") ;;
    *.sources) files+=("RS=" "$file") ;;
  esac
done < <(find "$parts" -maxdepth 1 -type f \( -name '*.list' -o -name '*.sources' \) -print0 2>/dev/null | sort -z)

if [[ "$1" == write ]]; then
  mkdir -p "$2/etc/apt/sources.list.d"
  rm -f "$list_out" "$sources_out"
  touch "$list_out" "$sources_out"
fi
mirrors=""
(( ${#files[@]} )) && mirrors=$(read_entries "${files[@]}")
if [[ -z "$mirrors" ]]; then
  echo "$0: apt's sources ($list, $parts) have no entry of Debian's $release suite" >&2
  exit 1
fi
[[ "$1" == mirror ]] && echo "${mirrors%%$'\n'*}"
exit 0
