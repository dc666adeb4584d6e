#!/usr/bin/env bash
# Drives the bash completion of plotwick-cli as bash would at a TAB, and checks its answers
# against the program's own --help and format list.
# Usage: completion_test.sh COMPLETION_FILE PLOTWICK_CLI
set -uo pipefail
completion=$1 cli=$2
# shellcheck source=/dev/null
. "$completion"
failed=0 passed=0

# Completes LINE (the cursor at its end) and prints the candidates sorted, one a line.
complete_line() {
    local line=$1 word
    COMP_WORDS=()
    for word in $line; do
        # bash splits words at "=" (COMP_WORDBREAKS) and keeps the "=" as a word.
        while [[ $word == *=* ]]; do
            [[ -n ${word%%=*} ]] && COMP_WORDS+=("${word%%=*}")
            COMP_WORDS+=("=")
            word=${word#*=}
        done
        [[ -n $word ]] && COMP_WORDS+=("$word")
    done
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$line COMP_POINT=${#line}
    COMPREPLY=()
    _plotwick_cli plotwick-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort
}

# expect LINE CANDIDATES...: the completion of LINE is exactly the candidates.
expect() {
    local line=$1 got want
    shift
    got=$(complete_line "$line")
    want=$(printf '%s\n' "$@" | sed '/^$/d' | sort)
    if [[ $got == "$want" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAIL: "%s<TAB>"\n  expected: %s\n  got:      %s\n' "$line" "$(echo $want)" "$(echo $got)"
    fi
}

# What the program itself lists.
commands=$("$cli" --help | sed -n '/^Commands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
formats=$("$cli" export-all --format none x y 2>&1 | grep -o '\.[a-z]*' | tr -d .)
[[ -n $commands && -n $formats ]] || { echo "FAIL: plotwick-cli listed no commands or formats"; exit 1; }

expect "plotwick-cli ex" export export-all
expect "plotwick-cli " $commands
expect "plotwick-cli --" --help --version
expect "plotwick-cli export-all --format " $formats
expect "plotwick-cli export-all --format=" $formats
expect "plotwick-cli export-all --format=p" pdf png
expect "plotwick-cli export-all --grayscale --format j" jpg
expect "plotwick-cli export --width " ""
expect "plotwick-cli album --page " a4 letter
expect "plotwick-cli album --landscape --sheet " ""
for command in $commands; do
    expect "plotwick-cli $command --" \
        $("$cli" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u) --help
done

# Folders where a command takes a folder, files where it takes a record or an output.
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/Sample user/QNDraw" "$dir/out"
touch "$dir/record.dat"
cd "$dir" || exit 1
expect "plotwick-cli databases " "Sample user" out
expect "plotwick-cli export-all --format svg out " "Sample user" out
expect "plotwick-cli export --user-folder " "Sample user" out
expect "plotwick-cli export " "Sample user" out record.dat
expect "plotwick-cli shapes --normalise re" record.dat

echo "$passed passed, $failed failed"
((failed == 0))
