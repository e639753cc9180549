#!/bin/bash
# Sample script exercising the lexer
set -euo pipefail

name="world"
greeting="Hello, ${name:-nobody} from $(basename "$0") at $((1 + 2)) `date`"
literal='no $expansion here'
ansi=$'tab\there'
path=/usr/local/bin:$HOME/bin # trailing comment

usage() {
    echo "usage: $0 [-v] file..." >&2
    exit 1
}

if [ $# -eq 0 ]; then
    usage
elif [[ "$1" == -v ]]; then
    shift
else
    :
fi

for f in "$@"; do
    while read -r line; do
        printf '%s\n' "$line"
    done < "$f"
done

case "${1:-}" in
    start|stop) echo "action: $1" ;;
    *) echo unknown ;;
esac

cat <<EOF > /tmp/out.txt
Dear $name,
  indented text
EOF

cat <<-'END'
	literal $name
	END

result=$(ls -la | grep -c x)
echo ${#result} $? $! 2>&1 | tee -a log.txt
