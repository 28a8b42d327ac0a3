#!/bin/bash
# The guard of one private office. Bash, because it can wait for its office and for the program's
# pipe at once. Embedded into the program at build time and run as `bash -c SCRIPT NAME ARGS...`.
#
# Arguments: state folder, a token naming the profile in lock files, pipe name, the office's locale
# (empty: the program's own), the office command.
# Standard input is the program's pipe (its lifeline); the first line on standard output is the
# office's pid. Files in the state folder that the program writes:
#   shown      present while the office shows a workbook: the office then outlives the program
#   documents  paths of documents whose lock files to remove should the office leave them
#   pipes      named sockets of the office to remove should it not get to them
state=$1 token=$2 pipe=$3 locale=$4
shift 4
exec 3<&0 </dev/null
# Its temporary files go into the state folder too, so that nothing outlives the cleanup.
mkdir -p "$state/tmp"
env -u QT_QPA_PLATFORM ${locale:+LC_ALL="$locale"} SAL_ENABLE_FILE_LOCKING=1 TMPDIR="$state/tmp" "$@" 3<&- >"$state/office.log" 2>&1 &
office=$!
echo "$office"
# An office left running for the user must not hold the program's output open (a terminal, or the
# pipe of whoever waits for the program to finish).
exec >/dev/null 2>&1
guard=$$
killer=

# The program is gone: an office that shows no workbook goes too, by TERM and after 10 s by KILL.
program_gone() {
    [ -e "$state/shown" ] && return
    kill -TERM "$office" 2>/dev/null
    mkfifo "$state/pacer" 2>/dev/null
    (
        read -r -t 10 -u 4 4<>"$state/pacer"
        kill -KILL "$office" 2>/dev/null
    ) &
    killer=$!
}
trap program_gone USR1

(
    while read -r -u 3 _; do :; done
    kill -USR1 "$guard" 2>/dev/null
) &
reader=$!
exec 3<&-
while kill -0 "$office" 2>/dev/null; do wait "$office"; done
kill "$reader" ${killer:+"$killer"} 2>/dev/null

# Lock files that this office left behind (they name its profile) and its pipe.
if [ -f "$state/documents" ]; then
    while IFS= read -r doc; do
        lock="${doc%/*}/.~lock.${doc##*/}#"
        if [ -f "$lock" ] && grep -qF -- "$token" "$lock" 2>/dev/null; then rm -f -- "$lock"; fi
    done <"$state/documents"
fi
rm -f -- "/tmp/OSL_PIPE_$(id -u)_$pipe"
if [ -f "$state/pipes" ]; then
    while IFS= read -r p; do if [ -S "$p" ]; then rm -f -- "$p"; fi; done <"$state/pipes"
fi
rm -rf -- "$state"
