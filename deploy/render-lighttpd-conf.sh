#!/usr/bin/env bash
# Renders lighttpd.conf.in to standard output. Used by scripts/demo and the browser test harness,
# so both run the very same server configuration.
#
#   render-lighttpd-conf.sh --port N --docroot DIR --errorlog FILE --program PATH \
#                           [--bind ADDR] [--env NAME=VALUE]...
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck disable=SC2034  # set through declare, read through ${!name}
bind=127.0.0.1 port='' docroot='' errorlog='' program=''
cgi_env=()

die() { echo "render-lighttpd-conf: $*" >&2; exit 2; }

while (($#)); do
  case $1 in
    --bind | --port | --docroot | --errorlog | --program)
      (($# >= 2)) || die "$1 needs a value"
      declare "${1#--}=$2"
      shift 2 ;;
    --env)
      (($# >= 2)) || die "--env needs NAME=VALUE"
      [[ $2 == [A-Za-z_]*=* ]] || die "--env wants NAME=VALUE, got '$2'"
      cgi_env+=("$2")
      shift 2 ;;
    *) die "unknown option $1" ;;
  esac
done

[[ $port =~ ^[0-9]+$ ]] || die "--port must be a number"
for name in docroot errorlog program; do
  [[ -n ${!name} ]] || die "--$name is required"
done

# lighttpd strings are double-quoted; refuse what would need escaping rather than guess its rules.
check_value() {
  [[ $1 != *[\"\\$'\n']* ]] || die "value not representable in lighttpd.conf: $1"
}

env_block=
for pair in "${cgi_env[@]}"; do
  check_value "$pair"
  env_block+="  \"${pair%%=*}\" => \"${pair#*=}\","$'\n'
done
env_block=${env_block%$'\n'}

conf=$(<"$here/lighttpd.conf.in")
for name in bind port docroot errorlog program; do
  check_value "${!name}"
  conf=${conf//@${name^^}@/${!name}}
done
conf=${conf//@CGI_ENV@/$env_block}
printf '%s\n' "$conf"
