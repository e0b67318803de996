# scripts/browser-run.py with a browser that starts and then says nothing: the
# run ends at its 2 s limit with status 1 and one line, instead of waiting on
# the silent pipe. (The program under test, $1, is not needed.)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '#!/bin/sh\nexec sleep 120\n' > "$work/chromium"
chmod +x "$work/chromium"
start=$(date +%s)
PATH="$work:$PATH" timeout 60 python3 scripts/browser-run.py about:blank "never" "$work/shot.png" 2 \
    2>"$work/err"
status=$?
elapsed=$(($(date +%s) - start))
cat "$work/err"
[ $status -eq 1 ] || { echo "exit status $status, expected 1" >&2; exit 1; }
[ "$(wc -l < "$work/err")" -eq 1 ] || { echo "expected one line on stderr" >&2; exit 1; }
# Far below the 60 s backstop; the old wait never ended before it.
[ $elapsed -le 20 ] || { echo "ended after $elapsed s, limit 2 s" >&2; exit 1; }
