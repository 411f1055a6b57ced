#!/bin/sh
# A stand-in for the receiver's login and shell, never the system's own login: asks for a
# user, lets "root" in without a password and answers the stop command like the box does.
# It reports the terminal type it was given, so the tests can see what the client sent.
host=dm7025
printf 'TERM=%s\n' "${TERM:-unset}"
while :; do
  printf '%s login: ' "$host"
  read -r user || exit 0
  user=$(printf '%s' "$user" | tr -d '\r')
  [ "$user" = root ] && break
  printf 'Login incorrect\n'
done
printf 'root@%s:~# ' "$host"
while read -r cmd; do
  cmd=$(printf '%s' "$cmd" | tr -d '\r')
  case $cmd in
    killall*) printf 'killall: enigma2: no process killed\n' ;;
    exit) exit 0 ;;
    '') ;;
    *) printf 'sh: %s: not found\n' "$cmd" ;;
  esac
  printf 'root@%s:~# ' "$host"
done
