# KESTRIN.INI from the shell: one key read or written in section [KESTRIN],
# the rest of the file kept (ini.py does the work). Source it.

# ini_get FILE KEY: prints KEY's value in [KESTRIN]; nothing when absent.
ini_get() { /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/ini.py" get "$1" KESTRIN "$2"; }

# ini_set FILE KEY VALUE: writes KEY=VALUE into [KESTRIN], other keys kept.
ini_set() { /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/ini.py" set "$1" KESTRIN "$2" "$3"; }

# ini_show FILE: the file as the program left it, for the user to read.
ini_show() {
  echo "--- $1"
  tr -d '\r' < "$1" 2>/dev/null || echo "(no file)"
}
